#include "record/logic_digest.h"

#include <cstring>

namespace {

constexpr uint64_t kOffsetBasis = 0xCBF29CE484222325ull;
constexpr uint64_t kPrime = 0x100000001B3ull;

uint64_t Mix(uint64_t hash, const void* bytes, size_t size) {
  const auto* b = static_cast<const uint8_t*>(bytes);
  for (size_t i = 0; i < size; ++i) hash = (hash ^ b[i]) * kPrime;
  return hash;
}

std::vector<const char*> gNames[kLogicPartCount];

}  // namespace

LogicDigest::LogicDigest() {
  for (uint64_t& p : parts_) p = kOffsetBasis;
}

void LogicDigest::Add(LogicPart part, const char* field, const void* bytes, size_t size) {
  parts_[part] = Mix(parts_[part], bytes, size);
  for (const char* name : gNames[part]) {
    if (name == field) return;  // the same literal: the common case, cheap
  }
  gNames[part].push_back(field);
}

uint64_t LogicDigest::world() const {
  uint64_t hash = kOffsetBasis;
  for (uint32_t p = 0; p < kLogicPartCount; ++p) {
    if (p != kLogicAngles) hash = Mix(hash, &parts_[p], sizeof(parts_[p]));
  }
  return hash;
}

uint64_t LogicDigest::all() const {
  const uint64_t both[2] = {world(), player()};
  return Mix(kOffsetBasis, both, sizeof(both));
}

std::string LogicDigest::FieldNames(LogicPart part) {
  std::string text;
  for (size_t i = 0; i < gNames[part].size(); ++i) {
    const char* name = gNames[part][i];
    bool earlier = false;  // one name written in two places is one field
    for (size_t j = 0; j < i; ++j) earlier = earlier || std::strcmp(gNames[part][j], name) == 0;
    if (earlier) continue;
    if (!text.empty()) text += ',';
    text += name;
  }
  return text;
}

const char* LogicDigest::PartName(uint32_t part) {
  static const char* const kNames[kLogicPartCount] = {"bodies", "entities", "enemies", "poses",     "world_state",
                                                      "camera", "hands",    "particles", "input", "angles"};
  return part < kLogicPartCount ? kNames[part] : "unknown";
}
