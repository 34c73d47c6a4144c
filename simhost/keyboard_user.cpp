#include "keyboard_user.h"

#include <windows.h>

#include <cstdio>

namespace {

KeyboardUser gKeyboard;

bool SendKey(bool down) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = VK_F9;
  input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
  return SendInput(1, &input, sizeof(input)) == 1;
}

}  // namespace

KeyboardUser& Keyboard() { return gKeyboard; }

void KeyboardUser::Init(const Scenario& scenario) {
  for (const CameraEvent& e : scenario.events) {
    if (e.name != "compare_key") continue;
    presses_.push_back({e.tick, e.tick + (e.duration > 3 ? e.duration : 3), false, false});
  }
}

void KeyboardUser::AfterFrame(uint32_t completedTicks) {
  for (Press& p : presses_) {
    if (!p.down && completedTicks >= p.downTick) {
      p.down = true;
      sent_ += SendKey(true) ? 1 : 0;
    }
    if (p.down && !p.up && completedTicks >= p.upTick) {
      p.up = true;
      SendKey(false);
    }
  }
}

void KeyboardUser::Finish() {
  for (Press& p : presses_) {
    if (p.down && !p.up) {
      p.up = true;
      SendKey(false);
    }
  }
}

const char* KeyboardUser::FrameFields() {
  std::snprintf(fields_, sizeof(fields_), "key_presses=%u", sent_);
  return fields_;
}
