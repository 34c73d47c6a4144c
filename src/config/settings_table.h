#pragma once
// Every key of the INI, declared once: where it is, what it holds, what it means when absent, what
// the release ships, and what a change of it needs to apply while the game plays. The start-up's
// reader, the settings watcher, the "Requested features" line, the "Settings changed" lines, the
// compare key's list of switches, the docs' table and the shipped INI are all checked against or
// made from these rows.

#include <cstdint>
#include <string>

namespace driftglass {

// In the order the keys are read: the first invalid one is the one reported.
enum SettingKey : uint32_t {
  kSettingEnabled = 0,
  kSettingDiagnostics,
  kSettingTelemetryEnabled,
  kSettingMotionTrace,
  kSettingReportInterval,
  kSettingRenderUnlock,
  kSettingPresentationLimiter,
  kSettingCameraInterpolation,
  kSettingHandsRootInterpolation,
  kSettingWorldRootInterpolation,
  kSettingHandsPoseInterpolation,
  kSettingWorldPoseInterpolation,
  kSettingRagdollPoseInterpolation,
  kSettingParticleInterpolation,
  kSettingImageTrailTiming,
  kSettingMouseOverlay,
  kSettingTargetFps,
  kSettingPhaseDelayPercent,
  kSettingCompareKey,
  kSettingCount,
};

// One bit per SettingKey.
using SettingKeys = uint32_t;
constexpr SettingKeys SettingBit(uint32_t key) { return SettingKeys{1} << key; }

enum class SettingKind : uint8_t {
  kBool,       // 1/true/yes/on, 0/false/no/off
  kUnsigned,   // decimal, within minimum..maximum
  kFrameRate,  // as kUnsigned, with the frame rate's own rejection texts
  kKey,        // a key name, or nothing for none
};

// What the running plug-in must have installed for a change of a key to apply while the game
// plays. Every change reaches the game at a tick boundary, so each also needs the tick's detour.
using LiveHooks = uint32_t;
enum LiveHook : LiveHooks {
  kLiveTick = 1u << 0,         // the tick boundary where a change is applied
  kLivePacing = 1u << 1,       // the render unlock, and the limiter's wait after each frame
  kLiveFrames = 1u << 2,       // every frame sampled on the presentation clock
  kLiveReporter = 1u << 3,     // the telemetry reporter: the trace's writer, the interval
  kLiveCamera = 1u << 4,
  kLiveHandsRoot = 1u << 5,
  kLiveHandsPose = 1u << 6,
  kLiveWorldRoot = 1u << 7,
  kLiveWorldPose = 1u << 8,
  kLiveRagdolls = 1u << 9,     // enemy poses, with the prop detour that stages ragdolls
  kLiveParticles = 1u << 10,
  kLiveImageTrail = 1u << 11,
  kLiveLookPreview = 1u << 12, // the mouse detours and an interpolated camera to turn
  kLiveSwitchable = 1u << 13,  // any drawn correction: something for the compare key
  kNextStart = 0,              // never while playing
};

struct SettingDeclaration {
  SettingKey key;
  const wchar_t* section;
  const wchar_t* name;
  SettingKind kind;
  uint32_t defaultValue;
  uint32_t minimum;
  uint32_t maximum;
  const wchar_t* shipped;  // as written in the release's Driftglass.ini
  LiveHooks live;
  const wchar_t* summaryLabel;  // in the "Requested features" line; null: not there
  const wchar_t* summaryUnit;
  const wchar_t* switchedAs;  // a drawn correction the compare key switches, by this name
};

inline constexpr SettingDeclaration kSettings[kSettingCount] = {
    {kSettingEnabled, L"General", L"Enabled", SettingKind::kBool, 1, 0, 1, L"true", kNextStart, nullptr, L"",
     nullptr},
    {kSettingDiagnostics, L"General", L"Diagnostics", SettingKind::kBool, 1, 0, 1, L"true", kNextStart, nullptr,
     L"", nullptr},
    {kSettingTelemetryEnabled, L"Telemetry", L"Enabled", SettingKind::kBool, 1, 0, 1, L"true", kNextStart,
     L"Telemetry", L"", nullptr},
    {kSettingMotionTrace, L"Telemetry", L"MotionTrace", SettingKind::kBool, 0, 0, 1, L"false",
     kLiveReporter | kLiveFrames, L"MotionTrace", L"", nullptr},
    {kSettingReportInterval, L"Telemetry", L"ReportIntervalSeconds", SettingKind::kUnsigned, 5, 1, 60, L"5",
     kLiveReporter, L"TelemetryInterval", L"s", nullptr},
    {kSettingRenderUnlock, L"Features", L"RenderUnlock", SettingKind::kBool, 0, 0, 1, L"true", kNextStart,
     L"RenderUnlock", L"", nullptr},
    {kSettingPresentationLimiter, L"Features", L"PresentationLimiter", SettingKind::kBool, 0, 0, 1, L"true",
     kLivePacing, L"PresentationLimiter", L"", nullptr},
    {kSettingCameraInterpolation, L"Features", L"CameraInterpolation", SettingKind::kBool, 0, 0, 1, L"true",
     kLiveCamera, L"CameraInterpolation", L"", L"CameraInterpolation"},
    {kSettingHandsRootInterpolation, L"Features", L"HandsRootInterpolation", SettingKind::kBool, 0, 0, 1, L"true",
     kLiveHandsRoot, L"HandsRootInterpolation", L"", L"HandsRootInterpolation"},
    {kSettingWorldRootInterpolation, L"Features", L"WorldRootInterpolation", SettingKind::kBool, 0, 0, 1, L"true",
     kLiveWorldRoot, L"WorldRootInterpolation", L"", L"WorldRootInterpolation"},
    {kSettingHandsPoseInterpolation, L"Features", L"HandsPoseInterpolation", SettingKind::kBool, 0, 0, 1, L"true",
     kLiveHandsPose, L"HandsPoseInterpolation", L"", L"HandsPoseInterpolation"},
    {kSettingWorldPoseInterpolation, L"Features", L"WorldPoseInterpolation", SettingKind::kBool, 0, 0, 1, L"true",
     kLiveWorldPose, L"WorldPoseInterpolation", L"", L"WorldPoseInterpolation"},
    // Refines the enemy poses: on unless set off.
    {kSettingRagdollPoseInterpolation, L"Features", L"RagdollPoseInterpolation", SettingKind::kBool, 1, 0, 1,
     L"true", kLiveRagdolls, L"RagdollPoseInterpolation", L"", nullptr},
    {kSettingParticleInterpolation, L"Features", L"ParticleInterpolation", SettingKind::kBool, 0, 0, 1, L"true",
     kLiveParticles, L"ParticleInterpolation", L"", L"ParticleInterpolation"},
    {kSettingImageTrailTiming, L"Features", L"ImageTrailTiming", SettingKind::kBool, 0, 0, 1, L"true",
     kLiveImageTrail, L"ImageTrailTiming", L"", L"ImageTrailTiming"},
    // Only the look preview is drawn; the rest of the overlay is input and stays until the next start.
    {kSettingMouseOverlay, L"Features", L"MouseOverlay", SettingKind::kBool, 0, 0, 1, L"true", kLiveLookPreview,
     L"MouseOverlay", L"", L"MouseOverlay's look preview"},
    {kSettingTargetFps, L"Timing", L"TargetFPS", SettingKind::kFrameRate, 0, 0, 1000, L"0", kLivePacing,
     L"TargetFPS", L"", nullptr},
    // Frames are drawn at the logic timer's own time unless the player asks for a delay: any delay
    // makes displays at 60 to 100 Hz stop and jump just after a tick.
    {kSettingPhaseDelayPercent, L"Timing", L"PhaseDelayPercent", SettingKind::kUnsigned, 0, 0, 100, L"0",
     kLiveFrames, nullptr, L"", nullptr},
    {kSettingCompareKey, L"General", L"CompareKey", SettingKind::kKey, 0, 0, 0, L"F9", kLiveSwitchable, nullptr,
     L"", nullptr},
};

constexpr bool SettingsTableInKeyOrder() {
  for (uint32_t i = 0; i < kSettingCount; ++i) {
    if (kSettings[i].key != i) return false;
  }
  return true;
}
static_assert(SettingsTableInKeyOrder(), "kSettings must list the keys in SettingKey order");

constexpr uint32_t SettingDefault(SettingKey key) { return kSettings[key].defaultValue; }

// "[Telemetry] Enabled" where the name alone would read as another section's key, else the name.
const wchar_t* SettingLabel(uint32_t key);
// The key as written in the INI ("TargetFPS"); "unknown" for anything else.
const wchar_t* SettingName(uint32_t key);
// A value as the log shows it: "true", "141", "F9" or "none".
std::wstring FormatSettingValue(uint32_t key, uint32_t value);

// With the one derived hook added: kLiveSwitchable when any drawn correction is installed.
LiveHooks WithSwitchable(LiveHooks installed);
// The keys whose change applies while the game plays, given what the start installed.
SettingKeys LiveSettingKeys(LiveHooks installed);
// The drawn corrections the compare key switches, by their names, joined with ", ".
std::wstring CompareKeySwitches(LiveHooks installed);

}  // namespace driftglass
