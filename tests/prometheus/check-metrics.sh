#!/bin/sh
# promtool check metrics on every --metrics output of the suite: the golden files that the
# in-process tests hold kzt_inspect's output to (the small drive, a reading without identity,
# geometry and SMART), and kzt_inspect --metrics on the bundled sample, on a copy of it with one
# bank's dump missing and on one without the geometry. promtool fails a file the text format
# rejects and one that breaks Prometheus's naming conventions.
# Use: check-metrics.sh KZT_INSPECT SOURCE_DIR SCRATCH_DIR
set -eu
inspect=$1 source=$2 scratch=$3
rm -rf "$scratch"
mkdir -p "$scratch"
failed=0
check() {  # check NAME FILE
  if promtool check metrics <"$2" >"$scratch/$1.lint" 2>&1 && [ -s "$2" ]; then
    echo "ok: $1"
  else
    echo "FAIL: $1"; cat "$scratch/$1.lint"; failed=$((failed + 1))
  fi
}
for golden in "$source"/tests/golden/*_metrics.prom; do
  check "$(basename "$golden")" "$golden"
done
cp -r "$source/examples/sample" "$scratch/sample"
"$inspect" --metrics "$scratch/sample" >"$scratch/sample.prom"
check sample "$scratch/sample.prom"
rm "$scratch/sample/kzt_bbec_1_1.bin"
"$inspect" --metrics "$scratch/sample" >"$scratch/bank_missing.prom"
check bank_missing "$scratch/bank_missing.prom"
grep -q 'kzt_fid_answers_missing{[^}]*} 1$' "$scratch/bank_missing.prom" || { echo "FAIL: one answer missing"; failed=$((failed + 1)); }
rm "$scratch/sample/kzt_fwi.bin"
"$inspect" --metrics "$scratch/sample" >"$scratch/no_geometry.prom"
check no_geometry "$scratch/no_geometry.prom"
if grep -q 'bank=' "$scratch/no_geometry.prom"; then echo "FAIL: a bank figure without the geometry"; failed=$((failed + 1)); fi
[ "$failed" -eq 0 ]
