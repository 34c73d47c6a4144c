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
    EXPECT_EQ(run.PatchedEntries(), (Names{"cScene::Render", "cUpdater::RunMessage"}));

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

TEST(HookInstallation, EachFeatureCreatesExactlyItsDetours) {
  const struct {
    const char* label;
    std::string ini;
    Names patched;
    const char* featureLine;
  } cases[] = {
      {"render unlock alone", Ini("RenderUnlock=true\r\n"), {"cEngine::Run"},
       "INFO Render-unlock hook enabled; awaiting cEngine::Run. Use VSync or an external frame cap "
       "during this milestone."},
      {"image trail alone", Ini("ImageTrailTiming=true\r\n"), {"cPostEffect_ImageTrail::RenderEffect"},
       nullptr},
      {"enemy poses without world roots", Ini("WorldPoseInterpolation=true\r\n"),
       {"cEngine::Run", "cScene::Render", "cUpdater::RunMessage", "iLuxEnemy::OnUpdate"}, nullptr},
      {"world roots", Ini("WorldRootInterpolation=true\r\n"),
       {"cEngine::Run", "cPhysicsBodyNewton transform callback", "cScene::Render",
        "cSubMeshEntity::GetModelMatrix", "cUpdater::RunMessage", "iLuxEnemy::OnUpdate",
        "iLuxProp::OnUpdate"},
       nullptr},
      {"mouse overlay", Ini("MouseOverlay=true\r\n"),
       {"cCamera::AddPitch", "cCamera::AddYaw", "cGui::SendMousePos", "cLuxInputHandler::UpdateGamePlayerInput",
        "cLuxPlayer::AddPitch", "cLuxPlayer::AddYaw", "cMouseSDL::GetRelPosition", "cMouseSDL::Update",
        "cScene::Render", "cUpdater::RunMessage"},
       nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    GameSetup setup;
    setup.ini = c.ini;
    GameRun run = Play(setup);
    ExpectCleanRun(run);
    EXPECT_EQ(run.PatchedEntries(), c.patched);
    EXPECT_TRUE(run.HasLine("INFO Compatible x86 executable signatures accepted. Requested hooks are active."));
    if (c.featureLine != nullptr) {
      EXPECT_TRUE(run.HasLine(c.featureLine));
    }
    EXPECT_TRUE(run.LinesStartingWith("INFO Telemetry interval=").empty()) << "no reporter";
  }
}

TEST(HookInstallation, RagdollPosesAloneRequestNothing) {
  GameSetup setup;
  setup.ini = Ini("RagdollPoseInterpolation=true\r\n");
  GameRun run = Play(setup);
  ExpectCleanRun(run);
  EXPECT_TRUE(run.PatchedEntries().empty());
  EXPECT_TRUE(run.HasLine("INFO No engine hooks were requested; executable signature validation was skipped."));
}

TEST(HookInstallation, MotionTraceAloneStartsTheReporter) {
  GameSetup setup;
  setup.ini = kTelemetryOff + "MotionTrace=true\r\nReportIntervalSeconds=1\r\n";
  setup.scenario = "duration_seconds=1.5\nidle_after_seconds=1.6\npacing=capped\n";
  GameRun run = Play(setup);
  ExpectCleanRun(run);
  EXPECT_EQ(run.PatchedEntries(), (Names{"cScene::Render", "cUpdater::RunMessage"}));
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
  EXPECT_EQ(run.PatchedEntries(), (Names{"cScene::Render", "cUpdater::RunMessage"}));
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

}  // namespace
}  // namespace driftglass
