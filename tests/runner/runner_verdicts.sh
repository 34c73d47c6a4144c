#!/usr/bin/env bash
# Runs the probe program once per way of ending and checks the runner's verdict on each.
# usage: runner_verdicts.sh RUN_GTEST EMULATOR PROBE
set -u
runner=$1
shift
failures=0
expect() {
  local mode=$1 wanted=$2 status
  shift 2
  DRIFTGLASS_PROBE_MODE=$mode bash "$runner" "$@" >/dev/null 2>&1
  status=$?
  if { [ "$wanted" = pass ] && [ $status -ne 0 ]; } || { [ "$wanted" = fail ] && [ $status -eq 0 ]; }; then
    echo "runner verdict wrong for '$mode': wanted $wanted, runner exited $status"
    failures=$((failures + 1))
  else
    echo "runner verdict right for '${mode:-clean run}': $wanted"
  fi
}
probe=("$@")
expect "" pass "${probe[@]}"
for mode in failed-check failed-check-then-exit-0 exit-0-before-summary \
            failed-check-then-thread-crash crash-after-summary; do
  expect "$mode" fail "${probe[@]}"
done
[ $failures -eq 0 ] && echo "all runner verdicts right"
exit $((failures != 0))
