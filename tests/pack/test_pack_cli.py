"""Tests of what quillon-pack says to its user: messages that name what is
wrong, and control characters kept off the terminal.

The packager is taken from $QUILLON_PACK (CTest sets it) or the first
argument.
"""

import os
import re
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
        # An installer with an entry twice: named as such, not as a file in the folder.
        installer = self.write("setup.exe", pb.build_package(self.stub_bytes, entries=[
            pb.stored("a.txt", b"1"), pb.stored("a.txt", b"2")]))
        said = self.assert_fails(["extract", installer, "-d", self.dir / "out"], "entries 'a.txt' and 'a.txt'")
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



class CodePageTest(PackTestCase):
    """--code-page: names, texts and the password converted from UTF-8 to the
    users' code page, texts with CR LF line ends; without it, a warning."""

    def test_converted(self):
        files = self.dir / "files"
        (files / "ソフト").mkdir(parents=True)
        (files / "ソフト" / "setup.inf").write_bytes(b"[Version]\r\n")
        (self.dir / "latin").mkdir()
        (self.dir / "latin" / "ä.txt").write_bytes(b"a")
        western = dict(title="Café", info="Grüße\nZeile zwei\r\n", password="pässwort")
        japanese = dict(title="ソフト", info="説明\n二行目\r\n", password="パスワード")
        cases = [
            # code page, inputs, INF text, the name stored, texts
            ("1252", self.dir / "latin", "><ä.txt", "ä.txt", western),
            ("cp1252", self.dir / "latin", "><ä.txt", "ä.txt", western),
            ("932", files, "><ソフト\\setup.inf", "ソフト/setup.inf", japanese),
        ]
        for code_page, inputs, inf, name, texts in cases:
            with self.subTest(code_page=code_page):
                encoding = "cp" + code_page.removeprefix("cp")
                # A byte order mark from an editor is dropped.
                info = self.write("info.txt", ("\ufeff" + texts["info"]).encode())
                result = run_pack("-o", self.dir / "s.exe", "--stub", self.stub, "--code-page", code_page,
                                  "--title", texts["title"], "--inf", inf, "--info-file", info,
                                  "--password", texts["password"], inputs)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertNotIn("warning", result.stderr)
                installer = (self.dir / "s.exe").read_bytes()
                parsed = pb.parse_package(installer)
                self.assertEqual(parsed.title, texts["title"].encode(encoding))
                self.assertEqual(parsed.inf, inf.encode(encoding))
                self.assertEqual(parsed.info, texts["info"].replace("\r\n", "\n").replace("\n", "\r\n")
                                 .encode(encoding))
                names = [e["name"] for e in pb.split_local_entries(installer, parsed.data_start)]
                self.assertEqual(names, [name.encode(encoding)])
                # The password as the users type it, and as it is given here.
                password = self.write("password.txt", texts["password"].encode(encoding))
                for check in (["--password-file", password],
                              ["--code-page", code_page, "--password", texts["password"]]):
                    verified = run_pack("verify", *check, self.dir / "s.exe")
                    self.assertEqual(verified.returncode, 0, verified.stderr)
                listed = run_pack("list", "--code-page", code_page, self.dir / "s.exe")
                self.assertIn(texts["title"], listed.stdout)
                self.assertIn(name, listed.stdout)

    def test_refused(self):
        self.write("a.txt", b"a")
        self.write("latin1.txt", "Grüße".encode("latin-1"))
        cases = [
            # arguments, message, exit status
            (["--title", "アプリ"], "the title cannot be converted to code page 1252 (line 1): code page 1252 has "
                                  "no character 'ア'", 1),
            (["--info", "one\ntwo ア"], "the information text cannot be converted to code page 1252 (line 2)", 1),
            (["--info-file", self.dir / "latin1.txt"], "the information text cannot be converted to code page "
                                                       "1252 (line 1): it is not UTF-8", 1),
            (["--password", "パス"], "the password given with --password cannot be converted", 1),
            ([f"ア.txt={self.dir / 'a.txt'}"], "code page 1252 has no character 'ア'", 1),
            (["--name-encoding", "1252"], "give one of them", 2),
        ]
        for args, message, status in cases:
            with self.subTest(args=args):
                self.assert_refused(["--code-page", "1252", *args, self.dir / "a.txt"], message, status=status)
        for page in ("no-such-page", "65001"):
            with self.subTest(page=page):
                self.assert_refused(["--code-page", page, self.dir / "a.txt"], "no code page", status=2)

    def test_warnings_without_it(self):
        self.write("a.txt", b"a")
        self.write("ä.txt", b"a")
        cases = [
            # arguments, warnings (each names --code-page)
            (["--title", "Café", self.dir / "a.txt"], ["the title has bytes outside ASCII"]),
            (["--info", "one\ntwo", self.dir / "a.txt"], ["the information text has line feeds without"]),
            ([self.dir / "ä.txt"], ["1 entry name(s) have bytes outside ASCII"]),
            (["--name-encoding", "1252", "--title", "Caf\xe9", self.dir / "a.txt"], []),
            (["--code-page", "1252", "--title", "Café", "--info", "one\ntwo", self.dir / "ä.txt"], []),
            (["--title", "Cafe\r\n", self.dir / "a.txt"], []),
        ]
        for args, warnings in cases:
            with self.subTest(args=args):
                result = run_pack("-o", self.dir / "w.exe", "--stub", self.stub, "--quiet", "--inf", "><a.txt",
                                  *args)
                self.assertEqual(result.returncode, 0, result.stderr)
                said = [line for line in result.stderr.splitlines() if "INF text names" not in line]
                self.assertEqual(len(said), len(warnings), result.stderr)
                for line, warning in zip(said, warnings):
                    self.assertIn(warning, line)
                    self.assertIn("--code-page", line)


def option_names(text):
    """The options a text names: "-o", "--title", ... (not the dashes of words)."""
    return set(re.findall(r"(?<![\w-])--?[a-z][a-z-]*", text))


class CommandLineTest(PackTestCase):
    def test_help_everywhere(self):
        help_text = run_pack("--help").stdout
        self.assertIn("Exit status", help_text)
        for args in (["help"], ["-h"], ["help", "list"], ["list", "--help"], ["verify", "-h"],
                     ["extract", "--help"], ["-o", "x.exe", "--help"], ["extract", "-d", "out", "-h"]):
            with self.subTest(args=args):
                result = run_pack(*args, cwd=self.dir)
                self.assertEqual((result.returncode, result.stdout, result.stderr), (0, help_text, ""))
        self.assertEqual(list(self.dir.iterdir()), [self.stub])

    def test_every_option_in_the_help_is_taken(self):
        help_text = run_pack("--help").stdout
        for option in sorted(option_names(help_text)):
            with self.subTest(option):
                # Known to the packager or to one of its commands: any other complaint is fine.
                said = [run_pack(*command, option, input="").stderr for command in ([], ["extract"])]
                self.assertFalse(all("unknown option" in text for text in said), said)

    def test_output_to_standard_output_is_refused(self):
        self.write("a.txt", b"a")
        for args in (["-o", "-"], ["-o-"], ["--output=-"]):
            with self.subTest(args=args):
                result = run_pack(*args, "--stub", self.stub, "a.txt", cwd=self.dir)
                self.assertEqual(result.returncode, 2, result.stderr)
                self.assertIn("cannot go to standard output", result.stderr)
                self.assertFalse((self.dir / "-").exists())

    def test_output_folder_is_made(self):
        self.write("a.txt", b"a")
        # As in the manual: dist/ need not exist.
        result = run_pack("-o", "dist/sub/setup.exe", "--stub", self.stub, "--split", "1440k", "a.txt",
                          cwd=self.dir)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue((self.dir / "dist" / "sub" / "setup.exe").is_file())
        # A run that fails takes away the folders it made.
        result = run_pack("-o", "new/sub/setup.exe", "--stub", self.stub, "--split", "1k", "a.txt", cwd=self.dir)
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn("too small", result.stderr)
        self.assertFalse((self.dir / "new").exists())

    def test_extract_into_the_current_folder(self):
        self.write("a.txt", b"hello")
        self.pack(self.dir / "a.txt")
        here = self.dir / "here"
        here.mkdir()
        result = run_pack("extract", self.dir / "setup.exe", cwd=here)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual((here / "a.txt").read_bytes(), b"hello")


class ExtractProgressTest(PackTestCase):
    def test_progress_on_a_terminal(self):
        big = self.dir / "big"
        big.mkdir()
        for i in range(3):
            (big / f"part{i}.bin").write_bytes(os.urandom(6 << 20))
        self.pack("--store", big)
        for quiet in ([], ["--quiet"]):
            with self.subTest(quiet=quiet):
                out = self.dir / f"out{len(quiet)}"
                status, written = test_pack.run_on_terminal("extract", *quiet, self.dir / "setup.exe", "-d", out)
                self.assertEqual(status, 0, written)
                lines = test_pack.PROGRESS.findall(written)
                if quiet:
                    self.assertEqual(lines, [])
                else:
                    self.assertTrue(lines, written)
                    self.assertTrue(all(line[1] == "18.0 MiB" and line[3] == "3" for line in lines), lines)
                self.assertEqual(sorted(p.name for p in out.iterdir()), ["part0.bin", "part1.bin", "part2.bin"])


if __name__ == "__main__":
    test_pack.PACK = pack_tool.packager_from_command_line()
    unittest.main()
