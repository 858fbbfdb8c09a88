"""The figures of the README are true: each one stated there is checked
against what the code says (a constant of the sources, or the size of the
stub just built), so that a change to one of them cannot leave the README
behind.

The stub is taken from $QUILLON_STUB; without it its size is not checked.
"""

import os
import re
import unittest
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
README = (REPO / "README.md").read_text(encoding="utf-8")
STUB = os.environ.get("QUILLON_STUB", "")

# (what the README says, the source file, its constant, the value that makes the README true)
FIGURES = [
    ("is at most 2 GiB − 1 bytes", "tools/pack/support/pack_support.h", r"kMaxPackageSize = (\w+);", "INT32_MAX"),
    ("at most 255 part files", "src/package/part_join.h", r"kMaxPartNumber = (\d+);", "255"),
    ("Names in the package are at most 255 bytes", "src/package/entry_name.h", r"kMaxEntryNameLength = (\d+);", "255"),
    ("within Windows' 260 characters", "src/base/buffer_sizes.h", r"kMaxPath = (\d+);", "260"),
    ("are at most 255 bytes each", "tools/pack/building/package_writer.h", r"kMaxShortText = (\d+);", "255"),
    ("Windows 7 or later", "cmake/WindowsPack.cmake", r"_WIN32_WINNT=(0x\w+)", "0x0601"),
]


def flat(text: str) -> str:
    return " ".join(text.split())


class ReadmeFigures(unittest.TestCase):
    def test_figures_match_the_code(self):
        for claim, source, pattern, value in FIGURES:
            with self.subTest(claim=claim):
                self.assertIn(claim, flat(README))
                found = re.search(pattern, (REPO / source).read_text(encoding="utf-8"))
                self.assertIsNotNone(found, f"{pattern} not in {source}")
                self.assertEqual(found.group(1), value, f"{source} no longer agrees with the README: {claim}")

    @unittest.skipUnless(STUB and os.path.isfile(STUB), "no stub built ($QUILLON_STUB)")
    def test_stub_size(self):
        kilobytes = int(re.search(r"Win32 program of less than (\d+) KB", flat(README)).group(1))
        self.assertLess(os.path.getsize(STUB), kilobytes * 1024)

    def test_pictures_exist(self):
        for picture in re.findall(r"\]\((docs/images/[\w-]+\.png)\)", README):
            with self.subTest(picture=picture):
                self.assertTrue((REPO / picture).is_file(), f"{picture} is missing: run scripts/pictures.sh")


if __name__ == "__main__":
    unittest.main()
