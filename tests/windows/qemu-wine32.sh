#!/usr/bin/env bash
# qemu-wine32.sh: the x86 program's Wine suite (tests/windows/wine-suite.sh 32) on a machine whose
# kernel cannot run 32-bit programs. Boots Debian's kernel (which can) under QEMU, with this
# machine's root file system shared into the guest read-only and the project folder read-write,
# and runs the suite there in a chroot of the shared root, so that the guest uses this machine's
# Wine, tools and build outputs at the same paths. The suite's output is printed here; the exit
# status is the suite's. Exit status 3, with one line saying why: QEMU or the kernel is not to be
# had, so nothing was run.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
here="$root/tests/windows"
work="$root/build/qemu-wine32"
mkdir -p "$work"

cant() {
  echo "$*"
  exit 3
}
command -v qemu-system-x86_64 >/dev/null || cant "qemu-system-x86_64 is not installed"
[[ "$root" != *[[:space:]]* ]] || cant "the project path $root holds a blank, which the guest's command line cannot carry"
source "$root/tests/qemu/debian-kernel.sh"
debian_kernel "$root/build/qemu" >/dev/null 2>&1 || cant "Debian's kernel package could not be downloaded"

# The initramfs: busybox, the virtio and 9p drivers in load order, the init script.
modules="virtio_ring virtio virtio_pci_legacy_dev virtio_pci_modern_dev virtio_pci netfs fscache
9pnet 9pnet_virtio 9p"
rootfs="$work/rootfs"
rm -rf "$rootfs"
mkdir -p "$rootfs"/{bin,dev,proc,sys,host,modules}
cp /bin/busybox "$rootfs/bin/busybox"
cp "$here/qemu-init.sh" "$rootfs/init"
chmod 755 "$rootfs/init"
n=10
for m in $modules; do
  file=$(find "$kernel/lib/modules/$release" -name "$m.ko" | head -n 1)
  [ -n "$file" ] || { echo "qemu-wine32: module $m not in the kernel package" >&2; exit 1; }
  cp "$file" "$rootfs/modules/$n-$m.ko"
  n=$((n + 1))
done
(cd "$rootfs" && find . | busybox cpio -o -H newc 2>/dev/null | gzip -1 >"$work/initramfs.gz")

log="$work/serial.log"
result="$work/suite"
rm -f "$log" "$result.log" "$result.status"
timeout 2700 qemu-system-x86_64 -machine q35 -accel tcg -cpu qemu64 -m 3072M -smp "$(nproc)" \
  -display none -monitor none -no-reboot -serial "file:$log" \
  -kernel "$vmlinuz" -initrd "$work/initramfs.gz" \
  -append "console=ttyS0 panic=-1 quiet loglevel=3 kzt_root=$root" \
  -virtfs local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap \
  -virtfs "local,path=$root,mount_tag=project,security_model=none,multidevs=remap" || true

[ -f "$result.log" ] && cat "$result.log"
if [ ! -f "$result.status" ]; then
  echo "qemu-wine32: the guest ended without a result; its console:" >&2
  tr -d '\r' <"$log" | tail -n 40 >&2
  exit 1
fi
exit "$(cat "$result.status")"
