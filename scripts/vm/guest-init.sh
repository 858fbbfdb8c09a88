#!/bin/bash
# The guest's first process: mounts what the guest keeps to itself, runs the
# job's command and powers the machine off. Its output is the serial console.
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev 2>/dev/null
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
job=$(sed -n 's/.* qjob=\([^ ]*\).*/\1/p' /proc/cmdline)

# The caller's folders below /tmp, /run or /dev/shm (a checkout in /tmp, say)
# would be hidden by the guest's own memory folders mounted there: they are
# held aside first and put back on top (run.sh lists them).
kept=()
if [ -f "$job/keep" ]; then
  mapfile -t kept <"$job/keep"
fi
for i in "${!kept[@]}"; do
  mkdir -p "/dev/.keep/$i"
  mount --bind "${kept[$i]}" "/dev/.keep/$i"
done
mount -t tmpfs tmp /tmp
mount -t tmpfs run /run
mount -t tmpfs shm /dev/shm
chmod 1777 /tmp /dev/shm
for i in "${!kept[@]}"; do
  mkdir -p "${kept[$i]}"
  mount --move "/dev/.keep/$i" "${kept[$i]}"
done
# The image of the 32-bit libraries that run.sh attaches (see image.sh).
[ ! -b /dev/vda ] || mount -o ro /dev/vda /usr/lib/i386-linux-gnu
stty -F /dev/console -onlcr 2>/dev/null
ip link set lo up 2>/dev/null

# Programs run about ten times slower here than on the host's own CPU: the
# end-to-end tests stretch the limits of their waits by as much.
export QUILLON_E2E_TIME_SCALE=10

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
