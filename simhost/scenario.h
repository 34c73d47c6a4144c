#pragma once
// A scenario file: plain "key=value" lines, '#' starts a comment line.
//
//   duration_seconds=3          how long the main loop runs
//   pacing=capped               capped (only the engine's own frame limit), uncapped,
//                               fixed:HZ, or jitter:HZ:PERCENT (frame times vary by +-PERCENT)
//   limit_fps=1                 the engine's frame-limit flag when its loop starts (1 or 0)
//   camera_speed=1.5            world units per second the scripted camera moves along x
//   idle_after_seconds=1.5      how long the game keeps running after its loop, so the
//                               plug-in's last telemetry interval can end
//   bootstrap_wait_seconds=30   how long to wait for the plug-in's start-up to end

#include <string>

enum class Pacing { kCapped, kUncapped, kFixed, kJitter };

struct Scenario {
  double durationSeconds = 3.0;
  Pacing pacing = Pacing::kCapped;
  double pacingHz = 0.0;
  double jitterPercent = 0.0;
  bool limitFps = true;
  double cameraSpeed = 1.0;
  double idleAfterSeconds = 0.0;
  double bootstrapWaitSeconds = 30.0;
};

// Reads a scenario; on failure fills error with the file's line and reason.
bool LoadScenario(const std::wstring& path, Scenario& scenario, std::string& error);
bool ParseScenarioText(const std::string& text, Scenario& scenario, std::string& error);
