#!/usr/bin/env bash
# Whole-process measurement of a replay of the maximal dump set (62 banks, 8192 blocks per die,
# full bad-block lists): `kzt_fid 0fxy` in a folder holding the dumps, against the floor of
# reading the same dump bytes and writing the same output bytes with cat and cp.
#
#   bash bench/measure-replay.sh [runs]        (default 31 runs of each command)
#
# KZT_COMPARE=<another kzt_fid> adds that program (for example one built from an earlier commit)
# as the command "compare"; it must write the same bytes.
#
# Builds the `bench` preset (kzt_fid, kzt_make_maximal) and the `static` preset (kzt_fid), makes
# the dump set in a scratch folder, checks that both programs write the same report and
# erase-count file, then times every command `runs` times, the commands taking turns so that a
# change of machine load hits them alike. Times are wall-clock, from just before the command is
# started to just after it has ended (bash's $EPOCHREALTIME; the fork and exec are part of it, for
# every command alike); the figures are medians, with the lowest run beside them. Peak resident
# memory comes from /usr/bin/time -v. With perf available, the CPU time (task-clock) of each
# command is given too: unlike the wall time it leaves out the time spent waiting for a core.
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."
runs=${1:-31}

bash scripts/install-deps.sh
cmake --preset bench >/dev/null
cmake --build --preset bench -j2 >/dev/null
cmake --preset static >/dev/null
cmake --build --preset static -j2 --target kzt_fid >/dev/null
dynamic=$PWD/build/bench/src/kzt_fid
static=$PWD/build/static/src/kzt_fid

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
set_dir=$work/set   # the dump set; the programs replay here
ref=$work/ref       # one replay's outputs, the bytes the floor writes
mkdir -p "$set_dir" "$ref"
build/bench/bench/kzt_make_maximal "$set_dir"
rm -f "$set_dir"/kzt_flash_id.txt "$set_dir"/kzt_flash_id_ec.txt "$set_dir"/smart.bin

# The dumps in the order the replay reads them.
dumps=(id.bin kzt_fwi.bin kzt_fid.bin kzt_fid2.bin)
for bank in $(seq 0 61); do dumps+=("kzt_bbec_$((bank / 8))_$((bank % 8)).bin"); done

cd "$set_dir"
"$dynamic" 0fxy >"$ref/console.txt"
mv kzt_flash_id.txt kzt_flash_id_ec.txt "$ref/"
"$static" 0fxy >"$work/console-static.txt"
cmp "$ref/kzt_flash_id.txt" kzt_flash_id.txt
cmp "$ref/kzt_flash_id_ec.txt" kzt_flash_id_ec.txt
cmp "$ref/console.txt" "$work/console-static.txt"
compare=${KZT_COMPARE:-}
if [ -n "$compare" ]; then
  "$compare" 0fxy >"$work/console-compare.txt"
  cmp "$ref/kzt_flash_id.txt" kzt_flash_id.txt
  cmp "$ref/kzt_flash_id_ec.txt" kzt_flash_id_ec.txt
  cmp "$ref/console.txt" "$work/console-compare.txt"
fi
# The same bytes in one file: the floor without the cost of opening 66 files.
cat "${dumps[@]}" "$ref/console.txt" >"$work/all-input.bin"

dump_bytes=$(cat "${dumps[@]}" | wc -c)
out_bytes=$(cat "$ref"/kzt_flash_id.txt "$ref"/kzt_flash_id_ec.txt "$ref"/console.txt | wc -c)

# The commands, each run in the dump folder with its standard output on /dev/null.
names=(program program-static floor floor-one-file true)
[ -n "$compare" ] && names+=(compare)
command_of() {
  case $1 in
    program) "$dynamic" 0fxy ;;
    program-static) "$static" 0fxy ;;
    compare) "$compare" 0fxy ;;
    # Reads every dump (and writes the console's bytes), then writes the report and the
    # erase-count file.
    floor) cat "${dumps[@]}" "$ref/console.txt"; cp "$ref/kzt_flash_id.txt" "$ref/kzt_flash_id_ec.txt" . ;;
    floor-one-file) cat "$work/all-input.bin"; cp "$ref/kzt_flash_id.txt" "$ref/kzt_flash_id_ec.txt" . ;;
    true) /bin/true ;;
  esac
}

have_perf=0
if command -v perf >/dev/null && perf stat -x, -e task-clock /bin/true >/dev/null 2>&1; then
  have_perf=1
fi

# CPU time (task-clock, ms) of a command line, and of each named command: the sum over its
# processes, without the shell around them.
task_clock() {
  perf stat -x, -e task-clock -o "$work/perf.txt" -- "$@" >/dev/null
  awk -F, '/task-clock/ {print $1}' "$work/perf.txt"
}
add() { awk -v a="$1" -v b="$2" 'BEGIN {print a + b}'; }
cpu_of() {
  case $1 in
    program) task_clock "$dynamic" 0fxy ;;
    program-static) task_clock "$static" 0fxy ;;
    compare) task_clock "$compare" 0fxy ;;
    floor) add "$(task_clock cat "${dumps[@]}" "$ref/console.txt")" \
               "$(task_clock cp "$ref/kzt_flash_id.txt" "$ref/kzt_flash_id_ec.txt" .)" ;;
    floor-one-file) add "$(task_clock cat "$work/all-input.bin")" \
               "$(task_clock cp "$ref/kzt_flash_id.txt" "$ref/kzt_flash_id_ec.txt" .)" ;;
    true) task_clock /bin/true ;;
  esac
}

declare -A wall cpu
for name in "${names[@]}"; do command_of "$name" >/dev/null; wall[$name]=""; cpu[$name]=""; done
for ((i = 0; i < runs; ++i)); do
  for name in "${names[@]}"; do
    start=$EPOCHREALTIME
    command_of "$name" >/dev/null
    end=$EPOCHREALTIME
    wall[$name]+="$(( ${end/./} - ${start/./} )) "
    if [ $have_perf -eq 1 ]; then cpu[$name]+="$(cpu_of "$name") "; fi
  done
done

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
lowest() { tr ' ' '\n' | grep -v '^$' | sort -g | head -1; }
ms() { awk -v us="$1" 'BEGIN {printf "%.2f", us / 1000}'; }

# Peak resident memory (KiB), median of 5 runs.
peak_kb() {
  local kb=()
  for ((i = 0; i < 5; ++i)); do
    kb+=("$(/usr/bin/time -v "$@" 2>&1 >/dev/null | awk '/Maximum resident/ {print $6}')")
  done
  echo "${kb[*]}" | median
}
programs=(program program-static)
[ -n "$compare" ] && programs+=(compare)
declare -A rss
rss[program]=$(peak_kb "$dynamic" 0fxy)
rss[program-static]=$(peak_kb "$static" 0fxy)
[ -n "$compare" ] && rss[compare]=$(peak_kb "$compare" 0fxy)
rss[cat]=$(peak_kb cat "${dumps[@]}" "$ref/console.txt")
rss[cp]=$(peak_kb cp "$ref/kzt_flash_id.txt" "$ref/kzt_flash_id_ec.txt" .)

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), kernel $(uname -r)"
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "dump bytes read: $dump_bytes; output bytes written: $out_bytes (report, erase-count file, console)"
echo "runs of each command: $runs"
echo
printf '%-16s %12s %12s' command "median ms" "lowest ms"
[ $have_perf -eq 1 ] && printf ' %14s' "cpu median ms"
echo
for name in "${names[@]}"; do
  printf '%-16s %12s %12s' "$name" "$(ms "$(echo "${wall[$name]}" | median)")" \
    "$(ms "$(echo "${wall[$name]}" | lowest)")"
  [ $have_perf -eq 1 ] && printf ' %14s' "$(echo "${cpu[$name]}" | median)"
  echo
done
echo
printf '%-16s %10s\n' "peak RSS of" "KiB"
for name in "${programs[@]}" cat cp; do printf '%-16s %10s\n' "$name" "${rss[$name]}"; done
echo

floor=$(echo "${wall[floor]}" | median)
floor1=$(echo "${wall[floor-one-file]}" | median)
for name in "${programs[@]}"; do
  t=$(echo "${wall[$name]}" | median)
  awk -v t="$t" -v f="$floor" -v f1="$floor1" -v n="$name" -v kb="${rss[$name]}" 'BEGIN {
    printf "%s: %.2f ms = %.2f x floor, %.2f x floor-one-file (target 1.5 x: %s); ", n, t / 1000,
      t / f, t / f1, (t <= 1.5 * f ? "met" : "missed")
    printf "under 10 ms: %s; peak RSS %d KiB (target 4096: %s)\n", (t < 10000 ? "met" : "missed"),
      kb, (kb <= 4096 ? "met" : "missed") }'
done
