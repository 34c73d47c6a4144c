#include "shared/frame_sequence_settings.h"

namespace driftglass {

FrameSequenceSettings& ProcessFrameSequenceSettings() {
  static FrameSequenceSettings settings;
  return settings;
}

}  // namespace driftglass
