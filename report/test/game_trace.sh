#!/usr/bin/env bash
# Plays the simulated game once with the motion trace on, then checks the report's analysis of
# that trace against the game's record.   usage: game_trace.sh BUILD_DIR WORK_FOLDER
set -euo pipefail
export BUILD_DIR="$1"
work="$2"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/../../scripts/env.sh"
source "$here/../../scripts/game_runs.sh"

ini='[Telemetry]\nReportIntervalSeconds=1\nMotionTrace=true\n[Features]\nRenderUnlock=1\nCameraInterpolation=1\n'
scenario='duration_seconds=3\npacing=fixed:144\nlimit_fps=0\ncamera_speed=3\nidle_after_seconds=0.2\n'
run_game "$work" "$ini" "$scenario"
DRIFTGLASS_GAME_FOLDER="$work" exec node --test "$here/game_trace.test.js"
