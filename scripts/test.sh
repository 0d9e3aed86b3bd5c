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

# A fresh test prefix from the booted template, and a warm wineserver for the whole run.
scripts/wine-prefix.sh
source scripts/wine-env.sh
wine "$root/build/win32/tests/support/sleeper.exe" 1800 >/dev/null 2>&1 &
sleeper=$!
cleanup() { kill "$sleeper" 2>/dev/null || true; wineserver -k 2>/dev/null || true; }
trap cleanup EXIT

mkdir -p build/all
cat > build/all/CTestTestfile.cmake <<CT
subdirs("$root/build/host" "$root/build/win32")
CT
cd build/all
ctest --output-on-failure -j"$jobs" "$@"
