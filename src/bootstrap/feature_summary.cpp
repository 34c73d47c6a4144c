#include "bootstrap/feature_summary.h"

namespace driftglass {

const wchar_t* BoolText(bool value) { return value ? L"true" : L"false"; }

std::wstring FormatFeatureSummary(const PluginConfig& config) {
  const FeatureFlags& f = config.features;
  std::wstring text = L"Requested features: RenderUnlock=";
  text += BoolText(f.renderUnlock);
  text += L", PresentationLimiter=";
  text += BoolText(f.presentationLimiter);
  text += L", CameraInterpolation=";
  text += BoolText(f.cameraInterpolation);
  text += L", HandsRootInterpolation=";
  text += BoolText(f.handsRootInterpolation);
  text += L", WorldRootInterpolation=";
  text += BoolText(f.worldRootInterpolation);
  text += L", HandsPoseInterpolation=";
  text += BoolText(f.handsPoseInterpolation);
  text += L", WorldPoseInterpolation=";
  text += BoolText(f.worldPoseInterpolation);
  text += L", RagdollPoseInterpolation=";
  text += BoolText(f.ragdollPoseInterpolation);
  text += L", ParticleInterpolation=";
  text += BoolText(f.particleInterpolation);
  text += L", ImageTrailTiming=";
  text += BoolText(f.imageTrailTiming);
  text += L", MouseOverlay=";
  text += BoolText(f.mouseOverlay);
  text += L", TargetFPS=" + std::to_wstring(config.targetFps);
  text += L", Telemetry=";
  text += BoolText(config.telemetryEnabled);
  text += L", MotionTrace=";
  text += BoolText(config.motionTrace);
  text += L", TelemetryInterval=" + std::to_wstring(config.reportIntervalSeconds) + L"s";
  return text;
}

bool AnyEngineHookRequested(const PluginConfig& config) {
  const FeatureFlags& f = config.features;
  return config.telemetryEnabled || config.motionTrace || f.renderUnlock ||
         f.cameraInterpolation || f.handsRootInterpolation || f.worldRootInterpolation ||
         f.handsPoseInterpolation || f.worldPoseInterpolation || f.particleInterpolation ||
         f.imageTrailTiming || f.mouseOverlay;
}

}  // namespace driftglass
