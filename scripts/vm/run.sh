#!/usr/bin/env bash
# Runs one command inside a small virtual machine whose kernel runs 32-bit x86
# programs, for machines whose own kernel cannot: Wine starts every Windows
# program through its i386 loader, a 32-bit Linux program.
#
# The machine is qemu's software emulation of an x86-64 PC booting Debian's
# kernel. Its root file system is this machine's own, shared read-write over
# 9p, so the command sees the same packages, sources and build, and what it
# writes stays; only /tmp, /run and /dev/shm are the guest's own, and the
# 32-bit libraries come from a disk image of them (image.sh says why). The guest
# runs no services: its first process runs the command and powers off.
#
#   bash scripts/vm/run.sh [--cpus N] [--memory MB] [--scratch DIR]... [--keep DIR]... COMMAND [ARG...]
#
# --scratch DIR gives the command an empty folder of the guest's own memory at
# DIR for its run, for busy files that need not outlive it (a Wine prefix: its
# every start looks through the prefix's folders, slow over 9p).
# --keep DIR: a folder below /tmp, /run or /dev/shm that the command needs
# besides the current one, this checkout and $QUILLON_BUILD_DIR (kept anyway).
# The command runs in the current directory with the caller's environment
# (less DISPLAY). Its output comes back on standard output as it runs; the exit
# code is the command's, or 125 when the machine could not run it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cpus=$(nproc)
memory=8192
scratch=()
keep=()
while [ $# -gt 0 ]; do
  case $1 in
    --cpus) cpus=$2; shift 2 ;;
    --memory) memory=$2; shift 2 ;;
    --scratch) scratch+=("$(realpath -m "$2")"); shift 2 ;;
    --keep) keep+=("$2"); shift 2 ;;
    --) shift; break ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || { echo "usage: $0 [--cpus N] [--memory MB] [--scratch DIR]... [--keep DIR]... COMMAND [ARG...]" >&2; exit 2; }

kernel_dir=$(bash "$here/kernel.sh")
libraries=$(bash "$here/image.sh")

# The guest mounts folders of its own memory at /tmp, /run and /dev/shm. The
# caller's folders there (the current one, this checkout, the build, the
# scratch folders) stay visible: their top folder below each is kept.
kept_folder() {
  local path base
  path=$(realpath -m "$1")
  for base in /tmp /run /dev/shm; do
    if [[ $path == "$base"/?* ]]; then
      local rest=${path#"$base"/}
      echo "$base/${rest%%/*}"
    fi
  done
}

# The job lives outside /tmp, which the guest replaces with its own.
cache=${QUILLON_VM_CACHE:-/var/cache/quillon-vm}
jobs=$cache/jobs
# Wine prefixes made in the guest (in memory) are kept here as tar files,
# one per Wine version (tests/e2e/harness.py).
export QUILLON_PREFIX_CACHE=${QUILLON_PREFIX_CACHE:-$cache/wine-prefixes}
mkdir -p "$jobs"
job=$(mktemp -d "$jobs/job.XXXXXX")
trap 'rm -rf "$job"' EXIT
for dir in "$PWD" "$here/../.." "${QUILLON_BUILD_DIR:-}" "${scratch[@]}" "${keep[@]}"; do
  if [ -n "$dir" ]; then kept_folder "$dir"; fi
done | sort -u >"$job/keep"
{
  export -p | grep -v -E '^declare -x (DISPLAY|XAUTHORITY|WAYLAND_DISPLAY)='
  for dir in "${scratch[@]}"; do
    printf 'mkdir -p %q && mount -t tmpfs scratch %q\n' "$dir" "$dir"
  done
  printf 'cd %q\n' "$PWD"
  printf '%q ' "$@"
  echo
} >"$job/command.sh"

# mitigations=off: the kernel's defences against speculative execution (its
# retpolines above all) cost nothing on a real CPU's fast paths but a great
# deal under emulation, where every indirect branch of every system call is
# translated code: without them a Wine process starts three to five times as fast.
# The guest runs nothing but the caller's own command, and an emulated CPU
# does not speculate.
# -cpu Nehalem: a model without SMAP (under software emulation an iret back to
# 32-bit code faults in the guest kernel when SMAP is on, and Wine dies at its
# first start) and without AVX, whose emulation is slower than the SSE code
# that the guest's libraries then take: a driven run takes about a tenth less
# than with -cpu max,-smap. QUILLON_VM_CPU picks another model.
status=0
qemu-system-x86_64 -nodefaults -no-reboot -display none -monitor none -serial stdio \
  -accel tcg,thread=multi -cpu "${QUILLON_VM_CPU:-Nehalem}" -smp "$cpus" -m "$memory" \
  -kernel "$kernel_dir/vmlinuz" -initrd "$kernel_dir/initrd.gz" \
  -append "console=ttyS0 quiet loglevel=3 panic=-1 mitigations=off ${QUILLON_VM_KERNEL_ARGS:-} qinit=$here/guest-init.sh qjob=$job" \
  -virtfs local,path=/,mount_tag=hostroot,security_model=passthrough,multidevs=remap,id=hostroot \
  -drive "file=$libraries,if=virtio,format=raw,readonly=on" \
  </dev/null || status=$?
if [ ! -s "$job/status" ]; then
  echo "i386 VM: the command did not finish (qemu exit code $status)" >&2
  exit 125
fi
exit "$(cat "$job/status")"
