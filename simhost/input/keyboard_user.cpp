#include "input/keyboard_user.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "record/host_record.h"

namespace {

constexpr uint32_t kHeldTicks = 3;

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

void KeyboardUser::Init(const Scenario& scenario, HostRecord* record) {
  record_ = record;
  for (const CameraEvent& e : scenario.events) {
    if (e.name != "compare_key") continue;
    presses_.push_back({e.tick, e.tick + std::max(e.duration, kHeldTicks), false});
  }
  std::stable_sort(presses_.begin(), presses_.end(),
                   [](const Press& a, const Press& b) { return a.downTick < b.downTick; });
}

void KeyboardUser::AfterFrame(uint32_t completedTicks) {
  if (next_ == presses_.size()) return;
  Press& p = presses_[next_];
  if (!p.down) {
    if (completedTicks < p.downTick || completedTicks <= releasedAt_) return;
    p.down = true;
    p.upTick = std::max(p.upTick, completedTicks + kHeldTicks);
    sent_ += SendKey(true) ? 1 : 0;
    // A key reaches the program whose window has the foreground.
    DWORD owner = 0;
    const HWND foreground = GetForegroundWindow();
    if (foreground != nullptr) GetWindowThreadProcessId(foreground, &owner);
    record_->Line("fact key_press tick=%u foreground=%d", completedTicks, owner == GetCurrentProcessId() ? 1 : 0);
  } else if (completedTicks >= p.upTick) {
    SendKey(false);
    releasedAt_ = completedTicks;
    ++next_;
  }
}

void KeyboardUser::Finish() {
  if (next_ < presses_.size() && presses_[next_].down) SendKey(false);
  next_ = presses_.size();
}

const char* KeyboardUser::FrameFields() {
  std::snprintf(fields_, sizeof(fields_), "key_presses=%u", sent_);
  return fields_;
}
