#!/usr/bin/env bash
# The main job on the bundled sample drive: builds the program, copies the sample's dump set
# (examples/sample/) into a scratch folder, replays it there with "0fxy" (from the dump files,
# every bank, no final prompt), then shows the report and the head of the erase-count file.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j2 --target kzt_fid
work=$(mktemp -d)
cp examples/sample/*.bin "$work"/
cd "$work"
echo "== kzt_fid 0fxy in $work =="
"$root/build/default/src/kzt_fid" 0fxy
echo
echo
echo "== $work/kzt_flash_id.txt =="
tr -d '\r' < kzt_flash_id.txt
echo
echo "== $work/kzt_flash_id_ec.txt (first 20 of $(wc -l < kzt_flash_id_ec.txt) lines) =="
head -n 20 kzt_flash_id_ec.txt
echo "== its lines for bad blocks and blocks without a count =="
grep -E ' (Bad|-)$' kzt_flash_id_ec.txt
