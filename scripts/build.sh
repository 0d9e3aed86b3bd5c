#!/usr/bin/env bash
# Configures and builds both trees: build/host (native, sanitizers) and build/win32 (MinGW).
# With ccache installed (scripts/deps.sh installs it) compilations are cached across clones
# and worktrees of the repository.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
jobs=$(nproc)
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
[ -f build/host/CMakeCache.txt ] || cmake -S . -B build/host -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
[ -f build/win32/CMakeCache.txt ] || cmake -S . -B build/win32 -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" "${launcher[@]}" >/dev/null
cmake --build build/host -j"$jobs"
cmake --build build/win32 -j"$jobs"
