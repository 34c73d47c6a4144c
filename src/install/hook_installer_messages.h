#pragma once

namespace driftglass {

// The INFO lines that say which requested feature is now active.
extern const wchar_t kRenderUnlockEnabledText[];
extern const wchar_t kCameraInterpolationEnabledText[];
extern const wchar_t kHandsRootInterpolationEnabledText[];
extern const wchar_t kWorldRootInterpolationEnabledText[];
extern const wchar_t kHandsPoseInterpolationEnabledText[];
extern const wchar_t kWorldPoseInterpolationEnabledText[];
extern const wchar_t kParticleInterpolationEnabledText[];
extern const wchar_t kImageTrailTimingEnabledText[];
extern const wchar_t kMouseOverlayEnabledText[];

}  // namespace driftglass
