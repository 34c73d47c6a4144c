#!/usr/bin/env bash
# The demo command: installs what is missing and builds, then runs the simulated game under Wine
#  1. with the shipped INI (every feature on; start-up log, validated engine, telemetry line);
#  2. at 144 Hz with the render unlock and camera interpolation (its telemetry line);
#  3. three ways at 144 Hz (stock, render unlock alone, with camera interpolation), printing the
#     camera's animation error side by side;
#  4. the first-person hands at 144 Hz: interpolated with the camera alone and with the hands too,
#     printing how steady they sit in the view;
#  5. a world scene at 144 Hz (props, unowned bodies, Grunts): the camera alone and with the world
#     roots interpolated too, printing each object's animation error;
#  6. a walking Grunt and a ragdoll falling and coming to rest, with their poses interpolated;
#  7. particles and the image trail at 144 Hz: a particle's animation error and the trail's fade;
#  8. the mouse look at 144 Hz: flicks and a steady sweep sent as real input, camera interpolation
#     alone against camera + MouseOverlay.
# The sample run has a game window that the mouse moves: without a display the command runs
# itself again on a virtual display of its own.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
source "$(dirname "${BASH_SOURCE[0]}")/game_runs.sh"

prepare_game_run "${BASH_SOURCE[0]}" "$@"

demo="$BUILD_DIR/demo"
echo "== 1. The shipped configuration ($demo/sample, about 6 seconds)"
run_game "$demo/sample" "$(cat "$BUILD_DIR/dist/Driftglass.ini")" "$(cat "$DRIFTGLASS_ROOT/simhost/scenarios/demo.txt")"
cat "$demo/sample/Driftglass.log"
echo "   Entry points the plug-in patched:"
grep '^entry .*patched=1' "$demo/sample/record.txt" | sed 's/^/   /'
echo "   The game's mouse (what the user sent, what gameplay and the GUI read):"
grep '^fact mouse' "$demo/sample/record.txt" | sed 's/^fact mouse/  /'

echo
echo "== 2. 144 Hz with the render unlock and camera interpolation ($demo/camera)"
run_game "$demo/camera" "$CAMERA_INI" "duration_seconds=3.2\npacing=fixed:144\ncamera_speed=$CAMERA_SPEED\nidle_after_seconds=0.2\n"
grep -E 'Render unlock applied|Telemetry interval' "$demo/camera/Driftglass.log" | tail -2 |
  sed -E 's/ (MouseAudit|Hands|World|Particles|ImageTrail|Pose|EnemyPose)\(.*//'
echo "   (groups of features that are off are cut here; the log has the whole line)"

echo
echo "== 3. Camera animation error at 144 Hz (constant speed; after 0.5 s warm-up)"
compare_animation "$demo/animation" fixed:144 4

echo
echo "== 4. First-person hands at 144 Hz ($demo/hands): how steady they sit in the view"
mapfile -t runs < <(run_hands_pair "$demo/hands" fixed:144 3)
wine "$BUILD_DIR/benchmarks/hands_report.exe" "${runs[@]}"
grep -E 'Telemetry interval' "$demo/hands/hands/Driftglass.log" | tail -1 | grep -oE ' (Hands|Pose)\([^)]*\)' | sed 's/^/  /'

echo
echo "== 5. A world scene at 144 Hz ($demo/world): props, unowned bodies and Grunts"
compare_world "$demo/world" fixed:144 3
grep -E 'Telemetry interval' "$demo/world/world/Driftglass.log" | tail -1 | grep -oE ' World\([^)]*\)' | sed 's/^/  /'

echo
echo "== 6. A walking Grunt and a ragdoll falling and coming to rest ($demo/poses)"
compare_poses "$demo/poses" fixed:144 3
run_game "$demo/ragdoll" "$POSE_INI" "duration_seconds=3\npacing=fixed:144\nidle_after_seconds=1.2\nevents=ragdoll_rest@120\n"
grep -E 'Telemetry interval' "$demo/ragdoll/Driftglass.log" | grep -oE ' EnemyPose\([^)]*\)' | sed 's/^/  /'
echo "   (the ragdoll comes to rest at tick 120; from then on only the Grunts are blended)"

echo
echo "== 7. Particles and the image trail ($demo/effects)"
compare_particles "$demo/effects" fixed:144 3
compare_trail "$demo/trail" fixed:60 fixed:144

echo
echo "== 8. The mouse look at 144 Hz ($demo/look): time from a flick to the first frame whose view"
echo "   moved and to the frame that reached the game's resting view; a steady sweep's yaw rate"
compare_look "$demo/look" fixed:144
