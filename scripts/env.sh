# Sourced by the project's scripts: where the build and its Wine prefix live.
DRIFTGLASS_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$DRIFTGLASS_ROOT/build}"
export WINEPREFIX="$BUILD_DIR/wineprefix"
export WINEDEBUG=-all
# No crash debugger: with a display it would wait on a dialog instead of letting the run end.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
export WINEARCH=win32

configure_and_build() {
  cmake -S "$DRIFTGLASS_ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$DRIFTGLASS_ROOT/cmake/toolchain-mingw-i686.cmake" >/dev/null
  cmake --build "$BUILD_DIR" --parallel "$(nproc)"
}

# Creates the prefix on first use and keeps one wineserver up until stop_wine.
start_wine() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix in $WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  fi
  wineserver -p 2>/dev/null || true  # already running is fine
  # Start Wine's own services now, detached from any output a test runner waits on: they would
  # otherwise inherit the first test's pipes and keep them open until the server stops.
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

stop_wine() {
  wineserver -k 2>/dev/null || true
}

# The start of every command that runs the game: installs what is missing, runs the calling script
# again on a virtual display when there is none (the game has a window), builds, and starts a
# wineserver for this display (one left from another display would keep it for every window).
# Usage, at a script's top level: prepare_game_run "${BASH_SOURCE[0]}" "$@"
prepare_game_run() {
  local script="$1"
  shift
  bash "$DRIFTGLASS_ROOT/scripts/setup.sh"
  if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$script" "$@"
  fi
  configure_and_build >/dev/null
  stop_wine
  start_wine
  trap stop_wine EXIT
}
