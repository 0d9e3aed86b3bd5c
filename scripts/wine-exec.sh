#!/usr/bin/env bash
# CTest's emulator for the win32 tree: runs one Windows program in the test prefix.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$ZAREL_ROOT/scripts/wine-prefix.sh" >&2 || exit 1
fi
exec wine "$@"
