#!/usr/bin/env bash
# End-to-end test on a real Linux kernel: boots Debian's kernel under QEMU (q35; KVM when usable,
# else TCG) twice: an emulated AHCI disk, then a virtio-scsi disk; QEMU's USB stick, then an
# emulated USB-to-SATA bridge (dummy_hcd and FunctionFS in the guest, tests/qemu/usb_bridge.cpp)
# with the simulated 62-bank drive behind it. Runs the statically linked kzt_fid and the
# transport probe against them, checks what they print on the serial console and, for the
# bridge, compares every file with an in-process run of the same drive. Ends with one line
# "N passed, N failed" and a non-zero status when a check failed.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
here="$root/tests/qemu"
work="$root/build/qemu"
mkdir -p "$work"
cd "$root"

# Assertions on the identify and SMART steps of the run, which need those steps in the program.
expect_interrogation=1

# Banks (channel and CE, as the bank selector in hexadecimal) whose Get BBEC the bridge fails, and
# holds until the host gives up and resets it.
fail_bank=23
hold_bank=46

jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2
cmake --preset static >/dev/null
cmake --build --preset static -j "$jobs"
# The in-process runs that give the expected files need the test suite's simulated platform.
cmake --preset ci >/dev/null
cmake --build --preset ci -j "$jobs" --target kzt_qemu_expected

# The kernel that Debian's linux-image-amd64 depends on, unpacked without installing it.
source "$here/debian-kernel.sh"
debian_kernel "$work"

# The initramfs: busybox, the programs, the drivers in load order per stage, the init script, and
# the files the runs through the bridge must give.
disk_modules="crct10dif_common crct10dif_generic crc-t10dif crc64 crc64_rocksoft_generic
crc64-rocksoft t10-pi scsi_common scsi_mod libata libahci ahci sd_mod sg usb-common usbcore xhci-hcd
xhci-pci usb-storage"
virtio_modules="virtio_ring virtio virtio_pci_legacy_dev virtio_pci_modern_dev virtio_pci virtio_scsi"
gadget_modules="configfs udc-core libcomposite usb_f_fs dummy_hcd"
rootfs="$work/rootfs"
rm -rf "$rootfs"
mkdir -p "$rootfs"/{bin,dev,proc,sys,tmp,etc,modules,expected}
cp /bin/busybox "$rootfs/bin/busybox"
cp build/static/src/kzt_fid build/static/tests/qemu/kzt_transport_probe \
  build/static/tests/qemu/kzt_usb_bridge "$rootfs/bin/"
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
stage virtio $virtio_modules
# shellcheck disable=SC2086
stage gadget $gadget_modules

# Expected: the same simulated drive in-process as USB drive 1, with the same faults. The codes are
# the Linux platform's for what the kernel reports: a bridge's phase error is a transport error to
# usb-storage, which resets the device and ends the command with host status DID_ERROR (0x10007);
# the SCSI layer aborts a command past its time-out, after usb-storage's reset, with DID_TIME_OUT
# (0x10003), after the program's 2 seconds: the request goes to the sg node, which keeps them.
expected_tool=build/ci/tests/qemu/kzt_qemu_expected
mkdir -p "$rootfs"/expected/{full,fail,hold}
"$expected_tool" "$rootfs/expected/full" 1 xy
"$expected_tool" "$rootfs/expected/fail" 1 xy "$fail_bank" 10007
"$expected_tool" "$rootfs/expected/hold" 1 xy "$hold_bank" 10003
(cd "$rootfs" && find . | busybox cpio -o -H newc 2>/dev/null | gzip -1 >"$work/initramfs.gz")

disk="$work/disk.img"
scsi_disk="$work/scsi-disk.img"
rm -f "$disk" "$scsi_disk"
truncate -s 1G "$disk"
truncate -s 64M "$scsi_disk"

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
    -append "console=ttyS0 panic=-1 quiet loglevel=3 kzt=$mode kzt_fail=$fail_bank kzt_hold=$hold_bank" \
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

echo "== AHCI disk, then a virtio-scsi disk"
boot ahci -device ide-hd,drive=d0,bus=ide.0 \
  -drive "if=none,id=d1,file=$scsi_disk,format=raw" -device virtio-scsi-pci,id=vs \
  -device scsi-hd,drive=d1,bus=vs.0
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

echo "== USB stick, then the USB-SATA bridge"
boot usb -device qemu-xhci,id=x -device usb-storage,bus=x.0,drive=d0
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
  expect "$log" kzt_fid "files" "=== files: kzt_flash_id.txt "
  expect "$log" kzt_fid "kzt_fid exit" "=== kzt_fid exit 2"
fi
for who in user member; do
  expect "$log" "$who" "$who exit" "Drive: 0(USB)"
done

# The bridge's disk sits below a USB device, so the program takes the USB path by itself.
expect_device "$log" sdb "/usb[0-9]+/"
expect_line "$log" "bridge list" "bridge list end" " 1: KZTTEST +USB SATA BRIDGE *"
# bridge_checks RUN EXPECTED: the run's console, exit status and every file as in-process, and no
# file more.
bridge_checks() {
  local file files
  files=$(cd "$rootfs/expected/$2" && ls | grep -vx 'console.txt\|status.txt' | tr '\n' ' ')
  for file in $(ls "$rootfs/expected/$2"); do
    expect "$log" "$1" "$1 end" "=== same $file"
  done
  expect "$log" "$1" "$1 end" "=== $1 files: $files"
  expect "$log" "$1" "$1 exit" "Drive: 1(USB)"
  expect_line "$log" "$1" "$1 end" "=== $1 exit 0 after [0-9]+ s"
}
bridge_checks full full
# No command of any run through the bridge carried data to the drive.
refute "$log" full "done" "=== data to the drive"
refute "$log" full "full end" "IOCtl:"
refute "$log" full "full end" "reset high-speed USB device"
# The replay of the dumps the run wrote gives the same console, report and erase-count file, and
# rewrites no dump.
bridge_checks replay full
fail_dump="kzt_bbec_${fail_bank:0:1}_${fail_bank:1:1}.bin"
hold_dump="kzt_bbec_${hold_bank:0:1}_${hold_bank:1:1}.bin"
# A failed Get BBEC: its message, a dump of zeros (the USB path's data area after a failed
# request), the run goes on; the kernel has reset the bridge.
bridge_checks fail fail
expect "$log" fail "fail exit" "IOCtl: Get BBEC failed 0x10007!"
refute "$log" fail "fail end" "the fault did not strike"
expect "$log" fail "fail end" "=== $fail_dump holds 32768 zero bytes"
expect "$log" fail "fail end" "reset high-speed USB device"
# A Get BBEC held past the time-out: the same, with the time-out's code, and no hang. The command
# that timed out is that bank's Get BBEC block, given up after the program's 2 seconds.
bridge_checks hold hold
expect "$log" hold "hold end" "TIMEOUT_ERROR"
expect "$log" hold "hold end" "cmd_age=2s"
expect "$log" hold "hold end" "CDB: ATA command pass through(16) 85 14 0e $hold_bank 43 00 40 00 00 00 00 00 00 e0 fa 00"
expect "$log" hold "hold exit" "IOCtl: Get BBEC failed 0x10003!"
refute "$log" hold "hold end" "the fault did not strike"
expect "$log" hold "hold end" "=== $hold_dump holds 32768 zero bytes"
expect "$log" hold "hold end" "reset high-speed USB device"
expect_line "$log" hold "hold end" "=== hold exit 0 after ([0-9]|1[0-9]) s"

[ "$failures" -ne 0 ] && echo "serial logs in $work"
echo "$passed passed, $failures failed"
[ "$failures" -eq 0 ]
