#!/usr/bin/env bash
# Fails when a file under src/ includes a header from a folder its own folder may not use, so the
# layer order written in the README cannot drift. Usage: include_rule.sh [SRC_DIR]
set -euo pipefail
src=${1:-"$(dirname "${BASH_SOURCE[0]}")/../src"}

features="camera hands world poses effects"
below_features="diag timing shared host log config measure"

# Folder -> the other folders it may include (its own is always allowed).
declare -A allowed=(
  [measure]=""
  [log]=""
  [config]=""
  [host]="log measure"
  [shared]="host measure"
  [timing]="shared host log measure"
  [diag]="timing shared log measure"
  [camera]="$below_features"
  [hands]="$below_features"
  [world]="$below_features"
  [poses]="$below_features"
  [effects]="$below_features"
  [input]="camera $below_features"
  [frame]="$features input $below_features"
  [install]="frame $features input $below_features"
  [bootstrap]="install frame $features input $below_features"
)

violations=0
report() {
  echo "$1: $2"
  violations=$((violations + 1))
}

while IFS= read -r file; do
  rel=${file#"$src"/}
  folder=${rel%%/*}
  if [ -z "${allowed[$folder]+set}" ]; then
    report "$rel" "folder '$folder' has no place in the include rule"
    continue
  fi
  base=$(basename "$rel")
  while IFS= read -r header; do
    if [ "$header" = "detour.h" ]; then
      # Only the installer talks to the detour library.
      [ "$folder" = install ] || report "$rel" "includes detour.h"
      continue
    fi
    target=${header%%/*}
    [ "$target" = "$header" ] && continue  # not a project path
    [ "$target" = "$folder" ] && continue
    if [[ " ${allowed[$folder]} " != *" $target "* ]]; then
      report "$rel" "includes $header"
    fi
    # In a feature, only the files that translate results into counters (and the detours that
    # count as they run) may see the telemetry.
    if [ "$target" = diag ] && [[ " $features " == *" $folder "* ]] &&
       [[ "$base" != *_counting.* && "$base" != *_detours.* ]]; then
      report "$rel" "includes $header outside a counting or detour file"
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find "$src" -name '*.h' -o -name '*.cpp' | sort)

if [ "$violations" -ne 0 ]; then
  echo "include rule: $violations include(s) against the layer order"
  exit 1
fi
echo "include rule: every include follows the layer order"
