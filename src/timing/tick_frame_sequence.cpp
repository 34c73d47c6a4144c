#include "timing/tick_frame_sequence.h"

#include <windows.h>

#include "diag/motion_trace.h"
#include "diag/telemetry_counters.h"
#include "timing/frame_cadence.h"
#include "timing/frame_sequence_settings.h"
#include "timing/tick_sequence.h"

namespace driftglass {
namespace {

using RunMessageFunction = void(DRIFTGLASS_THISCALL*)(void*, int32_t, float);
using SceneRenderFunction = void(DRIFTGLASS_THISCALL*)(void*, float, uint32_t);

}  // namespace

FrameSequenceSettings& ProcessFrameSequenceSettings() {
  static FrameSequenceSettings settings;
  return settings;
}

void DRIFTGLASS_THISCALL RunMessageDetour(void* updater, int32_t message, float dt) {
  const auto original = Original<RunMessageFunction>(kDetourRunMessage);
  TelemetryCounters& telemetry = ProcessTelemetry();
  if (message == kMessageOnDraw) {
    original(updater, message, dt);
    telemetry.onDraw.fetch_add(1);
    return;
  }
  original(updater, message, dt);
  if (message == kMessageOnPostRender) {
    telemetry.onPostRender.fetch_add(1);
  } else if (message == kMessageFixedStepDone) {
    // Counted only after the engine's own step ran: the tick's state is final now.
    telemetry.ticks.fetch_add(1);
    AdvanceTickSequence(ProcessTickSequence());
  }
}

void DRIFTGLASS_THISCALL SceneRenderDetour(void* scene, float frameTime, uint32_t flags) {
  const FrameSequenceSettings& settings = ProcessFrameSequenceSettings();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);  // the frame's one time reading
  ProcessFrameCadence().RecordFrame(counter.QuadPart, settings.counterFrequency);

  if (settings.motionTrace) {
    MotionTraceRecord record;
    record.qpcCounter = counter.QuadPart;
    record.tickSerial = ProcessTickSequence().load();
    PublishMotionRecord(record);
  }

  Original<SceneRenderFunction>(kDetourSceneRender)(scene, frameTime, flags);
  ProcessTelemetry().sceneRender.fetch_add(1);
}

}  // namespace driftglass
