#!/usr/bin/env bash
# Writes the seed corpus of the fuzz targets (fuzz/corpus/<target>/). The replay seeds are built
# from the bundled sample dump set (examples/sample) in the record layout that fuzz/replay_fuzzer.cpp describes.
set -euo pipefail
cd "$(dirname "$0")/.."
sample=examples/sample
out=fuzz/corpus
rm -rf "$out"
mkdir -p "$out"/{replay,flash_id,sat_sense,inspect}

byte() { printf "\\x$(printf %02x "$1")"; }
le16() { byte $(($1 & 255)); byte $(($1 >> 8)); }
# record INDEX FILE [LENGTH]: the file's first LENGTH bytes (all of it by default).
record() {
  local length=${3:-$(stat -c %s "$2")}
  byte "$1"; le16 "$length"; head -c "$length" "$2"
}
bbec() { echo $((4 + 8 * $1 + $2)); }

# The whole sample with x and y: every dump present.
{
  byte 0x05
  record 0 $sample/id.bin; record 1 $sample/kzt_fwi.bin
  record 2 $sample/kzt_fid.bin; record 3 $sample/kzt_fid2.bin
  for ch in 0 1 2 3; do for ce in 0 1; do record "$(bbec $ch $ce)" $sample/kzt_bbec_${ch}_${ce}.bin; done; done
} > $out/replay/sample-all-banks
# Upper-case letters with n; no bad-block dumps, so every bank's load fails.
{
  byte 0x16
  record 0 $sample/id.bin; record 1 $sample/kzt_fwi.bin; record 3 $sample/kzt_fid2.bin
} > $out/replay/sample-no-bbec
# A firmware block cut inside the geometry fields and a bank-0 answer cut inside its list.
{
  byte 0x04
  record 0 $sample/id.bin; record 1 $sample/kzt_fwi.bin 3170; record 3 $sample/kzt_fid2.bin
  record "$(bbec 0 0)" $sample/kzt_bbec_0_0.bin 2100
} > $out/replay/sample-cut
# Identify alone, and nothing at all.
{ byte 0x00; record 0 $sample/id.bin; } > $out/replay/identify-only
byte 0x21 > $out/replay/no-dumps

# kzt_inspect's sets (records as fuzz/inspect_fuzzer.cpp describes them): the sample's identity,
# geometry, flash IDs and SMART, a manifest, and bank 0's answer up to its first counts.
manifest=$(mktemp)
printf '%s' '{"json_format_version": [1, 0], "time": {"utc": "2026-12-07T10:15:00Z", "unix": 1796638500, "local_offset": "+01:00"}, "host": "bench-7", "drive": {"number": 0, "node": "/dev/sdb", "bus": "USB"}, "steps": [{"name": "Identify", "arrived": true, "failure": null}]}' > "$manifest"
{
  record 0 $sample/id.bin; record 1 $sample/kzt_fwi.bin; record 2 $sample/kzt_fid2.bin
  record 3 $sample/smart.bin; record 4 "$manifest"; record 5 $sample/kzt_bbec_0_0.bin 16640
} > $out/inspect/sample-head
rm -f "$manifest"

# Flash IDs: raw bytes of several maker families, and ID texts as kzt_nandid takes them.
n=0
for id in "98 3C 99 B3 7A 51" "2C 64 44 4B A9 00" "45 DE 03 00 FF 27" "9B C3 08 03 00 F0" \
          "AD DE 14 A7 42 8A" "EC 3A 0C 0A 7A 40" "C2 F1 80 95 02 00" "FF FF FF FF FF FF"; do
  for b in $id; do byte "0x$b"; done > $out/flash_id/raw-$n
  n=$((n + 1))
done
printf '98 3C 99 B3 7A 51 08 04' > $out/flash_id/text-spaced
printf '0x2c,0x64,0x44,0x4b,0xa9,0x00' > $out/flash_id/text-commas
printf '983C99B37A51' > $out/flash_id/text-run

# Sense data after ATA PASS-THROUGH: SCSI status byte, then the sense bytes.
hex() { for b in "$@"; do byte "0x$b"; done; }
hex 02 72 01 00 1D 00 00 00 0E 09 0C 00 00 00 01 00 00 00 00 00 00 E0 50 > $out/sat_sense/descriptor-status
hex 02 72 0B 00 00 00 00 00 0E 09 0C 00 04 00 01 00 00 00 00 00 00 E0 51 > $out/sat_sense/descriptor-error
hex 02 70 00 0B 00 00 00 00 0A 04 51 E0 01 00 00 00 00 00 00 > $out/sat_sense/fixed-libata
hex 02 F0 00 01 04 50 E0 01 00 0A 00 00 00 00 1D 00 00 00 00 > $out/sat_sense/fixed-valid
hex 02 70 00 05 00 00 00 00 0A 00 00 00 00 20 00 00 00 00 00 > $out/sat_sense/illegal-request
hex 00 > $out/sat_sense/good-no-sense
