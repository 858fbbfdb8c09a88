#!/usr/bin/env bash
# The stub builds bit for bit the same from another folder: builds it once
# more, from a copy of its sources under another name and in another build
# folder, and compares the result with the stub given. Embedded source or
# build paths, time stamps in the image or its resources would show here.
#   stub_reproducible.sh SOURCE_DIR STUB SCRATCH_DIR
set -euo pipefail
source_dir=$1
stub=$2
scratch=$3

rm -rf "$scratch"
copy=$scratch/another-source-folder-of-another-length
mkdir -p "$copy/tools"
# What the stub's build reads; the other programs of the Windows build are
# left out with their sources.
cp -R "$source_dir/CMakeLists.txt" "$source_dir/cmake" "$source_dir/src" "$copy/"
cp "$source_dir/tools/make_icon.py" "$copy/tools/"

cmake -S "$copy" -B "$scratch/b" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$copy/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
cmake --build "$scratch/b" --target setup-stub >/dev/null
if cmp "$stub" "$scratch/b/setup-stub.exe"; then
  echo "setup-stub.exe is the same when built in $scratch"
  rm -rf "$scratch"
else
  echo "setup-stub.exe differs when built from $copy in $scratch/b (kept for a look)"
  exit 1
fi
