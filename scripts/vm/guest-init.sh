#!/bin/bash
# The guest's first process: mounts what the guest keeps to itself, runs the
# job's command and powers the machine off. Its output is the serial console.
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev 2>/dev/null
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmp /tmp
mount -t tmpfs run /run
mount -t tmpfs shm /dev/shm
chmod 1777 /tmp /dev/shm
stty -F /dev/console -onlcr 2>/dev/null
ip link set lo up 2>/dev/null

job=$(sed -n 's/.* qjob=\([^ ]*\).*/\1/p' /proc/cmdline)
status=125
if [ -f "$job/command.sh" ]; then
  bash "$job/command.sh" </dev/null
  status=$?
fi
echo "$status" >"$job/status"
sync
dmesg -n 1 2>/dev/null
echo o >/proc/sysrq-trigger
sleep 60
