#!/usr/bin/env bash
# Starts the warm-up program (sleeper.exe) in the test prefix and returns once it really runs;
# prints its process id. Usage: sleeper=$(scripts/wine-warm.sh [SECONDS])
#
# The first Wine program of a prefix starts the wineserver and the prefix's system programs
# (services.exe, winedevice.exe, plugplay.exe, svchost.exe), and they inherit its standard
# error. Were a test program first, they would hold CTest's output pipe of that test, and CTest
# waits for that pipe until they end: with the sleeper keeping them alive, until the test's
# time-out. So nothing else may start in the prefix before the sleeper says it is up.
# The same holds for the desktop process (explorer.exe /desktop), which the first program that
# needs a window starts and which stays while any program has one: the sleeper owns a window
# from its start, so the desktop is its child, not a test's.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
seconds=${1:-1800}
sleeper_exe=$ZAREL_ROOT/build/win32/tests/support/sleeper.exe
out=$ZAREL_WINE_DIR/sleeper.out
[ -f "$WINEPREFIX/system.reg" ] || "$ZAREL_ROOT/scripts/wine-prefix.sh" >&2
rm -f "$out"
wine "$sleeper_exe" "$seconds" --ready >"$out" 2>/dev/null </dev/null &
pid=$!
# A fresh copy of the template starts in about 2 s; an updated Wine re-runs the boot (~15 s).
for _ in $(seq 1 1200); do
  if grep -q "no window" "$out" 2>/dev/null; then
    echo "wine-warm: sleeper.exe could not create its window (no display driver?)" >&2
    kill "$pid" 2>/dev/null || true
    exit 1
  fi
  if grep -q ready "$out" 2>/dev/null; then
    echo "$pid"
    exit 0
  fi
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "wine-warm: sleeper.exe ended before it was up" >&2
    exit 1
  fi
  sleep 0.1
done
echo "wine-warm: sleeper.exe not up after 120 s" >&2
kill "$pid" 2>/dev/null || true
exit 1
