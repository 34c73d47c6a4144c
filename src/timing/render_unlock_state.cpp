#include "timing/render_unlock_state.h"

namespace driftglass {

const wchar_t* RenderUnlockStateName(uint32_t state) {
  switch (state) {
    case kRenderUnlockDisabled: return L"disabled";
    case kRenderUnlockPending: return L"pending";
    case kRenderUnlockActive: return L"active";
    case kRenderUnlockRejected: return L"rejected";
    case kRenderUnlockFinished: return L"finished";
    default: return L"unknown";
  }
}

std::atomic<uint32_t>& ProcessRenderUnlockState() {
  static std::atomic<uint32_t> state{kRenderUnlockDisabled};
  return state;
}

}  // namespace driftglass
