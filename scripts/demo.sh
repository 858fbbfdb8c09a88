#!/usr/bin/env bash
# Builds everything, packs the demo installer from examples/demo and runs it
# under Wine: interactively when a display is there, otherwise driven through
# headless by the GUI driver, leaving screenshots in build/demo/shots/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLON_BUILD_DIR:-$root/build}

bash "$root/scripts/build.sh"
python3 "$root/examples/run_demo.py" --build "$build" "$@"
