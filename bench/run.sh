#!/usr/bin/env bash
# Builds and runs the inflate benchmark: the native build (our decoder, zlib,
# libdeflate), then the i686 build that ships, under Wine (our decoder
# compiled with the stub's flags against zlib built for i686).
#   bash bench/run.sh [rounds]
# The data is what set-up installs on every machine: Wine's i386 DLLs (the
# first 100 MB by name) and the mingw-w64 headers, each file deflated by
# libdeflate (level 6) as one entry. Build and data live in build-bench/.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
dlls=/usr/lib/i386-linux-gnu/wine/i386-windows
headers=/usr/share/mingw-w64/include

mkdir -p build-bench
quiet() { "$@" >build-bench/build.log 2>&1 || { cat build-bench/build.log; exit 1; }; }
quiet cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_TARGET=OFF
quiet cmake --build build-bench --target inflate_bench
quiet cmake -S . -B build-bench/i686 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release
quiet cmake --build build-bench/i686 --target inflate_bench_i686


corpus=build-bench/corpus.bin
if [ ! -s "$corpus" ]; then
  ./build-bench/inflate_bench prepare "$corpus" --cap-mb 100 "$dlls" "$headers"
fi

echo "== native x86-64 ($(uname -m)), MB/s of output, best of $rounds"
./build-bench/inflate_bench run "$corpus" --rounds "$rounds"

echo "== i686 under Wine, MB/s of output, best of $rounds"
export WINEPREFIX="$PWD/build-bench/wineprefix" WINEDEBUG=-all
unset DISPLAY
wine build-bench/i686/inflate_bench_i686.exe run "$corpus" --rounds "$rounds"
