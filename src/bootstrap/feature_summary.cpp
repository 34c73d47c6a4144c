#include "bootstrap/feature_summary.h"

namespace driftglass {

const wchar_t* BoolText(bool value) { return value ? L"true" : L"false"; }

std::wstring FormatFeatureSummary(const PluginConfig& config) {
  const FeatureFlags& f = config.features;
  const struct {
    const wchar_t* label;
    bool value;
  } switches[] = {
      {L"RenderUnlock=", f.renderUnlock},
      {L", PresentationLimiter=", f.presentationLimiter},
      {L", CameraInterpolation=", f.cameraInterpolation},
      {L", HandsRootInterpolation=", f.handsRootInterpolation},
      {L", WorldRootInterpolation=", f.worldRootInterpolation},
      {L", HandsPoseInterpolation=", f.handsPoseInterpolation},
      {L", WorldPoseInterpolation=", f.worldPoseInterpolation},
      {L", RagdollPoseInterpolation=", f.ragdollPoseInterpolation},
      {L", ParticleInterpolation=", f.particleInterpolation},
      {L", ImageTrailTiming=", f.imageTrailTiming},
      {L", MouseOverlay=", f.mouseOverlay},
  };
  std::wstring text = L"Requested features: ";
  for (const auto& s : switches) {
    text += s.label;
    text += BoolText(s.value);
  }
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
