#!/usr/bin/env bash
# Runs a command (usage: with_small_device.sh SIZE_MB COMMAND...) with a tmpfs of SIZE_MB mounted
# for it alone and named to Wine programs by DRIFTGLASS_SMALL_DEVICE (its Windows path). A device
# that small can really be filled: the write-fault test has the game fill it under the plug-in, so
# the plug-in's writes fail in the system call, as on a full disk. Mounting needs root, which the
# test command has (it installs packages too); without root the run is skipped (exit 77) with a
# line that says why. The tmpfs is unmounted however the run ends; one left by a run that was
# killed outright is unmounted by the next.
set -u
size_mb=$1
shift
prefix=/tmp/driftglass-small-device

if [ "$(id -u)" != 0 ]; then
  echo "with_small_device: skipped: mounting a ${size_mb} MB tmpfs needs root (the test command runs as root)"
  exit 77
fi

# A mount point is named after the script that mounted it: one whose script is gone is left over.
while read -r _ point type _; do
  [ "$type" = tmpfs ] || continue
  case "$point" in "$prefix".*) ;; *) continue ;; esac
  owner=${point#"$prefix".}
  owner=${owner%%.*}
  if ! kill -0 "$owner" 2>/dev/null; then
    umount "$point" 2>/dev/null || umount -l "$point"
    rmdir "$point" 2>/dev/null
  fi
done </proc/mounts
device=""
mounted=0
child=0
# A Wine server may hold a file there a moment longer; a lazy unmount still frees the mount point.
cleanup() {
  [ "$child" = 0 ] || kill "$child" 2>/dev/null
  [ "$mounted" = 0 ] || umount "$device" 2>/dev/null || umount -l "$device"
  [ -z "$device" ] || rmdir "$device" 2>/dev/null
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP
device=$(mktemp -d "$prefix.$$.XXXXXX")
if ! mount -t tmpfs -o "size=${size_mb}m,mode=0777" driftglass-small-device "$device"; then
  echo "with_small_device: cannot mount a ${size_mb} MB tmpfs at $device although running as root"
  exit 1
fi
mounted=1
export DRIFTGLASS_SMALL_DEVICE="Z:${device//\//\\}"
# In the background, so a signal to this script is handled at once and the command ends with it.
"$@" &
child=$!
wait "$child"
status=$?
child=0
exit "$status"
