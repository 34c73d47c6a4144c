// cEngine::Run's main loop: fixed logic steps on the engine's logic timer, one render per frame,
// the game's own judging and record around each render, and its pacing between frames.
#include <windows.h>

#include <cstdio>

#include "camera/camera_rig.h"
#include "effects/effects_rig.h"
#include "engine/entry_points.h"
#include "files/settings_file_rig.h"
#include "files/write_fault_rig.h"
#include "game/engine_world.h"
#include "game/game_pacing.h"
#include "hands/hands_rig.h"
#include "input/keyboard_user.h"
#include "input/look_rig.h"
#include "input/mouse_rig.h"
#include "record/host_clock.h"
#include "record/host_record.h"
#include "record/logic_digest.h"
#include "record/process_sampler.h"
#include "scenarios/scenario_events.h"
#include "truth/frame_truth.h"
#include "world/world_rig.h"

extern "C" {
uint32_t SDL_GetTicks(void);
}

namespace {

void RunMessage(int message, float dt) {
  CallMember(engine_cUpdater_RunMessage, World().updater, message, dt);
}

// A long run says how far it got, so a person can tell it from a hung one.
void ReportProgress(double playedSeconds, const Scenario& s, const HostCounts& counts, const HostRecord& record) {
  uint32_t events = 0;
  for (const CameraEvent& e : s.events) events += e.tick <= counts.ticks;
  std::fprintf(stderr, "progress: %g of %g minutes played, %u frames, %u events, %d invariant checks broken\n",
               playedSeconds / 60.0, s.durationSeconds / 60.0, counts.frames, events, record.failures());
  std::fflush(stderr);
}

// The digest of the game's logic once a step is complete: a line a tick, the whole and its parts.
void RecordLogic(const EngineWorld& w) {
  LogicDigest d;
  World3D().DigestLogic(d, w.counts.ticks);
  Rig().DigestLogic(d);
  Hands().DigestLogic(d);
  Effects().DigestLogic(d);
  Mouse().DigestLogic(d);
  Look().DigestLogic(d);
  // The player's own camera (the view's with the mouse look), turned by the look's turns.
  const cCamera& player = *w.player->mpCamera;
  d.Value(kLogicAngles, "player_camera_pitch", player.pitch);
  d.Value(kLogicAngles, "player_camera_yaw", player.yaw);

  char parts[kLogicPartCount * 40];
  int used = 0;
  for (uint32_t p = 0; p < kLogicPartCount && used >= 0 && used < static_cast<int>(sizeof(parts)); ++p) {
    used += std::snprintf(parts + used, sizeof(parts) - static_cast<size_t>(used), " %s=%016llx",
                          LogicDigest::PartName(p), static_cast<unsigned long long>(d.part(static_cast<LogicPart>(p))));
  }
  char input[160];
  Mouse().LogicFields(input, sizeof(input));
  w.record->Line("logic tick=%u world=%016llx player=%016llx all=%016llx yaw=%.9g pitch=%.9g rounding_yaw=%.9g "
                 "rounding_pitch=%.9g %s%s",
                 w.counts.ticks, static_cast<unsigned long long>(d.world()), static_cast<unsigned long long>(d.player()),
                 static_cast<unsigned long long>(d.all()), static_cast<double>(player.yaw),
                 static_cast<double>(player.pitch), Look().yawRoundingSoFar(), Look().pitchRoundingSoFar(), input,
                 parts);
}

}  // namespace

uint32_t (*gPluginRegionQueries)() = nullptr;

namespace {
uint32_t RegionQueries() { return gPluginRegionQueries != nullptr ? gPluginRegionQueries() : 0; }
}  // namespace

extern "C" {

void THISCALL HostEngineRunSetup(cEngine*, int) {}

// cEngine::Run's loop: fixed 60 Hz logic steps on the logic timer, one render per frame.
void HostEngineMainLoop(cEngine* engine) {
  EngineWorld& w = World();
  const Scenario& s = *w.scenario;
  LogicTimer& timer = *engine->mpLogicTimer;
  const double stepMs = timer.stepNumerator / timer.stepDivisor;
  w.loopStartSeconds = HostSeconds();
  Mouse().LoopStarted(w.loopStartSeconds);
  Mouse().AfterTick(0);
  WriteFaults().LoopStarted(w.loopStartSeconds);
  const uint32_t startTicks = SDL_GetTicks();
  // The plug-in reads the tick clock against its wall clock just before this loop starts.
  w.record->Line("loop_start tick_ms=%u wall=%.7f", startTicks, HostSeconds() - w.loopStartSeconds);
  timer.nextDueMs = static_cast<double>(startTicks) + stepMs;
  GamePacing pacing;
  pacing.Start(s, w.loopStartSeconds);
  if (s.processSamples) Sampler().Start(w.loopStartSeconds, &w.counts.ticks, static_cast<uint32_t>(2 * s.durationSeconds) + 600, w.record);
  EventCursor stalls(s, "stall");
  const float dt = static_cast<float>(stepMs / 1000.0);
  FrameTruthClock truthClock(s.phaseDelayPercent / 100.0);
  double lastRenderStart = 0;

  // The game's thread stuck in a burst of input or a stall is not playing time: the loop runs on
  // after it. Nor is a write fault, whose length may be counted in frames.
  double stalledSeconds = 0;
  const auto played = [&] {
    return HostSeconds() - w.loopStartSeconds - Mouse().stalledSeconds() - stalledSeconds -
           WriteFaults().FaultSeconds();
  };
  double nextProgress = s.progressSeconds;
  while (played() < s.durationSeconds) {
    if (s.progressSeconds > 0 && played() >= nextProgress) {
      ReportProgress(nextProgress, s, w.counts, *w.record);
      nextProgress += s.progressSeconds;
    }
    while (stalls.Take(w.counts.ticks) >= 0) {
      // The game hangs (a level load, a hitch) for longer than any frame may take.
      const double start = HostSeconds();
      Sleep(300);
      stalledSeconds += HostSeconds() - start;
    }
    const double nowMs = static_cast<double>(SDL_GetTicks());
    double tickSeconds = 0;
    uint32_t tickQueries = 0;
    for (int steps = 0; nowMs >= timer.nextDueMs && steps < 8; ++steps) {
      RunMessage(1, dt);  // the game's update
      const double tickStart = HostSeconds();
      const uint32_t queriesBefore = RegionQueries();
      RunMessage(6, dt);  // the fixed step is complete
      tickSeconds += HostSeconds() - tickStart;  // the engine's own share is a counter increment
      tickQueries += RegionQueries() - queriesBefore;
      if (s.logicDigest) RecordLogic(w);
      Mouse().AfterTick(w.counts.ticks);
      timer.nextDueMs += stepMs;
    }
    const float frameTime = dt;
    const double drawStart = HostSeconds();
    RunMessage(2, frameTime);  // OnDraw: the engine's own handling only counts it
    const double drawSeconds = HostSeconds() - drawStart;
    Rig().BeforeRender(w.counts.ticks);
    const double renderStart = HostSeconds();
    const FrameTruth truth = truthClock.AtRender(renderStart, PreciseTickClockMs(), timer, w.counts.ticks);
    Hands().BeforeRender(truth, w.counts.ticks);
    World3D().BeforeRender(truth, w.counts.ticks);
    Effects().BeforeRender(truth, w.counts.ticks, lastRenderStart > 0 ? renderStart - lastRenderStart : 1.0 / 60.0);
    lastRenderStart = renderStart;
    const double wall = renderStart - w.loopStartSeconds;
    const uint32_t renderQueries = RegionQueries();
    CallMember(engine_cScene_Render, w.scene, frameTime, 0);
    const uint32_t frameQueries = RegionQueries() - renderQueries;
    const double renderSeconds = HostSeconds() - renderStart;
    if (s.judgeFrames) {
      const FrameTruthEnd truthEnd = truthClock.AfterRender(truth, PreciseTickClockMs(), timer, w.counts.ticks);
      w.record->Line("frame_truth_end truth_raw_end=%.6f truth_alpha_end=%.6f expected_ticks_end=%.6f",
                     truthEnd.raw, truthEnd.alpha, truthEnd.expectedTicks);
    }
    Rig().AfterRender();
    Hands().AfterRender();
    World3D().AfterRender();
    Effects().AfterRender();
    RunMessage(3, frameTime);  // OnPostRender
    RunMessage(7, frameTime);  // messages the plug-in does not know pass through
    ++w.counts.frames;
    const DrawnPose& d = Rig().drawn();
    const ViewAngles& view = Rig().view();
    const cCamera& logic = Rig().logicCamera();
    // Nine significant digits give every float back exactly: a judge comparing frame to frame
    // sees the drawn values, not the print's rounding.
    if (s.shortFrameRecord) {
      w.record->Line("frame index=%u wall=%.7f qpc=%.9f ticks=%u limit_fps=%u drawn_x=%.9g drawn_yaw=%.9g "
                     "interpolated=%d render_us=%.2f truth_valid=%d expected_ticks=%.6f drawn_ticks=%.6f %s",
                     w.counts.frames, wall, renderStart, w.counts.ticks, engine->mbLimitFPS, d.x, d.yaw,
                     Rig().pluginWrote() ? 1 : 0, renderSeconds * 1e6, truth.valid ? 1 : 0, truth.expectedTicks,
                     Rig().DrawnSimulationTicks(w.counts.ticks), Keyboard().FrameFields());
    } else {
      w.record->Line("frame index=%u wall=%.7f ticks=%u limit_fps=%u next_due_ms=%.4f tick_ms=%u "
                     "drawn_x=%.9g drawn_y=%.9g drawn_z=%.9g drawn_pitch=%.9g drawn_yaw=%.9g "
                     "drawn_roll=%.9g roll_step=%.9g roll_ticks=%.6f "
                     "logic_x=%.9g logic_yaw=%.9g view_pitch=%.9g view_yaw=%.9g interpolated=%d "
                     "render_us=%.2f own_render_us=%.2f "
                     "truth_valid=%d truth_raw=%.6f truth_phase=%.6f truth_alpha=%.6f "
                     "expected_ticks=%.6f drawn_ticks=%.6f tick_us=%.2f queries_frame=%u "
                     "queries_tick=%u draw_us=%.2f draw_wall=%.7f %s %s %s %s %s",
                     w.counts.frames, wall, w.counts.ticks, engine->mbLimitFPS, timer.nextDueMs,
                     static_cast<unsigned>(nowMs), d.x, d.y, d.z, d.pitch, d.yaw, d.roll, Rig().RollStep(),
                     Rig().DrawnRollTicks(w.counts.ticks), logic.position[0],
                     logic.yaw, view.pitch, view.yaw, Rig().pluginWrote() ? 1 : 0, renderSeconds * 1e6,
                     w.ownRenderSeconds * 1e6,
                     truth.valid ? 1 : 0, truth.raw, truth.phase, truth.alpha, truth.expectedTicks,
                     Rig().DrawnSimulationTicks(w.counts.ticks), tickSeconds * 1e6, frameQueries, tickQueries,
                     drawSeconds * 1e6, w.drawStartSeconds - w.loopStartSeconds, Hands().FrameFields(),
                     World3D().FrameFields(), Effects().FrameFields(), Mouse().FrameFields(wall),
                     Keyboard().FrameFields());
    }
    Sampler().WriteNew();
    Look().AfterFrame(w.counts.frames, w.counts.ticks, Mouse().SendsDone(), Mouse().lastMotionTick());
    Mouse().AfterFrame(w.counts.ticks);
    Keyboard().AfterFrame(w.counts.ticks);
    WriteFaults().AfterFrame(w.counts.ticks, w.counts.frames);
    SettingsFile().AfterFrame(w.counts.ticks, wall);

    if (engine->mbLimitFPS != 0) {
      // Capped: the next frame waits for the next logic step.
      while (static_cast<double>(SDL_GetTicks()) < timer.nextDueMs) {
        Sleep(timer.nextDueMs - static_cast<double>(SDL_GetTicks()) > 2.0 ? 1 : 0);
      }
    } else {
      pacing.AfterFrame(w.counts.ticks);
    }
  }
  Sampler().Finish();
  if (s.logicDigest) {
    for (uint32_t p = 0; p < kLogicPartCount; ++p) {
      w.record->Line("logic_fields part=%s fields=%s", LogicDigest::PartName(p),
                     LogicDigest::FieldNames(static_cast<LogicPart>(p)).c_str());
    }
  }
}

}  // extern "C"
