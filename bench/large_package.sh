#!/usr/bin/env bash
# The largest packages: builds an installer of about 1.5 GB (six 256 MiB
# files, half of them random, half text; deflate level 1, so that packing
# takes minutes, not an hour) and reports the time and peak memory of
#   - packing it (quillon-pack),
#   - reading it back with the installer's own reader and decoder, every
#     entry decoded and its CRC checked (quillon-pack verify), and
#   - installing it under Wine, where this machine can run 32-bit programs.
# Not part of the test command: it takes several minutes and 3 GB of disk.
#   bash bench/large_package.sh [build-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
work=$build/large
pack=$build/quillon-pack
mkdir -p "$work/input"

for i in 1 2 3; do
  [ -s "$work/input/random$i.bin" ] || head -c 268435456 /dev/urandom >"$work/input/random$i.bin"
  if [ ! -s "$work/input/text$i.txt" ]; then
    yes "line $i of a large text file that deflate shrinks well, 0123456789" | head -c 268435456 >"$work/input/text$i.txt"
  fi
done
# The dollar signs are the INF syntax's own.
# shellcheck disable=SC2016
printf '[Version]\r\nSignature="$Windows NT$"\r\n' >"$work/input/setup.inf"

measure() {  # measure LABEL COMMAND...: wall time and peak resident memory
  local label=$1
  shift
  /usr/bin/time -f "$label: %e s, peak memory %M KB" "$@"
}

measure "pack" "$pack" -o "$work/large.exe" --title "Large Package" --inf "><setup.inf" --level 1 --no-wait \
  "$work/input"
echo "installer: $(stat -c %s "$work/large.exe") bytes"
measure "verify" "$pack" verify "$work/large.exe"

reason=$(cd "$root/tests/e2e" && python3 -c 'import harness; print(harness.i386_unavailable() or "")')
if [ -n "$reason" ]; then
  echo "install under Wine: skipped ($reason)"
  exit 0
fi
cd "$root/tests/e2e"
QUILLON_BUILD_DIR=$build measure "install under Wine" python3 - "$work/large.exe" <<'PY'
import sys
import harness
with harness.WineSession() as session:
    result = session.drive(sys.argv[1], "timeout 1800\nwait-window Large Package\nclick 1\nwait-exit\n",
                           timeout=3600, shots=False)
    print(result.describe() if not result.ok else f"exit code {result.exit_code}")
PY
