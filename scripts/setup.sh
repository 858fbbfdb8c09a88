#!/usr/bin/env bash
# Installs what the build, the demo and the tests need on Debian 12 (run as root).
# Quick when everything is already there.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config python3
  g++-mingw-w64-i686 libz-mingw-w64-dev
  wine wine32:i386 fonts-wine fonts-ipafont-gothic xvfb imagemagick
  googletest libgtest-dev libbenchmark-dev zlib1g-dev libdeflate-dev
  zip unzip p7zip-full locales osslsigncode openssl dpkg-dev lintian
  clang clang-format clang-tidy libclang-rt-14-dev llvm shellcheck pyflakes3
)

# The end-to-end tests of double-byte names run Wine with ANSI code page 932,
# which Wine takes from this locale.
make_locales() {
  locale -a 2>/dev/null | grep -qx 'ja_JP.utf8' && return 0
  $SUDO localedef -i ja_JP -c -f UTF-8 -A /usr/share/locale/locale.alias ja_JP.UTF-8
}

# Wine's loader is a 32-bit Linux program. On a kernel that cannot run one,
# the demo and the end-to-end tests run in a small virtual machine instead
# (scripts/vm), which needs these.
vm_packages=(qemu-system-x86 busybox-static cpio kmod e2fsprogs)

# quillon-pack.exe is built with Debian's libdeflate source, of the host's
# version; the build only looks for it here (configuring touches no network).
fetch_libdeflate_source() {
  bash "$(dirname "$0")/libdeflate-source.sh" "${QUILLON_LIBDEFLATE_CACHE:-$(cd "$(dirname "$0")/.." && pwd)/.deps/libdeflate-source}" >/dev/null
}

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

missing=()
have_i386=0
dpkg --print-foreign-architectures | grep -qx i386 && have_i386=1
# Before Wine is there, neither is its loader: the VM's packages come along
# then, needed or not.
bash "$(dirname "$0")/runs-32-bit.sh" || packages+=("${vm_packages[@]}")
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done
if [ "$have_i386" = 1 ] && [ ${#missing[@]} -eq 0 ]; then
  make_locales
  fetch_libdeflate_source
  exit 0
fi

export DEBIAN_FRONTEND=noninteractive

[ "$have_i386" = 1 ] || $SUDO dpkg --add-architecture i386
# A mirror in mid-sync can fail one index; apt then keeps going with the rest.
$SUDO apt-get update -q || true

install() { $SUDO apt-get install -y -q --no-install-recommends "$@" "${missing[@]}"; }
if ! install; then
  # The i386 index of the security suite can be missing while the amd64 one is
  # there; amd64 libraries would then move ahead of their i386 twins. Prefer the
  # main suite for this one install, without touching the machine's apt sources.
  prefs=$(mktemp)
  trap 'rm -f "$prefs"' EXIT
  cat >"$prefs" <<'PREF'
Package: *
Pin: release l=Debian-Security
Pin-Priority: 100
PREF
  install -o Dir::Etc::Preferences="$prefs" --allow-downgrades
fi
make_locales
fetch_libdeflate_source
