#!/usr/bin/env bash
# The test command: installs what is missing, builds everything and runs every test under Wine.
# The game's window needs a display: without one the command runs itself again on a virtual
# display of its own.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

bash "$DRIFTGLASS_ROOT/scripts/setup.sh"
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "${BASH_SOURCE[0]}" "$@"
fi
configure_and_build
# A wineserver left from a run on another display would keep that display for every window.
stop_wine
start_wine
trap stop_wine EXIT
status=0
ctest --test-dir "$BUILD_DIR" --output-on-failure --timeout 600 "$@" || status=$?
exit $status
