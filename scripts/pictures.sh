#!/usr/bin/env bash
# Makes the README's pictures (docs/images/*.png) anew: builds, then runs the
# tutorial's installer under Wine on a virtual display, driven by the GUI test
# driver. On a machine whose kernel cannot run 32-bit programs, run it in the
# VM: bash scripts/vm/run.sh bash scripts/pictures.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLON_BUILD_DIR:-$root/build}

bash "$root/scripts/build.sh"
python3 "$root/examples/run_demo.py" --build "$build" --pictures "$root/docs/images"
