"""The packager that the packager's test scripts run."""
import os
import sys
from pathlib import Path


def packager_from_command_line() -> str:
    """$QUILLON_PACK, or the path given as the first argument (taken off the
    arguments, so that unittest does not read it); the script ends without one."""
    pack = os.environ.get("QUILLON_PACK", "")
    if len(sys.argv) > 1 and os.path.isfile(sys.argv[1]):
        pack = sys.argv.pop(1)
    if not pack:
        sys.exit("set QUILLON_PACK or give the packager's path as the first argument")
    return str(Path(pack).resolve())
