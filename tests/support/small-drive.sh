#!/usr/bin/env bash
# Runs a command with a tiny file system of its own, for tests of a disk that fills up:
#   small-drive.sh COMMAND...
# Mounts a 1 MiB tmpfs for the run and names it in ZAREL_SMALL_DRIVE, in the Windows form
# Wine reaches it by (drive Z:); unmounts it afterwards. Mounting needs root: without the
# right the command runs without the variable, and such tests say they were skipped.
set -u
drive=$(mktemp -d /tmp/zarel-small-drive.XXXXXX)
if mount -t tmpfs -o size=1m,mode=0700 zarel-small-drive "$drive" 2>/dev/null; then
  # Lazily when a Wine process still holds a handle in it.
  trap 'umount "$drive" 2>/dev/null || umount -l "$drive"; rmdir "$drive"' EXIT
  export ZAREL_SMALL_DRIVE="Z:${drive//\//\\}\\"
else
  rmdir "$drive"
fi
"$@"
