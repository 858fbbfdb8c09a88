#!/usr/bin/env bash
# Builds and runs the inflate benchmark: the native build (our decoder, zlib,
# libdeflate), then the i686 build that ships, under Wine (our decoder
# compiled with the stub's flags, against zlib and libdeflate built for i686).
#   bash bench/run.sh [rounds]
# The data is what set-up installs on every machine: Wine's i386 DLLs (the
# first 100 MB by name) and the mingw-w64 headers, each file deflated by
# libdeflate (level 6) as one entry. Build and data live in build-bench/.
#
# libdeflate for i686 is built with its own makefile and the mingw compiler
# from Debian's source of the version installed natively, which
# scripts/libdeflate-source.sh fetches once into build-bench/libdeflate/ (the
# machine's apt sources are left alone). Where this machine's kernel cannot
# run 32-bit programs, the i686 run goes through the qemu VM of scripts/vm:
# its CPU is emulated, so its speeds are a fraction of the hardware's and the
# ratios between the decoders differ from those on a real processor.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
dlls=/usr/lib/i386-linux-gnu/wine/i386-windows
headers=/usr/share/mingw-w64/include

mkdir -p build-bench
log=$PWD/build-bench/build.log
quiet() { "$@" >"$log" 2>&1 || { cat "$log"; exit 1; }; }

# Prints the directory of libdeflate's source built for i686, fetching and
# building it first when it is not there yet.
libdeflate_i686() {
  local dir
  dir=$(bash scripts/libdeflate-source.sh build-bench/libdeflate)
  if [ ! -f "$dir/libdeflatestatic.lib" ]; then
    quiet make -C "$dir" CC=i686-w64-mingw32-gcc libdeflatestatic.lib
  fi
  echo "$dir"
}

quiet cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_TARGET=OFF
quiet cmake --build build-bench --target inflate_bench
libdeflate=$(libdeflate_i686)
quiet cmake -S . -B build-bench/i686 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release \
  -DQUILLON_BENCH_LIBDEFLATE_DIR="$libdeflate"
quiet cmake --build build-bench/i686 --target inflate_bench_i686

corpus=build-bench/corpus.bin
if [ ! -s "$corpus" ]; then
  ./build-bench/inflate_bench prepare "$corpus" --cap-mb 100 "$dlls" "$headers"
fi

echo "== native x86-64 ($(uname -m)), MB/s of output, best of $rounds"
./build-bench/inflate_bench run "$corpus" --rounds "$rounds"

export WINEPREFIX="$PWD/build-bench/wineprefix" WINEDEBUG=-all
unset DISPLAY
i686=(wine build-bench/i686/inflate_bench_i686.exe run "$corpus" --rounds "$rounds")
if bash scripts/runs-32-bit.sh; then
  echo "== i686 under Wine, MB/s of output, best of $rounds"
  "${i686[@]}"
else
  echo "== i686 under Wine in the qemu VM (an emulated CPU: not the hardware's speeds or ratios), MB/s of output, best of $rounds"
  bash scripts/vm/run.sh "${i686[@]}"
fi
