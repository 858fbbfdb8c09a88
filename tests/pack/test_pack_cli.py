"""Tests of what quillon-pack says to its user: messages that name what is
wrong, and control characters kept off the terminal.

The packager is taken from $QUILLON_PACK (CTest sets it) or the first
argument.
"""

import os
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
import pack_tool  # noqa: E402
import package_builder as pb  # noqa: E402
import test_pack  # noqa: E402
from test_pack import PackTestCase, zip_of  # noqa: E402


def run_pack(*args, **kwargs):
    return test_pack.run_pack(*args, **kwargs)


class MessagesTest(PackTestCase):
    def assert_fails(self, args, *said, cwd=None):
        result = run_pack(*args, cwd=cwd)
        self.assertEqual(result.returncode, 1, result.stderr)
        for text in said:
            self.assertIn(text, result.stderr)
        return result.stderr

    def test_control_characters_are_escaped(self):
        archive = self.write("names.zip", zip_of(pb.stored(b"a\x00b\x1b[2J.txt", b"x")))
        cases = [
            (["--info-file", "in\x1b[31mfo\n.txt", "a"], "'in\\x1B[31mfo\\x0A.txt'"),
            (["--from-zip", archive], "'a\\x00b\\x1B[2J.txt'"),
            (["a\tb=" + str(archive)], "'a\\x09b'"),
        ]
        for args, shown in cases:
            with self.subTest(args=args):
                said = self.assert_fails(["-o", self.dir / "x.exe", "--stub", self.stub, *args], shown)
                self.assertNotRegex(said.rstrip("\n"), "[\x00-\x08\x0b-\x1f\x7f]|\n(?!quillon-pack: )")

    def test_origin_of_a_file_in_the_way_of_a_directory(self):
        archive = self.write("x.zip", zip_of(pb.stored("x", b"1"), pb.stored("x/")))
        self.assert_fails(["-o", self.dir / "x.exe", "--stub", self.stub, "--from-zip", archive],
                          f"entry 'x/' (archive '{archive}') is a directory, but archive '{archive}' has a file")

    def test_same_name_twice(self):
        self.write("a.txt", b"a")
        self.assert_fails(["-o", self.dir / "x.exe", "--stub", self.stub, self.dir / "a.txt", self.dir / "a.txt"],
                          "the same file 'a.txt' (from")
        self.assert_fails(["-o", self.dir / "x.exe", "--stub", self.stub, "A.TXT=" + str(self.dir / "a.txt"),
                           self.dir / "a.txt"], "'a.txt' ('A.TXT' from")
        installer = self.write("twice.exe", pb.build_package(self.stub_bytes, entries=[
            pb.stored("a.txt", b"1"), pb.stored("a.txt", b"2")]))
        said = self.assert_fails(["extract", installer, "-d", self.dir / "out"], "'a.txt'", "twice")
        self.assertNotIn("exist in", said)

    def test_extract_names_the_entry(self):
        cases = [
            # entry name, code page, the entry as the message shows it (a name
            # with a byte that cp932 lacks cannot be written here)
            (b"dir/\xa0.txt", ["--name-encoding", "cp932"], "dir/\ufffd.txt"),
        ]
        for name, encoding, shown in cases:
            with self.subTest(name=name):
                installer = self.write("names.exe", pb.build_package(self.stub_bytes, entries=[
                    pb.stored(name, b"x")]))
                out = self.dir / "out"
                said = self.assert_fails(["extract", *encoding, installer, "-d", out])
                self.assertIn(f"'{out}/{shown}'", said)

    def test_short_part_file_is_blamed(self):
        self.write("big.bin", os.urandom(150_000))
        setup = self.dir / "split" / "setup.exe"
        setup.parent.mkdir()
        self.pack("--split", "40000", self.dir / "big.bin", output=setup)
        for size in (0, 100):
            with self.subTest(size=size):
                part = setup.with_name("setup.002")
                part.write_bytes(os.urandom(size))
                self.assert_fails(["list", setup], f"part file '{part}' is {size} bytes long, shorter than the "
                                                   "program file (40000 bytes)", "would be needed")


if __name__ == "__main__":
    test_pack.PACK = pack_tool.packager_from_command_line()
    unittest.main()
