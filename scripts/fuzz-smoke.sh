#!/usr/bin/env bash
# Builds the libFuzzer targets (preset `fuzz`, clang with ASan and UBSan) and runs each of them for
# a short while from its seed corpus in fuzz/corpus. Prints the executions of every target; fails
# when a target finds a crash, a sanitizer report, a leak, a hang or a broken invariant, and
# leaves the input that did it in build/fuzz/artifacts/.
# KZT_FUZZ_SECONDS sets the time per target (default 60).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${KZT_FUZZ_SECONDS:-60}
jobs=$(nproc)

cmake --preset fuzz
cmake --build --preset fuzz -j "$jobs"

# Scratch folders of the replay and argument targets in memory where there is a tmpfs.
[ -d /dev/shm ] && export TMPDIR=/dev/shm
artifacts="$PWD/build/fuzz/artifacts"
mkdir -p "$artifacts"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

status=0
for target in replay flash_id sat_sense inspect; do
  mkdir -p "$work/$target"
  log="$work/$target.log"
  # New inputs go to the scratch corpus first named; the seeds in the repository stay as they are.
  if build/fuzz/fuzz/${target}_fuzzer -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$artifacts/$target-" "$work/$target" "fuzz/corpus/$target" >"$log" 2>&1; then
    runs=$(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$log")
    echo "fuzz $target: ${runs:-?} executions in ${seconds} s, nothing found"
  else
    tail -n 60 "$log"
    echo "fuzz $target: FOUND A FAULT (input kept in $artifacts)"
    status=1
  fi
done
exit $status
