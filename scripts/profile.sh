#!/usr/bin/env bash
# Samples the simulated game with the plug-in's measurement build (camera, hands root and pose,
# world roots; 512 tracked bodies at fixed 240 Hz, or SCENARIO_EXTRA's keys added) under perf and
# prints where the time went: Wine and the kernel per library, the plug-in per function.
# perf cannot read PE symbols here, so the script writes /tmp/perf-<pid>.map from the unstripped
# DLL's symbols, shifted to where the game loaded it, before it reports.
# Usage: bash scripts/profile.sh [RESULT_FOLDER]   (as root; installs linux-perf when missing)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
source "$(dirname "${BASH_SOURCE[0]}")/game_runs.sh"

usage_on_help "${BASH_SOURCE[0]}" "$@"
if ! command -v perf >/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends linux-perf >/dev/null
fi
prepare_game_run "${BASH_SOURCE[0]}" "$@"

out="${1:-$BUILD_DIR/profile}"
dll="${PLUGIN_DLL:-$BUILD_DIR/benchmarks/DriftglassProfiled.dll}"
mkdir -p "$out"
scenario="duration_seconds=4\npacing=fixed:240\ncamera_speed=$CAMERA_SPEED\nidle_after_seconds=0.2\ncamera_write_log=0\nworld_props=500\n${SCENARIO_EXTRA:-}"
# run_game copies the DLL and starts the game; perf follows every process it starts.
PLUGIN_DLL="$dll" perf record -q -F 2000 -o "$out/perf.data" -- \
  bash -c "source '$DRIFTGLASS_ROOT/scripts/env.sh'; source '$DRIFTGLASS_ROOT/scripts/game_runs.sh';
           run_game '$out/game' '$HANDS_INI'\"WorldRootInterpolation=1\\n\" '$scenario'" >/dev/null 2>&1

# One map line per function: start, size, name (sizes run to the next symbol), for the plug-in
# and for the game, each shifted to where the game's record says it was loaded.
symbol_map() {  # PE file, load address (hex, no 0x)
  local image shift
  image=$(i686-w64-mingw32-objdump -p "$1" | awk '/^ImageBase/ { print $2 }')
  [ -n "$2" ] && [ -n "$image" ] || { echo "profile: no load address for $1 in the record" >&2; exit 1; }
  shift=$(( 16#$2 - 16#$image ))
  i686-w64-mingw32-nm -n --demangle --defined-only "$1" |
    perl -ne 'BEGIN { $shift = shift @ARGV }
      next unless /^([0-9a-fA-F]+) [tT] (.+)$/;
      my ($address, $name) = (hex($1) + $shift, $2);
      printf "%x %x %s\n", $start, $address - $start, $last if defined $last;
      ($start, $last) = ($address, $name);
      END { printf "%x %x %s\n", $start, 16, $last if defined $last }' "$shift"
}
{
  symbol_map "$dll" "$(sed -n 's/^plugin base=0x\([0-9A-Fa-f]*\)$/\1/p' "$out/game/record.txt")"
  symbol_map "$BUILD_DIR/simhost/simhost.exe" "$(sed -n 's/^game base=0x\([0-9A-Fa-f]*\)$/\1/p' "$out/game/record.txt")" |
    sed 's/ / simhost:/2'
} > "$out/plugin.map"
for pid in $(perf script -i "$out/perf.data" -F pid 2>/dev/null | sort -u); do
  cp "$out/plugin.map" "/tmp/perf-$pid.map"
done

echo "== Share of all samples by library (Wine's own time shows per library only)"
perf report -i "$out/perf.data" --stdio --sort dso 2>/dev/null | grep -v '^#' | grep -v '^$' | head -15
echo "== The plug-in's functions (and the game's, marked simhost:)"
perf report -i "$out/perf.data" --stdio --sort sym 2>/dev/null | grep -v '^#' | grep -v '^$' |
  grep -v '\[k\]' | grep -v '0x0000' | head -40
