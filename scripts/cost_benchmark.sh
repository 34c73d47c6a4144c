#!/usr/bin/env bash
# What the plug-in costs, whole and stage by stage, from its measurement build
# (DriftglassProfiled.dll), with the game's own judging of its frames off (judge_frames=0):
# camera + hands root and pose at fixed 240 Hz with 64 and 512 tracked bodies (512 both a page
# apart and placed as a heap would), with eight posed Grunts, and a sleeping world (90 % of 500
# props asleep, four woken a second); camera + hands alone; the mouse poll in gameplay with a
# nearly still and a 1000 Hz mouse; camera + hands with no compare key, with one, and with the
# corrections switched off by it; and uncapped frame rates against RenderUnlock alone (camera,
# hands and world roots at 64 and 512 bodies; every feature). With BEFORE_DLL=path (another
# measurement build) every run is made with that build too, side by side in this one run.
# BEFORE_WORLD_BENCHMARK=path (another version's world_cost_benchmark.exe) runs that one beside this
# one's. Numbers only, nothing is asserted.
# Called by benchmark.sh; runs alone as well.
# Usage: [BEFORE_DLL=path] [BEFORE_WORLD_BENCHMARK=path] bash scripts/cost_benchmark.sh
#   (how to build the two from an older commit: docs/measurements.md, "A before build")
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
source "$(dirname "${BASH_SOURCE[0]}")/game_runs.sh"

usage_on_help "${BASH_SOURCE[0]}" "$@"
[ -n "${DRIFTGLASS_BENCHMARK_READY:-}" ] || prepare_game_run "${BASH_SOURCE[0]}" "$@"

work="$BUILD_DIR/benchmark/cost"
after="$BUILD_DIR/benchmarks/DriftglassProfiled.dll"
builds=("after=$after")
if [ -n "${BEFORE_DLL:-}" ]; then
  builds=("before=$BEFORE_DLL" "${builds[@]}")
fi

ALL_INI='[Telemetry]\nReportIntervalSeconds=1\n[Features]\nRenderUnlock=1\nCameraInterpolation=1\nHandsRootInterpolation=1\nWorldRootInterpolation=1\nHandsPoseInterpolation=1\nWorldPoseInterpolation=1\nParticleInterpolation=1\nImageTrailTiming=1\nMouseOverlay=1\n[Telemetry]\nMotionTrace=1\n'
fixed="duration_seconds=3\npacing=fixed:240\ncamera_speed=$CAMERA_SPEED\nidle_after_seconds=0.2\ncamera_write_log=0\njudge_frames=0\n"
runs=()
for build in "${builds[@]}"; do
  name=${build%%=*}
  dll=${build#*=}
  export PLUGIN_DLL="$dll"
  run_game "$work/$name-hands" "$HANDS_INI" "$fixed"
  run_game "$work/$name-64" "$HANDS_INI"'WorldRootInterpolation=1\n' "${fixed}world_props=52\n"
  run_game "$work/$name-512" "$HANDS_INI"'WorldRootInterpolation=1\n' "${fixed}world_props=500\n"
  run_game "$work/$name-512-heap" "$HANDS_INI"'WorldRootInterpolation=1\n' "${fixed}world_props=500\nworld_layout=heap\n"
  run_game "$work/$name-sleeping" "$HANDS_INI"'WorldRootInterpolation=1\n' "${fixed}world_props=500\nworld_asleep_percent=90\n"
  run_game "$work/$name-512-poses" "$HANDS_INI"'WorldRootInterpolation=1\nWorldPoseInterpolation=1\n' \
    "${fixed}world_props=494\nworld_grunts=8\npose_bones=128\n"
  for rate in 1 1000; do
    run_game "$work/$name-poll-$rate" "$MOUSE_INI" \
      "duration_seconds=3\npacing=fixed:240\nlimit_fps=0\nidle_after_seconds=0.2\nwindow=visible\nmouse_pattern=sweep\nmouse_rate_hz=$rate\n"
  done
  runs+=("$name camera+hands=$(winepath -w "$work/$name-hands/record.txt")"
         "$name 64 bodies=$(winepath -w "$work/$name-64/record.txt")"
         "$name 512 bodies=$(winepath -w "$work/$name-512/record.txt")"
         "$name 512 bodies, heap=$(winepath -w "$work/$name-512-heap/record.txt")"
         "$name sleeping world=$(winepath -w "$work/$name-sleeping/record.txt")"
         "$name 512 + 8 poses=$(winepath -w "$work/$name-512-poses/record.txt")"
         "$name poll, 1 Hz mouse=$(winepath -w "$work/$name-poll-1/record.txt")"
         "$name poll, 1000 Hz mouse=$(winepath -w "$work/$name-poll-1000/record.txt")")
done
unset PLUGIN_DLL
# The compare key (read once a tick) against none, and with the corrections switched off by it.
PLUGIN_DLL="$after" run_game "$work/compare-none" "$HANDS_INI" "${fixed}window=visible\n"
PLUGIN_DLL="$after" run_game "$work/compare-key" "[General]\nCompareKey=F9\n$HANDS_INI" "${fixed}window=visible\n"
PLUGIN_DLL="$after" run_game "$work/compare-off" "[General]\nCompareKey=F9\n$HANDS_INI" \
  "${fixed}window=visible\nevents=compare_key@20\n"
runs+=("camera+hands, no compare key=$(winepath -w "$work/compare-none/record.txt")"
       "camera+hands, compare key=$(winepath -w "$work/compare-key/record.txt")"
       "camera+hands, corrections off=$(winepath -w "$work/compare-off/record.txt")")
wine "$BUILD_DIR/benchmarks/cost_report.exe" "${runs[@]}"

echo "== The world roots alone on stand-in objects (the least of many ticks and frames; BEFORE_WORLD_BENCHMARK=path runs another build's too)"
[ -z "${BEFORE_WORLD_BENCHMARK:-}" ] || { echo "before:"; wine "$BEFORE_WORLD_BENCHMARK" | tail -n +2; echo "after:"; }
wine "$BUILD_DIR/benchmarks/world_cost_benchmark.exe"
echo "== The same with every region query answered without asking the system (own work on warm caches)"
wine "$BUILD_DIR/benchmarks/world_cost_benchmark_unqueried.exe" | tail -n +2

echo "== Uncapped against RenderUnlock alone, the game's judging off ($(grep duration "$DRIFTGLASS_ROOT/simhost/scenarios/uncapped.txt"))"
uncapped="$(cat "$DRIFTGLASS_ROOT/simhost/scenarios/uncapped.txt")"
fps() {  # folder, INI text, scenario keys added
  run_game "$1" "$2" "$uncapped\n$3"
  awk '/^summary/ { for (i = 2; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
                    printf "%.1f", v["frames"] / v["seconds"] }' "$1/record.txt"
}
for build in "${builds[@]}"; do
  name=${build%%=*}
  export PLUGIN_DLL="${build#*=}"
  for scene in "64 bodies:world_props=52" "512 bodies:world_props=500"; do
    label=${scene%%:*}
    keys=${scene#*:}
    unlock=$(fps "$work/$name-uncapped-unlock" "$UNLOCK_INI" "$keys")
    world=$(fps "$work/$name-uncapped-world" "$HANDS_INI"'WorldRootInterpolation=1\n' "$keys")
    # The plug-in's cost per frame is what the frame's length grew by.
    awk -v n="$name" -v l="$label" -v u="$unlock" -v w="$world" 'BEGIN {
      printf "%s, %s: RenderUnlock alone %s fps, camera + hands + world roots %s fps (%.3f of it); %.0f us a frame (%.1f %% of 240 Hz)\n",
             n, l, u, w, w / u, 1e6 / w - 1e6 / u, (1e6 / w - 1e6 / u) / 41.667 }'
  done
  unlock=$(fps "$work/$name-uncapped-unlock" "$UNLOCK_INI" "")
  all=$(fps "$work/$name-uncapped-all" "$ALL_INI" "")
  awk -v n="$name" -v u="$unlock" -v a="$all" 'BEGIN {
    printf "%s, default world: RenderUnlock alone %s fps, every feature %s fps (%.3f of it)\n", n, u, a, a / u }'
done
