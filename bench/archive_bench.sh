#!/usr/bin/env bash
# Extraction benchmark of the ILDS data archive: time and peak memory of `ilds extract`
# beside `tar xzf` (natively) and of `ilds.exe extract` beside an NSIS zlib installer (under
# Wine), all on the same ~200 MB / 3000-file payload, measured alternately in one run on fresh
# targets on tmpfs. It prints figures and ratios; it never judges them. Exit status is non-zero
# only when something could not be built or run, or an extraction did not reproduce the payload.
#
#   bench/archive_bench.sh [--rounds N] [--only native|wine] [--keep]
#
# Environment: BENCH_WORK (default /dev/shm/zarel-archive-bench), BENCH_JOBS (default 2).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bench=$root/bench
rounds=3
only=all
keep=0
work=${BENCH_WORK:-/dev/shm/zarel-archive-bench}
jobs=${BENCH_JOBS:-2}
host_tree=$root/build/bench-host
win_tree=$root/build/bench-win32
bench_prefix=$root/build/wine/bench-prefix

usage() { sed -n '2,10p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 2; }
while [ $# -gt 0 ]; do
  case $1 in
    --rounds) rounds=${2:?}; shift 2 ;;
    --only) only=${2:?}; shift 2 ;;
    --keep) keep=1; shift ;;
    -h|--help) usage ;;
    *) echo "archive_bench: unknown argument $1" >&2; usage ;;
  esac
done
case $only in all|native|wine) ;; *) usage ;; esac
[[ $rounds =~ ^[1-9][0-9]*$ ]] || usage
run_native() { [ "$only" != wine ]; }
run_wine() { [ "$only" != native ]; }

die() { echo "archive_bench: $*" >&2; exit 1; }
step() { printf '== %s\n' "$*"; }

# --- tools -------------------------------------------------------------------------------
if [ ! -x /usr/bin/time ]; then
  step "installing GNU time"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq time >/dev/null || die "cannot install time"
fi
for tool in python3 cmake tar gzip diff; do
  command -v "$tool" >/dev/null || die "$tool is missing"
done
if run_wine; then
  for tool in wine wineserver makensis i686-w64-mingw32-gcc-posix; do
    command -v "$tool" >/dev/null || die "$tool is missing (scripts/deps.sh installs it)"
  done
fi

# Payload, archive, tar.gz, installer and one target at a time: about 1 GB of tmpfs.
mkdir -p "$(dirname "$work")"
avail_kib=$(df -Pk "$(dirname "$work")" | awk 'NR == 2 { print $4 }')
[ "$avail_kib" -gt $((1500 * 1024)) ] || die "less than 1.5 GB free on $(dirname "$work")"
case $(stat -f -c %T "$(dirname "$work")") in
  tmpfs) ;;
  *) echo "archive_bench: warning: $(dirname "$work") is not tmpfs; file creation cost will vary" >&2 ;;
esac

# --- release builds of the tool (the everyday host tree has sanitizers on) ------------------
build_ilds() {  # tree, log, cmake configure arguments...
  local tree=$1 log=$2
  shift 2
  if ! { cmake -S "$root" -B "$tree" -DCMAKE_BUILD_TYPE=Release "$@" &&
         cmake --build "$tree" --target ilds -j"$jobs"; } >"$log" 2>&1; then
    tail -n 30 "$log" >&2
    die "building ilds in $tree failed (full log: $log)"
  fi
}
find_tool() {  # tree, file name
  local found
  found=$(find "$1" -type f -name "$2" -not -path '*/CMakeFiles/*' | head -n 1)
  [ -n "$found" ] || die "no $2 under $1 after the build"
  echo "$found"
}

step "building ilds (Release, no sanitizers) in $host_tree"
mkdir -p "$host_tree"
build_ilds "$host_tree" "$host_tree/bench-build.log" -DZAREL_SANITIZE=OFF
ilds=$(find_tool "$host_tree" ilds)
if run_wine; then
  step "building ilds.exe (Release) in $win_tree"
  mkdir -p "$win_tree"
  build_ilds "$win_tree" "$win_tree/bench-build.log" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake"
  ilds_exe=$(find_tool "$win_tree" ilds.exe)
  memprobe=$win_tree/bench-memprobe.exe
  i686-w64-mingw32-gcc-posix -O2 -static -o "$memprobe" "$bench/memprobe.c" ||
    die "cannot build the memory probe"
fi

# --- payload and its three packings ----------------------------------------------------------
# The prefix is copied afresh by every run (1.3 GB of disk), so it goes with the rest.
cleanup() {
  if [ -n "${wine_started:-}" ]; then wineserver -k 2>/dev/null || true; fi
  if [ "$keep" = 1 ]; then
    echo "kept $work${wine_started:+ and $bench_prefix}"
  else
    rm -rf "$work"
    if [ -n "${wine_started:-}" ]; then rm -rf "$bench_prefix"; fi
  fi
}
rm -rf "$work"
mkdir -p "$work"
trap cleanup EXIT
payload=$work/payload
archive=$work/payload.ilds
tarball=$work/payload.tar.gz
installer=$work/payload-setup.exe

step "generating the payload"
python3 "$bench/gen_payload.py" "$payload"
payload_bytes=$(find "$payload" -type f -printf '%s\n' | awk '{ n += $1 } END { print n }')
payload_files=$(find "$payload" -type f | wc -l)

step "packing"
"$ilds" pack "$archive" "$payload" --zlib >"$work/pack.log" 2>&1 ||
  { cat "$work/pack.log" >&2; die "ilds pack failed"; }
if run_native; then
  # GNU tar runs gzip at its default level (6).
  tar czf "$tarball" -C "$payload" .
fi
if run_wine; then
  makensis -V2 -DPAYLOAD="$payload" -DOUTFILE="$installer" "$bench/payload.nsi" \
    >"$work/makensis.log" 2>&1 || { tail -n 20 "$work/makensis.log" >&2; die "makensis failed"; }
fi
mib() { awk -v b="$1" 'BEGIN { printf "%.1f MiB", b / 1048576 }'; }
kib2mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
printf '  payload   %s in %d files\n' "$(mib "$payload_bytes")" "$payload_files"
printf '  ilds      %s  %s\n' "$(mib "$(stat -c %s "$archive")")" "$archive"
run_native && printf '  tar.gz    %s  %s\n' "$(mib "$(stat -c %s "$tarball")")" "$tarball"
run_wine && printf '  installer %s  %s\n' "$(mib "$(stat -c %s "$installer")")" "$installer"

# --- measuring ---------------------------------------------------------------------------
declare -A times cpus mems
target_no=0

# measure KEY LABEL TARGET COMMAND...: runs the command on a fresh target, records wall time,
# CPU time (user + system; under Wine without the wineserver's) and peak RSS, checks that the
# target now holds exactly the payload, then removes it.
measure() {
  local key=$1 label=$2 target=$3
  shift 3
  mkdir -p "$(dirname "$target")"
  local rc=0
  /usr/bin/time -f '%e %U %S %M' -o "$work/time.out" "$@" >"$work/run.log" 2>&1 || rc=$?
  if [ "$rc" -ne 0 ]; then
    cat "$work/run.log" >&2
    die "$label exited with $rc"
  fi
  local secs user sys kib cpu
  read -r secs user sys kib < <(tail -n 1 "$work/time.out")
  cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')
  if ! diff -rq "$payload" "$target" >"$work/diff.log" 2>&1; then
    head -n 10 "$work/diff.log" >&2
    die "$label did not reproduce the payload in $target"
  fi
  rm -rf "$target"
  times[$key]+="$secs "
  cpus[$key]+="$cpu "
  mems[$key]+="$kib "
  printf '  %-34s %7.2f s %7.2f s %9s MiB\n' "$label" "$secs" "$cpu" "$(kib2mib "$kib")"
}
columns() { printf '  %-34s %9s %9s %13s\n' "" "wall" "CPU" "peak RSS"; }
next_target() { target_no=$((target_no + 1)); echo "$work/target-$target_no"; }

median() { tr ' ' '\n' | awk 'NF' | sort -g | awk '{ v[NR] = $1 } END {
  if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
med_time() { echo "${times[$1]}" | median; }
med_cpu() { echo "${cpus[$1]}" | median; }
max_kib() { echo "${mems[$1]}" | tr ' ' '\n' | awk 'NF && $1 > m { m = $1 } END { print m }'; }
med_mib() { kib2mib "$(echo "${mems[$1]}" | median)"; }
max_mib() { kib2mib "$(max_kib "$1")"; }
# row LABEL KEY: one line of medians.
row() { printf '  %-22s %7.2f s %7.2f s %9s MiB\n' "$1" "$(med_time "$2")" "$(med_cpu "$2")" "$(med_mib "$2")"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }

echo
echo "machine: $(nproc) cores, $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo);" \
  "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"

if run_native; then
  echo
  step "native: ilds extract (A) and tar xzf (B), alternately, rounds: $rounds"
  columns
  for ((r = 1; r <= rounds; r++)); do
    t=$(next_target)
    measure ilds "round $r  ilds extract" "$t" "$ilds" extract "$archive" "$t"
    t=$(next_target)
    mkdir -p "$t"
    measure tar "round $r  tar xzf" "$t" tar xzf "$tarball" -C "$t"
  done
fi

if run_wine; then
  echo
  step "wine: prefix $bench_prefix"
  # shellcheck disable=SC1091  # the checkout's own Wine settings
  source "$root/scripts/wine-env.sh"
  export WINEPREFIX=$bench_prefix
  # A server left running by an interrupted run would outlive the prefix it is about to lose.
  if [ -d "$bench_prefix" ]; then wineserver -k 2>/dev/null || true; fi
  "$root/scripts/wine-prefix.sh" "$bench_prefix"
  # The prefix set-up leaves a short-lived server behind; a persistent one replaces it.
  wineserver -w
  wineserver -p || die "cannot start a persistent wineserver for $bench_prefix"
  wine_started=1
  winpath() { local p=${1//\//\\}; echo "Z:$p"; }

  # What /usr/bin/time sees of a Windows program: `wine` execs its loader, which hosts the
  # Windows process in that same Unix process, so time's peak RSS is the Windows process's,
  # Wine's own DLLs included. The probe shows it: 64 MiB touched must add ~64 MiB.
  probe() {
    /usr/bin/time -f '%M' -o "$work/time.out" wine "$memprobe" "$1" >"$work/run.log" 2>&1 ||
      { cat "$work/run.log" >&2; die "memory probe under Wine failed"; }
    tail -n 1 "$work/time.out"
  }
  probe 0 >/dev/null   # warms the wineserver and the page cache
  base_kib=$(probe 0)
  probe_kib=$(probe 64)
  printf '  memory probe: 0 MiB touched -> peak %s MiB; 64 MiB touched -> peak %s MiB (+%s)\n' \
    "$(kib2mib "$base_kib")" "$(kib2mib "$probe_kib")" "$(kib2mib $((probe_kib - base_kib)))"
  if [ $((probe_kib - base_kib)) -lt $((56 * 1024)) ]; then
    echo "archive_bench: warning: time does not see the Windows process's memory;" \
      "the Wine peaks below mean nothing" >&2
  fi
  # The tool at rest (usage error, exit 2): its own image and the DLLs it imports, which Wine
  # loads in full (shell32 brings user32, gdi32, ole32, ...).
  rc=0
  /usr/bin/time -f '%M' -o "$work/time.out" wine "$ilds_exe" >"$work/run.log" 2>&1 || rc=$?
  if [ "$rc" -ne 2 ]; then
    cat "$work/run.log" >&2
    die "ilds.exe without arguments exited with $rc, not 2"
  fi
  idle_kib=$(tail -n 1 "$work/time.out")
  printf '  ilds.exe at rest (usage error): peak %s MiB\n' "$(kib2mib "$idle_kib")"

  echo
  step "wine: ilds.exe extract (A) and the NSIS installer (B), alternately, rounds: $rounds"
  columns
  for ((r = 1; r <= rounds; r++)); do
    t=$(next_target)
    measure ilds_exe "round $r  ilds.exe extract" "$t" \
      wine "$ilds_exe" extract "$(winpath "$archive")" "$(winpath "$t")"
    t=$(next_target)
    # NSIS takes /D= verbatim up to the end of the line: last, and never quoted.
    measure nsis "round $r  NSIS installer /D=" "$t" wine "$installer" "/D=$(winpath "$t")"
  done
fi

# --- summary -------------------------------------------------------------------------------
echo
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
step "medians (rounds: $rounds)"
printf '  %-22s %9s %9s %13s\n' "" "wall" "CPU" "peak RSS"
if run_native; then
  row "ilds extract" ilds
  row "tar xzf" tar
  printf '  time ilds/tar        %7s      target: at most 0.50\n' \
    "$(ratio "$(med_time ilds)" "$(med_time tar)")"
  printf '  highest peak ilds    %7s MiB  target: under 16 MiB\n' "$(max_mib ilds)"
fi
if run_wine; then
  row "ilds.exe extract" ilds_exe
  row "NSIS installer" nsis
  printf '  time ilds.exe/NSIS   %7s      target: at most 0.50\n' \
    "$(ratio "$(med_time ilds_exe)" "$(med_time nsis)")"
  ilds_exe_kib=$(max_kib ilds_exe)
  printf '  highest peak ilds.exe %6s MiB  target: under 16 MiB\n' "$(max_mib ilds_exe)"
  awk -v t="$ilds_exe_kib" -v w="$base_kib" -v i="$idle_kib" 'BEGIN {
    printf "    of which a bare Wine process %.1f MiB, the tool at rest %.1f MiB more,", w / 1024, (i - w) / 1024
    printf " extracting %.1f MiB more\n", (t - i) / 1024 }'
fi
