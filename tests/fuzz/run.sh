#!/usr/bin/env bash
# Builds a fuzz target with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) into build-fuzz/ and runs it.
#   bash tests/fuzz/run.sh [seconds] [jobs] [max input bytes] [target]
# target: inflate (the decoder, by default) or package (the whole package).
# New inputs go to build-fuzz/run-TARGET/corpus/ (the seed corpus in the repo is
# only read); a crash leaves its input in build-fuzz/run-TARGET/ and stops the run.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-600}
jobs=${2:-$(nproc)}
max_len=${3:-1024}
target=${4:-inflate}

cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_TARGET=OFF >/dev/null
cmake --build build-fuzz --target "${target}_fuzz"

# Each target runs in a folder of its own, so two can run at once.
mkdir -p "build-fuzz/run-$target/corpus"
cd "build-fuzz/run-$target"
# A small quarantine and short allocation stacks roughly double the speed;
# replay a crash with the defaults for full reports.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16:malloc_context_size=3}
# Small inputs keep executions quick (a damaged large input makes the decoder
# re-read many block headers): the hash-picked short reads cross input refills
# all the same, and long matches carry small inputs past the 32768-byte laps.
exec "../${target}_fuzz" corpus "../../tests/fuzz/corpus/$target" \
  -max_total_time="$seconds" -jobs="$jobs" -workers="$jobs" -timeout=20 -rss_limit_mb=4096 \
  -max_len="$max_len" -print_final_stats=1
