#include "install/hook_installer.h"

#include <cstdio>

#include "camera/camera_interpolator.h"
#include "config/key_names.h"
#include "diag/motion_trace.h"
#include "diag/telemetry_reporter.h"
#include "frame/engine_run_detour.h"
#include "frame/live_settings_apply.h"
#include "hands/hands_pose_interpolator.h"
#include "hands/hands_root_interpolator.h"
#include "host/hook_slots.h"
#include "host/image_validation.h"
#include "host/import_resolution.h"
#include "input/mouse_state.h"
#include "install/detour_plan.h"
#include "install/detour_table.h"
#include "install/hook_backend.h"
#include "install/hook_installer_messages.h"
#include "log/diagnostic_log.h"
#include "poses/enemy_pose_interpolator.h"
#include "shared/live_settings.h"
#include "shared/frame_sequence_settings.h"
#include "timing/render_unlock_state.h"
#include "timing/wall_clock.h"
#include "world/world_detours.h"
#include "world/world_root_interpolator.h"

namespace driftglass {
namespace {

// World roots enable the prop detour, then the enemy's, then the physics callback's.
constexpr uint32_t kEnableOrder[kDetourStepCount] = {
    kDetourEngineRun,         kDetourRunMessage,           kDetourSceneRender,
    kDetourHandsPostUpdate,   kDetourPropOnUpdate,         kDetourEnemyOnUpdate,
    kDetourTransformCallback, kDetourGetModelMatrix,       kDetourEmitterUpdateGraphics,
    kDetourImageTrailRenderEffect, kDetourPlayerAddYaw,    kDetourPlayerAddPitch,
    kDetourCameraAddPitch,    kDetourCameraAddYaw,         kDetourMouseUpdate,
    kDetourMouseGetRelPosition, kDetourGuiSendMousePos,    kDetourUpdateGamePlayerInput,
};

std::wstring Widen(const char* text) {
  std::wstring wide;
  while (text != nullptr && *text != '\0') wide.push_back(static_cast<wchar_t>(*text++));
  return wide;
}

void WriteInfo(DiagnosticLog& log, const std::wstring& text) {
  log.WriteLine(kLogInfo, text.c_str(), static_cast<uint32_t>(text.size()));
}

std::wstring MappingsLine(const EngineMappings& m, const void* base) {
  const auto rva = [&](uint32_t index) { return FormatRva(m.address[index], base); };
  return L"Validated engine mappings: cEngine::Run RVA " + rva(kEngineRun) +
         L", cUpdater::RunMessage RVA " + rva(kUpdaterRunMessage) + L", cScene::Render RVA " +
         rva(kSceneRender) + L", cCamera setters RVA " + rva(kCameraSetPosition) + L"/" +
         rva(kCameraSetPitch) + L"/" + rva(kCameraSetYaw) + L"/" + rva(kCameraSetRoll) +
         L", cCamera AddPitch/AddYaw RVA " + rva(kCameraAddPitch) + L"/" + rva(kCameraAddYaw) +
         L", cLuxPlayer::AddYaw/AddPitch RVA " + rva(kPlayerAddYaw) + L"/" + rva(kPlayerAddPitch) +
         L", cLuxPlayerHands::PostUpdate RVA " + rva(kPlayerHandsPostUpdate) +
         L", iLuxProp::OnUpdate RVA " + rva(kPropOnUpdate) + L", iLuxEnemy::OnUpdate RVA " +
         rva(kEnemyOnUpdate) + L", iEntity3D::GetWorldMatrix RVA " + rva(kEntityGetWorldMatrix) +
         L", iEntity3D::GetEntityParent RVA " + rva(kEntityGetEntityParent) +
         L", cPhysicsBodyNewton::GetEnabled RVA " + rva(kPhysicsBodyGetEnabled) +
         L", cPhysicsBodyNewton transform callback RVA " + rva(kPhysicsBodyTransformCallback) +
         L", cMeshEntity::UpdateGraphicsForFrame RVA " + rva(kMeshEntityUpdateGraphicsForFrame) +
         L", iParticleEmitter::UpdateGraphicsForViewport RVA " +
         rva(kParticleEmitterUpdateGraphicsForViewport) +
         L", cPostEffect_ImageTrail::RenderEffect RVA " + rva(kImageTrailRenderEffect) +
         L", cSubMeshEntity::GetModelMatrix RVA " + rva(kSubMeshGetModelMatrix) +
         L", cMouseSDL::Update/GetRelPosition RVA " + rva(kMouseUpdate) + L"/" +
         rva(kMouseGetRelPosition) + L", cGui::SendMousePos RVA " + rva(kGuiSendMousePos) +
         L", SDL2 relative-state/pump/ticks resolved through named imports, "
         L"cLuxInputHandler::UpdateGamePlayerInput RVA " +
         rva(kInputHandlerUpdateGamePlayerInput) + L".";
}

void WriteFeatureLines(DiagnosticLog& log, const HookInstallRequest& r, const LiveSettings& live,
                       LiveHooks installed) {
  const FeatureFlags& f = r.settings.features;
  const struct {
    bool on;
    const wchar_t* text;
  } lines[] = {
      {f.renderUnlock, kRenderUnlockEnabledText},
      {f.cameraInterpolation, kCameraInterpolationEnabledText},
      {f.handsRootInterpolation, kHandsRootInterpolationEnabledText},
      {f.worldRootInterpolation, kWorldRootInterpolationEnabledText},
      {f.handsPoseInterpolation, kHandsPoseInterpolationEnabledText},
      {f.worldPoseInterpolation, kWorldPoseInterpolationEnabledText},
      {f.particleInterpolation, kParticleInterpolationEnabledText},
      {f.imageTrailTiming, kImageTrailTimingEnabledText},
      {f.mouseOverlay, kMouseOverlayEnabledText},
  };
  for (const auto& line : lines) {
    if (!line.on) continue;
    log.WriteLine(kLogInfo, line.text);
    if (line.text == kRenderUnlockEnabledText && live.limiter) {
      WriteInfo(log, live.targetFps != 0 ? L"Presentation limiter enabled: " + std::to_wstring(live.targetFps) +
                                               L" frames per second."
                                         : std::wstring(L"Presentation limiter enabled at the display's "
                                                        L"refresh rate."));
    }
  }
  if (live.compareKey != 0) {
    wchar_t key[16];
    FormatKeyName(live.compareKey, key, 16);
    WriteInfo(log, std::wstring(L"Compare key ") + key + L": pressed in the game, every drawn correction (" +
                       CompareKeySwitches(installed) +
                       L") stands aside and frames show the game's own state until it is pressed again.");
  }
  if (r.settings.motionTrace) {
    WriteInfo(log, L"Asynchronous camera motion trace enabled: " + r.motionTracePath +
                       L". The render thread only publishes fixed-size records; the telemetry "
                       L"thread writes CSV batches.");
  }
}

// Undoes what the detour engine holds. Before the detours went live everything is removed; once
// they are live the main thread may be inside one, so they are only disabled and their
// trampolines stay allocated.
void RollBack(const HookBackend& backend, const EngineMappings& mappings, bool detoursWentLive) {
  backend.disableHook(MH_ALL_HOOKS);
  if (detoursWentLive) return;
  for (uint32_t step = 0; step < kDetourStepCount; ++step) {
    const uintptr_t target = mappings.address[DetourMapping(step)];
    if (target != 0) backend.removeHook(reinterpret_cast<void*>(target));
  }
  backend.uninitialize();
}

bool Fail(std::wstring& errorText, const std::wstring& text) {
  errorText = text;
  return false;
}

}  // namespace

std::wstring FormatHookStatus(const std::wstring& step, int status) {
  const std::wstring name = Widen(MH_StatusToString(static_cast<MH_STATUS>(status)));
  return step + L" failed: " + name;
}

std::wstring FormatRva(uintptr_t address, const void* hostImageBase) {
  wchar_t text[16];
  swprintf(text, 16, L"0x%08X",
           static_cast<unsigned>(address - reinterpret_cast<uintptr_t>(hostImageBase)));
  return text;
}

bool InstallHooks(const HookInstallRequest& r, HookInstallation& installation, DiagnosticLog& log,
                  std::wstring& errorText) {
  const HookBackend& backend =
      installation.backend != nullptr ? *installation.backend : DetourEngineBackend();
  installation.liveHooks = 0;
  EngineMappings& mappings = installation.mappings;
  mappings = EngineMappings{};
  if (!ValidateHostAndResolve(r.hostImageBase, mappings, errorText)) return false;

  const PluginConfig& settings = r.settings;
  const FeatureFlags& f = settings.features;
  if (f.mouseOverlay && !FindSdlGetRelativeMouseMode(mappings.address[kSdlGetRelativeMouseState],
                                                     installation.sdlGetRelativeMouseMode, errorText)) {
    return false;
  }
  const DetourPlan plan = PlanDetours(settings);
  const bool reporterWanted = ReporterRequested(settings);
  const LiveHooks liveHooks = LiveHooksOf(settings, plan, reporterWanted);
  const LiveSettings live = LiveSettingsOf(settings, liveHooks);

  FrameSequenceSettings& frame = ProcessFrameSequenceSettings();
  if (plan.step[kDetourRunMessage]) {
    LARGE_INTEGER frequency;
    if (!QueryPerformanceFrequency(&frequency)) {
      return Fail(errorText, L"QueryPerformanceFrequency failed with Win32 error " +
                                 std::to_wstring(GetLastError()));
    }
    ProcessCounterFrequency() = frequency.QuadPart;
  }
  if (settings.motionTrace &&
      !OpenMotionTrace(r.motionTracePath.c_str(), ProcessCounterFrequency(), errorText)) {
    return false;
  }
  const MH_STATUS initialized = backend.initialize();
  if (initialized != MH_OK) return Fail(errorText, FormatHookStatus(L"MH_Initialize", initialized));

  EngineRunSettings& run = ProcessEngineRunSettings();
  run.presentationTimingWanted = f.cameraInterpolation || f.handsRootInterpolation || f.worldRootInterpolation ||
                                 f.handsPoseInterpolation || f.worldPoseInterpolation || f.particleInterpolation;
  run.renderUnlockWanted = f.renderUnlock;
  run.sdlGetTicks = mappings.address[kSdlGetTicks];

  for (uint32_t step = 0; step < kDetourStepCount; ++step) {
    if (!plan.step[step]) continue;
    if (step == kDetourEngineRun && f.renderUnlock) ProcessRenderUnlockState().store(kRenderUnlockPending);
    HookSlot& slot = DetourSlot(step);
    slot.target = mappings.address[DetourMapping(step)];
    const MH_STATUS status = backend.createHook(reinterpret_cast<void*>(slot.target),
                                                DetourFunction(step), &slot.trampoline);
    if (status != MH_OK) {
      std::wstring text = FormatHookStatus(
          L"MH_CreateHook(" + std::wstring(EngineMappingName(DetourMapping(step))) + L")", status);
      const char* reason = status == MH_ERROR_UNSUPPORTED_FUNCTION
                               ? backend.unsupportedReason(reinterpret_cast<void*>(slot.target))
                               : nullptr;
      if (reason != nullptr) text += L" (" + Widen(reason) + L")";
      RollBack(backend, mappings, false);
      return Fail(errorText, text);
    }
  }

  frame.camera = f.cameraInterpolation;
  if (f.cameraInterpolation) {
    const uintptr_t setters[4] = {mappings.address[kCameraSetPosition], mappings.address[kCameraSetPitch],
                                  mappings.address[kCameraSetYaw], mappings.address[kCameraSetRoll]};
    ProcessCameraInterpolator().InitCamera(setters);
  }
  frame.handsRoot = f.handsRootInterpolation;
  if (f.handsRootInterpolation) {
    ProcessHandsRootInterpolator().Configure(mappings.address[kEntityGetWorldMatrix],
                                             mappings.address[kEntityGetEntityParent]);
  }
  frame.worldRoot = f.worldRootInterpolation;
  if (f.worldRootInterpolation) {
    ProcessWorldRootInterpolator().Configure(mappings.address[kEntityGetWorldMatrix],
                                             mappings.address[kEntityGetEntityParent],
                                             mappings.address[kPhysicsBodyGetEnabled]);
    ProcessWorldDetourSettings().newtonBodyGetUserData = mappings.address[kNewtonBodyGetUserData];
  }
  frame.handsPose = f.handsPoseInterpolation;
  if (f.handsPoseInterpolation) {
    ProcessHandsPoseInterpolator().Configure(mappings.address[kMeshEntityUpdateGraphicsForFrame]);
  }
  frame.worldPose = f.worldPoseInterpolation;
  if (f.worldPoseInterpolation) {
    ProcessEnemyPoseInterpolator().Configure(mappings.address[kMeshEntityUpdateGraphicsForFrame]);
  }
  frame.particles = f.particleInterpolation;
  frame.mouseOverlay = f.mouseOverlay;
  MouseState& mouse = ProcessMouseState();
  mouse.mouseOverlay = f.mouseOverlay;
  if (f.mouseOverlay) {
    mouse.sdlGetRelativeMouseState = mappings.address[kSdlGetRelativeMouseState];
    mouse.sdlPumpEvents = mappings.address[kSdlPumpEvents];
    mouse.sdlGetRelativeMouseMode = installation.sdlGetRelativeMouseMode;
  }
  // What the frames run with until the INI changes: the limiter, the phase, the compare key, the
  // trace and every drawn switch, from the same rules a change while playing goes through.
  StartLiveSettingsNow(live);

  MH_STATUS enabled = MH_OK;
  for (uint32_t step : kEnableOrder) {
    if (enabled != MH_OK) break;
    if (plan.step[step]) enabled = backend.queueEnableHook(reinterpret_cast<void*>(DetourSlot(step).target));
  }
  if (enabled != MH_OK) {
    RollBack(backend, mappings, false);  // only queued: nothing was patched
    return Fail(errorText, FormatHookStatus(L"Enabling engine hooks", enabled));
  }
  enabled = backend.applyQueued();
  if (enabled != MH_OK) {
    // A partly applied batch may already run on the main thread: keep the trampolines.
    RollBack(backend, mappings, true);
    return Fail(errorText, FormatHookStatus(L"Enabling engine hooks", enabled));
  }

  WriteInfo(log, MappingsLine(mappings, r.hostImageBase));
  WriteFeatureLines(log, r, live, liveHooks);
  if (!reporterWanted) {
    installation.liveHooks = liveHooks;
    return true;
  }

  HANDLE stop = installation.createEvent(nullptr, TRUE, FALSE, nullptr);
  if (stop == nullptr) {
    const DWORD error = GetLastError();
    RollBack(backend, mappings, true);
    return Fail(errorText, L"CreateEventW for telemetry reporter failed with Win32 error " +
                               std::to_wstring(error));
  }
  installation.telemetryStopEvent = stop;
  PublishTelemetrySettings(settings.reportIntervalSeconds, stop, settings.motionTrace);
  HANDLE reporter =
      installation.createThread(nullptr, 0, &TelemetryReporterThreadProc, nullptr, 0, nullptr);
  if (reporter == nullptr) {
    const DWORD error = GetLastError();
    CloseHandle(stop);
    installation.telemetryStopEvent = nullptr;
    RollBack(backend, mappings, true);
    return Fail(errorText, L"CreateThread for telemetry reporter failed with Win32 error " +
                               std::to_wstring(error));
  }
  // Kept for the main thread, which waits for the reporter's last report when the loop ends.
  ProcessTelemetrySettings().reporterThread.store(reporter);
  WriteInfo(log, L"Read-only telemetry hooks enabled; report interval " +
                     std::to_wstring(settings.reportIntervalSeconds) + L" seconds.");
  installation.liveHooks = liveHooks;
  return true;
}

}  // namespace driftglass
