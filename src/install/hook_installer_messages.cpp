#include "install/hook_installer_messages.h"

namespace driftglass {

const wchar_t kRenderUnlockEnabledText[] =
    L"Render-unlock hook enabled; awaiting cEngine::Run. Use VSync, an external frame cap or "
    L"PresentationLimiter.";

const wchar_t kCameraInterpolationEnabledText[] =
    L"Main-view camera interpolation enabled: render-scoped position and "
    L"quaternion-orientation/cache overrides will be restored byte-for-byte after "
    L"cScene::Render.";

const wchar_t kHandsRootInterpolationEnabledText[] =
    L"First-person hands-root interpolation enabled: completed-tick root matrices share the "
    L"camera presentation clock; renderer-facing hand and attached-object submesh matrices are "
    L"returned from plugin-owned fixed storage. Parent-validated hand-object billboard, "
    L"particle, and light world-matrix caches receive the same render-scoped correction and "
    L"are restored byte-for-byte after cScene::Render.";

const wchar_t kWorldRootInterpolationEnabledText[] =
    L"Selected world-root interpolation enabled for dynamic Lux props, otherwise-unowned "
    L"Newton render bodies, and Grunt enemies: completed-tick Newton-body/mesh roots share the "
    L"camera presentation clock; renderer-facing submeshes select their actual parent-body "
    L"history, sleeping Newton props use a cached fast path with immediate transform-callback "
    L"wakeup, and results use plugin-owned storage. Physics and HPL transform trees are "
    L"unchanged.";

const wchar_t kHandsPoseInterpolationEnabledText[] =
    L"First-person hands-pose interpolation enabled: completed bone palettes are sampled on "
    L"the shared presentation clock, exposed only during cScene::Render, and restored "
    L"byte-for-byte afterward. Animation logic and events are not re-run.";

const wchar_t kWorldPoseInterpolationEnabledText[] =
    L"Grunt pose interpolation enabled: active Grunt meshes use independent completed-tick "
    L"affine palette histories on the shared presentation clock. Palettes are exposed only "
    L"during cScene::Render and restored byte-for-byte; animation logic and events are not "
    L"re-run.";

const wchar_t kParticleInterpolationEnabledText[] =
    L"Particle position interpolation enabled: every visible emitter uses HPL's built-in "
    L"previous/current fixed positions on the shared presentation clock. Positions are "
    L"overridden only while that emitter builds its render vertices and restored byte-for-byte "
    L"afterward; particle simulation, collision, emission, and lifetime remain fixed-step.";

const wchar_t kImageTrailTimingEnabledText[] =
    L"Image-trail timing correction enabled: HPL's stock 60 Hz accumulation-buffer decay is "
    L"converted to the current render interval. The gameplay amount and effect fade remain "
    L"fixed-step, and the original amount is restored after every effect draw.";

const wchar_t kMouseOverlayEnabledText[] =
    L"Mouse presentation preview enabled for smooth-off gameplay: active render frames pump "
    L"SDL events while a game-window WM_INPUT tap retains each native relative packet. The "
    L"next fixed sample retires those counts exactly once, and a render-only camera offset "
    L"combines the unpresented fraction of captured authoritative angular commands with "
    L"still-pending motion. Pitch/yaw setters retain engine limits and the authoritative "
    L"camera is restored after rendering. The exact camera preview rotation is also composed "
    L"into the render-only hands root, active hand object, and validated "
    L"light/billboard/particle children. GUI states receive the same pending native counts as "
    L"a direct presentation-rate software-cursor update; the next fixed GUI update retires "
    L"only the unpresented correction, with no cursor history.";

}  // namespace driftglass
