#!/usr/bin/env bash
# Times quillon-pack against `zip -9 -r` on the same files and compares the
# sizes of what they write.
#   bash bench/pack_bench.sh [runs] [quillon-pack options...]
# e.g. bash bench/pack_bench.sh 5 --level 10
# The corpus is what set-up puts on every machine: the 60 largest DLLs of
# Wine's i386 directory and the mingw-w64 headers, copied once into
# build-bench/pack-corpus/ (1,636 files, 333 MB). The packager is built in
# build-bench/, optimised as scripts/build.sh builds it; a dummy stub stands
# in for the real one, whose size does not matter here. Uses hyperfine when
# it is installed, otherwise /usr/bin/time.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
shift || true
dlls=/usr/lib/i386-linux-gnu/wine/i386-windows
headers=/usr/share/mingw-w64/include
bench=$PWD/build-bench
corpus=$bench/pack-corpus

mkdir -p "$bench"
quiet() { "$@" >"$bench/build.log" 2>&1 || { cat "$bench/build.log"; exit 1; }; }
quiet cmake -S . -B "$bench" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_TARGET=OFF
quiet cmake --build "$bench" --target quillon-pack

if [ ! -f "$corpus/.complete" ]; then
  rm -rf "$corpus"
  mkdir -p "$corpus/dlls"
  find "$dlls" -maxdepth 1 -type f -name '*.dll' -printf '%s %p\n' | sort -rn | head -60 | cut -d' ' -f2- |
    xargs -d '\n' cp -t "$corpus/dlls"
  cp -r "$headers" "$corpus/include"
  touch "$corpus/.complete"
fi
head -c 512 /dev/zero >"$bench/dummy-stub.exe"
files=$(find "$corpus" -type f ! -name .complete | wc -l)
bytes=$(find "$corpus" -type f ! -name .complete -printf '%s\n' | awk '{s += $1} END {print s}')
echo "== corpus: $files files, $bytes bytes; $(nproc) processors"

out_pack=$bench/pack-bench.exe
out_zip=$bench/pack-bench.zip
pack=("$bench/quillon-pack" --quiet -o "$out_pack" --stub "$bench/dummy-stub.exe" --inf "><x.inf" "$@"
      dlls="$corpus/dlls" include="$corpus/include")
# zip adds to an archive that exists: each run starts without one.
zip_run="rm -f '$out_zip' && cd '$corpus' && zip -9 -r -q '$out_zip' dlls include"

if command -v hyperfine >/dev/null; then
  hyperfine --warmup 1 --runs "$runs" -n quillon-pack "$(printf '%q ' "${pack[@]}")" -n "zip -9" "$zip_run"
else
  for name in quillon-pack zip; do
    for _ in $(seq "$runs"); do
      if [ "$name" = zip ]; then
        /usr/bin/time -f "$name: %e s wall, %U s user, %S s system, %M KB peak" sh -c "$zip_run"
      else
        /usr/bin/time -f "$name: %e s wall, %U s user, %S s system, %M KB peak" "${pack[@]}"
      fi
    done
  done
fi

pack_size=$(stat -c %s "$out_pack")
zip_size=$(stat -c %s "$out_zip")
echo "== sizes: quillon-pack $pack_size bytes, zip -9 $zip_size bytes, ratio $(
  awk -v a="$pack_size" -v b="$zip_size" 'BEGIN {printf "%.4f", a / b}')"
