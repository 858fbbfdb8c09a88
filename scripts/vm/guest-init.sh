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
# The image of the 32-bit libraries that run.sh attaches (see image.sh).
[ ! -b /dev/vda ] || mount -o ro /dev/vda /usr/lib/i386-linux-gnu
stty -F /dev/console -onlcr 2>/dev/null
ip link set lo up 2>/dev/null

# Programs run about ten times slower here than on the host's own CPU: the
# end-to-end tests stretch the limits of their waits by as much.
export QUILLON_E2E_TIME_SCALE=10

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
