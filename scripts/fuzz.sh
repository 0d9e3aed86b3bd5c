#!/usr/bin/env bash
# Runs each fuzz target with libFuzzer for a bounded time (default 60 s each):
#   scripts/fuzz.sh [seconds]
# Needs clang (the dependency step installs it). Not part of the test command.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-60}
cd "$root"
bash scripts/deps.sh
# libFuzzer's runtime ships with clang's runtime package.
if ! dpkg-query -W -f='${Status}' libclang-rt-14-dev 2>/dev/null | grep -q 'install ok installed'; then
  apt-get install -y -qq libclang-rt-14-dev >/dev/null
fi
cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZAREL_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build/fuzz -j"$(nproc)" --target fuzz_xml fuzz_archive fuzz_serverconfig fuzz_httphead fuzz_smtpreply
for target in xml archive serverconfig httphead smtpreply; do
  corpus=build/fuzz/corpus-$target
  mkdir -p "$corpus"
  cp -n tests/fuzz/corpus/$target/* "$corpus"/ 2>/dev/null || true
  echo "== fuzz_$target for $seconds s"
  build/fuzz/tests/fuzz/fuzz_$target -max_total_time="$seconds" -max_len=65536 "$corpus"
done
