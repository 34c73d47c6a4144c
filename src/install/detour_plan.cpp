#include "install/detour_plan.h"

namespace driftglass {
namespace {

bool AnyInterpolation(const FeatureFlags& f) {
  return f.cameraInterpolation || f.handsRootInterpolation || f.worldRootInterpolation || f.handsPoseInterpolation ||
         f.worldPoseInterpolation || f.particleInterpolation;
}

constexpr uint32_t kMouseSteps[] = {kDetourPlayerAddYaw,      kDetourPlayerAddPitch,      kDetourCameraAddPitch,
                                    kDetourCameraAddYaw,      kDetourMouseUpdate,         kDetourMouseGetRelPosition,
                                    kDetourGuiSendMousePos,   kDetourUpdateGamePlayerInput};

}  // namespace

bool DetourPlan::any() const {
  for (const bool wanted : step) {
    if (wanted) return true;
  }
  return false;
}

bool ReporterRequested(const PluginConfig& config) { return config.telemetryEnabled || config.motionTrace; }

DetourPlan PlanDetours(const PluginConfig& config) {
  const FeatureFlags& f = config.features;
  const bool interpolation = AnyInterpolation(f);
  const bool reporter = ReporterRequested(config);
  DetourPlan plan;
  // The reporter's last interval is written when the engine's loop returns, so wherever the
  // reporter runs the run hook exists too.
  plan.step[kDetourEngineRun] = interpolation || f.renderUnlock || reporter;
  plan.step[kDetourSceneRender] = reporter || f.mouseOverlay || interpolation;
  plan.step[kDetourHandsPostUpdate] = f.handsRootInterpolation || f.handsPoseInterpolation;
  plan.step[kDetourPropOnUpdate] = f.worldRootInterpolation;
  plan.step[kDetourTransformCallback] = f.worldRootInterpolation;
  plan.step[kDetourEnemyOnUpdate] = f.worldRootInterpolation || f.worldPoseInterpolation;
  plan.step[kDetourGetModelMatrix] = f.handsRootInterpolation || f.worldRootInterpolation;
  plan.step[kDetourEmitterUpdateGraphics] = f.particleInterpolation;
  plan.step[kDetourImageTrailRenderEffect] = f.imageTrailTiming;
  for (const uint32_t step : kMouseSteps) plan.step[step] = f.mouseOverlay;
  // Wherever anything is installed the tick's detour is too: it is where a change of the INI
  // applies, where the compare key is read and where the limiter waits, so a start with the render
  // unlock alone can still be paced, and one with the image trail alone still switched, later.
  plan.step[kDetourRunMessage] = plan.any();
  // A compare key with something to switch counts the frames it draws without corrections.
  if (config.compareKey != 0 && (LiveHooksOf(config, plan, reporter) & kLiveSwitchable) != 0) {
    plan.step[kDetourSceneRender] = true;
  }
  return plan;
}

LiveHooks LiveHooksOf(const PluginConfig& config, const DetourPlan& created, bool reporter) {
  const FeatureFlags& f = config.features;
  const bool* step = created.step;
  const bool frames = step[kDetourSceneRender];
  bool mouse = true;
  for (const uint32_t s : kMouseSteps) mouse = mouse && step[s];
  const struct {
    bool installed;
    LiveHook hook;
  } hooks[] = {
      {step[kDetourRunMessage], kLiveTick},
      {f.renderUnlock && step[kDetourEngineRun] && step[kDetourRunMessage], kLivePacing},
      {frames, kLiveFrames},
      {reporter && frames, kLiveReporter},
      {f.cameraInterpolation && frames, kLiveCamera},
      {f.handsRootInterpolation && frames && step[kDetourHandsPostUpdate] && step[kDetourGetModelMatrix],
       kLiveHandsRoot},
      {f.handsPoseInterpolation && frames && step[kDetourHandsPostUpdate], kLiveHandsPose},
      {f.worldRootInterpolation && frames && step[kDetourPropOnUpdate] && step[kDetourGetModelMatrix],
       kLiveWorldRoot},
      {f.worldPoseInterpolation && frames && step[kDetourEnemyOnUpdate], kLiveWorldPose},
      // Ragdolls are staged from the prop detour, for the enemy poses to draw.
      {f.worldPoseInterpolation && f.worldRootInterpolation && frames && step[kDetourPropOnUpdate],
       kLiveRagdolls},
      {f.particleInterpolation && step[kDetourEmitterUpdateGraphics], kLiveParticles},
      {f.imageTrailTiming && step[kDetourImageTrailRenderEffect], kLiveImageTrail},
      {f.mouseOverlay && f.cameraInterpolation && frames && mouse, kLiveLookPreview},
  };
  LiveHooks live = 0;
  for (const auto& h : hooks) {
    if (h.installed) live |= h.hook;
  }
  return WithSwitchable(live);
}

}  // namespace driftglass
