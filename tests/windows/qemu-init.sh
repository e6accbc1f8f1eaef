#!/bin/busybox sh
# First process of the guest of tests/windows/qemu-wine32.sh: mounts the host's root file system
# (read-only) and the project folder (read-write) from the 9p shares, gives the chroot its own
# /proc, /sys, /dev and scratch folders and a copy of the x86 build in memory, runs the x86 Wine
# suite in it with the output and exit status into build/qemu-wine32, and powers the machine off.
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
exec </dev/console >/dev/console 2>&1

for word in $(cat /proc/cmdline); do
  case "$word" in kzt_root=*) project=${word#kzt_root=} ;; esac
done
for module in $(ls /modules | sort); do
  insmod "/modules/$module" || echo "=== insmod failed: $module"
done

options=trans=virtio,version=9p2000.L,msize=262144,cache=mmap
mkdir -p /project
mount -t 9p -o "$options,ro" host /host || { echo "=== no host share"; poweroff -f; }
mount -t 9p -o "$options" project /project || { echo "=== no project share"; poweroff -f; }
mount -t proc proc /host/proc
mount -t sysfs sysfs /host/sys
mount -t devtmpfs devtmpfs /host/dev
mkdir -p /host/dev/pts /host/dev/shm
mount -t devpts devpts /host/dev/pts
ln -s /proc/self/fd /host/dev/fd  # devtmpfs has none of these: bash's process substitution needs them
ln -s fd/0 /host/dev/stdin
ln -s fd/1 /host/dev/stdout
ln -s fd/2 /host/dev/stderr
for dir in /tmp /dev/shm /run /root; do
  mount -t tmpfs tmpfs "/host$dir"
done
# The project goes in last, over the scratch folders: a checkout under /tmp, /root, /run or
# /dev/shm would otherwise be hidden by the empty tmpfs mounted there. Its mount point is made in
# that tmpfs; elsewhere it exists on the read-only root already.
mkdir -p "/host$project" 2>/dev/null
mount -o bind /project "/host$project" || { echo "=== the project cannot be bound at $project"; poweroff -f; }
# The x86 build in memory, with a new Wine prefix: Wine does not run programs or keep a prefix on
# the 9p share reliably (it reads parts of the images as zeros there).
mount -t tmpfs tmpfs "/host$project/build/win32" || { echo "=== no tmpfs for build/win32"; poweroff -f; }
for entry in /project/build/win32/*; do
  [ "${entry##*/}" = wineprefix ] || cp -a "$entry" "/host$project/build/win32/"
done

result="$project/build/qemu-wine32/suite"
echo "=== suite begin"
chroot /host /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
  KZT_TESTS_IN_ONE_PROCESS=1 \
  /bin/bash "$project/tests/windows/wine-suite.sh" 32 >"/host$result.log" 2>&1
echo $? >"/host$result.status"
echo "=== suite exit $(cat "/host$result.status")"
sync
poweroff -f
