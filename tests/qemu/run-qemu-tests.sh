#!/usr/bin/env bash
# End-to-end test on a real Linux kernel: boots Debian's kernel under QEMU (q35; KVM when usable,
# else TCG) twice: an emulated AHCI disk, then a virtio-scsi disk, then QEMU's USB stick and an
# emulated USB-to-SATA bridge (dummy_hcd and FunctionFS in the guest, tests/qemu/usb_bridge.cpp)
# with the simulated 62-bank drive behind it; QEMU's USB stick, then the bridge. Runs the
# statically linked kzt_fid and the transport probe against them and checks what they print on
# the serial console: in the first boot kzt_fid --scan and --scan --json of the four disks,
# without and with usb-storage's quirk t for the bridge, and what the bridge received meanwhile;
# in the second, through the bridge, a whole run, its replay, runs killed with SIGKILL (whose
# folders must hold whole files only and the earlier reading whole) and one run for each fault of
# the table below, each compared file by file with an in-process run of the same drive and checked
# against the row. Ends with one line "N passed, N failed" and a non-zero status when a check
# failed.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
here="$root/tests/qemu"
work="$root/build/qemu"
mkdir -p "$work"
cd "$root"

# Assertions on the identify and SMART steps of the run, which need those steps in the program.
expect_interrogation=1

# The faults that real USB-SATA bridges show, struck by the emulated bridge in runs through the
# real kernel, one row each (fields between "|"):
#   1 name
#   2 the bridge's fault, "KIND COMMAND WHICH [CODE]" (usb_bridge.cpp tells the kinds): COMMAND a
#     command of the simulated drive, "vendor" (FA, FC) or "any"; WHICH the n-th from 1 or "every"
#   3 the same fault as the program sees it after the kernel, for the in-process run whose files
#     the run must give byte for byte (make_expected.cpp; ";" between faults)
#   4 letters
#   5 exit status
#   6 the most seconds the run may take
#   7 the lines that name the lost answers, each in the console and in the report, and no other
#     such line ("N*" N times; ";" between; "{gone}" any code of a request to a bridge that has
#     gone, below)
#   8 the dumps that must be missing ("kzt_bbec_*": every bank's)
# Banks are read channel by channel: the n-th Get BBEC is bank n-1, channel (n-1)/8, CE (n-1)%8.
# What the kernel makes of each fault: a phase error, a status wrapper with a wrong tag or
# signature and more data than asked (babble, seen when the host reads the status wrapper) are
# transport errors to usb-storage, which resets the bridge and ends the command with DID_ERROR
# (0x10007); a command not answered within the program's 2 seconds is aborted, the bridge reset,
# and the command ends with DID_TIME_OUT (0x10003); a status "failed" brings sense data through
# REQUEST SENSE: fixed format gives its key, ASC and ASCQ, ABORTED COMMAND with the ATA Status
# Return descriptor the drive's status; a residue makes a short transfer, 0x1000000 + the bytes
# that came. A request to a bridge that has gone reached it while it went (DID_ERROR, 0x10007, or
# DID_NO_CONNECT, 0x10001), or found its disk on the way out: the sg node refused it (ENODEV,
# 0x13), the disk node had no disk behind it (ENXIO, 0x6) or was gone (ENOENT, 0x2).
fault_table='
phase     | phase GetBbec 21        | transport GetBbec 21 10007              | xy | 4 | 20 | IOCtl: Get BBEC failed 0x10007!          | kzt_bbec_2_4.bin
hold      | hold GetBbec 39         | transport GetBbec 39 10003              | xy | 4 | 20 | IOCtl: Get BBEC failed 0x10003!          | kzt_bbec_4_6.bin
exit      | exit GetBbec 60         | transport GetBbec 60 10007; gone GetBbec 61 | xy | 4 | 30 | IOCtl: Get BBEC failed 0x10007!; 2*IOCtl: Get BBEC failed 0x{gone}! | kzt_bbec_7_3.bin kzt_bbec_7_4.bin kzt_bbec_7_5.bin
unbind    | unbind GetBbec 59       | transport GetBbec 59 10007; gone GetBbec 60 | xy | 4 | 30 | IOCtl: Get BBEC failed 0x10007!; 3*IOCtl: Get BBEC failed 0x{gone}! | kzt_bbec_7_2.bin kzt_bbec_7_3.bin kzt_bbec_7_4.bin kzt_bbec_7_5.bin
stop      | stop GetFwi 1           | transport vendor every 10003            | y  | 4 | 60 | IOCtl: Get FWI failed 0x10003!; IOCtl: FID prefix failed 0x10003!; IOCtl: Get FID failed 0x10003!; IOCtl: Get FID2 failed 0x10003! | kzt_fwi.bin kzt_fid.bin kzt_fid2.bin kzt_bbec_*
short_id  | short Identify 1        | short Identify 1                        | xy | 2 | 20 | IOCtl: Identify failed 0x1000100!        | id.bin kzt_fwi.bin kzt_fid.bin kzt_fid2.bin kzt_bbec_*
short_one | short GetBbec 10        | short GetBbec 10                        | xy | 4 | 20 | IOCtl: Get BBEC failed 0x1004000!        | kzt_bbec_1_1.bin
cap       | cap GetBbec every       | short GetBbec every                     | xy | 4 | 30 | 62*IOCtl: Get BBEC failed 0x1004000!     | kzt_bbec_*
babble    | babble GetBbec 45       | transport GetBbec 45 10007              | xy | 4 | 20 | IOCtl: Get BBEC failed 0x10007!          | kzt_bbec_5_4.bin
tag       | tag GetFid2 1           | transport GetFid2 1 10007               | xy | 4 | 20 | IOCtl: Get FID2 failed 0x10007!          | kzt_fid2.bin kzt_bbec_*
signature | signature GetBbec 62    | transport GetBbec 62 10007              | xy | 4 | 20 | IOCtl: Get BBEC failed 0x10007!          | kzt_bbec_7_5.bin
attention | sense GetFwi 1 062900   | sense GetFwi 1 62900                    | xy | 4 | 20 | IOCtl: Get FWI failed 0x62900!           | kzt_fwi.bin
vendor    | sense vendor every 052400 | sense vendor every 52400              | xy | 4 | 20 | IOCtl: Get FWI failed 0x52400!; IOCtl: FID prefix failed 0x52400!; IOCtl: Get FID failed 0x52400!; IOCtl: Get FID2 failed 0x52400! | kzt_fwi.bin kzt_fid.bin kzt_fid2.bin kzt_bbec_*
refused   | sense any every 052400  | sense any every 52400                   | xy | 2 | 20 | IOCtl: SmartEnable failed 0x52400!; IOCtl: Identify failed 0x52400! | smart.bin id.bin kzt_fwi.bin kzt_fid.bin kzt_fid2.bin kzt_bbec_*
abort     | abort GetBbec 5         | error GetBbec 5                         | xy | 4 | 20 | ATA: Get BBEC failed! Error: 0x51        | kzt_bbec_0_4.bin
'
# ---- Runs killed with SIGKILL: where ----------------------------------------------------------
# The points at which the guest kills a live run with x on the bridge (init.sh, kill_runs): "msN"
# N milliseconds after it started, "cmdN" once the bridge received its N-th ATA PASS-THROUGH
# block, "bbecN" its N-th Get BBEC block (of 62). The whole run takes about a second under TCG,
# and the guest needs some milliseconds to see a block in the log. 20 and 100 ms fall at the run's
# start (the lock, the earlier reading moved aside) or among its first commands, as the machine's
# speed has it; the first command among SMART and IDENTIFY; the first, the 31st and the 45th Get
# BBEC among the bank dumps, with the erase-count file and the report not yet complete (later ones
# are answered too close to the run's end to be sure of a kill on a fast machine).
# check_kill_runs below tells what the folder must hold afterwards.
kill_points="ms20 ms100 cmd1 bbec1 bbec31 bbec45"
# ---- end ---------------------------------------------------------------------------------------

# KZT_QEMU_ROWS: only the rows of these names (all when unset).
if [ -n "${KZT_QEMU_ROWS:-}" ]; then
  fault_table=$(grep -E "^($(echo "$KZT_QEMU_ROWS" | tr ' ' '|')) " <<<"$fault_table")
fi
# field ROW N: the N-th field of a row, without the blanks around it.
field() { cut -d'|' -f"$2" <<<"$1" | sed 's/^ *//; s/ *$//'; }

jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2
cmake --preset static >/dev/null
cmake --build --preset static -j "$jobs"
# The in-process runs that give the expected files need the test suite's simulated platform.
cmake --preset ci >/dev/null
cmake --build --preset ci -j "$jobs" --target kzt_qemu_expected kzt_inspect

# The kernel that Debian's linux-image-amd64 depends on, unpacked without installing it.
source "$here/debian-kernel.sh"
debian_kernel "$work"

# The initramfs: busybox, the programs, the drivers in load order per stage, the init script, and
# the files the runs through the bridge must give.
disk_modules="crct10dif_common crct10dif_generic crc-t10dif crc64 crc64_rocksoft_generic
crc64-rocksoft t10-pi scsi_common scsi_mod libata libahci ahci sd_mod sg"
usb_modules="usb-common usbcore xhci-hcd xhci-pci usb-storage"
virtio_modules="virtio_ring virtio virtio_pci_legacy_dev virtio_pci_modern_dev virtio_pci virtio_scsi"
gadget_modules="configfs udc-core libcomposite usb_f_fs dummy_hcd"
rootfs="$work/rootfs"
rm -rf "$rootfs"
mkdir -p "$rootfs"/{bin,dev,proc,sys,tmp,etc,modules,expected}
cp /bin/busybox "$rootfs/bin/busybox"
cp build/static/src/kzt_fid build/static/src/kzt_inspect build/static/tests/qemu/kzt_transport_probe \
  build/static/tests/qemu/kzt_usb_bridge "$rootfs/bin/"
cp scripts/kzt-fid-collect "$rootfs/bin/"
cp "$here/init.sh" "$rootfs/init"
chmod 755 "$rootfs/init"
printf 'root:x:0:0::/:/bin/sh\nuser:x:1000:1000::/tmp:/bin/sh\nmember:x:1001:1001::/tmp:/bin/sh\n' >"$rootfs/etc/passwd"
printf 'root:x:0:\ndisk:x:6:member\nuser:x:1000:\nmember:x:1001:\n' >"$rootfs/etc/group"
# stage FOLDER MODULES...: the modules into /modules/FOLDER, numbered in load order.
stage() {
  local folder="$rootfs/modules/$1" n=10 m file
  shift
  mkdir -p "$folder"
  for m in "$@"; do
    file=$(find "$kernel/lib/modules/$release" -name "$m.ko" -o -name "${m//-/_}.ko" -o -name "${m//_/-}.ko" | head -n 1)
    if [ -z "$file" ]; then
      echo "module $m not in the package (built in?)"
    else
      cp "$file" "$folder/$n-$m.ko"
    fi
    n=$((n + 1))
  done
}
# shellcheck disable=SC2086
stage disk $disk_modules
# shellcheck disable=SC2086
stage usb $usb_modules
# shellcheck disable=SC2086
stage virtio $virtio_modules
# shellcheck disable=SC2086
stage gadget $gadget_modules
# The virtio disk that carries the collector's files out of the usb boot.
stage outdisk virtio_ring virtio virtio_pci_legacy_dev virtio_pci_modern_dev virtio_pci virtio_blk

# Expected: the same simulated drive in-process as USB drive 1, with the fault as the program sees
# it after the kernel; the guest's list of rows (name, the bridge's fault, letters).
expected_tool=build/ci/tests/qemu/kzt_qemu_expected
mkdir -p "$rootfs/expected/full"
"$expected_tool" "$rootfs/expected/full" 1 xy
cp -r "$rootfs/expected/full" "$rootfs/expected/replay"
# A replay writes no manifest: its folder holds the dumps it was given, the report, the
# erase-count file and the lock.
rm "$rootfs/expected/replay/reading.json"
: >"$rootfs/faults"
while read -r row; do
  [ -n "$row" ] || continue
  name=$(field "$row" 1)
  mkdir -p "$rootfs/expected/$name"
  IFS=';' read -ra program_faults <<<"$(field "$row" 3)"
  "$expected_tool" "$rootfs/expected/$name" 1 "$(field "$row" 4)" "${program_faults[@]}"
  echo "$name|$(field "$row" 2)|$(field "$row" 4)" >>"$rootfs/faults"
done <<<"$fault_table"
echo "$kill_points" >"$rootfs/kill_points"
(cd "$rootfs" && find . | busybox cpio -o -H newc 2>/dev/null | gzip -1 >"$work/initramfs.gz")

disk="$work/disk.img"
scsi_disk="$work/scsi-disk.img"
stick="$work/stick.img"
rm -f "$disk" "$scsi_disk" "$stick"
truncate -s 1G "$disk"
truncate -s 64M "$scsi_disk"
truncate -s 64M "$stick"

# KVM when this machine can run a guest with it (hardware virtualisation, /dev/kvm usable, and a
# short boot that gets to the init script), else software emulation; KZT_QEMU_ACCEL=tcg or =kvm
# chooses.
accel=${KZT_QEMU_ACCEL:-}
if [ -z "$accel" ]; then
  accel=tcg
  if [ -r /dev/kvm ] && [ -w /dev/kvm ] && grep -qwE 'vmx|svm' /proc/cpuinfo; then
    rm -f "$work/kvm.log"
    timeout 30 qemu-system-x86_64 -machine q35 -accel kvm -cpu max -m 512M -smp 1 -display none \
      -monitor none -no-reboot -serial "file:$work/kvm.log" -kernel "$vmlinuz" \
      -initrd "$work/initramfs.gz" -append "console=ttyS0 panic=-1 quiet loglevel=3 kzt=none" \
      >/dev/null 2>&1 || true
    grep -q "^=== clocksource" "$work/kvm.log" 2>/dev/null && accel=kvm
  fi
fi
echo "== accelerator: $accel"

# boot MODE DEVICE-ARGS...: one run of the test system; its serial console in $work/MODE.log.
boot() {
  local mode=$1 started=$SECONDS
  shift
  local log="$work/$mode.log"
  rm -f "$log"
  timeout 300 qemu-system-x86_64 -machine q35 -accel "$accel" -cpu max -m 512M -smp 1 \
    -display none -monitor none -no-reboot -serial "file:$log" \
    -kernel "$vmlinuz" -initrd "$work/initramfs.gz" \
    -append "console=ttyS0 panic=-1 quiet loglevel=3 kzt=$mode" \
    -drive "if=none,id=d0,file=$disk,format=raw" "$@" || true
  tr -d '\r' <"$log" >"$log.txt"
  echo "== $mode: $((SECONDS - started)) s, clocksource $(sed -n 's/^=== clocksource //p' "$log.txt")"
}

passed=0
failures=0
verdict() {  # verdict HOLDS TEXT
  if [ "$1" = 1 ]; then echo "ok: $2"; passed=$((passed + 1)); else echo "FAIL: $2"; failures=$((failures + 1)); fi
}
# section LOG BEGIN END: the lines between two markers.
section() { sed -n "/^=== $2 begin/,/^=== $3/p" "$1"; }
expect() {  # expect LOG BEGIN END TEXT: TEXT stands on a line of the section
  local holds=0
  section "$1" "$2" "$3" | grep -F -- "$4" >/dev/null && holds=1
  verdict $holds "$2: $4"
}
expect_line() {  # expect_line LOG BEGIN END REGEX: a whole line of the section matches
  local holds=0
  section "$1" "$2" "$3" | grep -E -- "^$4\$" >/dev/null && holds=1
  verdict $holds "$2: /$4/"
}
expect_done() {  # expect_done LOG: the test system got to its end
  local holds=0
  grep -qx "=== done" "$1" && holds=1
  verdict $holds "the run got to its end"
}
refute() {  # refute LOG BEGIN END TEXT
  local holds=1
  section "$1" "$2" "$3" | grep -F -- "$4" >/dev/null && holds=0
  verdict $holds "$2: no $4"
}
expect_device() {  # expect_device LOG NODE REGEX: the node's sysfs device path matches
  local holds=0
  grep -qE -- "^=== $2: .*$3" "$1" && holds=1
  verdict $holds "$2 is the device $3"
}
expect_before() {  # expect_before LOG BEGIN END FIRST SECOND: lines with both, FIRST's first
  local first second holds=0
  first=$(section "$1" "$2" "$3" | grep -nF -- "$4" | head -n 1 | cut -d: -f1 || true)
  second=$(section "$1" "$2" "$3" | grep -nF -- "$5" | head -n 1 | cut -d: -f1 || true)
  [ -n "$first" ] && [ -n "$second" ] && [ "$first" -lt "$second" ] && holds=1
  verdict $holds "$2: $4 before $5"
}

IFS=. read -r major minor third _ <<<"${release%%-*}.0.0"
os_line="OS: $major.$minor build ${third:-0} $release"

# check_collector LOG: the collector's two runs in the usb boot, on the bridge's drive with the
# young drive's wear, raised between them. Both end with 0 and promtool accepts both metrics files,
# each reading whole and healthy; the drive's folder holds the second reading and the first in its
# reading-... subfolder, the dumps of each byte for byte those of the in-process run of the drive
# with the same wear; kzt_inspect --history on the folder shows the two readings with the rate.
# The files stay in build/qemu/collect for tests/prometheus/run-prometheus-test.sh.
check_collector() {
  local log=$1 out="$work/collect" folder stage expected dump differs
  for stage in 1 2; do expect_line "$log" "collect $stage" "collect $stage exit" "=== collect $stage exit 0"; done
  expect "$log" "collect 2" "collect end" "=== collect out"
  rm -rf "$out"
  mkdir -p "$out"
  tar -xf "$collect_disk" -C "$out" 2>/dev/null || true
  for stage in first second; do
    verdict "$(promtool check metrics <"$out/$stage.prom" >/dev/null 2>&1 && echo 1 || echo 0)" \
      "collector: promtool check metrics accepts the $stage run's file"
    verdict "$(grep -qE '^kzt_fid_reading_ok\{model="PELLMORA P9 7680GB",serial="PM7680S00999A0009999"\} 1$' "$out/$stage.prom" &&
      grep -qE '^kzt_fid_health_status\{.*verdict="OK"\} 0$' "$out/$stage.prom" && echo 1 || echo 0)" \
      "collector: the $stage run's reading is whole and healthy"
  done
  folder="$out/state/PM7680S00999A0009999"
  for stage in 1 2; do
    expected="$work/collect-expected$stage"
    rm -rf "$expected"
    mkdir -p "$expected"
    build/ci/tests/qemu/kzt_qemu_expected "$expected" 1 xy "wear $stage"
    local reading=$folder
    [ "$stage" = 1 ] && reading=$(find "$folder" -mindepth 1 -maxdepth 1 -type d -name 'reading-PM7680S00999A0009999-*' | head -n 1)
    differs=
    for dump in "$expected"/*.bin; do
      cmp -s "$dump" "$reading/${dump##*/}" || differs="$differs ${dump##*/}"
    done
    verdict "$([ -n "$reading" ] && [ -z "$differs" ] && echo 1 || echo 0)" \
      "collector: reading $stage (${reading#"$out/"}) holds the dumps of the in-process run with wear $stage${differs:+ (differ:$differs)}"
  done
  build/ci/src/kzt_inspect --history "$folder" >"$out/history.txt" 2>&1 || true
  verdict "$(grep -q '^History: 2 readings of 1 drive$' "$out/history.txt" && echo 1 || echo 0)" \
    "collector: kzt_inspect --history shows two readings of the drive"
  verdict "$(grep -qE '^Wear rate \(least squares, .*; 2 readings\): [0-9.]+ PE cycles per 1,000 power-on hours, [0-9.]+ per 30 days$' "$out/history.txt" && echo 1 || echo 0)" \
    "collector: kzt_inspect --history gives the wear rate of the two readings"
}

echo "== AHCI disk, then a virtio-scsi disk; with QEMU's USB stick and the bridge, the scan"
boot ahci -device ide-hd,drive=d0,bus=ide.0,serial=KZT0AHCI \
  -drive "if=none,id=d1,file=$scsi_disk,format=raw" -device virtio-scsi-pci,id=vs \
  -device scsi-hd,drive=d1,bus=vs.0 \
  -drive "if=none,id=d2,file=$stick,format=raw" -device qemu-xhci,id=x -device usb-storage,bus=x.0,drive=d2
log="$work/ahci.log.txt"
expect_done "$log"
expect "$log" kzt_fid "kzt_fid exit" "Pellmora v0.15a by ozw"
expect "$log" kzt_fid "kzt_fid exit" "$os_line"
expect "$log" kzt_fid "kzt_fid exit" "Drive: 0(ATA)"
expect_line "$log" kzt_fid "kzt_fid exit" "=== kzt_fid exit [0-9]+"
expect_line "$log" list "list exit" " 0: ATA +QEMU HARDDISK *"
expect "$log" list "list exit" "Please select drive number:"
expect "$log" probe "probe exit" "PASS: native Get FWI completes with the device's error bit"
expect "$log" probe "probe exit" "PASS: native 48-bit LBA past the disk's end is refused by the disk"
expect "$log" probe "probe exit" "=== probe exit 0"
if [ "$expect_interrogation" = 1 ]; then
  expect_line "$log" kzt_fid "kzt_fid exit" "Model: QEMU HARDDISK *"
  expect_line "$log" kzt_fid "kzt_fid exit" "Fw   : 2\\.5\\+ *"
  expect "$log" kzt_fid "kzt_fid exit" "Size : 1024 MB [1.1 GB]"
  expect "$log" kzt_fid "kzt_fid exit" "Realtek based SSD not found - Exit!"
  refute "$log" kzt_fid "kzt_fid exit" "Smart"
  refute "$log" kzt_fid "kzt_fid exit" "IOCtl:"
  refute "$log" kzt_fid "kzt_fid exit" "ATA:"
  expect "$log" kzt_fid "files" "=== smart.bin size 512 sum 0"
  # IDENTIFY answered, the drive is not one this tool serves.
  expect "$log" kzt_fid "kzt_fid exit" "=== kzt_fid exit 1"
  # Without rights IDENTIFY fails.
  expect "$log" user "member begin" "=== user exit 2"
  expect "$log" member "scsi begin" "=== member exit 2"
  # Without rights: the node does not open (EACCES), or the kernel refuses the command (EPERM).
  expect "$log" user "member begin" "IOCtl: Identify failed 0xd!"
  expect "$log" member "scsi begin" "IOCtl: Identify failed 0x1!"
fi
# Without rights: the node does not open (EACCES, 0xd), or, for a member of group disk, the
# kernel refuses the raw command (EPERM, 0x1). The run ends by itself with its messages.
for who in user member; do
  expect "$log" "$who" "$who exit" "Drive: 0(ATA)"
  expect_line "$log" "$who" "$who exit" "=== $who exit [0-9]+"
done
# The virtio-scsi disk knows no ATA PASS-THROUGH: the kernel's SCSI layer answers CHECK CONDITION,
# ILLEGAL REQUEST / INVALID COMMAND OPERATION CODE, which on the native path is a failed request
# with code 0x52000: SMART stops at its first failure, IDENTIFY fails, the run ends with status 2.
expect_device "$log" sdb "/virtio[0-9]+/host[0-9]+/"
expect "$log" "scsi" "scsi exit" "Drive: 1(ATA)"
expect_before "$log" "scsi" "scsi exit" "IOCtl: SmartEnable failed 0x52000!" "IOCtl: Identify failed 0x52000!"
expect_line "$log" "scsi" "scsi exit" "Model: *"
expect "$log" "scsi" "scsi exit" "Realtek based SSD not found - Exit!"
refute "$log" "scsi" "scsi exit" "Smart data checksum error!"
refute "$log" "scsi" "scsi exit" "GetSmart"
refute "$log" "scsi" "scsi exit" "ATA:"
expect "$log" "scsi" "scsi exit" "=== scsi exit 2"
expect "$log" "scsi report" "scsi files" "IOCtl: Identify failed 0x52000!"
refute "$log" "scsi report" "scsi files" "ATA:"

# The scan of the four disks: the AHCI disk (sda), the virtio-scsi disk (sdb), QEMU's USB stick
# (sdc, 46f4:0001, bcdDevice 0.00 as QEMU's device descriptor has them) and the bridge (sdd,
# 1d6b:0104, bcdDevice 2.15 as init.sh sets them through configfs), first with usb-storage's quirks
# parameter empty ("scan"), then with t for the bridge ("quirk"). Worked out from the program's
# rules (README, "Which drives can this tool read"; tests/golden/scan_linux.*): the AHCI disk
# answers with QEMU's identity, whose vendor-specific words (the controller string) are empty; the
# virtio-scsi disk and the stick know no ATA PASS-THROUGH (0x52000, as in the runs above); the
# bridge carries IDENTIFY to the 62-bank drive of bench/maximal_drive.cpp, until t makes
# usb-storage refuse every ATA PASS-THROUGH block itself with INVALID FIELD IN CDB (0x52400).
no_entry="none in usb-storage's quirks parameter (the built-in list applies)"
no_sat="ILLEGAL REQUEST, INVALID COMMAND OPERATION CODE"
no_sat_advice="neither the disk nor a bridge before it knows ATA PASS-THROUGH (a SAS, RAID or virtual disk, or a bridge without SAT): this tool cannot reach it"
refused="ILLEGAL REQUEST, INVALID FIELD IN CDB"
refused_advice="usb-storage's quirks parameter sets t (NO_ATA_1X) for 1d6b:0104, so the kernel refuses ATA PASS-THROUGH: give it the entry 1d6b:0104: instead (/sys/module/usb_storage/parameters/quirks, keeping the other entries) and replug the bridge"
three_blocks="Drive 0: /dev/sda
  Bus       : ATA
  Vendor    : ATA
  Product   : QEMU HARDDISK
  Model     : QEMU HARDDISK
  Firmware  : 2.5+
  Controller: (none)
  Verdict   : not served: the controller string does not begin with REALTEK_

Drive 1: /dev/sdb
  Bus       : ATA
  Vendor    : QEMU
  Product   : QEMU HARDDISK
  Verdict   : not reachable, 0x52000: $no_sat
  Advice    : $no_sat_advice

Drive 2: /dev/sdc
  Bus       : USB
  Vendor    : QEMU
  Product   : QEMU HARDDISK
  USB       : 46f4:0001, bcdDevice 0.00, driver usb-storage
  Quirks    : $no_entry
  Verdict   : not reachable, 0x52000: $no_sat
  Advice    : $no_sat_advice

Drive 3: /dev/sdd
  Bus       : USB
  Vendor    : KZTTEST
  Product   : USB SATA BRIDGE
  USB       : 1d6b:0104, bcdDevice 2.15, driver usb-storage"
expected_text_scan="$three_blocks
  Quirks    : $no_entry
  Model     : PELLMORA P9 7680GB
  Firmware  : RTFW0999
  Controller: REALTEK_RL9X43_MAXIMAL
  Verdict   : served

Drives: 4 (served 1, not served 1, not reachable 2)"
expected_text_quirk="$three_blocks
  Quirks    : t (usb-storage's quirks parameter)
  Verdict   : not reachable, 0x52400: $refused
  Advice    : $refused_advice

Drives: 4 (served 0, not served 1, not reachable 3)"
# json_drive NUMBER NODE BUS VENDOR PRODUCT USB IDENTIFY SERVED ERROR: a drive's line of the JSON.
json_drive() {
  printf '    {"number": %s, "node": "%s", "bus": "%s", "vendor": "%s", "product": "%s", "usb": %s, "identify": %s, "served": %s, "error": %s}\n' "$@"
}
json_usb() { printf '{"vendor_id": %d, "product_id": %d, "bcd_device": %d, "driver": "usb-storage", "quirks": %s}' "$@"; }
json_error() { printf '{"code": %d, "text": "%s", "advice": "%s"}' "$@"; }
three_drives="$(json_drive 0 /dev/sda ATA ATA "QEMU HARDDISK" null \
  '{"model": "QEMU HARDDISK", "firmware": "2.5+", "serial": "KZT0AHCI", "controller": ""}' false null
json_drive 1 /dev/sdb ATA QEMU "QEMU HARDDISK" null null null "$(json_error 0x52000 "$no_sat" "$no_sat_advice")"
json_drive 2 /dev/sdc USB QEMU "QEMU HARDDISK" "$(json_usb 0x46f4 0x0001 0x0000 null)" null null \
  "$(json_error 0x52000 "$no_sat" "$no_sat_advice")")"
expected_json_scan="$three_drives
$(json_drive 3 /dev/sdd USB KZTTEST "USB SATA BRIDGE" "$(json_usb 0x1d6b 0x0104 0x0215 null)" \
  '{"model": "PELLMORA P9 7680GB", "firmware": "RTFW0999", "serial": "PM7680S00999A0009999", "controller": "REALTEK_RL9X43_MAXIMAL"}' \
  true null)"
expected_json_quirk="$three_drives
$(json_drive 3 /dev/sdd USB KZTTEST "USB SATA BRIDGE" "$(json_usb 0x1d6b 0x0104 0x0215 '"t"')" null null \
  "$(json_error 0x52400 "$refused" "$refused_advice")")"
# IDENTIFY DEVICE as the USB road sends it: ATA PASS-THROUGH (12), PIO data-in, T_DIR, BYT_BLOK,
# the length in the count (1), command EC; 512 bytes in.
bridge_identify="a1 08 0e 00 01 00 00 00 00 ec 00 00 in 512"
same_text() {  # same_text WHAT EXPECTED ACTUAL
  local holds=0
  [ "$2" = "$3" ] && holds=1
  verdict $holds "$1"
  [ $holds = 1 ] || diff <(echo "$2") <(echo "$3") | head -n 20 || true
}
grep -qx "=== quirks 1d6b:0104:t" "$log" && holds=1 || holds=0
verdict $holds "usb-storage's quirks parameter holds 1d6b:0104:t"
for state in scan quirk; do
  if [ $state = scan ]; then
    expected_text=$expected_text_scan expected_json=$expected_json_scan received=$bridge_identify
  else
    expected_text=$expected_text_quirk expected_json=$expected_json_quirk received=
  fi
  for form in text json; do
    expect_line "$log" "$state $form" "$state $form end" "=== $state $form exit 0"
    expect_line "$log" "$state $form" "$state $form end" "=== $state $form files: "
    # Exactly one IDENTIFY reached the bridge, or with t none; nothing else.
    same_text "$state $form: the bridge received ${received:-nothing}" "$received" \
      "$(section "$log" "$state $form" "$state $form end" | sed -n 's/^=== bridge received: //p')"
  done
  same_text "$state text: the four blocks" "${expected_text}" \
    "$(section "$log" "$state text" "$state text exit" | sed '1d;$d')"
  section "$log" "$state json" "$state json exit" | sed '1d;$d' >"$work/$state.json"
  same_text "$state json: the four drives" "${expected_json}" \
    "$(grep '^    {"number"' "$work/$state.json" | sed 's/,$//')"
  holds=0
  validation=$(/usr/bin/python3 doc/check_json_schema.py doc/kzt_fid_scan.schema.json "$work/$state.json" 2>&1) &&
    holds=1
  verdict $holds "$state json: valid against doc/kzt_fid_scan.schema.json"
  [ $holds = 1 ] || echo "$validation"
  # The scan's verdict on each drive agrees with a run on it: served, status 0 or 4; not served, 1;
  # not reachable, 2 with IDENTIFY failed by the scan's code.
  facts=$(/usr/bin/python3 -c 'import json, sys
for d in json.load(open(sys.argv[1]))["drives"]:
    print(d["number"], json.dumps(d["served"]), (d["error"] or {}).get("code", "-"))' "$work/$state.json" || true)
  while read -r number served code; do
    [ -n "$number" ] || continue
    run=$(section "$log" "$state run $number" "$state run $number exit")
    status=$(sed -n "s/^=== $state run $number exit //p" <<<"$run")
    holds=0
    case $served in
      true) [[ "$status" =~ ^[04]$ ]] && holds=1 ;;
      false) [ "$status" = 1 ] && holds=1 ;;
      null) [ "$status" = 2 ] && grep -qF "IOCtl: Identify failed 0x$(printf %x "$code")!" <<<"$run" && holds=1 ;;
    esac
    verdict $holds "$state: drive $number, served $served (code $code), and a run's exit status ${status:-none}"
  done <<<"$facts"
done
# No command of a scan or a run carried data to the bridge's drive.
refute "$log" "scan text" "done" "=== data to the drive"

echo "== USB stick, then the USB-SATA bridge"
collect_disk="$work/collect.img"
rm -f "$collect_disk"
truncate -s 64M "$collect_disk"
boot usb -device qemu-xhci,id=x -device usb-storage,bus=x.0,drive=d0 \
  -drive "if=none,id=dout,file=$collect_disk,format=raw" -device virtio-blk-pci,drive=dout
log="$work/usb.log.txt"
expect_done "$log"
expect "$log" kzt_fid "kzt_fid exit" "Drive: 0(USB)"
expect_line "$log" kzt_fid "kzt_fid exit" "=== kzt_fid exit [0-9]+"
expect_line "$log" list "list exit" " 0: QEMU +QEMU HARDDISK *"
if [ "$expect_interrogation" = 1 ]; then
  # QEMU's USB stick is a SCSI disk emulation that knows no ATA PASS-THROUGH, as a bridge without
  # SAT: CHECK CONDITION, ILLEGAL REQUEST / INVALID COMMAND OPERATION CODE (0x52000). SMART stops at
  # its first failure, IDENTIFY fails, nothing is dumped, status 2.
  expect_before "$log" kzt_fid "kzt_fid exit" "IOCtl: SmartEnable failed 0x52000!" "IOCtl: Identify failed 0x52000!"
  refute "$log" kzt_fid "kzt_fid exit" "ATA:"
  refute "$log" kzt_fid "kzt_fid exit" "Smart data checksum error!"
  expect_line "$log" kzt_fid "kzt_fid exit" "Model: *"
  expect "$log" kzt_fid "kzt_fid exit" "Realtek based SSD not found - Exit!"
  expect "$log" kzt_fid "files" "=== smart.bin missing"
  expect "$log" kzt_fid "files" "=== files: kzt_fid.lock kzt_flash_id.txt reading.json "
  expect "$log" kzt_fid "kzt_fid exit" "=== kzt_fid exit 2"
fi
for who in user member; do
  expect "$log" "$who" "$who exit" "Drive: 0(USB)"
done

# The bridge's disk sits below a USB device, so the program takes the USB path by itself.
expect_device "$log" sdb "/usb[0-9]+/"
expect_line "$log" "bridge list" "bridge list end" " 1: KZTTEST +USB SATA BRIDGE *"
# same_files RUN: the run's console, exit status and every file as in-process, and no file more.
same_files() {
  local file files
  files=$(cd "$rootfs/expected/$1" && ls | grep -vx 'console.txt\|status.txt' | tr '\n' ' ')
  for file in $(ls "$rootfs/expected/$1"); do
    expect "$log" "$1" "$1 end" "=== same $file"
  done
  expect "$log" "$1" "$1 end" "=== $1 files: $files"
  expect "$log" "$1" "$1 exit" "Drive: 1(USB)"
}
same_files full
expect_line "$log" full "full end" "=== full exit 0 after [0-9]+ s"
# No command of any run through the bridge carried data to the drive.
refute "$log" full "done" "=== data to the drive"
refute "$log" full "full end" "IOCtl:"
refute "$log" full "full end" "reset high-speed USB device"
# The replay of the dumps the run wrote gives the same console, report and erase-count file, and
# rewrites no dump.
same_files replay
expect_line "$log" replay "replay end" "=== replay exit 0 after [0-9]+ s"

# ---- Runs killed with SIGKILL: what is left ----------------------------------------------------
# Each run killed at a point of $kill_points was still running (status 137), and its folder holds
# only whole files: each file under a final name equal to the uninterrupted run's (kill_ref, in a
# folder seeded alike) or, before the earlier reading is moved aside, to the earlier reading's;
# temporary files of the writer; and the earlier reading, whole and nothing else, in one
# reading-* subfolder. The uninterrupted run ends with 0 and moves the earlier reading aside whole.
check_kill_runs() {
  local when name at
  expect_line "$log" kill_ref "kill_ref end" "=== kill_ref status 0 after [0-9]+ commands, 62 Get BBEC"
  expect_line "$log" kill_ref "kill_ref end" "=== kill_ref earlier checked in reading-.*"
  for when in ref $kill_points; do
    name=kill_$when
    if [ "$when" != ref ]; then
      # A point in time may come after a fast run's end (its folder is checked all the same); a
      # point in the bridge's log comes while the run waits for the next answer.
      case $when in
        ms*) expect_line "$log" "$name" "$name end" "=== $name status (137|0) after [0-9]+ commands, [0-9]+ Get BBEC" ;;
        *) expect_line "$log" "$name" "$name end" "=== $name status 137 after [0-9]+ commands, [0-9]+ Get BBEC" ;;
      esac
      expect_line "$log" "$name" "$name end" "=== $name earlier checked in .*"
    fi
    refute "$log" "$name" "$name end" "=== $name part "
    refute "$log" "$name" "$name end" "=== $name extra"
    refute "$log" "$name" "$name end" "=== $name earlier lost "
    # The kill came at its point or after it (the guest looks at the bridge's log every 5 ms).
    at=$(section "$log" "$name" "$name end" | sed -n -E "s/^=== $name status [0-9]+ after ([0-9]+) commands, ([0-9]+) Get BBEC$/\1 \2/p")
    case $when in
      cmd*) [ -n "$at" ] && [ "${at% *}" -ge "${when#cmd}" ] && holds=1 || holds=0
        verdict $holds "$name: killed after the bridge received ${when#cmd} commands (${at% *})" ;;
      bbec*) [ -n "$at" ] && [ "${at#* }" -ge "${when#bbec}" ] && holds=1 || holds=0
        verdict $holds "$name: killed after the bridge received ${when#bbec} Get BBEC (${at#* })" ;;
    esac
  done
}
check_kill_runs
# ---- end of the runs killed with SIGKILL -------------------------------------------------------

# same_lines WHAT EXPECTED ACTUAL: each line of ACTUAL matches a line of EXPECTED (an extended
# regular expression for the whole line), one for one, in any order.
same_lines() {
  local pattern line i holds=1
  local -a left=()
  mapfile -t left <<<"$3"
  while IFS= read -r pattern; do
    [ -n "$pattern" ] || continue
    for i in "${!left[@]}"; do
      if [[ "${left[$i]}" =~ ^($pattern)$ ]]; then
        unset "left[$i]"
        continue 2
      fi
    done
    holds=0
  done <<<"$2"
  for line in "${left[@]}"; do [ -z "$line" ] || holds=0; done
  verdict $holds "$name: $1"
  [ $holds = 1 ] || printf '  expected: %s\n  actual: %s\n' "$(tr '\n' ';' <<<"$2")" "$(tr '\n' ';' <<<"$3")"
}
bank_dumps() { local b; for b in $(seq 0 61); do echo "kzt_bbec_$((b / 8))_$((b % 8)).bin"; done; }
lost() { grep -qx "$1" <<<"$missing"; }  # lost DUMP: the row's dump is missing
bank_name() { sed -E 's/kzt_bbec_([0-7])_([0-7])\.bin/Ch\1CE\2/' <<<"$1"; }

# The fault table. Besides the files of the in-process run, each row's own expectations, and what
# the program's rules make of its missing dumps: no geometry without kzt_fwi.bin, no bank line
# without kzt_fid2.bin; each bank read whose answer did not arrive (every bank read, without
# kzt_fwi.bin) lists no bad block ("=0" in both lists); the erase-count file holds no count from a
# last bank that did not arrive; kzt_inspect names the missing files and shows no figure from them.
while read -r row; do
  [ -n "$row" ] || continue
  name=$(field "$row" 1)
  fault=$(field "$row" 2)
  letters=$(field "$row" 4)
  status=$(field "$row" 5)
  read -ra dumps <<<"$(field "$row" 8)"
  missing=$(for dump in "${dumps[@]}"; do
    if [ "$dump" = "kzt_bbec_*" ]; then bank_dumps; else echo "$dump"; fi
  done)
  same_files "$name"
  expect_line "$log" "$name" "$name end" "=== $name struck: ${fault%% *} .*"
  taken=$(section "$log" "$name" "$name end" | sed -n "s/^=== $name exit $status after \([0-9]*\) s$/\1/p")
  holds=0
  [ -n "$taken" ] && [ "$taken" -le "$(field "$row" 6)" ] && holds=1
  verdict $holds "$name: exit $status within $(field "$row" 6) s (${taken:-no such exit} s)"

  # Every lost answer named, in the console and the report, and nothing else.
  named=$(field "$row" 7 | tr ';' '\n' | sed 's/^ *//; s/ *$//' | while read -r line; do
    count=1
    [[ "$line" =~ ^([0-9]+)\*(.*)$ ]] && count=${BASH_REMATCH[1]} line=${BASH_REMATCH[2]}
    for _ in $(seq "$count"); do echo "${line//\{gone\}/(10007|10001|13|6|2)}"; done
  done)
  same_lines "lost answers named in the console" "$named" \
    "$(section "$log" "$name" "$name exit" | grep -oE '(IOCtl|ATA): .*')"
  same_lines "lost answers named in the report" "$named" \
    "$(section "$log" "$name" "$name end" | sed -n -E 's/^=== report: ((IOCtl|ATA): .*)/\1/p')"
  files=" $(section "$log" "$name" "$name end" | sed -n "s/^=== $name files: //p") "
  for dump in $missing; do
    holds=1
    [[ "$files" == *" $dump "* ]] && holds=0
    verdict $holds "$name: no $dump"
  done
  # A reset of a bridge that is still there, after a transport error or a time-out.
  if [[ ! "$fault" =~ ^(exit|unbind) ]] && grep -qE '0x1000[37]!' <<<"$named"; then
    expect "$log" "$name" "$name end" "reset high-speed USB device"
  fi

  # No value from a missing answer in the console, the report or the erase-count file.
  if [ "$status" = 2 ]; then
    zero=
    refute "$log" "$name" "$name end" "=== erase counts:"
  else
    if lost kzt_fid2.bin; then
      banks=
      refute "$log" "$name" "$name exit" "Bank00:"
    else
      banks=$(if [[ "$letters" == *x* ]]; then bank_dumps; else echo kzt_bbec_0_0.bin; fi)
      expect "$log" "$name" "$name exit" "Bank00:"
    fi
    last=$(tail -n 1 <<<"$banks")
    if lost kzt_fwi.bin; then
      refute "$log" "$name" "$name exit" "Block/Die"
      zero=$banks counts="0 none of 0"
    else
      expect "$log" "$name" "$name exit" "Block/Die   : 8192"
      zero=$(for dump in $banks; do if lost "$dump"; then echo "$dump"; fi; done)
      if [ -z "$banks" ]; then counts="0 none of 0"; elif lost "$last"; then counts="8192 none of 8192"; else counts="0 none of 8192"; fi
    fi
    expect "$log" "$name" "$name end" "=== erase counts: $counts"
  fi
  same_lines "banks that list no bad block" \
    "$(for dump in $zero; do bank_name "$dump"; bank_name "$dump"; done | grep . || true)" \
    "$(section "$log" "$name" "$name end" | sed -n 's/^=== report: \(Ch[0-7]CE[0-7]\): =0$/\1/p')"
  if lost id.bin; then expect_line "$log" "$name" "$name exit" "Model: "; fi

  # kzt_inspect's summary names the missing files it reads and shows no figure from them.
  inspect=$(section "$log" "$name inspect" "$name kernel")
  no_figure() {  # no_figure WHAT REGEX: no line of the summary matches
    holds=1
    grep -qE -- "$2" <<<"$inspect" && holds=0
    verdict $holds "$name: kzt_inspect shows no $1"
  }
  for dump in $missing; do
    case $dump in
      kzt_fid.bin) continue ;;
      kzt_bbec_*) lost kzt_fid2.bin && continue
        no_figure "figure of $dump" "^$(bank_name "$dump") +[0-9]" ;;
      kzt_fwi.bin) no_figure "geometry" "^Geometry:.*[0-9]|MaxPECycle [0-9]"
        no_figure "bank figures without Block/Die" "^Ch[0-7]CE[0-7] +[0-9]" ;;
      kzt_fid2.bin) no_figure "bank line" "^Bank[0-9]+:" ;;
      id.bin) no_figure "identity" "^(Model|Fw|Size) *: *[^ ]" ;;
      smart.bin) no_figure "SMART figure" "^SMART: checksum" ;;
    esac
    holds=0
    grep -E '^Missing' <<<"$inspect" | grep -w -- "$dump" >/dev/null && holds=1
    verdict $holds "$name: kzt_inspect names $dump missing"
  done
done <<<"$fault_table"

# The command that is not answered is given up after the program's 2 seconds, not the 7 that the
# disk node would make of them: aborted and the bridge reset, it ends 2 or 3 seconds old. It is
# the bank's Get BBEC block (the 39th: bank 38, channel 4, CE 6, selector 0x46).
if grep -q "^=== hold begin" "$log"; then
  expect_line "$log" hold "hold end" ".* Done: TIMEOUT_ERROR .* cmd_age=[23]s"
  expect "$log" hold "hold end" "CDB: ATA command pass through(16) 85 14 0e 46 43 00 40 00 00 00 00 00 00 e0 fa 00"
fi

check_collector "$log"

[ "$failures" -ne 0 ] && echo "serial logs in $work"
echo "$passed passed, $failures failed"
[ "$failures" -eq 0 ]
