#pragma once
// Turns the hands interpolators' results into the telemetry's Hands( and Pose( counters.

#include <cstdint>

namespace driftglass {

struct HandsAttachmentCounts;

void CountHandsRootResult(uint32_t result);
void CountHandsModelResult(uint32_t result);
void CountHandsAttachments(const HandsAttachmentCounts& counts);
void CountHandsAttachmentRestoreFailures(uint32_t failures);
void CountHandsPoseStage(uint32_t result);
void CountHandsPoseResult(uint32_t result);
void CountHandsPoseRestoreFailure();

}  // namespace driftglass
