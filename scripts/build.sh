#!/usr/bin/env bash
# Configures and builds both trees: build/host (native, sanitizers) and build/win32 (MinGW).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
jobs=$(nproc)
[ -f build/host/CMakeCache.txt ] || cmake -S . -B build/host -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
[ -f build/win32/CMakeCache.txt ] || cmake -S . -B build/win32 -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
cmake --build build/host -j"$jobs"
cmake --build build/win32 -j"$jobs"
