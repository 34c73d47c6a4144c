#!/usr/bin/env bash
# Prints measurements, side by side from one run (numbers only, nothing is asserted):
#  - the detour library: a hooked call against a plain one, and one MH_ApplyQueued;
#  - the simulated game's uncapped frame rate without the plug-in, with the default
#    configuration, and with every feature switched on;
#  - camera animation error at fixed 60 to 360 Hz and at 144 Hz +-30 %: render unlock alone,
#    camera interpolation at the default presentation phase (0), and at PhaseDelayPercent=55;
#  - how steady the first-person hands sit in the view, with the camera alone interpolated and
#    with the hands too, at 144 Hz, 240 Hz and 144 Hz +-30 %;
#  - the animation error of props, unowned bodies and Grunts, camera alone against camera and
#    world;
#  - what the plug-in costs, whole and stage by stage (scripts/cost_benchmark.sh);
#  - a Grunt's turning bone; particles at constant velocity; the image trail's fade per second at
#    30 to 240 Hz, stock against corrected; and 4096 live particles at 240 Hz;
#  - the GUI cursor's latency from a SendInput call to the first frame that draws it moved, stock
#    against MouseOverlay, and what the mouse poll and cursor update cost per frame;
#  - the view turned by the mouse: flick latency and a steady sweep's smoothness, camera
#    interpolation alone against camera interpolation with MouseOverlay;
#  - the presentation limiter at 60 to 240 Hz and at a rate the game cannot reach: frame
#    intervals, animation error and the CPU its wait costs;
#  - the report page opening an hour's tuning session.
# The mouse runs need a display: without one the command runs itself again on a virtual one.
# Usage: bash scripts/benchmark.sh
#   BEFORE_DLL=path (another version's DriftglassProfiled.dll) makes the cost section's runs and
#   paces the presentation limiter's rates with that build too, beside these; with
#   BEFORE_WORLD_BENCHMARK=path (that version's world_cost_benchmark.exe) the cost section runs it
#   beside this one's (how to build them: docs/measurements.md, "A before build").
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
source "$(dirname "${BASH_SOURCE[0]}")/game_runs.sh"

usage_on_help "${BASH_SOURCE[0]}" "$@"
prepare_game_run "${BASH_SOURCE[0]}" "$@"

echo "== Detour library"
wine "$BUILD_DIR/benchmarks/detour_benchmark.exe"

echo "== Simulated game, uncapped ($(grep duration "$DRIFTGLASS_ROOT/simhost/scenarios/uncapped.txt"))"
work="$BUILD_DIR/benchmark"
uncapped="$(cat "$DRIFTGLASS_ROOT/simhost/scenarios/uncapped.txt")"
fps() {  # folder, INI text ("" for no plug-in)
  run_game "$1" "$2" "$uncapped"
  awk '/^summary/ { for (i = 2; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
                    printf "%.1f", v["frames"] / v["seconds"] }' "$1/record.txt"
}
plain=$(fps "$work/none" "")
default=$(fps "$work/default" "[General]\nEnabled=true\n")
all=$(fps "$work/all" "[Features]\nRenderUnlock=1\nCameraInterpolation=1\nHandsRootInterpolation=1\nWorldRootInterpolation=1\nHandsPoseInterpolation=1\nWorldPoseInterpolation=1\nParticleInterpolation=1\nImageTrailTiming=1\nMouseOverlay=1\n[Telemetry]\nMotionTrace=1\n")
awk -v p="$plain" -v d="$default" -v a="$all" 'BEGIN {
  printf "frames per second: without plug-in %s, default configuration %s (%.3f of it), every feature %s (%.3f of it)\n", p, d, d / p, a, a / p }'

echo "== Camera animation error across refresh rates (constant speed; after 0.5 s warm-up;"
echo "   plugin/frame: median render detour time minus the game's own render work, and its share"
echo "   of a 240 Hz frame; off clock: how far the shown time strays from the game's own clock)"
printf '%-32s %7s %10s %10s %10s %8s %18s %12s\n' run frames "mean err" "p99 err" "mean lag" interp \
  plugin/frame "off clock p99"
for pacing in fixed:60 fixed:75 fixed:90 fixed:100 fixed:120 fixed:144 fixed:165 fixed:240 fixed:360 \
              jitter:144:30; do
  sweep_animation "$work/sweep-${pacing//:/-}" "$pacing" 3
done

echo "== Hands locked to the view (hands at a fixed offset from a camera that walks and turns;"
echo "   frame-to-frame change of the drawn hands relative to the drawn camera; palette err: the"
echo "   drawn hand animation against the blend of its two ticks at the game's own fraction)"
runs=()
for pacing in fixed:144 fixed:240 jitter:144:30; do
  mapfile -t -O "${#runs[@]}" runs < <(run_hands_pair "$work/hands-${pacing//:/-}" "$pacing" 3)
done
wine "$BUILD_DIR/benchmarks/hands_report.exe" "${runs[@]}"

echo "== World objects at constant velocity (shown simulation time of what the renderer drew)"
for pacing in fixed:144 fixed:240 jitter:144:30; do
  compare_world "$work/world-${pacing//:/-}" "$pacing" 3
done

echo "== A Grunt's bone turning at a constant rate"
for pacing in fixed:144 fixed:240 jitter:144:30; do
  compare_poses "$work/poses-${pacing//:/-}" "$pacing" 3
done

echo "== Cost, whole and stage by stage (the plug-in's measurement build; BEFORE_DLL=path adds"
echo "   another measurement build's runs beside these)"
DRIFTGLASS_BENCHMARK_READY=1 bash "$DRIFTGLASS_ROOT/scripts/cost_benchmark.sh"

echo "== Particles at constant velocity (shown simulation time of the drawn particle)"
for pacing in fixed:144 fixed:240 jitter:144:30; do
  compare_particles "$work/particles-${pacing//:/-}" "$pacing" 3
done

echo "== Image trail: how fast a drawn frame fades, stock against corrected"
compare_trail "$work/trail" fixed:30 fixed:60 fixed:144 fixed:240 jitter:144:30

echo "== Cost: 4096 live particles at fixed 240 Hz (median render detour time outside the game's"
echo "   own render work)"
scenario="duration_seconds=3\npacing=fixed:240\nidle_after_seconds=0.2\ncamera_write_log=0\nsmoke_particles=4096\n"
run_game "$work/particles-4096-camera" "$CAMERA_INI" "$scenario"
run_game "$work/particles-4096" "$EFFECTS_INI" "$scenario"
wine "$BUILD_DIR/benchmarks/cost_report.exe" \
  "4096 particles, camera only=$(winepath -w "$work/particles-4096-camera/record.txt")" \
  "4096 particles, with particles=$(winepath -w "$work/particles-4096/record.txt")" | grep emitter

echo "== Presentation limiter: an uncapped game paced at each rate (camera interpolated, phase 0);"
echo "   wait CPU: the spinning part of the wait as a share of one core (the sleep costs nothing)"
compare_pacer "$BUILD_DIR/benchmark/pacer" 60 120 144 240

echo "== GUI cursor latency: from the SendInput call to the first frame whose drawn cursor moved"
echo "   (flicks after >= 100 ms of stillness); median plug-in time per frame at the draw message"
echo "   and around the render (the game's own work excluded)"
compare_gui_latency "$work/gui" fixed:144 fixed:240

echo "== Look: from a flick's SendInput to the first frame whose view moved and to the first that"
echo "   reached the game's resting view; a steady sweep's drawn yaw rate frame to frame"
compare_look "$work/look" fixed:144 fixed:240

echo "== Report page: an hour's tuning session (250 523 frames, 123 changes of settings) and its log,"
echo "   analysed in node and opened in headless Chromium"
REPORT_HTML="$BUILD_DIR/report/Driftglass-report.html" NODE_PATH="$BUILD_DIR/report/node_modules" \
  node "$DRIFTGLASS_ROOT/report/test/load_benchmark.js"
