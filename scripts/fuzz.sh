#!/usr/bin/env bash
# A fuzz campaign: each target in turn, with libFuzzer, ASan and UBSan.
#
#   scripts/fuzz.sh [--seconds S | --runs N] [--keep] [target ...]
#
#   --seconds S  time per target (default 60)
#   --runs N     inputs per target instead of a time
#   --keep       minimize the target's seeds (tests/fuzz/corpus/<target>/): the inputs kept by
#                earlier campaigns (named by their SHA-1) are replaced by the smallest set of
#                them and this campaign's inputs that reaches the same edges (at most 300 files,
#                each under 16 KB); inputs with a name of their own (hand-written seeds, found
#                faults) always stay
#   target       xml archive serverconfig ... (default: every target)
#
# ZAREL_FUZZ_BUILD names the build folder (default build/fuzz), so that a long campaign and a
# rebuild of changed targets can run side by side.
#
# Prints per target the runs, runs per second of wall time and per CPU second (the machine may
# be shared, so the second is the steadier measure), the coverage gained (edges at the end against
# edges after the seeds) and the findings; a last line with the totals. Each finding's input is
# kept in <build>/findings/<target>/; the exit code is 1 when there is any.
# Needs clang (the dependency step installs it). Not part of the test command.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
build=${ZAREL_FUZZ_BUILD:-build/fuzz}

all_targets=(xml archive serverconfig httphead httpbody smtpreply dnsreply directory messages version commandline language)
limit=(-max_total_time=60)
keep=0
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) limit=(-max_total_time="$2"); shift 2 ;;
    --runs) limit=(-runs="$2"); shift 2 ;;
    --keep) keep=1; shift ;;
    [0-9]*) limit=(-max_total_time="$1"); shift ;;  # the old form: seconds alone
    *) targets+=("$1"); shift ;;
  esac
done
[ ${#targets[@]} -gt 0 ] || targets=("${all_targets[@]}")

bash scripts/deps.sh
# libFuzzer's runtime ships with clang's runtime package.
if ! dpkg-query -W -f='${Status}' libclang-rt-14-dev 2>/dev/null | grep -q 'install ok installed'; then
  apt-get install -y -qq libclang-rt-14-dev >/dev/null
fi
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZAREL_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/#/fuzz_}" >/dev/null

# "#123 DONE cov: 456 ..." -> the value after key in the last such line of kind.
stat_of() { grep -E "^#[0-9]+[[:space:]]+$2 " "$1" | tail -1 | sed -E "s/.*$3: ([0-9]+).*/\1/"; }

# The smallest set of the seeds and the campaign's inputs that reaches every edge reached
# (edges only, not hit counts, so the set stays small), smallest inputs first. It replaces the
# inputs earlier campaigns kept (SHA-1 names); inputs named by hand stay whatever the set says.
is_kept_input() { [[ "$(basename "$1")" =~ ^[0-9a-f]{40}$ ]]; }
keep_new_seeds() {
  local target=$1 seeds=tests/fuzz/corpus/$1 minimal named file
  minimal=$(mktemp -d)
  "$build/tests/fuzz/fuzz_$target" -merge=1 -use_counters=0 -max_len=65536 "$minimal" "$seeds" \
    "$build/corpus/$target" >>"$build/logs/$target.log" 2>&1 || { rm -rf "$minimal"; return 0; }
  named=$(for file in "$seeds"/*; do is_kept_input "$file" || sha1sum "$file" | cut -d' ' -f1; done)
  for file in "$seeds"/*; do is_kept_input "$file" && rm -f "$file"; done
  local count=0
  # ls -S -r: smallest first, so the cap drops the biggest inputs.
  for file in $(ls -S -r "$minimal"); do
    file=$minimal/$file
    [ "$(stat -c %s "$file")" -le 16384 ] || continue
    [ "$count" -lt 300 ] || break
    local sum
    sum=$(sha1sum "$file" | cut -d' ' -f1)
    grep -qx "$sum" <<<"$named" && continue
    cp "$file" "$seeds/$sum"
    count=$((count + 1))
  done
  rm -rf "$minimal"
}

total_runs=0
total_findings=0
printf '%-12s %10s %8s %10s %9s %8s\n' target runs runs/s runs/CPU-s new-edges findings
TIMEFORMAT='%3U %3S'
for target in "${targets[@]}"; do
  program=$build/tests/fuzz/fuzz_$target
  corpus=$build/corpus/$target
  findings=$build/findings/$target
  log=$build/logs/$target.log
  mkdir -p "$corpus" "$findings" "$build/logs"
  cp -n tests/fuzz/corpus/"$target"/* "$corpus"/ 2>/dev/null || true
  dict=()
  [ -f tests/fuzz/dict/$target.dict ] && dict=(-dict=tests/fuzz/dict/$target.dict)
  before=$(find "$findings" -type f | wc -l)
  status=0
  { time "$program" "${limit[@]}" "${dict[@]}" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" >"$log" 2>&1; } 2>"$log.cpu" || status=$?
  runs=$(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}')
  cpu_runs=$(awk -v runs="${runs:-0}" '{ cpu = $1 + $2 } END { print (cpu > 0 ? int(runs / cpu) : "?") }' "$log.cpu")
  speed=$(grep -E '^stat::average_exec_per_sec' "$log" | awk '{print $2}')
  start=$(stat_of "$log" INITED cov)
  end=$(grep -E '^#[0-9]+[[:space:]]+(NEW|REDUCE|pulse|DONE|RELOAD) ' "$log" | tail -1 | sed -E 's/.*cov: ([0-9]+).*/\1/')
  found=$(( $(find "$findings" -type f | wc -l) - before ))
  # A run stopped from outside (SIGINT) is no finding: its runs count, its inputs are kept.
  interrupted=""
  grep -q 'libFuzzer: run interrupted' "$log" && interrupted=" (interrupted)"
  [ "$status" -ne 0 ] && [ "$found" -eq 0 ] && [ -z "$interrupted" ] && found=1  # ended by a finding it could not write
  printf '%-12s %10s %8s %10s %9s %8s%s\n' "$target" "${runs:-?}" "${speed:-?}" "$cpu_runs" "$(( ${end:-0} - ${start:-0} ))" "$found" "$interrupted"
  if [ "$found" -gt 0 ]; then
    grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error)' "$log" | head -3 | sed 's/^/    /' || true
  fi
  total_runs=$(( total_runs + ${runs:-0} ))
  total_findings=$(( total_findings + found ))
  [ "$keep" -eq 1 ] && [ "$found" -eq 0 ] && keep_new_seeds "$target"
done
echo "total: ${#targets[@]} targets, $total_runs runs, $total_findings findings (logs in $build/logs/)"
[ "$total_findings" -eq 0 ]
