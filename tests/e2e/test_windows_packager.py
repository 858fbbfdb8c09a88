"""quillon-pack.exe, the packager built for Windows, under Wine: it makes the
same installers byte for byte as the host's quillon-pack from the same inputs
and options (a directory tree, a description file, a split with a password),
reads Windows paths (drive letters, backslashes, names in the ANSI code
page), and lists, verifies and extracts what it made.

The ANSI code page of the Wine run is 1252, so the host packager is given
--name-encoding cp1252 to write the same name bytes. The test seed makes the
encryption headers of both runs the same.
"""

import os
import shutil
import subprocess
import unittest
from pathlib import Path

import harness
import stubtest as st

# 2024-05-17 13:45:30 UTC; both packagers run in UTC.
MTIME = 1715953530
FILES = {
    "setup.inf": b"[Version]\r\nSignature=\"$Windows NT$\"\r\n",
    "docs/read me.txt": b"Read me, please.\r\n" * 200,
    "docs/caf\u00e9.txt": b"Un caf\xe9, s'il vous pla\xeet.\r\n",
    "data/random.bin": bytes((i * 7919 + 13) % 251 for i in range(60_000)),
    "data/empty.bin": b"",
}
EMPTY_DIRECTORY = "logs"
TEST_SEED = {"QUILLON_PACK_TEST_SEED": "11"}
PASSWORD = "Open sesame 7"

session = None


def setUpModule():
    global session
    session = harness.WineSession()
    session.start()


def tearDownModule():
    session.stop()


def windows_packager() -> Path:
    default = session.build_dir / "target-pack" / "quillon-pack.exe"
    return Path(os.environ.get("QUILLON_WINDOWS_PACK", default))


class WindowsPackager(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.exe = windows_packager()
        if not cls.exe.exists():
            raise unittest.SkipTest(f"{cls.exe} is not built (QUILLON_WINDOWS_PACK=ON builds it)")
        cls.stub = session.target_dir / "setup-stub.exe"
        cls.scratch = session.work / "windows-packager"
        shutil.rmtree(cls.scratch, ignore_errors=True)
        cls.files = cls.scratch / "files"
        st.write_tree(cls.files, FILES, MTIME)
        (cls.files / EMPTY_DIRECTORY).mkdir()
        os.utime(cls.files / EMPTY_DIRECTORY, (MTIME, MTIME))
        (cls.scratch / "info.txt").write_bytes(b"Welcome!\r\nThis installs the test files.\r\n")
        (cls.scratch / "licence.txt").write_bytes(b"Be nice.\r\n")
        (cls.scratch / "password.txt").write_bytes(PASSWORD.encode() + b"\r\n")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def on_linux(self, *args, check=True, name_encoding=True):
        encoding = ["--name-encoding", "cp1252"] if name_encoding else []
        result = subprocess.run([str(session.pack_tool), *encoding, *map(str, args)],
                                cwd=self.scratch, capture_output=True, text=True,
                                env={**os.environ, "TZ": "UTC0", **TEST_SEED})
        if check:
            self.assertEqual(result.returncode, 0, result.stderr)
        return result

    def on_windows(self, *args, check=True, env=None):
        result = session.run(self.exe, args, cwd=self.scratch, timeout=300, env={"TZ": "UTC0", **(env or {})})
        self.assertFalse(result.timed_out, "quillon-pack.exe did not finish")
        if check:
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        return result

    def assert_same_files(self, linux: Path, windows: Path):
        self.assertTrue(windows.exists(), f"{windows.name} was not written")
        self.assertEqual(linux.read_bytes(), windows.read_bytes(), f"{windows.name} differs from {linux.name}")

    def common_options(self, windows=True):
        stub = session.windows_path(self.stub) if windows else self.stub
        return ["--stub", stub, "--title", "Windows Packager", "--inf", "><setup.inf",
                "--info-file", "info.txt", "--licence-file", "licence.txt", "--quiet"]

    def test_a_tree_packs_as_on_linux(self):
        # Windows paths in every form: drive letter and backslashes, relative
        # with backslashes, NAME=PATH.
        inputs = [session.windows_path(self.files), r"extra/setup-copy.inf=files\setup.inf"]
        self.on_windows("-o", "windows.exe", *self.common_options(), *inputs)
        self.on_linux("-o", "linux.exe", *self.common_options(windows=False), self.files,
                      "extra/setup-copy.inf=files/setup.inf")
        self.assert_same_files(self.scratch / "linux.exe", self.scratch / "windows.exe")

    def test_description_file_packs_as_on_linux(self):
        ini = ("[installer]\noutput = {out}\nstub = {stub}\ntitle = From a file\ninf = ><setup.inf\n"
               "info-file = info.txt\nlevel = 6\nadmin = yes\n[inputs]\nbase = {files}\ninput = {docs}\n")
        (self.scratch / "windows.ini").write_text(ini.format(
            out=r"out\windows-ini.exe", stub=session.windows_path(self.stub), files="files", docs=r"files\docs"))
        (self.scratch / "linux.ini").write_text(ini.format(
            out="out/linux-ini.exe", stub=self.stub, files="files", docs="files/docs"))
        (self.scratch / "out").mkdir(exist_ok=True)
        self.on_windows("-c", "windows.ini", "--quiet")
        self.on_linux("-c", "linux.ini", "--quiet")
        self.assert_same_files(self.scratch / "out" / "linux-ini.exe", self.scratch / "out" / "windows-ini.exe")

    def test_code_page_packs_as_on_linux(self):
        # Texts and the password given in each machine's own way (Wine's ANSI
        # code page is 1252, here UTF-8) come out alike: converted to 1252,
        # with CR LF line ends; a file's UTF-8 byte order mark says UTF-8 on both.
        (self.scratch / "info-utf8.txt").write_bytes("\ufeffBienvenue au caf\u00e9\nDeux lignes\n".encode())
        options = ["--code-page", "1252", "--title", "Caf\u00e9 1.0", "--inf", "><setup.inf",
                   "--info-file", "info-utf8.txt", "--password", "p\u00e4sswort", "--quiet"]
        self.on_windows("-o", "windows-cp.exe", "--stub", session.windows_path(self.stub), *options, "files",
                        env=TEST_SEED)
        self.on_linux("-o", "linux-cp.exe", "--stub", self.stub, *options, "files", name_encoding=False)
        self.assert_same_files(self.scratch / "linux-cp.exe", self.scratch / "windows-cp.exe")
        installer = (self.scratch / "windows-cp.exe").read_bytes()
        self.assertIn("Caf\u00e9 1.0".encode("cp1252"), installer)

    def test_split_with_password_packs_as_on_linux_and_reads_back(self):
        options = ["--level", "0", "--split", "40k", "--password-file", "password.txt"]
        (self.scratch / "win").mkdir(exist_ok=True)
        (self.scratch / "lin").mkdir(exist_ok=True)
        self.on_windows("-o", r"win\setup.exe", *self.common_options(), *options, "files", env=TEST_SEED)
        self.on_linux("-o", "lin/setup.exe", *self.common_options(windows=False), *options, "files")
        parts = sorted(p.name for p in (self.scratch / "lin").iterdir())
        self.assertEqual(parts[:2], ["setup.001", "setup.002"])
        self.assertEqual(sorted(p.name for p in (self.scratch / "win").iterdir()), parts)
        for name in parts:
            self.assert_same_files(self.scratch / "lin" / name, self.scratch / "win" / name)

        listed = self.on_windows("list", r"win\setup.exe")
        self.assertIn("read me.txt", listed.stdout)
        self.on_windows("verify", "--password-file", "password.txt", r"win\setup.exe")
        (self.scratch / "wrong.txt").write_bytes(b"not it\r\n")
        wrong = self.on_windows("verify", "--password-file", "wrong.txt", r"win\setup.exe", check=False)
        self.assertEqual(wrong.returncode, 1, wrong.stdout + wrong.stderr)

        unpacked = self.scratch / "unpacked"
        self.on_windows("extract", "--password-file", "password.txt", "-d", session.windows_path(unpacked),
                        r"win\setup.exe")
        for relative, data in FILES.items():
            path = unpacked / relative
            self.assertEqual(path.read_bytes(), data, relative)
            self.assertEqual(int(path.stat().st_mtime), MTIME, relative)
        self.assertTrue((unpacked / EMPTY_DIRECTORY).is_dir())
        # An existing file is kept, and the run says so.
        kept = self.on_windows("extract", "--password-file", "password.txt", "-d", session.windows_path(unpacked),
                               r"win\setup.exe", check=False)
        self.assertEqual(kept.returncode, 1, kept.stdout + kept.stderr)


if __name__ == "__main__":
    unittest.main()
