#!/usr/bin/env bash
# Prints measurements, side by side from one run (numbers only, nothing is asserted):
#  - the detour library: a hooked call against a plain one, and one MH_ApplyQueued;
#  - the simulated game's uncapped frame rate without the plug-in, with the default
#    configuration, and with every feature switched on.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

bash "$DRIFTGLASS_ROOT/scripts/setup.sh"
configure_and_build >/dev/null
start_wine
trap stop_wine EXIT

echo "== Detour library"
wine "$BUILD_DIR/benchmarks/detour_benchmark.exe"

echo "== Simulated game, uncapped ($(grep duration "$DRIFTGLASS_ROOT/simhost/scenarios/uncapped.txt"))"
work="$BUILD_DIR/benchmark"
scenario="$(winepath -w "$DRIFTGLASS_ROOT/simhost/scenarios/uncapped.txt")"
run_game() {  # name, INI text ("" for no plug-in)
  local folder="$work/$1"
  rm -rf "$folder" && mkdir -p "$folder"
  local plugin=()
  if [ -n "$2" ]; then
    cp "$BUILD_DIR/dist/Driftglass.dll" "$folder/"
    printf '%b' "$2" > "$folder/Driftglass.ini"
    plugin=(--plugin "$(winepath -w "$folder/Driftglass.dll")")
  fi
  wine "$BUILD_DIR/simhost/simhost.exe" "${plugin[@]}" --scenario "$scenario" \
    --record "$(winepath -w "$folder/record.txt")" >/dev/null
  awk '/^summary/ { for (i = 2; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
                    printf "%.1f", v["frames"] / v["seconds"] }' "$folder/record.txt"
}
plain=$(run_game none "")
default=$(run_game default "[General]\nEnabled=true\n")
all=$(run_game all "[Features]\nRenderUnlock=1\nCameraInterpolation=1\nHandsRootInterpolation=1\nWorldRootInterpolation=1\nHandsPoseInterpolation=1\nWorldPoseInterpolation=1\nParticleInterpolation=1\nImageTrailTiming=1\nMouseOverlay=1\n[Telemetry]\nMotionTrace=1\n")
awk -v p="$plain" -v d="$default" -v a="$all" 'BEGIN {
  printf "frames per second: without plug-in %s, default configuration %s (%.3f of it), every feature %s (%.3f of it)\n", p, d, d / p, a, a / p }'
