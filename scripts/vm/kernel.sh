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
# virtio 9p, in the order they depend on each other, and an init that mounts
# them as the new root.
initrd=$work/initrd
mkdir -p "$initrd"/{bin,modules,proc,dev,newroot}
cp /usr/bin/busybox "$initrd/bin/busybox"
modules="virtio_ring virtio virtio_pci_legacy_dev virtio_pci_modern_dev virtio_pci netfs fscache 9pnet 9pnet_virtio 9p"
for m in $modules; do
  file=$(find "$work/root/lib/modules/$version" -name "$m.ko*" | head -n1)
  # A module built into the kernel has no file.
  [ -z "$file" ] || cp "$file" "$initrd/modules/"
done
cat >"$initrd/init" <<INIT
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t devtmpfs dev /dev
for m in $modules; do
  [ ! -e /modules/\$m.ko ] || insmod /modules/\$m.ko || echo "init: module \$m did not load"
done
init=\$(sed -n 's/.* qinit=\([^ ]*\).*/\1/p' /proc/cmdline)
mount -t 9p -o trans=virtio,version=9p2000.L,msize=1048576,cache=loose hostroot /newroot ||
  { echo "init: the host's root did not mount"; poweroff -f; }
umount /proc
exec switch_root /newroot /bin/bash "\$init"
INIT
chmod +x "$initrd/init"
mkdir -p "$out"
(cd "$initrd" && find . | cpio -o -H newc --quiet | gzip -1 >"$out/initrd.gz.new")
cp "$work/root/boot/vmlinuz-$version" "$out/vmlinuz.new"
mv "$out/initrd.gz.new" "$out/initrd.gz"
mv "$out/vmlinuz.new" "$out/vmlinuz"
echo "$out"
