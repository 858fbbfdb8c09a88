"""The virtual machine of scripts/vm sees the caller's folders below /tmp.

The guest mounts folders of its own memory at /tmp, /run and /dev/shm; a
checkout or build below them must still be there for the command, and what
the guest writes to its own /tmp must not reach the host. Boots the machine
once (seconds); skipped where this kernel runs 32-bit programs itself and the
machine is not used."""

import subprocess
import sys
import tempfile
import unittest
import uuid
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
RUN = REPO / "scripts" / "vm" / "run.sh"
SKIP_EXIT_CODE = 77


class VmFoldersTest(unittest.TestCase):
    def test_the_callers_folders_below_tmp_stay_visible(self):
        guest_only = Path("/tmp") / f"quillon-guest-{uuid.uuid4().hex}"
        with tempfile.TemporaryDirectory(dir="/tmp") as checkout, \
                tempfile.TemporaryDirectory(dir="/tmp") as elsewhere:
            Path(checkout, "source.txt").write_text("from the host\n")
            Path(elsewhere, "kept.txt").write_text("kept too\n")
            script = (f"cat source.txt {elsewhere}/kept.txt >answer.txt && "
                      f"mkdir -p scratch && echo scratch >scratch/inside.txt && "
                      f"echo guest >{guest_only}")
            done = subprocess.run(["bash", str(RUN), "--cpus", "1", "--keep", elsewhere,
                                   "--scratch", f"{checkout}/scratch", "bash", "-c", script],
                                  cwd=checkout, capture_output=True, text=True, timeout=900)
            self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
            self.assertEqual(Path(checkout, "answer.txt").read_text(), "from the host\nkept too\n")
            # The scratch folder was the guest's memory; the guest's /tmp its own.
            self.assertFalse(Path(checkout, "scratch", "inside.txt").exists())
            self.assertFalse(guest_only.exists())


def main() -> int:
    runs = subprocess.run(["bash", str(REPO / "scripts" / "runs-32-bit.sh")]).returncode == 0
    if runs:
        print("This kernel runs 32-bit programs: the virtual machine is not used here.")
        return SKIP_EXIT_CODE
    return 0 if unittest.main(exit=False).result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
