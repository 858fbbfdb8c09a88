#!/usr/bin/env bash
# Prepares the virtual machine's kernel and initial RAM disk from Debian's
# current amd64 kernel package (built with IA-32 emulation), once per kernel
# version, and prints the folder that holds them.
set -euo pipefail
cache=${QUILLON_VM_CACHE:-/var/cache/quillon-vm}
package=$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-[^ ]*\)$/\1/p' | head -n1)
[ -n "$package" ] || { echo "kernel.sh: no linux-image-amd64 in apt's lists (run apt-get update)" >&2; exit 1; }
version=${package#linux-image-}
out=$cache/$version
if [ -s "$out/vmlinuz" ] && [ -s "$out/initrd.gz" ]; then
  echo "$out"
  exit 0
fi

work=$(mktemp -d)
chmod 755 "$work" # apt downloads as its own user
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get download -q "$package" >&2)
dpkg -x "$work"/"$package"_*.deb "$work/root"
grep -q '^CONFIG_IA32_EMULATION=y' "$work/root/boot/config-$version" ||
  { echo "kernel.sh: $package has no IA-32 emulation" >&2; exit 1; }

# The initial RAM disk: busybox, the modules that reach the host's files over
# virtio 9p and a disk image over virtio-blk, in the order they depend on each
# other, and an init that mounts the host's root as the new root.
initrd=$work/initrd
mkdir -p "$initrd"/{bin,modules,proc,dev,newroot}
cp /usr/bin/busybox "$initrd/bin/busybox"
/sbin/depmod -b "$work/root" "$version"
: >"$initrd/modules/order"
for wanted in virtio_pci virtio_blk 9pnet_virtio 9p ext4; do
  # Prints "insmod PATH" for each module the wanted one needs, itself last;
  # nothing to load for one built into the kernel.
  /sbin/modprobe -d "$work/root" -S "$version" --show-depends "$wanted" |
    while read -r verb path _; do
      [ "$verb" = insmod ] || continue
      name=$(basename "$path")
      grep -qxF "$name" "$initrd/modules/order" && continue
      cp "$path" "$initrd/modules/"
      echo "$name" >>"$initrd/modules/order"
    done
done
cat >"$initrd/init" <<'INIT'
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t devtmpfs dev /dev
for m in $(cat /modules/order); do
  insmod "/modules/$m" || echo "init: module $m did not load"
done
init=$(sed -n 's/.* qinit=\([^ ]*\).*/\1/p' /proc/cmdline)
mount -t 9p -o trans=virtio,version=9p2000.L,msize=1048576,cache=loose hostroot /newroot ||
  { echo "init: the host's root did not mount"; poweroff -f; }
umount /proc
exec switch_root /newroot /bin/bash "$init"
INIT
chmod +x "$initrd/init"
mkdir -p "$out"
(cd "$initrd" && find . | cpio -o -H newc --quiet | gzip -1 >"$out/initrd.gz.new")
cp "$work/root/boot/vmlinuz-$version" "$out/vmlinuz.new"
mv "$out/initrd.gz.new" "$out/initrd.gz"
mv "$out/vmlinuz.new" "$out/vmlinuz"
echo "$out"
