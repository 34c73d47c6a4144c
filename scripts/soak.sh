#!/usr/bin/env bash
# A long soak: the simulated game plays a seeded random mix of every event it knows for MINUTES of
# play (default 10) with every feature on (the shipped INI with the motion trace, a report every
# second and the limiter at 300 frames per second), then the same seed without the plug-in as the
# baseline; prints both side by side (see benchmarks/soak_report.cpp) and fails unless the run
# with the plug-in meets the bar. Every minute of play each run prints how far it got.
# Usage: bash scripts/soak.sh [MINUTES] [SEED]
# The game's window needs a display: without one the command runs itself on a virtual display.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
source "$(dirname "${BASH_SOURCE[0]}")/game_runs.sh"

usage_on_help "${BASH_SOURCE[0]}" "$@"
prepare_game_run "${BASH_SOURCE[0]}" "$@"

minutes="${1:-10}"
seed="${2:-1}"
work="$BUILD_DIR/soak"
scenario="duration_seconds=$(awk -v m="$minutes" 'BEGIN { print m * 60 }')\nsoak_seed=$seed\nprogress_seconds=60\n$(cat "$DRIFTGLASS_ROOT/simhost/scenarios/soak.txt")"
ini="$(sed -e 's/^MotionTrace=false/MotionTrace=true/' -e 's/^ReportIntervalSeconds=5/ReportIntervalSeconds=1/' \
           -e 's/^TargetFPS=0/TargetFPS=300/' "$BUILD_DIR/dist/Driftglass.ini")"
# The game's progress lines, named after the run they belong to.
progress() { sed -u "s/^progress: /  $1: /"; }
echo "== Soak: $minutes minutes of play, seed $seed, with the plug-in ($work/plugin)"
run_game "$work/plugin" "$ini" "$scenario" 2>&1 | progress "with the plug-in"
echo "== The same without the plug-in, the baseline ($work/baseline)"
run_game "$work/baseline" '[General]\nEnabled=false\n' "$scenario" 2>&1 | progress "baseline"
echo "== The report"
echo
wine "$BUILD_DIR/benchmarks/soak_report.exe" "$(winepath -w "$work/plugin")" "$(winepath -w "$work/baseline")"
