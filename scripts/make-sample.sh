#!/usr/bin/env bash
# Regenerates examples/sample/, the bundled sample's dump set: the program runs in-process with
# "0xy" against the simulated sample drive (tests/sim/sample_drive.cpp) and its dump files are
# copied over. The drive is fixed, so the set comes out the same every time.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j2 --target kzt_make_sample
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build/default/tests/sim/kzt_make_sample "$work"
rm -f examples/sample/*.bin
mkdir -p examples/sample
cp "$work"/id.bin "$work"/kzt_fwi.bin "$work"/kzt_fid.bin "$work"/kzt_fid2.bin \
   "$work"/kzt_bbec_*.bin "$work"/smart.bin examples/sample/
echo "examples/sample/ regenerated:"
ls -l examples/sample/
