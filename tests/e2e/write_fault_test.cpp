// A full disk under the plug-in while the game plays: the game fills the device that holds the
// plug-in's folder for a stretch, then empties it (simhost/files/write_fault_rig.h). CTest runs this
// through tests/runner/with_small_device.sh, which mounts a device small enough to fill.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "support/game_run.h"

namespace driftglass {
namespace {

using test::GameRun;

const std::string kTraceIni =
    "[Telemetry]\r\nReportIntervalSeconds=1\r\nMotionTrace=true\r\n"
    "[Features]\r\nRenderUnlock=true\r\nCameraInterpolation=true\r\n";
constexpr double kReportSeconds = 1.0;

// The fault lasts at least 20000 frames, more than the trace's ring holds, so frames are dropped
// while the file takes nothing. The pacing only bounds the trace's size on a fast machine.
const std::string kFaultScenario =
    "duration_seconds=3.5\nidle_after_seconds=0.3\npacing=fixed:12000\nlimit_fps=0\n"
    "events=write_fault@90:150\nwrite_fault_frames=20000\n";

std::wstring SmallDevice() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(L"DRIFTGLASS_SMALL_DEVICE", path, MAX_PATH);
  return length > 0 && length < MAX_PATH ? path : L"";
}

// The qpc_seconds of every row, checking that each row is whole: 36 numbers and its line end.
std::vector<double> WholeRowSeconds(const std::string& trace) {
  EXPECT_EQ(trace.substr(trace.size() - 2), "\r\n") << "the trace ends inside a row";
  std::vector<double> seconds;
  size_t bad = 0;
  for (const std::vector<std::string>& row : test::TraceRows(trace)) {
    bool numbers = row.size() == 36;
    for (const std::string& cell : row) {
      char* stop = nullptr;
      std::strtod(cell.c_str(), &stop);
      numbers = numbers && !cell.empty() && *stop == '\0';
    }
    bad += numbers ? 0 : 1;
    seconds.push_back(row.empty() ? 0 : std::strtod(row[0].c_str(), nullptr));
  }
  EXPECT_EQ(bad, 0u) << "cut or glued rows";
  return seconds;
}

char ReporterLine(const std::string& line) {
  if (line.rfind("INFO Telemetry interval=", 0) == 0) return 'T';
  if (line.rfind("INFO MotionTrace written=", 0) == 0) return 'M';
  return 0;
}

TEST(WriteFault, TheTraceAndTheLogComeThroughAFullDiskWithEveryFrameAccountedFor) {
  const std::wstring device = SmallDevice();
  ASSERT_FALSE(device.empty()) << "run through tests/runner/with_small_device.sh";
  test::GameSetup setup;
  setup.ini = kTraceIni;
  setup.scenario = kFaultScenario;
  setup.pluginParent = device;
  GameRun run;
  test::RunGame(setup, run);
  test::ExpectCleanRun(run);
  const auto fault = test::FactNumbers(run, "write_fault");
  ASSERT_FALSE(fault.empty()) << "the game filled the device";
  EXPECT_EQ(fault.at("error"), ERROR_DISK_FULL) << "what Windows reports for a full disk";
  const size_t startFrame = static_cast<size_t>(fault.at("start_frame"));
  const size_t endFrame = static_cast<size_t>(fault.at("end_frame"));
  ASSERT_EQ(run.frames.size(), run.summary["scenerender"]);
  ASSERT_GT(endFrame, startFrame + 16384);

  // The game's frames kept coming while the plug-in's writes failed: per tick at least half as many
  // as before or after the fault, whichever is fewer (the machine's load may change meanwhile).
  const double before = fault.at("start_frame") / fault.at("start_tick");
  const double during =
      (fault.at("end_frame") - fault.at("start_frame")) / (fault.at("end_tick") - fault.at("start_tick"));
  const double after = (static_cast<double>(run.frames.size()) - fault.at("end_frame")) /
                       (static_cast<double>(run.summary["ticks"]) - fault.at("end_tick"));
  EXPECT_GE(during, 0.5 * std::min(before, after)) << "frames per tick before, during and after the fault: "
                                                   << before << ", " << during << ", " << after;

  // Each row is the frame whose render recorded it: between the game's reading of its clock for
  // that frame and the start of its renderer. Rows in order, none twice, none no frame drew.
  const std::vector<double> rows = WholeRowSeconds(run.motionTrace);
  const double loopStart = fault.at("loop_start_seconds");
  constexpr double kRounding = 2e-7;
  std::vector<bool> inTrace(run.frames.size(), false);
  size_t frame = 0;
  size_t strays = 0;
  for (const double seconds : rows) {
    const double wall = seconds - loopStart;
    while (frame < run.frames.size() && run.frames[frame].at("draw_wall") + kRounding < wall) ++frame;
    if (frame == run.frames.size() || run.frames[frame].at("wall") - kRounding > wall) {
      ++strays;
      continue;
    }
    inTrace[frame++] = true;
  }
  EXPECT_EQ(strays, 0u) << "rows that are no frame the game drew, or a frame's second row";

  // Frames missing from the trace are exactly those counted as dropped, all drawn while the ring
  // could not empty, and the trace goes on after the fault.
  const std::vector<std::string> totals = run.LinesStartingWith("INFO MotionTrace written=");
  ASSERT_FALSE(totals.empty());
  const uint64_t written = test::FieldValue(totals.back(), "written");
  const uint64_t dropped = test::FieldValue(totals.back(), "dropped");
  EXPECT_EQ(written, rows.size());
  EXPECT_EQ(written + dropped, run.frames.size());
  size_t missing = 0, missingBeforeFault = 0, tracedAfterFault = 0;
  for (size_t i = 0; i < run.frames.size(); ++i) {
    const size_t index = static_cast<size_t>(run.frames[i].at("index"));
    missing += !inTrace[i];
    missingBeforeFault += !inTrace[i] && index <= startFrame;
    tracedAfterFault += inTrace[i] && index > endFrame;
  }
  EXPECT_EQ(missing, dropped);
  EXPECT_GT(dropped, 0u) << "the ring overflowed during the fault";
  EXPECT_EQ(missingBeforeFault, 0u);
  EXPECT_GT(tracedAfterFault, 0u);

  // One notice for the one fault. Only the reporter writes while the game plays, a telemetry line
  // ('T') and a trace line ('M') per report, so the lost lines must fill the gap between the
  // reporter's lines around the notice, and no more can be lost than reports fit in the fault.
  size_t notice = run.log.size();
  for (size_t i = 0; i < run.log.size(); ++i) {
    if (run.log[i].find("could not be written") == std::string::npos) continue;
    EXPECT_EQ(notice, run.log.size()) << "a second notice: " << run.log[i];
    notice = i;
  }
  ASSERT_LT(notice, run.log.size());
  std::smatch match;
  const std::regex form(
      R"(WARN (\d+) log lines? could not be written \(Win32 error 112(; the line above is cut short)?\); )"
      R"(logging resumed\.)");
  ASSERT_TRUE(std::regex_match(run.log[notice], match, form)) << run.log[notice];
  const uint64_t lost = std::stoull(match[1]);
  const bool cut = match[2].matched;
  ASSERT_GE(notice, cut ? 2u : 1u);
  size_t above = notice - (cut ? 2 : 1);
  while (above > 0 && ReporterLine(run.log[above]) == 0) --above;
  size_t below = notice + 1;
  while (below < run.log.size() && ReporterLine(run.log[below]) == 0) ++below;
  ASSERT_LT(below, run.log.size()) << "the log goes on after the notice";
  const char lastBefore = ReporterLine(run.log[above]);
  const char firstAfter = ReporterLine(run.log[below]);
  EXPECT_EQ(lost % 2, lastBefore == firstAfter ? 1u : 0u)
      << lost << " lines lost between a '" << lastBefore << "' and a '" << firstAfter << "' line";
  const double faultSeconds = fault.at("end_wall") - fault.at("start_wall");
  EXPECT_GE(lost, 1u);
  EXPECT_LE(lost, 2 * (std::floor(faultSeconds / kReportSeconds) + 1)) << "in " << faultSeconds << " s";
  size_t reportsAfter = 0;
  for (size_t i = notice + 1; i < run.log.size(); ++i) reportsAfter += ReporterLine(run.log[i]) == 'T';
  EXPECT_GE(reportsAfter, 2u);
}

}  // namespace
}  // namespace driftglass
