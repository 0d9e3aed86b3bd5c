#!/usr/bin/env bash
# Builds both trees and runs every test: the host tree natively under AddressSanitizer and
# UBSan, the win32 tree under Wine. One CTest run covers both trees, so its summary line is
# the last thing printed, and the exit status is non-zero when any test of either tree fails.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
jobs=$(nproc)

bash scripts/deps.sh
scripts/build.sh

# A fresh test prefix from the booted template, and a warm wineserver for the whole run. The
# warm-up program must be up before the first test starts (see scripts/wine-warm.sh).
scripts/wine-prefix.sh
source scripts/wine-env.sh
sleeper=""
cleanup() {
  if [ -n "$sleeper" ]; then kill "$sleeper" 2>/dev/null || true; fi
  wineserver -k 2>/dev/null || true
}
trap cleanup EXIT
sleeper=$(scripts/wine-warm.sh 1800)

mkdir -p build/all
cat > build/all/CTestTestfile.cmake <<CT
subdirs("$root/build/host" "$root/build/win32")
CT
cd build/all
ctest --output-on-failure -j"$jobs" "$@"
