#!/usr/bin/env bash
# End-to-end test on a real Linux kernel: boots Debian's kernel under QEMU (q35, TCG) with an
# emulated AHCI disk and then with a USB disk, runs the statically linked kzt_fid and the
# transport probe against each, and checks what they print on the serial console.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
here="$root/tests/qemu"
work="$root/build/qemu"
mkdir -p "$work"
cd "$root"

# Assertions on the identify and SMART steps of the run, which need those steps in the program.
expect_interrogation=1

jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2
cmake --preset static >/dev/null
cmake --build --preset static -j "$jobs"

# The kernel that Debian's linux-image-amd64 depends on, unpacked without installing it.
source "$here/debian-kernel.sh"
debian_kernel "$work"

# The initramfs: busybox, the two programs, the disk drivers in load order, the init script.
modules="crct10dif_common crct10dif_generic crc-t10dif crc64 crc64_rocksoft_generic crc64-rocksoft
t10-pi scsi_common scsi_mod libata libahci ahci sd_mod sg usb-common usbcore xhci-hcd xhci-pci
usb-storage"
rootfs="$work/rootfs"
rm -rf "$rootfs"
mkdir -p "$rootfs"/{bin,dev,proc,sys,tmp,etc,modules}
cp /bin/busybox "$rootfs/bin/busybox"
cp build/static/src/kzt_fid build/static/tests/qemu/kzt_transport_probe "$rootfs/bin/"
cp "$here/init.sh" "$rootfs/init"
chmod 755 "$rootfs/init"
printf 'root:x:0:0::/:/bin/sh\nuser:x:1000:1000::/tmp:/bin/sh\nmember:x:1001:1001::/tmp:/bin/sh\n' >"$rootfs/etc/passwd"
printf 'root:x:0:\ndisk:x:6:member\nuser:x:1000:\nmember:x:1001:\n' >"$rootfs/etc/group"
n=10
for m in $modules; do
  file=$(find "$kernel/lib/modules/$release" -name "$m.ko" -o -name "${m//-/_}.ko" -o -name "${m//_/-}.ko" | head -n 1)
  if [ -z "$file" ]; then
    echo "module $m not in the package (built in?)"
  else
    cp "$file" "$rootfs/modules/$n-$m.ko"
  fi
  n=$((n + 1))
done
(cd "$rootfs" && find . | busybox cpio -o -H newc 2>/dev/null | gzip -1 >"$work/initramfs.gz")

disk="$work/disk.img"
rm -f "$disk"
truncate -s 1G "$disk"

# boot MODE DEVICE-ARGS...: one run of the test system; its serial console in $work/MODE.log.
boot() {
  local mode=$1
  shift
  local log="$work/$mode.log"
  rm -f "$log"
  timeout 300 qemu-system-x86_64 -machine q35 -accel tcg -cpu max -m 512M -smp 1 \
    -display none -monitor none -no-reboot -serial "file:$log" \
    -kernel "$vmlinuz" -initrd "$work/initramfs.gz" \
    -append "console=ttyS0 panic=-1 quiet loglevel=3 kzt=$mode" \
    -drive "if=none,id=d0,file=$disk,format=raw" "$@" || true
  tr -d '\r' <"$log" >"$log.txt"
}

failures=0
# section LOG BEGIN END: the lines between two markers.
section() { sed -n "/^=== $2 begin/,/^=== $3/p" "$1"; }
expect() {  # expect LOG BEGIN END TEXT: TEXT stands on a line of the section
  if section "$1" "$2" "$3" | grep -qF -- "$4"; then echo "ok: $2: $4"; else echo "FAIL: $2: $4"; failures=$((failures + 1)); fi
}
expect_line() {  # expect_line LOG BEGIN END REGEX: a whole line of the section matches
  if section "$1" "$2" "$3" | grep -qE -- "^$4\$"; then echo "ok: $2: /$4/"; else echo "FAIL: $2: /$4/"; failures=$((failures + 1)); fi
}
expect_done() {  # expect_done LOG: the test system got to its end
  if grep -qx "=== done" "$1"; then echo "ok: the run got to its end"; else echo "FAIL: the run did not end"; failures=$((failures + 1)); fi
}
refute() {  # refute LOG BEGIN END TEXT
  if section "$1" "$2" "$3" | grep -qF -- "$4"; then echo "FAIL: $2: unexpected $4"; failures=$((failures + 1)); else echo "ok: $2: no $4"; fi
}

IFS=. read -r major minor third _ <<<"${release%%-*}.0.0"
os_line="OS: $major.$minor build ${third:-0} $release"

echo "== AHCI disk"
boot ahci -device ide-hd,drive=d0,bus=ide.0
log="$work/ahci.log.txt"
expect_done "$log"
expect "$log" kzt_fid "kzt_fid exit" "Pellmora v0.15a by ozw"
expect "$log" kzt_fid "kzt_fid exit" "$os_line"
expect "$log" kzt_fid "kzt_fid exit" "Drive: 0(ATA)"
expect_line "$log" kzt_fid "kzt_fid exit" "=== kzt_fid exit [0-9]+"
expect_line "$log" list "list exit" " 0: ATA +QEMU HARDDISK *"
expect "$log" list "list exit" "Please select drive number:"
expect "$log" probe "probe exit" "PASS: native SMART enable and read, with a valid checksum"
expect "$log" probe "probe exit" "PASS: native Get FWI reports the device's error bit"
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
  expect "$log" member "done" "=== member exit 2"
  # Without rights: the node does not open (EACCES), or the kernel refuses the command (EPERM).
  expect "$log" user "member begin" "IOCtl: Identify failed 0xd!"
  expect "$log" member "done" "IOCtl: Identify failed 0x1!"
fi
# Without rights: the node does not open (EACCES, 0xd), or, for a member of group disk, the
# kernel refuses the raw command (EPERM, 0x1). The run ends by itself with its messages.
for who in user member; do
  expect "$log" "$who" "$who exit" "Drive: 0(ATA)"
  expect_line "$log" "$who" "$who exit" "=== $who exit [0-9]+"
  expect "$log" "$who" "$who probe exit" "=== $who probe exit 0"
done

echo "== USB disk"
boot usb -device qemu-xhci,id=x -device usb-storage,bus=x.0,drive=d0
log="$work/usb.log.txt"
expect_done "$log"
expect "$log" kzt_fid "kzt_fid exit" "Drive: 0(USB)"
expect_line "$log" kzt_fid "kzt_fid exit" "=== kzt_fid exit [0-9]+"
expect_line "$log" list "list exit" " 0: QEMU +QEMU HARDDISK *"
expect "$log" probe "probe exit" "PASS: bridge leaves lastAtaStatus alone"
expect "$log" probe "probe exit" "PASS: bridge SMART completes with an all-zero block"
expect "$log" probe "probe exit" "=== probe exit 0"
if [ "$expect_interrogation" = 1 ]; then
  # The stick rejects the pass-through blocks; the bridge path does not look at the verdict:
  # every command completes with zeros, and no failure line appears.
  refute "$log" kzt_fid "kzt_fid exit" "IOCtl:"
  refute "$log" kzt_fid "kzt_fid exit" "ATA:"
  expect "$log" kzt_fid "kzt_fid exit" "Smart data checksum error!"
  expect "$log" kzt_fid "kzt_fid exit" "Size : 0 MB [0.0 GB]"
  expect "$log" kzt_fid "kzt_fid exit" "Realtek based SSD not found - Exit!"
  expect "$log" kzt_fid "files" "=== smart.bin size 512 sum 0"
  # The zeros count as an answer from a drive this tool does not serve.
  expect "$log" kzt_fid "kzt_fid exit" "=== kzt_fid exit 1"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed; serial logs in $work"
  exit 1
fi
echo "QEMU tests passed"
