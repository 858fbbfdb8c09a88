#!/usr/bin/env bash
# Installs what is missing, then builds everything: the host tools and tests
# in build/, the 32-bit Windows stub and driver in build/target/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLON_BUILD_DIR:-$root/build}

bash "$root/scripts/setup.sh"
# Warnings are errors here, and quillon-pack.exe is required: a build tree
# made without these (by hand, or before they existed) gets them.
if [ ! -f "$build/build.ninja" ] || ! grep -qx 'QUILLON_WERROR:BOOL=ON' "$build/CMakeCache.txt" ||
  ! grep -Eqx 'QUILLON_WINDOWS_PACK:(STRING|BOOL)=ON' "$build/CMakeCache.txt"; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_WERROR=ON \
    -DQUILLON_WINDOWS_PACK=ON
fi
cmake --build "$build" --parallel "$(nproc)"
