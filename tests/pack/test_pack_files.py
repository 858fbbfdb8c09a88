"""Tests of the files quillon-pack reads and writes: an output never replaces
a file the run reads, earlier outputs stay out of the package, and special
files (FIFOs, devices) never make it wait.

The packager is taken from $QUILLON_PACK (CTest sets it) or the first
argument.
"""

import os
import subprocess
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
import pack_tool  # noqa: E402
import package_builder as pb  # noqa: E402
import test_pack  # noqa: E402
from test_pack import PackTestCase, TREE_ORDER, plain_zip, split_files  # noqa: E402

# Only against a packager that waits for ever: the tests end with the run.
HANG_GUARD = 120


def run_pack(*args, cwd=None, input=None, timeout=HANG_GUARD):
    env = {**os.environ, "TZ": "UTC0"}
    return subprocess.run([test_pack.PACK, *map(str, args)], capture_output=True, cwd=cwd, env=env,
                          text=True, errors="replace", input=input, timeout=timeout)


def snapshot(root: Path):
    """Every path below root with its kind and bytes (links as their target)."""
    found = {}
    for path in sorted(root.rglob("*")):
        if path.is_symlink():
            found[path] = ("link", os.readlink(path))
        elif path.is_file():
            found[path] = ("file", path.read_bytes())
        else:
            found[path] = ("other", None)
    return found


class OutputIsNoInputTest(PackTestCase):
    """An output (installer or part file) that is, or is the same file as, a
    file the run reads is refused before anything is written."""

    def inputs(self):
        """The file of each role and the arguments that give it that role."""
        other = self.write("other.txt", b"other")
        self.write("in.txt", b"a file of the user's")
        return {
            "input": (self.dir / "in.txt", [self.dir / "in.txt"]),
            "information text file": (self.write("info.txt", b"Welcome\r\n"),
                                      ["--info-file", self.dir / "info.txt", other]),
            "licence text file": (self.write("licence.txt", b"Licence\r\n"),
                                  ["--licence-file", self.dir / "licence.txt", other]),
            "password file": (self.write("password.txt", b"secret\n"),
                              ["--password-file", self.dir / "password.txt", other]),
            "description file": (self.write("package.ini", b"[inputs]\ninput = other.txt\n"),
                                 ["-c", self.dir / "package.ini"]),
            "stub": (self.stub, [other]),
            "archive": (self.write("program.zip", plain_zip({"a.txt": b"a"})),
                        ["--from-zip", self.dir / "program.zip"]),
        }

    def test_refused(self):
        for role, (path, args) in self.inputs().items():
            outputs = {
                "the same path": path,
                "a hard link": self.dir / f"hard-{path.name}",
                "a symbolic link": self.dir / f"symbolic-{path.name}",
            }
            os.link(path, outputs["a hard link"])
            outputs["a symbolic link"].symlink_to(path.name)
            for form, output in outputs.items():
                with self.subTest(role=role, output=form):
                    before = snapshot(self.dir)
                    result = run_pack("-o", output, "--stub", self.stub, *args)
                    self.assertEqual(result.returncode, 1, result.stderr)
                    self.assertIn(f"the {role} '{path}': writing the installer would destroy it",
                                  result.stderr)
                    self.assertEqual(snapshot(self.dir), before)

    def test_part_file_is_an_input(self):
        part = self.write("setup.001", b"a file named like a part")
        for split in (["--split", "40000"], ["--split", "1g"]):
            with self.subTest(split=split):
                result = run_pack("-o", self.dir / "setup.exe", "--stub", self.stub, *split, part)
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertIn(f"part file '{part}' of the installer is the input", result.stderr)
                self.assertEqual(part.read_bytes(), b"a file named like a part")
                self.assertFalse((self.dir / "setup.exe").exists())
        # Without --split no part file is written: the file is an input like any other.
        self.pack(part)

    def test_output_is_a_file_of_an_input_directory(self):
        # -o mixed up with --inf: the INF file would become the installer.
        root, _ = self.tree()
        (root / "setup.inf").write_bytes(b"[Version]\r\n")
        before = snapshot(self.dir)
        result = run_pack("-o", root / "setup.inf", "--stub", self.stub, root)
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn("a file of an input directory and no installer", result.stderr)
        self.assertEqual(snapshot(self.dir), before)


class EarlierOutputTest(PackTestCase):
    """The files of an earlier run inside an input directory are left out."""

    def test_left_out(self):
        cases = [
            # the earlier run, this run
            ([], []),
            (["--split", "40000"], ["--split", "40000"]),
            (["--split", "40000"], []),
            ([], ["--split", "40000"]),
        ]
        for earlier, now in cases:
            with self.subTest(earlier=earlier, now=now):
                root = self.dir / f"tree-{len(earlier)}-{len(now)}"
                root.mkdir()
                test_pack.make_tree(root)
                (root / "big.bin").write_bytes(os.urandom(60_000))
                output = root / "setup.exe"
                self.pack(*earlier, root, output=output)
                self.assertEqual(len(split_files(output)) > 1, bool(earlier))
                self.pack(*now, root, output=output)
                files = split_files(output) if now else [output]
                joined = b"".join(path.read_bytes() for path in files)
                names = [entry["name"].decode() for entry in pb.split_local_entries(
                    joined, pb.parse_package(joined).data_start)]
                self.assertEqual(sorted(names), sorted(TREE_ORDER + ["big.bin"]))


@unittest.skipUnless(hasattr(os, "mkfifo"), "no FIFOs here")
class SpecialFileTest(PackTestCase):
    """A FIFO or a device is refused without waiting on it; a text or a
    password may come from a pipe and is read to its end."""

    def setUp(self):
        super().setUp()
        self.fifo = self.dir / "fifo"
        os.mkfifo(self.fifo)
        self.file = self.write("a.txt", b"a")

    def test_refused(self):
        folder = self.dir / "folder"
        folder.mkdir()
        os.mkfifo(folder / "fifo")
        pack = ["-o", "x.exe", "--stub", self.stub]
        cases = [
            # arguments, what the message says
            (["-o", "x.exe", "--stub", "fifo", "a.txt"], "stub 'fifo' is a pipe (FIFO)"),
            (["-o", "x.exe", "--stub", "/dev/null", "a.txt"], "stub '/dev/null' is a device"),
            (pack + ["fifo"], "input 'fifo' is a pipe (FIFO)"),
            (pack + ["folder"], "input 'folder/fifo' is a pipe (FIFO)"),
            (pack + ["--from-zip", "fifo"], "archive 'fifo' is a pipe (FIFO)"),
            (pack + ["-c", "fifo"], "description file 'fifo' is a pipe (FIFO)"),
            (pack + ["--info-file", "/dev/zero", "a.txt"], "information text file '/dev/zero' is a device"),
            (["list", "fifo"], "'fifo' is a pipe (FIFO)"),
            (["verify", "fifo"], "'fifo' is a pipe (FIFO)"),
            (["extract", "fifo", "-d", "out"], "'fifo' is a pipe (FIFO)"),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                result = run_pack(*args, cwd=self.dir)
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertIn(message, result.stderr)
                self.assertFalse((self.dir / "x.exe").exists())

    def test_part_file_is_a_fifo(self):
        (self.dir / "big.bin").write_bytes(os.urandom(60_000))
        setup = self.dir / "split" / "setup.exe"
        setup.parent.mkdir()
        self.pack("--split", "40000", self.dir / "big.bin", output=setup)
        part = setup.with_name("setup.001")
        part.unlink()
        os.mkfifo(part)
        result = run_pack("list", setup)
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn(f"'{part}' is a pipe (FIFO), not a regular file", result.stderr)

    def test_texts_and_passwords_from_pipes(self):
        info = b"Welcome\r\n" * 30_000  # more than a pipe holds at once
        script = ('"$0" -o setup.exe --stub stub.exe --password-file <(printf secret) '
                  '--info-file /dev/stdin a.txt')
        result = subprocess.run(["bash", "-c", script, test_pack.PACK], cwd=self.dir, input=info,
                                capture_output=True, timeout=HANG_GUARD, env={**os.environ, "TZ": "UTC0"})
        self.assertEqual(result.returncode, 0, result.stderr)
        parsed = pb.parse_package((self.dir / "setup.exe").read_bytes())
        self.assertEqual(parsed.info, info)
        verified = run_pack("verify", "--password-file", "/dev/stdin", self.dir / "setup.exe",
                                    input="secret\n")
        self.assertEqual(verified.returncode, 0, verified.stderr)

    def test_fifo_without_writer_ends_at_once(self):
        # A text from a FIFO that nobody writes is empty; a password so is refused.
        result = run_pack("-o", self.dir / "setup.exe", "--stub", self.stub, "--info-file", self.fifo, self.file)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(pb.parse_package((self.dir / "setup.exe").read_bytes()).info, b"")
        result = run_pack("-o", self.dir / "p.exe", "--stub", self.stub, "--password-file", self.fifo,
                                  self.file)
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn("is empty", result.stderr)


if __name__ == "__main__":
    test_pack.PACK = pack_tool.packager_from_command_line()
    unittest.main()
