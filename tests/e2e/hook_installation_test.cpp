// The plug-in inside the simulated game, judged by the game's record of which entry points are
// patched and by the plug-in's log.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "support/build_paths.h"
#include "support/game_run.h"

namespace driftglass {
namespace {

using Names = std::vector<std::string>;
using test::GameRun;
using test::GameSetup;
using test::RunGame;

const std::string kTelemetryOff = "[Telemetry]\r\nEnabled=false\r\n";

std::string Ini(const std::string& features, bool telemetry = false) {
  return (telemetry ? "" : kTelemetryOff) + "[Features]\r\n" + features;
}

GameRun Play(GameSetup setup) {
  GameRun run;
  RunGame(setup, run);
  return run;
}

using test::ExpectCleanRun;

std::string RvaText(uint32_t rva) {
  char text[16];
  snprintf(text, sizeof(text), "0x%08X", rva);
  return text;
}

TEST(HookInstallation, DefaultConfigurationCountsEveryTickAndFrame) {
  GameSetup setup;
  setup.ini = "[Telemetry]\r\nReportIntervalSeconds=1\r\n";
  setup.scenario = "duration_seconds=2.2\nidle_after_seconds=1.6\n";
  for (const wchar_t* variant : {L"simhost", L"simhost-alternative"}) {
    SCOPED_TRACE(variant);
    setup.variant = variant;
    GameRun run = Play(setup);
    ExpectCleanRun(run);
    EXPECT_TRUE(run.HasLine("INFO Compatible x86 executable signatures accepted. Requested hooks are active."));
    EXPECT_TRUE(run.HasLine("INFO Read-only telemetry hooks enabled; report interval 1 seconds."));
    // The run hook lets the reporter write its last interval when the game quits.
    EXPECT_EQ(run.PatchedEntries(), (Names{"cEngine::Run", "cScene::Render", "cUpdater::RunMessage"}));

    // Every RVA the plug-in validated is the game's own.
    const auto rva = [&run](const char* name) { return RvaText(run.entries[name].rva); };
    const std::string expected =
        "INFO Validated engine mappings: cEngine::Run RVA " + rva("cEngine::Run") +
        ", cUpdater::RunMessage RVA " + rva("cUpdater::RunMessage") + ", cScene::Render RVA " +
        rva("cScene::Render") + ", cCamera setters RVA " + rva("cCamera::SetPosition") + "/" +
        rva("cCamera::SetPitch") + "/" + rva("cCamera::SetYaw") + "/" + rva("cCamera::SetRoll") +
        ", cCamera AddPitch/AddYaw RVA " + rva("cCamera::AddPitch") + "/" + rva("cCamera::AddYaw") +
        ", cLuxPlayer::AddYaw/AddPitch RVA " + rva("cLuxPlayer::AddYaw") + "/" +
        rva("cLuxPlayer::AddPitch") + ", cLuxPlayerHands::PostUpdate RVA " +
        rva("cLuxPlayerHands::PostUpdate") + ", iLuxProp::OnUpdate RVA " +
        rva("iLuxProp::OnUpdate") + ", iLuxEnemy::OnUpdate RVA " + rva("iLuxEnemy::OnUpdate") +
        ", iEntity3D::GetWorldMatrix RVA " + rva("iEntity3D::GetWorldMatrix") +
        ", iEntity3D::GetEntityParent RVA " + rva("iEntity3D::GetEntityParent") +
        ", cPhysicsBodyNewton::GetEnabled RVA " + rva("cPhysicsBodyNewton::GetEnabled") +
        ", cPhysicsBodyNewton transform callback RVA " +
        rva("cPhysicsBodyNewton transform callback") +
        ", cMeshEntity::UpdateGraphicsForFrame RVA " + rva("cMeshEntity::UpdateGraphicsForFrame") +
        ", iParticleEmitter::UpdateGraphicsForViewport RVA " +
        rva("iParticleEmitter::UpdateGraphicsForViewport") +
        ", cPostEffect_ImageTrail::RenderEffect RVA " + rva("cPostEffect_ImageTrail::RenderEffect") +
        ", cSubMeshEntity::GetModelMatrix RVA " + rva("cSubMeshEntity::GetModelMatrix") +
        ", cMouseSDL::Update/GetRelPosition RVA " + rva("cMouseSDL::Update") + "/" +
        rva("cMouseSDL::GetRelPosition") + ", cGui::SendMousePos RVA " + rva("cGui::SendMousePos") +
        ", SDL2 relative-state/pump/ticks resolved through named imports, "
        "cLuxInputHandler::UpdateGamePlayerInput RVA " +
        rva("cLuxInputHandler::UpdateGamePlayerInput") + ".";
    EXPECT_TRUE(run.HasLine(expected)) << expected;

    uint64_t ticks = 0, draws = 0, renders = 0, postRenders = 0, cadence = 0;
    const std::vector<std::string> reports = run.LinesStartingWith("INFO Telemetry interval=");
    EXPECT_GE(reports.size(), 3u);
    for (const std::string& line : reports) {
      ticks += test::FieldValue(line, "ticks");
      draws += test::FieldValue(line, "OnDraw");
      renders += test::FieldValue(line, "SceneRender");
      postRenders += test::FieldValue(line, "OnPostRender");
      cadence += test::FieldValue(line, "samples") + test::FieldValue(line, "longGap") +
                 test::FieldValue(line, "invalid");
      EXPECT_NE(line.find(" RenderUnlock=disabled "), std::string::npos);
    }
    EXPECT_GT(run.summary["ticks"], 100u);
    EXPECT_EQ(ticks, run.summary["ticks"]);
    EXPECT_EQ(draws, run.summary["ondraw"]);
    EXPECT_EQ(renders, run.summary["scenerender"]);
    EXPECT_EQ(postRenders, run.summary["onpostrender"]);
    EXPECT_EQ(cadence, run.summary["scenerender"] - 1);
  }
}

// The engine functions the installer may detour, by its step number.
const char* const kDetourSteps[] = {
    nullptr,
    "cEngine::Run",
    "cUpdater::RunMessage",
    "cScene::Render",
    "cLuxPlayerHands::PostUpdate",
    "iLuxProp::OnUpdate",
    "cPhysicsBodyNewton transform callback",
    "iLuxEnemy::OnUpdate",
    "cSubMeshEntity::GetModelMatrix",
    "iParticleEmitter::UpdateGraphicsForViewport",
    "cPostEffect_ImageTrail::RenderEffect",
    "cLuxPlayer::AddYaw",
    "cLuxPlayer::AddPitch",
    "cCamera::AddPitch",
    "cCamera::AddYaw",
    "cMouseSDL::Update",
    "cMouseSDL::GetRelPosition",
    "cGui::SendMousePos",
    "cLuxInputHandler::UpdateGamePlayerInput",
};

Names Steps(std::initializer_list<int> steps) {
  std::set<std::string> names;
  for (int step : steps) names.insert(kDetourSteps[step]);
  return Names(names.begin(), names.end());
}

// Each feature's own log line, in the order the installer writes them.
const std::pair<const char*, const char*> kFeatureLines[] = {
    {"RenderUnlock",
     "INFO Render-unlock hook enabled; awaiting cEngine::Run. Use VSync, an external frame cap or "
     "PresentationLimiter."},
    {"CameraInterpolation",
     "INFO Main-view camera interpolation enabled: render-scoped position and "
     "quaternion-orientation/cache overrides will be restored byte-for-byte after cScene::Render."},
    {"HandsRootInterpolation",
     "INFO First-person hands-root interpolation enabled: completed-tick root matrices share the "
     "camera presentation clock; renderer-facing hand and attached-object submesh matrices are "
     "returned from plugin-owned fixed storage. Parent-validated hand-object billboard, particle, "
     "and light world-matrix caches receive the same render-scoped correction and are restored "
     "byte-for-byte after cScene::Render."},
    {"WorldRootInterpolation",
     "INFO Selected world-root interpolation enabled for dynamic Lux props, otherwise-unowned Newton "
     "render bodies, and Grunt enemies: completed-tick Newton-body/mesh roots share the camera "
     "presentation clock; renderer-facing submeshes select their actual parent-body history, "
     "sleeping Newton props use a cached fast path with immediate transform-callback wakeup, and "
     "results use plugin-owned storage. Physics and HPL transform trees are unchanged."},
    {"HandsPoseInterpolation",
     "INFO First-person hands-pose interpolation enabled: completed bone palettes are sampled on "
     "the shared presentation clock, exposed only during cScene::Render, and restored "
     "byte-for-byte afterward. Animation logic and events are not re-run."},
    {"WorldPoseInterpolation",
     "INFO Grunt pose interpolation enabled: active Grunt meshes use independent completed-tick "
     "affine palette histories on the shared presentation clock. Palettes are exposed only during "
     "cScene::Render and restored byte-for-byte; animation logic and events are not re-run."},
    {"ParticleInterpolation",
     "INFO Particle position interpolation enabled: every visible emitter uses HPL's built-in "
     "previous/current fixed positions on the shared presentation clock. Positions are overridden "
     "only while that emitter builds its render vertices and restored byte-for-byte afterward; "
     "particle simulation, collision, emission, and lifetime remain fixed-step."},
    {"ImageTrailTiming",
     "INFO Image-trail timing correction enabled: HPL's stock 60 Hz accumulation-buffer decay is "
     "converted to the current render interval. The gameplay amount and effect fade remain "
     "fixed-step, and the original amount is restored after every effect draw."},
    {"MouseOverlay",
     "INFO Mouse presentation preview enabled for smooth-off gameplay: active render frames pump "
     "SDL events while a game-window WM_INPUT tap retains each native relative packet. The next "
     "fixed sample retires those counts exactly once, and a render-only camera offset combines the "
     "unpresented fraction of captured authoritative angular commands with still-pending motion. "
     "Pitch/yaw setters retain engine limits and the authoritative camera is restored after "
     "rendering. The exact camera preview rotation is also composed into the render-only hands "
     "root, active hand object, and validated light/billboard/particle children. GUI states "
     "receive the same pending native counts as a direct presentation-rate software-cursor update; "
     "the next fixed GUI update retires only the unpresented correction, with no cursor history."},
    {"MotionTrace", "INFO Asynchronous camera motion trace enabled: "},
};

// The feature lines a run logged, in log order, by feature name.
Names LoggedFeatures(const GameRun& run) {
  Names features;
  for (const std::string& entry : run.log) {
    for (const auto& [feature, line] : kFeatureLines) {
      const bool exact = std::string(feature) != "MotionTrace";
      if (exact ? entry == line : entry.rfind(line, 0) == 0) features.push_back(feature);
    }
  }
  return features;
}

TEST(HookInstallation, EachFeatureAloneCreatesExactlyItsDetours) {
  const struct {
    const char* feature;
    Names patched;
    const char* limiter = "";  // with PresentationLimiter too, and its start-up line
    const char* compareKey = "";  // with CompareKey=F9 too, and its start-up line
  } cases[] = {
      // Every start has the tick's detour: a change of the INI applies there, the limiter waits there.
      {"RenderUnlock", Steps({1, 2})},
      // A compare key with nothing drawn to switch is not read: no frame detour for it.
      {"RenderUnlock", Steps({1, 2}), "",
       "WARN Compare key F9 has nothing to switch: none of CameraInterpolation, HandsRootInterpolation, "
       "WorldRootInterpolation, HandsPoseInterpolation, WorldPoseInterpolation, ParticleInterpolation, "
       "ImageTrailTiming and MouseOverlay's look preview is on. The key is not read."},
      {"ImageTrailTiming", Steps({2, 3, 10}), "",
       "INFO Compare key F9: pressed in the game, every drawn correction (ImageTrailTiming) stands aside and "
       "frames show the game's own state until it is pressed again."},
      {"RenderUnlock", Steps({1, 2}), "INFO Presentation limiter enabled: 144 frames per second."},
      {"CameraInterpolation", Steps({1, 2, 3})},
      {"HandsRootInterpolation", Steps({1, 2, 3, 4, 8})},
      {"HandsPoseInterpolation", Steps({1, 2, 3, 4})},
      {"WorldRootInterpolation", Steps({1, 2, 3, 5, 6, 7, 8})},
      {"WorldPoseInterpolation", Steps({1, 2, 3, 7})},
      {"ParticleInterpolation", Steps({1, 2, 3, 9})},
      {"ImageTrailTiming", Steps({2, 10})},
      {"MouseOverlay", Steps({2, 3, 11, 12, 13, 14, 15, 16, 17, 18})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.feature);
    GameSetup setup;
    const bool limiter = *c.limiter != '\0';
    const bool compareKey = *c.compareKey != '\0';
    setup.ini = (compareKey ? "[General]\r\nCompareKey=F9\r\n" : "") +
                Ini(std::string(c.feature) + "=true\r\n" +
                    (limiter ? "PresentationLimiter=true\r\n[Timing]\r\nTargetFPS=144\r\n" : ""));
    GameRun run = Play(setup);
    ExpectCleanRun(run);
    EXPECT_EQ(run.PatchedEntries(), c.patched);
    if (limiter) {
      EXPECT_TRUE(run.HasLine(c.limiter));
    }
    if (compareKey) {
      EXPECT_TRUE(run.HasLine(c.compareKey));
    }
    EXPECT_TRUE(run.HasLine("INFO Compatible x86 executable signatures accepted. Requested hooks are active."));
    EXPECT_EQ(LoggedFeatures(run), Names{c.feature});
    EXPECT_TRUE(run.LinesStartingWith("INFO Telemetry interval=").empty()) << "no reporter";
  }
}

TEST(HookInstallation, FeaturesWithoutDetoursOfTheirOwnRequestNothing) {
  for (const char* feature : {"RagdollPoseInterpolation", "PresentationLimiter"}) {
    SCOPED_TRACE(feature);
    GameSetup setup;
    setup.ini = Ini(std::string(feature) + "=true\r\n");
    GameRun run = Play(setup);
    ExpectCleanRun(run);
    EXPECT_TRUE(run.PatchedEntries().empty());
    EXPECT_TRUE(run.HasLine("INFO No engine hooks were requested; executable signature validation was skipped."));
    EXPECT_TRUE(run.LinesStartingWith("INFO Validated engine mappings").empty()) << "installer not called";
  }
}

TEST(HookInstallation, EveryFeatureLineIsLoggedInItsOrder) {
  GameSetup setup;
  setup.ini = "[Telemetry]\r\nMotionTrace=true\r\n[Features]\r\nRenderUnlock=1\r\nCameraInterpolation=1\r\n"
              "HandsRootInterpolation=1\r\nWorldRootInterpolation=1\r\nHandsPoseInterpolation=1\r\n"
              "WorldPoseInterpolation=1\r\nParticleInterpolation=1\r\nImageTrailTiming=1\r\nMouseOverlay=1\r\n";
  GameRun run = Play(setup);
  ExpectCleanRun(run);
  Names all;
  for (const auto& [feature, line] : kFeatureLines) all.push_back(feature);
  EXPECT_EQ(LoggedFeatures(run), all);
  EXPECT_TRUE(run.HasLine(std::string(kFeatureLines[9].second) +
                          test::ToUtf8(run.folder->File(L"Driftglass.motion.csv")) +
                          ". The render thread only publishes fixed-size records; the telemetry "
                          "thread writes CSV batches."));
  EXPECT_EQ(run.PatchedEntries().size(), 18u);
}

// The game quits 1.5 s into the default 5-second interval, at once: the reporter still writes
// that interval's line and every frame drawn, once.
TEST(HookInstallation, MotionTraceAloneStartsTheReporter) {
  GameSetup setup;
  setup.ini = kTelemetryOff + "MotionTrace=true\r\n";
  setup.scenario = "duration_seconds=1.5\nidle_after_seconds=0\npacing=capped\n";
  GameRun run = Play(setup);
  ExpectCleanRun(run);
  EXPECT_EQ(run.PatchedEntries(), (Names{"cEngine::Run", "cScene::Render", "cUpdater::RunMessage"}));
  EXPECT_FALSE(run.LinesStartingWith("INFO Telemetry interval=").empty());
  EXPECT_FALSE(run.LinesStartingWith("INFO Asynchronous camera motion trace enabled: ").empty());

  const std::vector<std::string> totals = run.LinesStartingWith("INFO MotionTrace written=");
  ASSERT_FALSE(totals.empty());
  const uint64_t written = test::FieldValue(totals.back().substr(5), "written");
  EXPECT_EQ(test::FieldValue(totals.back().substr(5), "dropped"), 0u);
  EXPECT_EQ(written, run.summary["scenerender"]);

  const std::string header =
      "qpc_seconds,tick_serial,older_serial,newer_serial,raw_alpha,phase_delay_ticks,alpha,flags,"
      "auth_x,auth_y,auth_z,auth_pitch,auth_yaw,auth_roll,base_x,base_y,base_z,base_pitch,base_yaw,"
      "base_roll,final_x,final_y,final_z,final_pitch,final_yaw,final_roll,poll_x,poll_y,deferred_x,"
      "deferred_y,pending_x,pending_y,history_pitch,history_yaw,pending_pitch,pending_yaw\r\n";
  ASSERT_EQ(run.motionTrace.substr(0, header.size()), header);
  std::vector<std::string> rows;
  for (size_t at = header.size(); at < run.motionTrace.size();) {
    const size_t end = run.motionTrace.find("\r\n", at);
    ASSERT_NE(end, std::string::npos);
    rows.push_back(run.motionTrace.substr(at, end - at));
    at = end + 2;
  }
  EXPECT_EQ(rows.size(), written);
  double previous = -1;
  uint64_t previousTick = 0;
  for (const std::string& row : rows) {
    const double seconds = strtod(row.c_str(), nullptr);
    EXPECT_GT(seconds, previous) << "frame order, no duplicates";
    previous = seconds;
    const uint64_t tick = strtoull(row.c_str() + row.find(',') + 1, nullptr, 10);
    EXPECT_GE(tick, previousTick);
    previousTick = tick;
  }
  EXPECT_GT(previousTick, 60u);
}

TEST(HookInstallation, GameBuildsThatDoNotMatchFailClosed) {
  const struct {
    const wchar_t* variant;
    std::string ini;
    const char* error;
  } cases[] = {
      {L"simhost-missing", "", "cScene::Render: expected one signature match, found 0"},
      {L"simhost-both-forms", "", "iLuxEnemy::OnUpdate: expected one signature match, found 2"},
      {L"simhost-ticks-by-ordinal", "", "SDL_GetTicks: expected one named import, found 0"},
      {L"simhost-without-mouse-mode", Ini("MouseOverlay=true\r\n"),
       "SDL_GetRelativeMouseMode is unavailable for GUI mouse-mode detection"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    GameSetup setup;
    setup.variant = c.variant;
    setup.ini = c.ini;
    GameRun run = Play(setup);
    ExpectCleanRun(run);
    EXPECT_TRUE(run.PatchedEntries().empty());
    EXPECT_TRUE(run.HasLine(std::string("ERROR Hook initialization failed: ") + c.error));
    EXPECT_TRUE(run.HasLine("ERROR Fail-closed: engine hooks were not left installed."));
  }
  // Without the overlay the missing mouse-mode function does not matter.
  GameSetup setup;
  setup.variant = L"simhost-without-mouse-mode";
  GameRun run = Play(setup);
  ExpectCleanRun(run);
  EXPECT_EQ(run.PatchedEntries(), (Names{"cEngine::Run", "cScene::Render", "cUpdater::RunMessage"}));
}

TEST(HookInstallation, FailedDetourCreationRollsEverythingBack) {
  // Every feature: detours 1 to 8 are created, the ninth (particles) fails.
  SetEnvironmentVariableW(L"DRIFTGLASS_TEST_FAIL_CREATE_CALL", L"9");
  GameSetup setup;
  setup.plugin = DRIFTGLASS_BUILD_DIR L"\\tests\\DriftglassFailingBackend.dll";
  setup.ini = "[Features]\r\nRenderUnlock=1\r\nCameraInterpolation=1\r\nHandsRootInterpolation=1\r\n"
              "WorldRootInterpolation=1\r\nHandsPoseInterpolation=1\r\nWorldPoseInterpolation=1\r\n"
              "ParticleInterpolation=1\r\nImageTrailTiming=1\r\nMouseOverlay=1\r\n";
  GameRun run = Play(setup);
  SetEnvironmentVariableW(L"DRIFTGLASS_TEST_FAIL_CREATE_CALL", nullptr);
  ExpectCleanRun(run);
  EXPECT_TRUE(run.PatchedEntries().empty());
  EXPECT_TRUE(run.HasLine("ERROR Hook initialization failed: "
                          "MH_CreateHook(iParticleEmitter::UpdateGraphicsForViewport) failed: "
                          "MH_ERROR_MEMORY_ALLOC"));
  EXPECT_TRUE(run.LinesStartingWith("INFO Validated engine mappings").empty());
}

TEST(HookInstallation, ReporterThatCannotStartRollsEverythingBack) {
  for (const char* call : {"CreateEventW", "CreateThread"}) {
    SCOPED_TRACE(call);
    SetEnvironmentVariableA("DRIFTGLASS_TEST_FAIL_REPORTER", call);
    GameSetup setup;
    setup.plugin = DRIFTGLASS_BUILD_DIR L"\\tests\\DriftglassFailingBackend.dll";
    setup.ini = "[Features]\r\nRenderUnlock=1\r\nCameraInterpolation=1\r\nMouseOverlay=1\r\n";
    GameRun run = Play(setup);
    SetEnvironmentVariableA("DRIFTGLASS_TEST_FAIL_REPORTER", nullptr);
    ExpectCleanRun(run);
    EXPECT_TRUE(run.PatchedEntries().empty()) << "the game found detours still in place";
    EXPECT_TRUE(run.HasLine(std::string("ERROR Hook initialization failed: ") + call +
                            " for telemetry reporter failed with Win32 error 8"));
    EXPECT_TRUE(run.HasLine("ERROR Fail-closed: engine hooks were not left installed."));
    EXPECT_EQ(LoggedFeatures(run), (Names{"RenderUnlock", "CameraInterpolation", "MouseOverlay"}))
        << "lines written before the failure stay";
    EXPECT_TRUE(run.LinesStartingWith("INFO Telemetry interval=").empty());
    for (const auto& frame : run.frames) EXPECT_EQ(frame.at("interpolated"), 0.0);
  }
}

}  // namespace
}  // namespace driftglass
