#!/usr/bin/env bash
# Builds everything, packs the demo installer from examples/demo and runs it
# under Wine: interactively when a display is there, otherwise driven through
# headless by the GUI driver, leaving screenshots in build/demo/shots/.
# Where this machine's kernel cannot run 32-bit programs (Wine's loader is
# one), the headless run happens in the virtual machine of scripts/vm.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLON_BUILD_DIR:-$root/build}

bash "$root/scripts/build.sh"
if bash "$root/scripts/runs-32-bit.sh"; then
  python3 "$root/examples/run_demo.py" --build "$build" "$@"
else
  echo "This kernel cannot run 32-bit programs: the demo runs headless in a virtual machine."
  bash "$root/scripts/vm/run.sh" --scratch "$build/e2e/slots" \
    python3 "$root/examples/run_demo.py" --build "$build" "$@"
fi
