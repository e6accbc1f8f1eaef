#!/bin/busybox sh
# First process of the test system: loads the disk drivers, runs the programs against drive 0 and
# powers the machine off. Everything it prints reaches the serial console.
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs tmpfs /tmp
exec </dev/console >/dev/console 2>&1

mode=ahci
for word in $(cat /proc/cmdline); do
  case "$word" in kzt=*) mode=${word#kzt=} ;; esac
done

for module in $(ls /modules | sort); do
  insmod "/modules/$module" || echo "=== insmod failed: $module"
done

tries=0
while [ ! -b /dev/sda ] && [ $tries -lt 60 ]; do
  usleep 200000
  tries=$((tries + 1))
done
echo "=== mode $mode, disk nodes: $(ls /dev | grep '^sd' | tr '\n' ' ')"
echo "=== sysfs device: $(readlink -f /sys/block/sda/device)"

# As udev would set them up: disk nodes readable and writable by group disk.
chgrp disk /dev/sd* 2>/dev/null
chmod 660 /dev/sd* 2>/dev/null
mkdir -p /tmp/root /tmp/user /tmp/member
chmod 777 /tmp/user /tmp/member

echo "=== kzt_fid begin"
cd /tmp/root && kzt_fid 0y
echo "=== kzt_fid exit $?"
if [ -f smart.bin ]; then
  size=$(wc -c < smart.bin)
  sum=$(od -An -v -tu1 smart.bin | awk '{ for (i = 1; i <= NF; i++) s += $i } END { print s % 256 }')
  echo "=== smart.bin size $size sum $sum"
else
  echo "=== smart.bin missing"
fi
echo "=== files: $(ls | tr '\n' ' ')"

# Without an argument: the drive list, then the typed line.
echo "=== list begin"
mkdir -p /tmp/list && cd /tmp/list && echo 0y | kzt_fid
status=$?
echo
echo "=== list exit $status"

if [ "$mode" = usb ]; then probe=bridge; else probe=native; fi
echo "=== probe begin"
kzt_transport_probe $probe
echo "=== probe exit $?"

# Without the rights for raw commands: no access to the node at all, and access as a member of
# group disk (the node opens, the kernel refuses the pass-through command).
echo "=== user begin"
cd /tmp/user && su -s /bin/sh user -c 'kzt_fid 0y; echo "=== user exit $?"; kzt_transport_probe denied 0xd; echo "=== user probe exit $?"'
echo "=== member begin"
cd /tmp/member && su -s /bin/sh member -c 'kzt_fid 0y; echo "=== member exit $?"; kzt_transport_probe denied 0x1; echo "=== member probe exit $?"'

echo "=== done"
poweroff -f
