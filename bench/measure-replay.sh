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
# memory comes from /usr/bin/time -v. With perf available (Debian's linux-perf), each command is
# also run under perf stat for two more figures: the time from the exec to the end of the process
# (without the shell's fork, which is costly on some virtual machines) and the CPU time, which
# leaves out the time spent waiting for a core on a busy machine.
#
# On a machine shared with other work, `chrt -f 10 bash bench/measure-replay.sh` (as root) keeps
# the measured commands from waiting for a core; say so beside the figures.
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

# With perf: the time from the exec to the end of the process (duration_time, so without the
# shell's fork) and the CPU time (task-clock), both in ms, of a command line, and of each named
# command, summed over its processes.
perf_times() {
  perf stat -x, -e duration_time,task-clock -o "$work/perf.txt" -- "$@" >/dev/null
  awk -F, '/duration_time/ {d = $1 / 1e6} /task-clock/ {c = $1} END {print d, c}' "$work/perf.txt"
}
add() { echo "$1 $2" | awk '{print $1 + $3, $2 + $4}'; }
perf_of() {
  case $1 in
    program) perf_times "$dynamic" 0fxy ;;
    program-static) perf_times "$static" 0fxy ;;
    compare) perf_times "$compare" 0fxy ;;
    floor) add "$(perf_times cat "${dumps[@]}" "$ref/console.txt")" \
               "$(perf_times cp "$ref/kzt_flash_id.txt" "$ref/kzt_flash_id_ec.txt" .)" ;;
    floor-one-file) add "$(perf_times cat "$work/all-input.bin")" \
               "$(perf_times cp "$ref/kzt_flash_id.txt" "$ref/kzt_flash_id_ec.txt" .)" ;;
    true) perf_times /bin/true ;;
  esac
}

declare -A wall life cpu
for name in "${names[@]}"; do
  command_of "$name" >/dev/null
  wall[$name]=""; life[$name]=""; cpu[$name]=""
done
for ((i = 0; i < runs; ++i)); do
  for name in "${names[@]}"; do
    start=$EPOCHREALTIME
    command_of "$name" >/dev/null
    end=$EPOCHREALTIME
    wall[$name]+="$(( ${end/./} - ${start/./} )) "
    if [ $have_perf -eq 1 ]; then
      read -r d c < <(perf_of "$name")
      life[$name]+="$d "
      cpu[$name]+="$c "
    fi
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
echo "wall: from the shell, fork included; exec-exit: the process alone (perf); cpu: CPU time (perf)"
printf '%-16s %12s %12s' command "wall median" "wall lowest"
[ $have_perf -eq 1 ] && printf ' %12s %12s' "exec-exit" "cpu median"
echo "   (ms)"
for name in "${names[@]}"; do
  printf '%-16s %12s %12s' "$name" "$(ms "$(echo "${wall[$name]}" | median)")" \
    "$(ms "$(echo "${wall[$name]}" | lowest)")"
  if [ $have_perf -eq 1 ]; then
    printf ' %12.2f %12.2f' "$(echo "${life[$name]}" | median)" "$(echo "${cpu[$name]}" | median)"
  fi
  echo
done
echo
printf '%-16s %10s\n' "peak RSS of" "KiB"
for name in "${programs[@]}" cat cp; do printf '%-16s %10s\n' "$name" "${rss[$name]}"; done
echo

# The targets: within 1.5 x the floor, under 10 ms, at most 4 MiB resident.
verdict() {  # label, program's median, floor's median, floor-one-file's median (same measure)
  awk -v l="$1" -v t="$2" -v f="$3" -v f1="$4" 'BEGIN {
    printf "  %-10s %6.2f ms = %.2f x floor, %.2f x floor-one-file (1.5 x: %s); under 10 ms: %s\n",
      l, t, t / f, t / f1, (t <= 1.5 * f ? "met" : "missed"), (t < 10 ? "met" : "missed") }'
}
for name in "${programs[@]}"; do
  echo "$name: peak RSS ${rss[$name]} KiB (4096 KiB: $([ "${rss[$name]}" -le 4096 ] && echo met || echo missed))"
  verdict wall "$(ms "$(echo "${wall[$name]}" | median)")" "$(ms "$(echo "${wall[floor]}" | median)")" \
    "$(ms "$(echo "${wall[floor-one-file]}" | median)")"
  if [ $have_perf -eq 1 ]; then
    verdict exec-exit "$(echo "${life[$name]}" | median)" "$(echo "${life[floor]}" | median)" \
      "$(echo "${life[floor-one-file]}" | median)"
  fi
done
