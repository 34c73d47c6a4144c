#!/usr/bin/env bash
# Fails when a file includes a header from a folder its own folder may not use, in the plug-in
# (src/) and in the simulated game (simhost/), so the layer orders written in
# docs/architecture.md and docs/simulated-game.md cannot drift. Usage: include_rule.sh [PROJECT_DIR]
set -euo pipefail
project=${1:-"$(dirname "${BASH_SOURCE[0]}")/.."}

# Folder -> the other folders it may include (its own is always allowed); set per tree.
declare -A allowed
violations=0

report() {
  echo "$1: $2"
  violations=$((violations + 1))
}

src_features="camera hands world poses effects"

src_rules() {
  local below_features="diag timing shared host log config measure"
  allowed=(
    [measure]=""
    [log]=""
    [config]=""
    [host]="log measure"
    [shared]="host config measure"
    [timing]="shared host log measure"
    [diag]="timing shared log measure"
    [camera]="$below_features"
    [hands]="$below_features"
    [world]="$below_features"
    [poses]="$below_features"
    [effects]="$below_features"
    [input]="camera $below_features"
    [frame]="$src_features input $below_features"
    [install]="frame $src_features input $below_features"
    [bootstrap]="install frame $src_features input $below_features"
  )
}

# The plug-in's own rules beyond the layers. Arguments: file, its folder, header, header's folder.
src_extra() {
  local rel=$1 folder=$2 header=$3 target=$4 base
  base=$(basename "$rel")
  # In a feature, only the files that translate results into counters (and the detours that
  # count as they run) may see the telemetry.
  if [ "$target" = diag ] && [[ " $src_features " == *" $folder "* ]] &&
     [[ "$base" != *_counting.* && "$base" != *_detours.* ]]; then
    report "$rel" "includes $header outside a counting or detour file"
  fi
}

# The simulated game: what each rig simulates sits on what every rig judges with; the rigs do not
# see one another, except that the player's input turns the camera; the game's loop drives them all.
# The stand-in DLLs are other binaries: the game reaches them only through their exports.
simhost_rules() {
  local below_rigs="scenarios truth engine record"
  allowed=(
    [record]=""
    [engine]=""
    [stand_ins]=""
    [scenarios]="record"
    [truth]="engine"
    [camera]="$below_rigs"
    [hands]="$below_rigs"
    [world]="$below_rigs"
    [effects]="$below_rigs"
    [files]="$below_rigs"
    [input]="camera $below_rigs"
    [game]="input camera hands world effects files $below_rigs"
  )
}

simhost_extra() { :; }

# A file and its header are one unit; in either tree no unit may reach itself through its includes,
# inside a folder either (the layers already keep circles from crossing folders).
simhost_circles=1
src_circles=1

check_tree() {
  local tree=$1 dir=$2 file rel folder header target unit edges=""
  local circles_checked="${tree}_circles"
  "${tree}_rules"
  while IFS= read -r file; do
    rel=${file#"$project"/}
    folder=${file#"$dir"/}
    folder=${folder%%/*}
    if [ -z "${allowed[$folder]+set}" ]; then
      report "$rel" "folder '$folder' has no place in the include rule"
      continue
    fi
    unit=${file#"$dir"/}
    unit=${unit%.*}
    edges+="$unit $unit"$'\n'
    while IFS= read -r header; do
      if [ "$header" = "detour.h" ] && [ "$tree" = src ]; then
        # Only the installer talks to the detour library.
        [ "$folder" = install ] || report "$rel" "includes detour.h"
        continue
      fi
      target=${header%%/*}
      if [ "$target" = "$header" ]; then
        # A header named without its folder would escape the rule.
        report "$rel" "includes $header without its folder"
        continue
      fi
      if [ "$target" != "$folder" ] && [[ " ${allowed[$folder]} " != *" $target "* ]]; then
        report "$rel" "includes $header"
      fi
      "${tree}_extra" "$rel" "$folder" "$header" "$target"
      [ "${header%.*}" = "$unit" ] || edges+="$unit ${header%.*}"$'\n'
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
  done < <(find "$dir" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.S' \) | sort)
  if [ "${!circles_checked}" = 1 ]; then
    local loop
    if ! loop=$(printf '%s' "$edges" | tsort 2>&1 >/dev/null); then
      report "${dir#"$project"/}" "includes run in a circle through $(sed -n 's/^tsort: //p' <<<"$loop" | grep -v loop | awk '!seen[$0]++' | tr '\n' ' ')"
    fi
  fi
}

check_tree src "$project/src"
check_tree simhost "$project/simhost"

if [ "$violations" -ne 0 ]; then
  echo "include rule: $violations include(s) against the rule"
  exit 1
fi
echo "include rule: every include in src/ and simhost/ follows the layer order"
