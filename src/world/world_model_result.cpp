#include "world/world_model_result.h"

namespace driftglass {

const wchar_t* WorldModelResultName(uint32_t result) {
  static const wchar_t* const kNames[] = {
      L"not-world",
      L"applied-prop",
      L"applied-prop-parent",
      L"applied-prop-null-model",
      L"applied-prop-parent-null-model",
      L"applied-prop-direct-parent",
      L"applied-prop-direct-parent-null-model",
      L"applied-prop-model-history",
      L"applied-grunt",
      L"applied-standalone-body",
      L"applied-standalone-body-null-model",
      L"prop-parent-mismatch",
      L"invalid",
      L"slots-exhausted",
  };
  return result < sizeof(kNames) / sizeof(kNames[0]) ? kNames[result] : L"unknown";
}

}  // namespace driftglass
