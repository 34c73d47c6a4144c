# Sourced by the demo and benchmark scripts: runs the simulated game in a folder of its own.
#   run_game FOLDER INI_TEXT SCENARIO_TEXT    (INI_TEXT "" runs the game without the plug-in;
#                                              PLUGIN_DLL overrides the plug-in that is copied)
# leaves FOLDER/record.txt and, with the plug-in, FOLDER/Driftglass.log.

# With --help or -h as the first argument, prints the calling script's opening comment (its usage)
# and exits 0; call it at the script's top level before anything is installed, built or run.
#   usage_on_help "${BASH_SOURCE[0]}" "$@"
usage_on_help() {
  case "${2:-}" in
    -h|--help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$1"; exit 0 ;;
  esac
}

run_game() {
  local folder="$1" ini="$2" scenario="$3"
  rm -rf "$folder" && mkdir -p "$folder"
  printf '%b' "$scenario" > "$folder/scenario.txt"
  local plugin=()
  if [ -n "$ini" ]; then
    cp "${PLUGIN_DLL:-$BUILD_DIR/dist/Driftglass.dll}" "$folder/Driftglass.dll"
    printf '%b' "$ini" > "$folder/Driftglass.ini"
    plugin=(--plugin "$(winepath -w "$folder/Driftglass.dll")")
  fi
  wine "$BUILD_DIR/simhost/simhost.exe" "${plugin[@]}" --scenario "$(winepath -w "$folder/scenario.txt")" \
    --record "$(winepath -w "$folder/record.txt")" >/dev/null || true
}

UNLOCK_INI='[Telemetry]\nReportIntervalSeconds=1\n[Features]\nRenderUnlock=1\n'
CAMERA_INI='[Telemetry]\nReportIntervalSeconds=1\n[Features]\nRenderUnlock=1\nCameraInterpolation=1\n'
PHASE55_INI="$CAMERA_INI"'[Timing]\nPhaseDelayPercent=55\n'
CAMERA_SPEED=3

animation_scenario() {  # pacing seconds [phase percent the game's clock assumes]
  echo "duration_seconds=$2\npacing=$1\ncamera_speed=$CAMERA_SPEED\nidle_after_seconds=0.2\nphase_delay_percent=${3:-0}\ncamera_write_log=0\n"
}

# Stock game, render unlock alone, render unlock with the camera, at one pacing; prints the
# animation-error comparison.
compare_animation() {
  local work="$1" pacing="$2" seconds="$3"
  local scenario
  scenario=$(animation_scenario "$pacing" "$seconds")
  run_game "$work/stock" "" "$scenario"
  run_game "$work/unlock" "$UNLOCK_INI" "$scenario"
  run_game "$work/camera" "$CAMERA_INI" "$scenario"
  wine "$BUILD_DIR/benchmarks/animation_report.exe" \
    "$pacing stock=$(winepath -w "$work/stock/record.txt")" \
    "$pacing render unlock=$(winepath -w "$work/unlock/record.txt")" \
    "$pacing unlock + camera=$(winepath -w "$work/camera/record.txt")"
}

# Render unlock alone, the camera at the default phase (0) and at PhaseDelayPercent=55, at one
# pacing.
sweep_animation() {
  local work="$1" pacing="$2" seconds="$3"
  run_game "$work/unlock" "$UNLOCK_INI" "$(animation_scenario "$pacing" "$seconds")"
  run_game "$work/camera" "$CAMERA_INI" "$(animation_scenario "$pacing" "$seconds")"
  run_game "$work/phase55" "$PHASE55_INI" "$(animation_scenario "$pacing" "$seconds" 55)"
  wine "$BUILD_DIR/benchmarks/animation_report.exe" \
    "$pacing render unlock=$(winepath -w "$work/unlock/record.txt")" \
    "$pacing camera, phase 0% (default)=$(winepath -w "$work/camera/record.txt")" \
    "$pacing camera, phase 55%=$(winepath -w "$work/phase55/record.txt")" | tail -n +2
}

HANDS_INI="$CAMERA_INI"'HandsRootInterpolation=1\nHandsPoseInterpolation=1\n'

# The hands held at a fixed offset from a camera that walks and turns, with the camera alone
# interpolated and with the hands too, at one pacing. Prints the two LABEL=RECORD arguments for
# hands_report.
run_hands_pair() {
  local work="$1" pacing="$2" seconds="$3"
  local scenario="duration_seconds=$seconds\npacing=$pacing\ncamera_motion=walk_turn\ncamera_speed=$CAMERA_SPEED\nturn_rate=1.5\nhands_sway=0\nidle_after_seconds=0.2\ncamera_write_log=0\n"
  run_game "$work/camera" "$CAMERA_INI" "$scenario"
  run_game "$work/hands" "$HANDS_INI" "$scenario"
  echo "$pacing camera only=$(winepath -w "$work/camera/record.txt")"
  echo "$pacing camera + hands=$(winepath -w "$work/hands/record.txt")"
}

WORLD_INI="$CAMERA_INI"'WorldRootInterpolation=1\n'

# Props, unowned bodies and Grunts moving at constant velocity, with the camera alone
# interpolated and with the world too, at one pacing; prints the animation error of each.
compare_world() {
  local work="$1" pacing="$2" seconds="$3"
  local scenario
  scenario=$(animation_scenario "$pacing" "$seconds")
  run_game "$work/camera" "$CAMERA_INI" "$scenario"
  run_game "$work/world" "$WORLD_INI" "$scenario"
  local camera world
  camera=$(winepath -w "$work/camera/record.txt")
  world=$(winepath -w "$work/world/record.txt")
  wine "$BUILD_DIR/benchmarks/animation_report.exe" \
    "$pacing camera (camera only)=$camera" "$pacing camera (with world)=$world" \
    --field=prop_ticks "$pacing prop (camera only)=$camera" "$pacing prop (with world)=$world" \
    --field=body_ticks "$pacing body (camera only)=$camera" "$pacing body (with world)=$world" \
    --field=grunt_ticks "$pacing Grunt (camera only)=$camera" "$pacing Grunt (with world)=$world"
}

# One object's shown simulation time (the record's FIELD column), with the camera alone
# interpolated and with INI's features too, at one pacing.
#   compare_field WORK PACING SECONDS INI FIELD LABEL
compare_field() {
  local work="$1" pacing="$2" seconds="$3" ini="$4" field="$5" label="$6"
  local scenario
  scenario=$(animation_scenario "$pacing" "$seconds")
  run_game "$work/camera" "$CAMERA_INI" "$scenario"
  run_game "$work/feature" "$ini" "$scenario"
  wine "$BUILD_DIR/benchmarks/animation_report.exe" --field="$field" \
    "$pacing $label (camera only)=$(winepath -w "$work/camera/record.txt")" \
    "$pacing $label (with it)=$(winepath -w "$work/feature/record.txt")"
}

POSE_INI="$WORLD_INI"'WorldPoseInterpolation=1\n'
EFFECTS_INI="$CAMERA_INI"'ParticleInterpolation=1\nImageTrailTiming=1\n'

# The first Grunt's bone turning at a constant rate; a particle moving at constant velocity.
compare_poses() { compare_field "$1" "$2" "$3" "$POSE_INI" bone_ticks bone; }
compare_particles() { compare_field "$1" "$2" "$3" "$EFFECTS_INI" particle_ticks particle; }

# The trail's fade per second, stock (render unlock alone) against corrected, at each pacing.
compare_trail() {
  local work="$1"
  shift
  local runs=() pacing
  for pacing in "$@"; do
    local scenario="duration_seconds=2\npacing=$pacing\nidle_after_seconds=0.2\nlimit_fps=0\n"
    run_game "$work/stock-${pacing//:/-}" "$UNLOCK_INI" "$scenario"
    run_game "$work/trail-${pacing//:/-}" "$UNLOCK_INI"'ImageTrailTiming=1\n' "$scenario"
    runs+=("$pacing stock=$(winepath -w "$work/stock-${pacing//:/-}/record.txt")"
           "$pacing corrected=$(winepath -w "$work/trail-${pacing//:/-}/record.txt")")
  done
  wine "$BUILD_DIR/benchmarks/trail_report.exe" "${runs[@]}"
}

MOUSE_INI='[Telemetry]\nReportIntervalSeconds=1\n[Features]\nRenderUnlock=1\nMouseOverlay=1\n'

# A GUI open for the whole run while the mouse flicks, stock against MouseOverlay, in the in-game
# GUI (relative mouse) and in a menu (absolute mouse), at each pacing.
compare_gui_latency() {
  local work="$1"
  shift
  local runs=() pacing mode
  for pacing in "$@"; do
    for mode in 1 0; do
      local name="${pacing//:/-}-relative$mode"
      local scenario="duration_seconds=4\npacing=$pacing\nlimit_fps=0\nidle_after_seconds=0.2\nwindow=visible\nmouse_pattern=flicks\ngui_relative=$mode\nevents=gui_open@6:300\n"
      run_game "$work/stock-$name" "$UNLOCK_INI" "$scenario"
      run_game "$work/overlay-$name" "$MOUSE_INI" "$scenario"
      local label="$pacing $([ $mode = 1 ] && echo in-game || echo menu)"
      runs+=("$label stock=$(winepath -w "$work/stock-$name/record.txt")"
             "$label MouseOverlay=$(winepath -w "$work/overlay-$name/record.txt")")
    done
  done
  # Gameplay (no GUI) for the poll's cost: it runs inside the render detour while the look is live.
  for pacing in "$@"; do
    local scenario="duration_seconds=4\npacing=$pacing\nlimit_fps=0\nidle_after_seconds=0.2\nwindow=visible\nmouse_pattern=sweep\n"
    run_game "$work/stock-${pacing//:/-}-gameplay" "$UNLOCK_INI" "$scenario"
    run_game "$work/overlay-${pacing//:/-}-gameplay" "$MOUSE_INI" "$scenario"
    runs+=("$pacing gameplay stock=$(winepath -w "$work/stock-${pacing//:/-}-gameplay/record.txt")"
           "$pacing gameplay MouseOverlay=$(winepath -w "$work/overlay-${pacing//:/-}-gameplay/record.txt")")
  done
  wine "$BUILD_DIR/benchmarks/gui_latency_report.exe" "${runs[@]}"
}

LOOK_INI="$CAMERA_INI"'MouseOverlay=1\n'

# The view turned by the mouse (flicks, and a steady sweep to the right) with camera interpolation
# alone and with MouseOverlay too, at each pacing; prints the look's latency and smoothness. The
# cameras' write log stays on: the camera stands still, and only the log tells a write of the
# bytes already there from none.
compare_look() {
  local work="$1"
  shift
  local flicks=() sweeps=() pacing pattern
  for pacing in "$@"; do
    for pattern in flicks sweep_right; do
      local name="${pacing//:/-}-$pattern"
      local scenario="duration_seconds=4\npacing=$pacing\nlimit_fps=0\nidle_after_seconds=0.2\nwindow=visible\ncamera_motion=mouse\ncamera_speed=0\nmouse_pattern=$pattern\n"
      run_game "$work/camera-$name" "$CAMERA_INI" "$scenario"
      run_game "$work/overlay-$name" "$LOOK_INI" "$scenario"
      local runs=("$pacing camera=$(winepath -w "$work/camera-$name/record.txt")"
                  "$pacing camera + MouseOverlay=$(winepath -w "$work/overlay-$name/record.txt")")
      if [ "$pattern" = flicks ]; then flicks+=("${runs[@]}"); else sweeps+=("${runs[@]}"); fi
    done
  done
  wine "$BUILD_DIR/benchmarks/look_report.exe" --flicks "${flicks[@]}" --sweep "${sweeps[@]}"
}

# The presentation limiter on an uncapped game with the camera interpolated (phase 0), at each
# rate, against the unpaced game; the last run is a game held at 100 Hz by its own work, paced at
# 144 (a rate it cannot reach). Prints frame intervals, animation error and what the wait costs.
# With BEFORE_DLL=path every paced rate runs with that build too, side by side.
PACER_INI="$CAMERA_INI"'PresentationLimiter=1\n[Timing]\nPhaseDelayPercent=0\nTargetFPS='
compare_pacer() {
  local work="$1"
  shift
  local runs=() rate
  local scenario="duration_seconds=3\npacing=uncapped\nlimit_fps=0\ncamera_speed=$CAMERA_SPEED\nidle_after_seconds=1.2\nphase_delay_percent=0\ncamera_write_log=0\n"
  run_game "$work/unpaced" "$CAMERA_INI" "$scenario"
  runs+=("unpaced=$work/unpaced")
  for rate in "$@"; do
    if [ -n "${BEFORE_DLL:-}" ]; then
      PLUGIN_DLL="$BEFORE_DLL" run_game "$work/before-$rate" "$PACER_INI$rate\n" "$scenario"
      runs+=("before: paced at $rate=$work/before-$rate")
    fi
    run_game "$work/paced-$rate" "$PACER_INI$rate\n" "$scenario"
    runs+=("paced at $rate=$work/paced-$rate")
  done
  run_game "$work/unreachable" "${PACER_INI}144\n" \
    "${scenario//pacing=uncapped/pacing=fixed:100}"
  runs+=("100 Hz game at 144=$work/unreachable")
  printf '%-26s %8s %26s %22s %10s %12s %10s\n' run frames "interval med/p95/p99" "anim err mean/p99" \
    "late" "wait/frame" "wait CPU"
  local entry label folder
  for entry in "${runs[@]}"; do
    label=${entry%%=*}
    folder=${entry#*=}
    local intervals errors
    # Frame count and median / p99 frame interval after the warm-up, in ms.
    intervals=$(awk '/^frame / { for (i = 2; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
                      if (v["wall"] >= 0.5 && have) print (v["draw_wall"] - last) * 1000; last = v["draw_wall"]; have = 1 }' \
                "$folder/record.txt" | sort -n |
                awk '{ v[NR] = $1 } END { i = int(NR * 0.99); if (i < 1) i = 1; j = int(NR * 0.95); if (j < 1) j = 1
                                          printf "%d %.2f %.2f %.2f", NR, v[int((NR + 1) / 2)], v[j], v[i] }')
    errors=$(wine "$BUILD_DIR/benchmarks/animation_report.exe" "x=$(winepath -w "$folder/record.txt")" |
             awk 'NR == 2 { print $3 "/" $4 }')
    awk -v label="$label" -v errors="$errors" -v intervals="$intervals" '
      /Limiter\(/ { match($0, /Limiter\([^)]*\)/); body = substr($0, RSTART + 8, RLENGTH - 9)
                    n = split(body, parts, ", "); for (p = 1; p <= n; p++) { split(parts[p], kv, "="); t[kv[1]] += kv[2] }
                    seconds += 1 }
      END { split(intervals, iv, " ")
            wait = (t["paced"] > 0) ? t["waitUs"] / t["paced"] : 0
            cpu = (seconds > 0) ? t["spinUs"] / (seconds * 1e4) : 0
            printf "%-26s %8d %6.2f / %6.2f / %6.2f ms %22s %10d %9.0f us %9.1f %%\n", label, iv[1], iv[2], iv[3], iv[4], errors,
                   t["lateRestarts"], wait, cpu }' "$folder/Driftglass.log"
  done
}
