#include "input/compare_key.h"

#include <gtest/gtest.h>

namespace driftglass {
namespace {

struct Keyboard {
  static inline bool down = false;
  static inline bool foreground = true;
  static inline int asked = 0;
  static SHORT WINAPI State(int key) {
    asked = key;
    return down ? static_cast<SHORT>(0x8000) : 0;
  }
  static bool Foreground() { return foreground; }
};

// One read a tick, tick by tick: only a press made while the game has the foreground flips the
// switch, once however long the key is held.
TEST(CompareKey, EachPressInTheGameFlipsTheSwitchOnce) {
  CompareSwitch compare;
  compare.virtualKey = VK_F9;
  const struct {
    const char* what;
    bool down, foreground;
    bool flipped, off;
  } ticks[] = {
      {"up", false, true, false, false},
      {"pressed", true, true, true, true},
      {"held", true, true, false, true},
      {"released", false, true, false, true},
      {"pressed in another program", true, false, false, true},
      {"still held, the game in front again", true, true, false, true},
      {"released", false, true, false, true},
      {"pressed again", true, true, true, false},
      {"released", false, true, false, false},
  };
  for (const auto& t : ticks) {
    SCOPED_TRACE(t.what);
    Keyboard::down = t.down;
    Keyboard::foreground = t.foreground;
    EXPECT_EQ(ReadCompareKey(compare, &Keyboard::State, &Keyboard::Foreground), t.flipped);
    EXPECT_EQ(compare.correctionsOff, t.off);
  }
  EXPECT_EQ(Keyboard::asked, VK_F9);
  compare.virtualKey = 0;
  Keyboard::down = true;
  EXPECT_FALSE(ReadCompareKey(compare, &Keyboard::State, &Keyboard::Foreground)) << "no key, no switch";
}

}  // namespace
}  // namespace driftglass
