#!/usr/bin/env bash
# Builds everything and runs every test: the lint checks; a Release build of
# the host code with warnings as errors; the unit tests, the
# packager tests and the fuzz corpus built once more with AddressSanitizer and
# UndefinedBehaviorSanitizer (in build/asan, host code only); then all tests of
# the normal build, then the end-to-end tests under Wine on a virtual display
# of their own. Every step runs even when an earlier one failed; the
# script fails when any did. Arguments go to the normal build's ctest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLON_BUILD_DIR:-$root/build}
asan=$build/asan
reports=$asan/sanitizer-reports

start=$SECONDS
times=()
failed=()
# step NAME COMMAND...: runs one step, notes its time and whether it passed.
step() {
  local name=$1 started=$SECONDS
  shift
  echo "==== $name"
  if "$@"; then
    times+=("$name: $((SECONDS - started)) s")
  else
    times+=("$name: $((SECONDS - started)) s, FAILED")
    failed+=("$name")
  fi
}

sanitizer_build() {
  if [ ! -f "$asan/build.ninja" ]; then
    # clang: its sanitizers honour log_path for every report (gcc's UBSan
    # writes to stderr whatever it is told).
    CC=clang CXX=clang++ cmake -S "$root" -B "$asan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DQUILLON_SANITIZE=ON -DQUILLON_TARGET=OFF -DQUILLON_WERROR=ON
  fi
  cmake --build "$asan" --parallel "$(nproc)"
}

# The main build is RelWithDebInfo; a user's Release build (-O3) meets other
# warnings of the compiler, which the project's own runs treat as errors too.
release_build() {
  if [ ! -f "$build/release/build.ninja" ]; then
    cmake -S "$root" -B "$build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_WERROR=ON -DQUILLON_TARGET=OFF
  fi
  cmake --build "$build/release" --parallel "$(nproc)"
}

# Reports go to files, not only to stderr: a packager test that expects a
# failing exit code would otherwise pass over a sanitizer's report.
sanitizer_tests() {
  rm -rf "$reports"
  mkdir -p "$reports"
  local status=0
  ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}log_path=$reports/asan" \
    UBSAN_OPTIONS="${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}log_path=$reports/ubsan:print_stacktrace=1" \
    ctest --test-dir "$asan" --output-on-failure --timeout 900 --parallel "$(nproc)" || status=$?
  local found=("$reports"/*)
  if [ -e "${found[0]}" ]; then
    echo "Sanitizer reports:"
    for report in "${found[@]}"; do
      echo "--- $report"
      cat "$report"
    done
    return 1
  fi
  return $status
}

# Wine's loader is a 32-bit Linux program; where this machine's kernel cannot
# run one, the tests run in a virtual machine whose kernel can (scripts/vm),
# under software emulation. QUILLON_E2E_VM=0 leaves them out (they then report
# themselves skipped). Whatever the way, the step fails unless every test
# asked for ran: a guest that sees no build finds no tests, and a test without
# Wine skips itself, and neither may pass for a run that passed.
# The limits keep a hung run inside CI's time: one test at most 30 minutes,
# the machine at most 75.
end_to_end_tests() {
  local results=$build/e2e/results.xml asked=$build/e2e/asked.json status=0 allow=()
  mkdir -p "$build/e2e"
  rm -f "$results"
  ctest --test-dir "$build" --show-only=json-v1 --label-regex e2e "$@" >"$asked"
  # Side by side in as many slots as there are processors (tests/e2e/harness.py).
  export QUILLON_E2E_SLOTS=${QUILLON_E2E_SLOTS:-$(nproc)}
  local run=(ctest --test-dir "$build" --output-on-failure --label-regex e2e --output-junit "$results"
    --parallel "$QUILLON_E2E_SLOTS" "$@")
  if bash "$root/scripts/runs-32-bit.sh"; then
    "${run[@]}" --timeout 900 || status=$?
  elif [ "${QUILLON_E2E_VM:-1}" = 0 ]; then
    "${run[@]}" || status=$?
    allow=(--skips-allowed)
  else
    echo "This kernel cannot run 32-bit programs: the end-to-end tests run in a virtual machine."
    timeout --kill-after=60 4500 \
      bash "$root/scripts/vm/run.sh" --scratch "$build/e2e/slots" "${run[@]}" --timeout 1800 || status=$?
  fi
  python3 "$root/scripts/e2e-ran.py" --asked "$asked" --results "$results" "${allow[@]}" || status=1
  return $status
}

bash "$root/scripts/build.sh"
times+=("build: $((SECONDS - start)) s")

step "lint" bash "$root/scripts/lint.sh" "$build"
step "release build" release_build
step "sanitizer build" sanitizer_build
step "sanitizer tests" sanitizer_tests
step "tests" ctest --test-dir "$build" --output-on-failure --timeout 900 --label-exclude e2e "$@"
step "end-to-end tests" end_to_end_tests "$@"

echo "==== times"
printf '  %s\n' "${times[@]}"
if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]} (in $((SECONDS - start)) s)"
  exit 1
fi
echo "All tests passed in $((SECONDS - start)) s."
