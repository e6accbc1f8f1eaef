#!/usr/bin/env bash
# The main job on the bundled sample drive, then its natural next step: installs only what the
# build needs (g++, CMake, make), builds kzt_fid and kzt_inspect without the test suite, copies
# the sample's dump set (examples/sample/) into a scratch folder, replays it there with "0fxy"
# (from the dump files, every bank, no final prompt), shows the report and the head of the
# erase-count file, then kzt_inspect's summary of every bank's bad blocks and wear and its SVG
# wear map. The test suite's tools come with scripts/test-all.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

missing=()
for p in g++ cmake make; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "== installing ${missing[*]} =="
  $sudo apt-get update -q
  # Without the recommended extras: 66 packages and 90 MB on a fresh Debian 12 instead of 108
  # and 109 MB.
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    "${missing[@]}"
fi

cmake --preset demo >/dev/null
cmake --build --preset demo -j2
work=$(mktemp -d)
cp examples/sample/*.bin "$work"/
cd "$work"
echo "== kzt_fid 0fxy in $work =="
"$root/build/demo/src/kzt_fid" 0fxy
echo
echo
echo "== $work/kzt_flash_id.txt =="
tr -d '\r' < kzt_flash_id.txt
echo
echo "== $work/kzt_flash_id_ec.txt (first 20 of $(wc -l < kzt_flash_id_ec.txt) lines) =="
head -n 20 kzt_flash_id_ec.txt
echo "== its lines for bad blocks and blocks without a count =="
grep -E ' (Bad|-)$' kzt_flash_id_ec.txt
echo
echo "== kzt_inspect: every bank's bad blocks and wear from the same dump set =="
"$root/build/demo/src/kzt_inspect"
echo
"$root/build/demo/src/kzt_inspect" --svg wear.svg
echo "Open $work/wear.svg in a browser for the wear map; kzt_inspect --json gives the figures as JSON."
