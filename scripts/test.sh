#!/usr/bin/env bash
# The test command: installs what is missing, builds everything and runs every test under Wine.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

bash "$DRIFTGLASS_ROOT/scripts/setup.sh"
configure_and_build
start_wine
trap stop_wine EXIT
status=0
ctest --test-dir "$BUILD_DIR" --output-on-failure --timeout 600 "$@" || status=$?
exit $status
