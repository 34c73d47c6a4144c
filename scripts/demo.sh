#!/usr/bin/env bash
# The demo command: installs what is missing, builds, loads Driftglass with the sample INI into the
# simulated game under Wine, runs the game for a few seconds and prints the plug-in's log.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

bash "$DRIFTGLASS_ROOT/scripts/setup.sh"
configure_and_build >/dev/null
start_wine
trap stop_wine EXIT

game="$BUILD_DIR/demo-game"
rm -rf "$game"
mkdir -p "$game"
cp "$BUILD_DIR/dist/Driftglass.dll" "$BUILD_DIR/dist/Driftglass.ini" "$game/"
echo "== Running the simulated game with $game/Driftglass.dll (about 6 seconds)"
wine "$BUILD_DIR/simhost/simhost.exe" --plugin "$(winepath -w "$game/Driftglass.dll")" \
  --scenario "$(winepath -w "$DRIFTGLASS_ROOT/simhost/scenarios/demo.txt")" \
  --record "$(winepath -w "$game/record.txt")" || true
echo "== $game/Driftglass.log"
cat "$game/Driftglass.log"
echo "== Entry points the plug-in patched (from $game/record.txt)"
grep '^entry .*patched=1' "$game/record.txt" || echo "(none)"
