#!/usr/bin/env bash
# Builds everything and runs every test: unit tests, packager tests and the
# end-to-end tests under Wine on a virtual display of their own.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLON_BUILD_DIR:-$root/build}

start=$(date +%s)
bash "$root/scripts/build.sh"
ctest --test-dir "$build" --output-on-failure --timeout 900 "$@"
echo "All tests passed in $(( $(date +%s) - start )) s."
