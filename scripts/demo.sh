#!/usr/bin/env bash
# The demo command: installs what is missing, builds, loads Driftglass with the sample INI into the
# simulated game under Wine, and prints the plug-in's log.
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
echo "== Loading $game/Driftglass.dll into the simulated game"
wine "$BUILD_DIR/simhost/simhost.exe" --plugin "$(winepath -w "$game/Driftglass.dll")" >/dev/null || true
echo "== $game/Driftglass.log"
cat "$game/Driftglass.log"
