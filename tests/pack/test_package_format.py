"""The worked example of docs/package-format.md: its commands, run with the
quillon-pack under test, must make exactly the package that its listing
shows, so that the document cannot drift from what the packager writes.

The packager is taken from $QUILLON_PACK or the first argument.
"""

import os
import re
import subprocess
import tempfile
import unittest
from pathlib import Path

import pack_tool

PACK = os.environ.get("QUILLON_PACK", "")
DOC = Path(__file__).resolve().parents[2] / "docs" / "package-format.md"
PACKAGE_OFFSET = 35840
# "008c2c  50 4b 03 04     signature ...": offset, bytes, then two blanks or more.
LISTING_LINE = re.compile(r"^([0-9a-f]{6})  ((?:[0-9a-f]{2} )*[0-9a-f]{2})(?:  .*)?$")


def worked_example(doc: str):
    """The shell commands and the listing of the worked example."""
    section = doc[doc.index("## Worked example"):]
    blocks = re.findall(r"```(\w*)\n(.*?)```", section, re.S)
    commands = next(text for kind, text in blocks if kind == "sh")
    listing = next(text for kind, text in blocks if kind == "")
    return commands, listing, section


def parse_listing(listing: str):
    """The bytes of the listing, checking that each line's offset follows the
    bytes before it."""
    data = bytearray()
    for line in listing.splitlines():
        match = LISTING_LINE.match(line)
        if not match:
            assert line.startswith("       "), f"neither a heading nor bytes: {line!r}"
            continue
        offset = int(match.group(1), 16)
        expected = PACKAGE_OFFSET + len(data)
        assert offset == expected, f"offset {offset:#x} should be {expected:#x}: {line}"
        data += bytes.fromhex(match.group(2))
    return bytes(data)


class WorkedExampleTest(unittest.TestCase):
    def test_commands_make_the_listed_package(self):
        commands, listing, section = worked_example(DOC.read_text(encoding="utf-8"))
        expected = parse_listing(listing)
        with tempfile.TemporaryDirectory() as work:
            env = dict(os.environ, PATH=str(Path(PACK).parent) + os.pathsep + os.environ["PATH"])
            subprocess.run(["bash", "-euc", commands], cwd=work, env=env, check=True)
            made = (Path(work) / "example.exe").read_bytes()
        self.assertEqual(made[:PACKAGE_OFFSET], b"MZ" + bytes(PACKAGE_OFFSET - 2))
        package = made[PACKAGE_OFFSET:]
        if package != expected:
            actual = "\n".join(f"{PACKAGE_OFFSET + i:06x}  " + package[i:i + 16].hex(" ")
                               for i in range(0, len(package), 16))
            self.fail(f"the package differs from the document's listing; it is:\n{actual}")
        self.assertIn(f"`example.exe` is {len(made)} bytes", section)


if __name__ == "__main__":
    PACK = pack_tool.packager_from_command_line()
    unittest.main()
