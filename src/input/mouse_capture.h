#pragma once
// The host reads the mouse once per fixed tick. With the overlay on, every rendered frame samples
// it too; the counts taken at presentation rate wait in the shared state until the next fixed
// update hands them to the host, exactly once.

#include <cstdint>

#include "input/gameplay_input_frame.h"
#include "input/mouse_state.h"
#include "input/raw_input_tap.h"

namespace driftglass {

// The host's latest relative motion inside cMouseSDL (offsets 48 and 52).
struct HostMouseCounts {
  int32_t x;
  int32_t y;
};
HostMouseCounts* MouseCountsOf(void* mouse);

// Before the host's update: motion still in the host was never consumed.
void CountUnconsumedMotion(const HostMouseCounts& counts, MouseAudit& audit);

// After the host's update (and the tap's install attempt): decides what the host receives this
// tick from its own stock counts and the pending counts, and writes it into counts.
void RetireMouseCounts(MouseState& mouse, const RawTapState& tap, MouseAudit& audit, HostMouseCounts& counts,
                       uint64_t currentTick);

// Counts one GetRelPosition call that returned returned for the pair result.
void CountMouseRead(GameplayInputFrame& frame, MouseAudit& audit, const int32_t* result, const int32_t* returned);

struct PresentationMotion {
  int32_t x = 0;
  int32_t y = 0;
  bool valid = false;
};

// What the presentation poll calls on the platform and on SDL2.
struct PollActions {
  void (*drainRawInput)() = nullptr;
  void (*pumpEvents)() = nullptr;
  uint32_t (*getRelativeMouseState)(int* x, int* y) = nullptr;
};

// Once per rendered frame, on the thread that runs the mouse updates.
PresentationMotion PollPresentationMotion(MouseState& mouse, const RawTapState& tap, MouseAudit& audit,
                                          const PollActions& actions, uint64_t currentTick, uint32_t threadId);

}  // namespace driftglass
