#pragma once
// What each sub-mesh the renderer asked about turned out to be — not ours, or a body's correction
// and which way it was chosen — kept while the world's frame stays the same (the same two ticks,
// the same bodies corrected): the frames of one tick then find each answer with one probe instead
// of the histories, the frame's mesh and body tables and the slots. The keys sit in an array of
// their own in the order the renderer first asked; the renderer draws in much the same order frame
// after frame, so a cursor that guesses the position after the last one found needs one
// comparison, and an index finds the rest.

#include <cstdint>

#include "world/world_body_table.h"

namespace driftglass {

enum WorldAnswerKind : uint8_t {
  kWorldAnswerAsk = 0,  // nothing kept: the sub-mesh is asked about the whole way each time
  kWorldAnswerNotWorld,
  kWorldAnswerBody,
};

struct WorldModelAnswer {
  const WorldBodyEntry* entry = nullptr;  // with kWorldAnswerBody
  uint8_t kind = kWorldAnswerAsk;
  uint8_t way = 0;        // the WorldBodyChoice way the entry was chosen by
  uint16_t slot = 0;      // the matrix slot it was given in frame slotFrame
  uint32_t slotFrame = 0;
};

class WorldModelAnswers {
 public:
  static constexpr uint32_t kCapacity = 2048;

  // A frame of the world: answers kept under another stamp are forgotten. Returns the frame's
  // number, which the slots a frame hands out are stamped with.
  uint32_t BeginFrame(uint64_t stamp);
  void Forget();
  // The sub-mesh's answer, or nullptr when none is kept.
  WorldModelAnswer* Find(const void* subMesh);
  // Room for a sub-mesh's answer (a new one asks the whole way); nullptr when full.
  WorldModelAnswer* Add(const void* subMesh);
  uint32_t count() const { return count_; }

 private:
  static constexpr uint32_t kIndexSlots = 2 * kCapacity;
  uint32_t Home(const void* key) const;

  const void* keys_[kCapacity];
  WorldModelAnswer answers_[kCapacity];
  uint16_t index_[kIndexSlots] = {};  // position + 1; 0 empty
  uint16_t slotOf_[kCapacity];   // each position's index slot, to forget by
  uint32_t count_ = 0;
  uint32_t cursor_ = 0;  // where the next key is guessed to be
  uint64_t stamp_ = 0;
  bool stamped_ = false;
  uint32_t frame_ = 0;
};

}  // namespace driftglass
