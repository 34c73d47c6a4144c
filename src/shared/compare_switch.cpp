#include "shared/compare_switch.h"

namespace driftglass {

CompareSwitch& ProcessCompareSwitch() {
  static CompareSwitch compare;
  return compare;
}

}  // namespace driftglass
