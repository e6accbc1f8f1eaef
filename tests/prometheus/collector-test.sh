#!/bin/sh
# kzt-fid-collect on the host, under the shell given (sh and busybox sh), with a stand-in for
# kzt_fid: its --scan --json names three drives (0 served, with a quote, a backslash and a byte the
# JSON escapes in its model; 1 served, whose run fails with status 2 and makes no reading; 2 not
# served), and its run of drive 0 copies the bundled sample's dumps into the folder with a
# manifest of the run. The real kzt_fid runs the collector in the QEMU run. Checks: the metrics
# file (promtool check metrics, drive 0's figures, drive 1 not ok with its status, drive 2
# absent), nothing else in the textfile folder, that only the oldest reading-* subfolders beyond
# KZT_FID_KEEP are removed, and that the environment's settings win over the defaults file's.
# Use: collector-test.sh SHELL KZT_INSPECT SOURCE_DIR SCRATCH_DIR
set -u
shell=$1 inspect=$2 source=$(cd "$3" && pwd) scratch=$4
rm -rf "$scratch"
mkdir -p "$scratch/bin" "$scratch/state/PM240S00193A0001734" "$scratch/textfile"
cat >"$scratch/bin/kzt_fid" <<STANDIN
#!/bin/sh
if [ "\$1" = --scan ]; then
  cat <<'JSON'
{
  "json_format_version": [1, 0],
  "kzt_fid": {"version": "0.15a", "argv": ["kzt_fid", "--scan", "--json"]},
  "drives": [
    {"number": 0, "node": "/dev/sda", "bus": "ATA", "vendor": "ATA", "product": "P3", "usb": null, "identify": {"model": "PELLMORA P3 240GB", "firmware": "RTFW0315", "serial": "PM240S00193A0001734", "controller": "REALTEK_RL9X43_SAMPLE"}, "served": true, "error": null},
    {"number": 1, "node": "/dev/sdb", "bus": "USB", "vendor": "x", "product": "y", "usb": null, "identify": {"model": "Q\\\\\\"\\u00e9 SSD", "firmware": "F", "serial": "../S 1", "controller": "REALTEK_X"}, "served": true, "error": null},
    {"number": 2, "node": "/dev/sdc", "bus": "ATA", "vendor": "ATA", "product": "z", "usb": null, "identify": {"model": "OTHER", "firmware": "F", "serial": "S2", "controller": "SM2259XT"}, "served": false, "error": null}
  ]
}
JSON
  exit 0
fi
case "\$1" in
  0xy) cp "$source"/examples/sample/*.bin .
       printf '{"time": {"utc": "x", "unix": %s, "local_offset": "+00:00"}, "exit_status": 0}\n' "\$(date +%s)" >reading.json ;;
  *) exit 2 ;;
esac
STANDIN
chmod +x "$scratch/bin/kzt_fid"
# Five earlier readings of drive 0 (and a file and a link of that pattern, which stay).
for t in 20261201T100000Z 20261202T100000Z 20261203T100000Z 20261203T100000Z-2 20261130T100000Z; do
  mkdir "$scratch/state/PM240S00193A0001734/reading-PM240S00193A0001734-$t"
done
: >"$scratch/state/PM240S00193A0001734/reading-PM240S00193A0001734-20261101T100000Z"
ln -s / "$scratch/state/PM240S00193A0001734/reading-PM240S00193A0001734-20261102T100000Z"

failed=0
check() { if [ "$1" = 0 ]; then echo "ok: $2"; else echo "FAIL: $2"; failed=$((failed + 1)); fi; }
# A defaults file whose settings the environment's overrule.
printf 'KZT_FID_KEEP=1\nKZT_FID_STATE_DIR=%s/elsewhere\n' "$scratch" >"$scratch/defaults"
KZT_FID="$scratch/bin/kzt_fid" KZT_INSPECT="$inspect" KZT_FID_KEEP=3 KZT_FID_DEFAULTS="$scratch/defaults" \
  KZT_FID_STATE_DIR="$scratch/state" KZT_FID_TEXTFILE="$scratch/textfile/kzt_fid.prom" \
  $shell "$source/scripts/kzt-fid-collect" 2>"$scratch/collect.err"
check $? "the collector ends with status 0"
prom=$scratch/textfile/kzt_fid.prom
promtool check metrics <"$prom" >/dev/null 2>&1; check $? "promtool check metrics accepts the file"
has() { grep -qxF -- "$1" "$prom"; check $? "line: $1"; }
d0='model="PELLMORA P3 240GB",serial="PM240S00193A0001734"'
d1='model="Q\\\"? SSD",serial="../S 1"'
has "kzt_fid_reading_ok{$d0} 1"
has "kzt_fid_reading_exit_status{$d0} 0"
has "kzt_fid_bank_bad_blocks{$d0,bank=\"Ch3CE1\",list=\"grown\"} 3"
has "kzt_fid_reading_ok{$d1} 0"
has "kzt_fid_reading_exit_status{$d1} 2"
! grep -q 'serial="S2"' "$prom"; check $? "the drive not served is not read"
[ "$(grep -c '^# TYPE kzt_fid_reading_ok gauge$' "$prom")" = 1 ]; check $? "each family once"
[ "$(ls -A "$scratch/textfile")" = kzt_fid.prom ]; check $? "no temporary file left"
[ ! -e "$scratch/elsewhere" ]; check $? "the environment's settings win over the defaults file's"
[ -d "$scratch/state/..S1" ]; check $? "drive 1's folder named from its serial"
kept=$(cd "$scratch/state/PM240S00193A0001734" && for d in reading-*; do printf "%s " "$d"; done)
[ "$kept" = "reading-PM240S00193A0001734-20261101T100000Z reading-PM240S00193A0001734-20261102T100000Z reading-PM240S00193A0001734-20261203T100000Z reading-PM240S00193A0001734-20261203T100000Z-2 " ]
check $? "the two newest earlier readings kept, with the current one three (kept: $kept)"
[ "$failed" -eq 0 ] || cat "$scratch/collect.err"
[ "$failed" -eq 0 ]
