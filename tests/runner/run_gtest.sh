#!/usr/bin/env bash
# Runs one GoogleTest executable (usage: run_gtest.sh COMMAND...) and passes only a run that
# ended as a whole run ends: exit status 0, GoogleTest's own success line, no failure line and no
# unhandled exception. Under Wine a test program that crashes can still exit 0, after the failed
# checks it printed and before its summary, so the exit status alone proves nothing.
set -u
output=$(mktemp)
trap 'rm -f "$output"' EXIT

"$@" 2>&1 | tee "$output"
status=${PIPESTATUS[0]}

verdict=""
if [ "$status" -ne 0 ]; then
  verdict="the test program exited with status $status"
elif grep -qE '^\[  FAILED  \]' "$output"; then
  verdict="GoogleTest reported failed tests"
elif grep -qE 'Unhandled (exception|page fault|illegal instruction|stack overflow)|terminate called|abnormal program termination' "$output"; then
  verdict="the output shows an unhandled exception"
elif ! grep -qE '^\[  PASSED  \] [1-9][0-9]* tests?\.' "$output"; then
  verdict="the run ended before GoogleTest's success line"
fi

if [ -n "$verdict" ]; then
  echo "run_gtest: FAIL: $verdict"
  exit 1
fi
exit 0
