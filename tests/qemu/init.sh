#!/bin/busybox sh
# First process of the test system: loads the disk drivers, runs the programs against the disks and
# powers the machine off. Everything it prints reaches the serial console.
#
# Mode ahci: an AHCI disk (sda), then a virtio-scsi disk (sdb), then QEMU's USB stick (sdc) and the
# emulated USB-to-SATA bridge (sdd) for the scan of all four, before and after usb-storage's quirk
# t is set for the bridge. Mode usb: QEMU's USB stick (sda), then the bridge (sdb) with the
# simulated drive behind it: a whole run, its replay, runs killed with SIGKILL, the fault rows.
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs tmpfs /tmp
exec </dev/console >/dev/console 2>&1

mode=ahci
for word in $(cat /proc/cmdline); do
  case "$word" in
    kzt=*) mode=${word#kzt=} ;;
  esac
done
echo "=== clocksource $(cat /sys/devices/system/clocksource/clocksource0/current_clocksource)"
[ "$mode" = none ] && poweroff -f  # only to see that the machine starts

# load FOLDER: the modules of a folder, in the order of their names.
load() {
  for module in $(ls "$1" | sort); do
    insmod "$1/$module" || echo "=== insmod failed: $module"
  done
}

# wait_for NODE: until the block node is there (at most 20 s).
wait_for() {
  tries=0
  while [ ! -b "/dev/$1" ] && [ $tries -lt 200 ]; do
    usleep 100000
    tries=$((tries + 1))
  done
  echo "=== $1: $(readlink -f "/sys/block/$1/device")"
}

# As udev would set them up: disk nodes readable and writable by group disk.
disk_rights() {
  chgrp disk /dev/sd* /dev/sg* 2>/dev/null
  chmod 660 /dev/sd* /dev/sg* 2>/dev/null
}

load /modules/disk
# The ahci mode's USB disks come after its virtio-scsi disk, so that each disk has its node.
[ "$mode" = usb ] && load /modules/usb
wait_for sda
echo "=== mode $mode, disk nodes: $(ls /dev | grep '^sd' | tr '\n' ' ')"
disk_rights
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

if [ "$mode" = ahci ]; then
  echo "=== probe begin"
  kzt_transport_probe
  echo "=== probe exit $?"
fi

# Without the rights for raw commands: no access to the node at all, and access as a member of
# group disk (the node opens, the kernel refuses the pass-through command).
echo "=== user begin"
cd /tmp/user && su -s /bin/sh user -c 'kzt_fid 0y; echo "=== user exit $?"'
echo "=== member begin"
cd /tmp/member && su -s /bin/sh member -c 'kzt_fid 0y; echo "=== member exit $?"'

# A SCSI disk that knows no ATA PASS-THROUGH: the kernel's SCSI layer refuses every block.
if [ "$mode" = ahci ]; then
  load /modules/virtio
  wait_for sdb
  echo "=== scsi begin"
  mkdir -p /tmp/scsi && cd /tmp/scsi && timeout 60 kzt_fid 1y
  echo "=== scsi exit $?"
  echo "=== scsi report begin"
  tr -d '\r' < kzt_flash_id.txt
  echo "=== scsi files: $(ls | tr '\n' ' ')"
  echo "=== scsi end"
fi

# The USB-to-SATA bridge: a configfs gadget with one FunctionFS function on dummy_hcd's device
# side, whose host side the kernel's usb-storage driver takes as disk $bridge_disk.
g=/sys/kernel/config/usb_gadget/bridge
bridge_disk=sdb
start_bridge() {
  load /modules/gadget
  mount -t configfs none /sys/kernel/config
  mkdir $g $g/strings/0x409 $g/configs/c.1 $g/functions/ffs.sata
  echo 0x1d6b > $g/idVendor
  echo 0x0104 > $g/idProduct
  echo 0x0215 > $g/bcdDevice
  echo kzt > $g/strings/0x409/manufacturer
  echo "USB-SATA bridge" > $g/strings/0x409/product
  echo 0001 > $g/strings/0x409/serialnumber
  ln -s $g/functions/ffs.sata $g/configs/c.1/
  mkdir -p /dev/ffs && mount -t functionfs sata /dev/ffs
  plug
}

# plug: the bridge program on the function, the gadget bound to dummy_hcd, until the disk is there.
plug() {
  kzt_usb_bridge /dev/ffs /tmp/bridge.fault &
  bridge=$!
  tries=0
  while [ ! -e /dev/ffs/ep2 ] && [ $tries -lt 100 ]; do usleep 100000; tries=$((tries + 1)); done
  ls /sys/class/udc > $g/UDC
  wait_for $bridge_disk
  disk_rights
}

# replug: after a bridge that went away or stopped answering, a fresh one in its place, which
# the kernel finds as the same disk once the old one is gone (and probes it anew).
replug() {
  echo > $g/UDC 2>/dev/null
  kill $bridge 2>/dev/null
  wait $bridge 2>/dev/null
  tries=0
  while [ -e /sys/block/$bridge_disk ] && [ $tries -lt 200 ]; do usleep 100000; tries=$((tries + 1)); done
  plug
}

# same EXPECTED ACTUAL: the files are equal, the lines that name the running system aside (the OS
# line; the manifest's time and host), and the codes of failed requests, which the host checks
# line by line (the kernel's code for a request to a disk that is going away depends on how far its
# removal has got).
same() {
  case "${1##*/}" in
    reading.json)
      sed '/^  "time": /d; /^  "host": /d; s/failed 0x[0-9a-f]*!/failed 0x-!/; s/"code": [0-9]*/"code": -/' "$1" > /tmp/expected.txt
      sed '/^  "time": /d; /^  "host": /d; s/failed 0x[0-9a-f]*!/failed 0x-!/; s/"code": [0-9]*/"code": -/' "$2" > /tmp/actual.txt
      cmp -s /tmp/expected.txt /tmp/actual.txt || { diff /tmp/expected.txt /tmp/actual.txt | head -n 20; false; } ;;
    console.txt | kzt_flash_id.txt)
      sed '/^OS: /d; s/failed 0x[0-9a-f]*!/failed 0x-!/' "$1" > /tmp/expected.txt
      sed '/^OS: /d; s/failed 0x[0-9a-f]*!/failed 0x-!/' "$2" > /tmp/actual.txt
      cmp -s /tmp/expected.txt /tmp/actual.txt || { diff /tmp/expected.txt /tmp/actual.txt | head -n 20; false; } ;;
    *) cmp -s "$1" "$2" ;;
  esac
}

# bridge_run NAME LETTERS FAULT: kzt_fid with drive 1 and LETTERS in /tmp/NAME (which may hold
# dumps already), with the bridge's fault FAULT ("none": none; an "unbind" fault has the gadget
# unbound when the bridge asks for it). Shows the console, the exit status and the seconds, each
# file compared with those of /expected/NAME, the lines of the report that name a lost answer or
# list no bad block, what the erase-count file holds, kzt_inspect's summary of the folder and the
# kernel's messages.
bridge_run() {
  name=$1
  mkdir -p /tmp/$name && cd /tmp/$name
  rm -f /tmp/bridge.fault.*
  echo "$3" > /tmp/bridge.fault
  case $3 in
    unbind*) (
      tries=0
      while [ ! -e /tmp/bridge.fault.unbind ] && [ $tries -lt 600 ]; do usleep 50000; tries=$((tries + 1)); done
      echo > $g/UDC
    ) & ;;
  esac
  dmesg -c > /dev/null
  start=$(date +%s)
  timeout 300 kzt_fid "1$2" < /dev/null > /tmp/$name.console
  status=$?
  echo "=== $name begin"
  cat /tmp/$name.console
  echo
  echo "=== $name exit $status after $(($(date +%s) - start)) s"
  echo "$status" > /tmp/$name.status
  for file in $(ls /expected/$name); do
    case $file in
      console.txt) actual=/tmp/$name.console ;;
      status.txt) actual=/tmp/$name.status ;;
      *) actual=$file ;;
    esac
    if same "/expected/$name/$file" "$actual"; then echo "=== same $file"; else echo "=== differs $file"; fi
  done
  echo "=== $name files: $(ls | tr '\n' ' ')"
  echo "=== $name struck: $(cat /tmp/bridge.fault.struck 2>/dev/null | tr '\n' ';')"
  tr -d '\r' < kzt_flash_id.txt | grep -E '^(IOCtl|ATA):|: Open File Error|=0$' | sed 's/^/=== report: /'
  if [ -f kzt_flash_id_ec.txt ]; then
    echo "=== erase counts: $(tail -n +2 kzt_flash_id_ec.txt | grep -c ' -$') none of $(($(wc -l < kzt_flash_id_ec.txt) - 1))"
  fi
  echo "=== $name inspect begin"
  kzt_inspect
  echo "=== $name kernel"
  dmesg -c | grep -E 'usb|sd |scsi|reset'
  echo "=== $name end"
}

# ---- Runs killed with SIGKILL ----------------------------------------------------------------
# A live run with x on the bridge, in a folder that holds an earlier reading (the reading's files
# of the run "full", times kept: /tmp/earlier), killed with SIGKILL at each point of /kill_points: "sN" N seconds after
# it started, "bbecN" once the bridge has received the N-th Get BBEC block. Afterwards the folder
# may hold only whole files: each file under a final name equal to that of the uninterrupted run
# kill_ref in a folder seeded alike, or to the earlier reading's before it is moved aside; its
# temporary files ("*.kzt-tmp-*"); and the earlier reading, whole, in one reading-* subfolder (or
# still in place). Lines "=== NAME part FILE", "extra", "earlier lost" name what is not so.

# get_command_count: the ATA PASS-THROUGH blocks the bridge received since the log was emptied.
get_command_count() {
  grep -c . /tmp/bridge.fault.commands 2>/dev/null
}

# get_bbec_count: the Get BBEC blocks the bridge received since the log was emptied.
get_bbec_count() {
  grep -cE '^85 .. .. .. 43 00 40 00 00 00 00 00 00 e0 fa 00 in ' /tmp/bridge.fault.commands 2>/dev/null
}

# same_reading EXPECTED ACTUAL: the files are equal; a reading manifest's own time aside.
same_reading() {
  case "${1##*/}" in
    reading.json)
      grep -vE '"(utc|unix|local_offset)"|"time": *\{' "$1" > /tmp/expected.txt
      grep -vE '"(utc|unix|local_offset)"|"time": *\{' "$2" > /tmp/actual.txt
      cmp -s /tmp/expected.txt /tmp/actual.txt ;;
    *) cmp -s "$1" "$2" ;;
  esac
}

# killed_folder NAME: what the folder /tmp/NAME holds, against /tmp/kill_ref and /tmp/earlier.
killed_folder() {
  cd /tmp/$1
  earlier=$(ls -d reading-* 2>/dev/null)
  for entry in * .[!.]*; do
    [ -e "$entry" ] || [ -L "$entry" ] || continue
    if [ -L "$entry" ] || { [ ! -f "$entry" ] && [ ! -d "$entry" ]; }; then
      echo "=== $1 extra $entry (not a regular file)"
    elif [ -d "$entry" ]; then
      case $entry in reading-*) ;; *) echo "=== $1 extra $entry/" ;; esac
    else
      case $entry in
        *.kzt-tmp-*) echo "=== $1 temporary $entry" ;;
        *)
          if [ -z "$earlier" ] && [ -f "/tmp/earlier/$entry" ] && cmp -s "/tmp/earlier/$entry" "$entry"; then
            echo "=== $1 whole $entry (the earlier reading's, not yet moved)"
          elif [ -f "/tmp/kill_ref/$entry" ] && same_reading "/tmp/kill_ref/$entry" "$entry"; then
            echo "=== $1 whole $entry"
          else
            echo "=== $1 part $entry"
          fi ;;
      esac
    fi
  done
  count=$(echo "$earlier" | grep -c .)
  if [ "$count" -gt 1 ]; then
    echo "=== $1 extra: $count reading-* subfolders"
  else
    for file in $(ls /tmp/earlier); do
      cmp -s "/tmp/earlier/$file" "${earlier:-.}/$file" || echo "=== $1 earlier lost $file"
    done
    if [ -n "$earlier" ]; then
      for file in $(ls -A "$earlier"); do
        [ -f "/tmp/earlier/$file" ] || echo "=== $1 extra $earlier/$file"
      done
    fi
    echo "=== $1 earlier checked in ${earlier:-the folder itself}"
  fi
}

# kill_run WHEN: the run killed at WHEN ("ref": not killed), its folder /tmp/kill_WHEN.
kill_run() {
  name=kill_$1
  rm -rf /tmp/$name
  mkdir -p /tmp/$name && cd /tmp/$name && cp -p /tmp/earlier/* .
  echo none > /tmp/bridge.fault
  : > /tmp/bridge.fault.commands
  kzt_fid 1xy < /dev/null > /tmp/$name.console 2>&1 &
  pid=$!
  case $1 in
    ms*) usleep $((${1#ms} * 1000)) ;;
    cmd* | bbec*)
      if [ "${1#cmd}" != "$1" ]; then wanted=${1#cmd} count=get_command_count; else wanted=${1#bbec} count=get_bbec_count; fi
      tries=0
      while [ "$($count)" -lt "$wanted" ] && [ $tries -lt 6000 ] && kill -0 $pid 2>/dev/null; do
        usleep 5000
        tries=$((tries + 1))
      done ;;
  esac
  [ "$1" = ref ] || kill -9 $pid 2>/dev/null
  wait $pid
  status=$?
  echo "=== $name begin"
  echo "=== $name status $status after $(get_command_count) commands, $(get_bbec_count) Get BBEC"
  killed_folder $name
  echo "=== $name files: $(ls -A | tr '\n' ' ')"
  echo "=== $name end"
}

kill_runs() {
  # The earlier reading: the run's files without the folder's lock file.
  rm -rf /tmp/earlier
  mkdir /tmp/earlier && cp -p /tmp/full/* /tmp/earlier/
  rm -f /tmp/earlier/kzt_fid.lock /tmp/earlier/*.kzt-tmp-*
  kill_run ref
  for when in $(cat /kill_points); do kill_run "$when"; done
}
# ---- end of the runs killed with SIGKILL ----------------------------------------------------

# scan STATE: kzt_fid --scan, then --scan --json, each in an empty folder with the ATA
# PASS-THROUGH blocks the bridge received meanwhile and the files it left; then a run on each of
# the four drives, whose exit status and IDENTIFY line the scan's verdict must agree with.
scan() {
  for form in text json; do
    mkdir -p /tmp/$1-$form && cd /tmp/$1-$form
    : > /tmp/bridge.fault.commands
    echo "=== $1 $form begin"
    if [ $form = json ]; then kzt_fid --scan --json; else kzt_fid --scan; fi
    echo "=== $1 $form exit $?"
    sed 's/^/=== bridge received: /' /tmp/bridge.fault.commands
    echo "=== $1 $form files: $(ls | tr '\n' ' ')"
    echo "=== $1 $form end"
  done
  for drive in 0 1 2 3; do
    mkdir -p /tmp/$1-run$drive && cd /tmp/$1-run$drive
    echo "=== $1 run $drive begin"
    timeout 120 kzt_fid "${drive}y" < /dev/null
    status=$?
    echo
    echo "=== $1 run $drive exit $status"
  done
}

if [ "$mode" = ahci ]; then
  load /modules/usb
  wait_for sdc
  bridge_disk=sdd
  start_bridge
  scan scan
  # usb-storage reads its quirks at probe time: set t (NO_ATA_1X) for the bridge, then a fresh
  # bridge in its place.
  echo 1d6b:0104:t > /sys/module/usb_storage/parameters/quirks
  replug
  echo "=== quirks $(cat /sys/module/usb_storage/parameters/quirks)"
  scan quirk
fi

if [ "$mode" = usb ]; then
  start_bridge
  echo "=== bridge list begin"
  mkdir -p /tmp/list2 && cd /tmp/list2 && kzt_fid < /dev/null
  echo
  echo "=== bridge list end"
  bridge_run full xy none
  mkdir -p /tmp/replay && cp /tmp/full/*.bin /tmp/replay/
  bridge_run replay fxy none
  kill_runs
  # The SCSI layer's log of time-outs and their recovery (error handling and time-outs, and
  # completions that failed).
  echo 4123 > /proc/sys/dev/scsi/logging_level
  # One run a row of the fault table: name, the bridge's fault, letters.
  while IFS='|' read -r name fault letters; do
    bridge_run "$name" "$letters" "$fault"
    case $fault in exit* | unbind* | stop*) replug ;; esac
  done < /faults
  echo 0 > /proc/sys/dev/scsi/logging_level
fi

# The collector, twice, on the bridge's drive given a young drive's wear ("wear 1"), then more of
# it between the runs ("wear 2": more erases in two banks, one new grown bad block). Its metrics
# file after each run and its folder of the drive go out as a tar archive on the virtio disk
# (vda), which takes no SCSI disk's name, so the drive numbers stay as they are.
collect() {
  load /modules/outdisk
  tries=0
  while [ ! -b /dev/vda ] && [ $tries -lt 200 ]; do usleep 100000; tries=$((tries + 1)); done
  mkdir -p /tmp/collect/textfile
  for stage in 1 2; do
    echo "wear $stage" > /tmp/bridge.fault
    echo "=== collect $stage begin"
    KZT_FID_STATE_DIR=/tmp/collect/state KZT_FID_TEXTFILE=/tmp/collect/textfile/kzt_fid.prom \
      KZT_FID_DEFAULTS=/nonexistent sh /bin/kzt-fid-collect
    echo "=== collect $stage exit $?"
    cp /tmp/collect/textfile/kzt_fid.prom /tmp/collect/reading$stage.prom
    # Readings made within one second have no time between them to give a rate per 30 days.
    [ "$stage" = 1 ] && sleep 2
  done
  mv /tmp/collect/reading1.prom /tmp/collect/first.prom
  mv /tmp/collect/reading2.prom /tmp/collect/second.prom
  echo "=== collect files: $(cd /tmp/collect && find . -type f | sort | tr '\n' ' ')"
  if (cd /tmp/collect && tar -cf /dev/vda first.prom second.prom state); then
    sync
    echo "=== collect out"
  fi
  echo "=== collect end"
}
[ "$mode" = usb ] && collect

echo "=== done"
poweroff -f
