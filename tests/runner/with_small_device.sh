#!/usr/bin/env bash
# Runs a command (usage: with_small_device.sh SIZE_MB COMMAND...) with a tmpfs of SIZE_MB mounted
# for it alone and named to Wine programs by DRIFTGLASS_SMALL_DEVICE (its Windows path). A device
# that small can really be filled: the write-fault test has the game fill it under the plug-in, so
# the plug-in's writes fail in the system call, as on a full disk. Mounting needs root, which the
# test command has (it installs packages too).
set -u
size_mb=$1
shift
device=$(mktemp -d /tmp/driftglass-small-device.XXXXXX)
if ! mount -t tmpfs -o "size=${size_mb}m,mode=0777" driftglass-small-device "$device"; then
  echo "with_small_device: cannot mount a ${size_mb} MB tmpfs at $device (mounting needs root)"
  rmdir "$device"
  exit 1
fi
# A Wine server may hold a file there a moment longer; a lazy unmount still frees the mount point.
trap 'umount "$device" 2>/dev/null || umount -l "$device"; rmdir "$device"' EXIT
export DRIFTGLASS_SMALL_DEVICE="Z:${device//\//\\}"
"$@"
