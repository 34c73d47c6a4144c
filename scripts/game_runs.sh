# Sourced by the demo and benchmark scripts: runs the simulated game in a folder of its own.
#   run_game FOLDER INI_TEXT SCENARIO_TEXT    (INI_TEXT "" runs the game without the plug-in)
# leaves FOLDER/record.txt and, with the plug-in, FOLDER/Driftglass.log.
run_game() {
  local folder="$1" ini="$2" scenario="$3"
  rm -rf "$folder" && mkdir -p "$folder"
  printf '%b' "$scenario" > "$folder/scenario.txt"
  local plugin=()
  if [ -n "$ini" ]; then
    cp "$BUILD_DIR/dist/Driftglass.dll" "$folder/"
    printf '%b' "$ini" > "$folder/Driftglass.ini"
    plugin=(--plugin "$(winepath -w "$folder/Driftglass.dll")")
  fi
  wine "$BUILD_DIR/simhost/simhost.exe" "${plugin[@]}" --scenario "$(winepath -w "$folder/scenario.txt")" \
    --record "$(winepath -w "$folder/record.txt")" >/dev/null || true
}

UNLOCK_INI='[Telemetry]\nReportIntervalSeconds=1\n[Features]\nRenderUnlock=1\n'
CAMERA_INI='[Telemetry]\nReportIntervalSeconds=1\n[Features]\nRenderUnlock=1\nCameraInterpolation=1\n'
CAMERA_SPEED=3

# Stock game, render unlock alone, render unlock with the camera, at one pacing; prints the
# animation-error comparison.
compare_animation() {
  local work="$1" pacing="$2" seconds="$3"
  local scenario="duration_seconds=$seconds\npacing=$pacing\ncamera_speed=$CAMERA_SPEED\nidle_after_seconds=0.2\n"
  run_game "$work/stock" "" "$scenario"
  run_game "$work/unlock" "$UNLOCK_INI" "$scenario"
  run_game "$work/camera" "$CAMERA_INI" "$scenario"
  wine "$BUILD_DIR/benchmarks/animation_report.exe" "$CAMERA_SPEED" \
    "$pacing stock=$(winepath -w "$work/stock/record.txt")" \
    "$pacing render unlock=$(winepath -w "$work/unlock/record.txt")" \
    "$pacing unlock + camera=$(winepath -w "$work/camera/record.txt")"
}
