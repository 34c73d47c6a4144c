#include "install/hook_installer.h"

#include <gtest/gtest.h>

#include "detour.h"
#include "install/hook_backend.h"
#include "install/detour_plan.h"
#include "log/diagnostic_log.h"
#include "support/test_image.h"

namespace driftglass {
namespace {

TEST(HookInstaller, StatusAndAddressTexts) {
  EXPECT_EQ(FormatHookStatus(L"MH_CreateHook(cScene::Render)", MH_ERROR_NOT_EXECUTABLE),
            L"MH_CreateHook(cScene::Render) failed: MH_ERROR_NOT_EXECUTABLE");
  EXPECT_EQ(FormatHookStatus(L"Enabling engine hooks", 99), L"Enabling engine hooks failed: (unknown)");
  const auto* base = reinterpret_cast<const void*>(0x00400000);
  EXPECT_EQ(FormatRva(0x00400000, base), L"0x00000000");
  EXPECT_EQ(FormatRva(0x0045A3F0, base), L"0x0005A3F0");
}

// The compare key's start-up line names what it switches; the mouse overlay's look preview only
// where it turns an interpolated camera.
TEST(HookInstaller, TheCompareKeySwitchesTheDrawnCorrectionsRequested) {
  PluginConfig config;
  config.features.mouseOverlay = true;
  const auto switches = [&] { return CompareKeySwitches(LiveHooksOf(config, PlanDetours(config), true)); };
  EXPECT_EQ(switches(), L"");
  config.features.cameraInterpolation = true;
  config.features.particleInterpolation = true;
  EXPECT_EQ(switches(), L"CameraInterpolation, ParticleInterpolation, MouseOverlay's look preview");
}

// Counts what the installer asks of the detour engine without touching any code.
struct RecordingBackend {
  static inline int creates = 0;
  static inline int removes = 0;
  static inline int uninitializes = 0;
  static inline MH_STATUS initializeStatus = MH_OK;
  static inline MH_STATUS createFailure = MH_ERROR_NOT_EXECUTABLE;
  static MH_STATUS Initialize() { return initializeStatus; }
  static MH_STATUS Create(void*, void*, void** original) {
    ++creates;
    *original = nullptr;
    return creates == 2 ? createFailure : MH_OK;
  }
  static const char* Reason(void*) { return "XBEGIN in its first bytes"; }
  static inline MH_STATUS applyStatus = MH_OK;
  static inline int disables = 0;
  static inline MH_STATUS queueStatus = MH_OK;
  static MH_STATUS Ok(void*) { return MH_OK; }
  static MH_STATUS Queue(void*) { return queueStatus; }
  static MH_STATUS Disable(void*) {
    ++disables;
    return MH_OK;
  }
  static MH_STATUS Apply() { return applyStatus; }
  static MH_STATUS Remove(void*) {
    ++removes;
    return MH_OK;
  }
  static MH_STATUS Uninitialize() {
    ++uninitializes;
    return MH_OK;
  }
};

TEST(HookInstaller, FailuresBeforeAnyDetourIsLiveUndoEverything) {
  test::TestImage image;
  test::BuildAcceptedHost(image);
  const HookBackend backend = {&RecordingBackend::Initialize, &RecordingBackend::Create,
                               &RecordingBackend::Queue,      &RecordingBackend::Apply,
                               &RecordingBackend::Disable,    &RecordingBackend::Remove,
                               &RecordingBackend::Uninitialize, &RecordingBackend::Reason};
  HookInstallRequest request;
  request.hostImageBase = image.base();
  request.settings.telemetryEnabled = true;
  HookInstallation installation;
  installation.backend = &backend;
  DiagnosticLog log;
  log.SetDebugOutputSink([](const wchar_t*, void*) {}, nullptr);
  std::wstring error;

  RecordingBackend::initializeStatus = MH_ERROR_ALREADY_INITIALIZED;
  EXPECT_FALSE(InstallHooks(request, installation, log, error));
  EXPECT_EQ(error, L"MH_Initialize failed: MH_ERROR_ALREADY_INITIALIZED");
  EXPECT_EQ(RecordingBackend::creates, 0);

  // The second detour (cUpdater::RunMessage, after the run hook) fails: every detourable target
  // is removed, whether or not a detour was created for it.
  RecordingBackend::initializeStatus = MH_OK;
  EXPECT_FALSE(InstallHooks(request, installation, log, error));
  EXPECT_EQ(error, L"MH_CreateHook(cUpdater::RunMessage) failed: MH_ERROR_NOT_EXECUTABLE");
  EXPECT_EQ(RecordingBackend::creates, 2);
  EXPECT_EQ(RecordingBackend::removes, 18);
  EXPECT_EQ(RecordingBackend::uninitializes, 1);
  // An unsupported function says why.
  RecordingBackend::creates = 0;
  RecordingBackend::createFailure = MH_ERROR_UNSUPPORTED_FUNCTION;
  EXPECT_FALSE(InstallHooks(request, installation, log, error));
  EXPECT_EQ(error, L"MH_CreateHook(cUpdater::RunMessage) failed: MH_ERROR_UNSUPPORTED_FUNCTION "
                   L"(XBEGIN in its first bytes)");

  // A queueing failure happens before anything is patched: everything is removed.
  RecordingBackend::creates = 10;
  RecordingBackend::removes = 0;
  RecordingBackend::uninitializes = 0;
  RecordingBackend::queueStatus = MH_ERROR_NOT_CREATED;
  EXPECT_FALSE(InstallHooks(request, installation, log, error));
  EXPECT_EQ(error, L"Enabling engine hooks failed: MH_ERROR_NOT_CREATED");
  EXPECT_EQ(RecordingBackend::removes, 18);
  EXPECT_EQ(RecordingBackend::uninitializes, 1);
  RecordingBackend::queueStatus = MH_OK;
  RecordingBackend::uninitializes = 1;

  // Once the batch may have gone live the detours are disabled but their trampolines are kept:
  // the main thread could be inside one of them.
  RecordingBackend::creates = 10;  // no more creation failures
  RecordingBackend::removes = 0;
  RecordingBackend::disables = 0;
  RecordingBackend::applyStatus = MH_ERROR_MEMORY_PROTECT;
  EXPECT_FALSE(InstallHooks(request, installation, log, error));
  EXPECT_EQ(error, L"Enabling engine hooks failed: MH_ERROR_MEMORY_PROTECT");
  EXPECT_EQ(RecordingBackend::disables, 1);
  EXPECT_EQ(RecordingBackend::removes, 0);
  EXPECT_EQ(RecordingBackend::uninitializes, 1);
}

}  // namespace
}  // namespace driftglass
