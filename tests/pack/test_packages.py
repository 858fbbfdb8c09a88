"""The packages that cpack makes, used as a user gets them: the Debian
package unpacked into a fresh folder (as dpkg installs it, without touching
the machine), whose quillon-pack alone packs, lists, verifies and extracts an
installer; its declared dependencies and lintian's verdict; and the zip for
Windows with the programs, the manual and the licence.

    test_packages.py BUILD_DIR VERSION [--windows]
"""

import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile
from pathlib import Path

BUILD = Path(sys.argv.pop(1)).resolve() if len(sys.argv) > 1 else None
VERSION = sys.argv.pop(1) if len(sys.argv) > 1 else None
WINDOWS = "--windows" in sys.argv
if WINDOWS:
    sys.argv.remove("--windows")

# Lintian tags the package may draw, each with its reason: none.
ACCEPTED_LINTIAN_TAGS = set()


def run(*command, **kwargs):
    result = subprocess.run([str(c) for c in command], capture_output=True, text=True, **kwargs)
    if result.returncode != 0:
        raise AssertionError(f"{command} failed ({result.returncode}):\n{result.stdout}{result.stderr}")
    return result


def make_package(generator: str, where: Path) -> Path:
    """Runs cpack for one generator into its own folder; the package's path."""
    run("cpack", "--config", BUILD / "CPackConfig.cmake", "-G", generator, "-B", where)
    made = [p for p in where.iterdir() if p.is_file() and p.suffix in (".deb", ".zip")]
    assert len(made) == 1, made
    return made[0]


class DebianPackage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls._temp = tempfile.TemporaryDirectory(prefix="quillon-deb-")
        cls.dir = Path(cls._temp.name)
        cls.deb = make_package("DEB", cls.dir / "cpack")
        cls.root = cls.dir / "root"
        run("dpkg-deb", "-x", cls.deb, cls.root)

    @classmethod
    def tearDownClass(cls):
        cls._temp.cleanup()

    def test_name_version_and_dependencies(self):
        self.assertEqual(self.deb.name, f"quillon_{VERSION}_{run('dpkg', '--print-architecture').stdout.strip()}.deb")
        fields = {field: run("dpkg-deb", "-f", self.deb, field).stdout.strip()
                  for field in ("Package", "Version", "Depends")}
        self.assertEqual(fields["Package"], "quillon")
        self.assertEqual(fields["Version"], VERSION)
        # Found by dpkg-shlibdeps in the program itself.
        depends = {d.split()[0] for d in fields["Depends"].split(", ")}
        self.assertTrue({"libc6", "libdeflate0", "libstdc++6"} <= depends, fields["Depends"])

    def test_installed_copy_packs_lists_verifies_and_extracts(self):
        packager = self.root / "usr/bin/quillon-pack"
        stub = self.root / "usr/share/quillon/setup-stub.exe"
        work = self.dir / "work"
        (work / "tree/sub").mkdir(parents=True)
        files = {"setup.inf": b"[DefaultInstall]\r\n", "sub/data.txt": b"data\r\n" * 100}
        for name, data in files.items():
            (work / "tree" / name).write_bytes(data)
        # Only the unpacked package: no variable of the build, nothing of it on PATH.
        env = {"PATH": "/usr/bin:/bin", "LC_ALL": "C.UTF-8", "TZ": "UTC0"}

        def pack(*args):
            return run(packager, *args, cwd=work, env=env)

        self.assertEqual(pack("--version").stdout, f"quillon-pack {VERSION}\n")
        pack("-o", "setup.exe", "--title", "Test", "--inf", "><setup.inf", "tree")
        installer = (work / "setup.exe").read_bytes()
        self.assertTrue(installer.startswith(stub.read_bytes()), "the installer does not start with the package's stub")
        listing = pack("list", "setup.exe").stdout
        for name in files:
            self.assertIn(name, listing)
        self.assertIn("sound", pack("verify", "setup.exe").stdout)
        pack("extract", "setup.exe", "-d", "out")
        for name, data in files.items():
            self.assertEqual((work / "out" / name).read_bytes(), data)

    @unittest.skipUnless(shutil.which("lintian"), "lintian is not installed (scripts/setup.sh installs it)")
    def test_lintian(self):
        # Exit status 2 means tags were found, also at levels it does not fail on.
        result = subprocess.run(["lintian", "--info", "--pedantic", "--tag-display-limit", "0", str(self.deb)],
                                capture_output=True, text=True)
        tags = {line.split()[2] for line in result.stdout.splitlines() if line[:2] in ("E:", "W:", "I:", "P:")}
        self.assertEqual(tags - ACCEPTED_LINTIAN_TAGS, set(), result.stdout)


@unittest.skipUnless(WINDOWS, "the Windows builds are off")
class WindowsZip(unittest.TestCase):
    def test_contents(self):
        with tempfile.TemporaryDirectory(prefix="quillon-zip-") as temp:
            package = make_package("ZIP", Path(temp))
            self.assertEqual(package.name, f"quillon-{VERSION}-win32.zip")
            with zipfile.ZipFile(package) as archive:
                self.assertIsNone(archive.testzip())
                top = f"quillon-{VERSION}-win32/"
                names = {n.removeprefix(top) for n in archive.namelist() if not n.endswith("/")}
                self.assertEqual(names, {"quillon-pack.exe", "setup-stub.exe", "quillon-pack.txt", "LICENSE.txt",
                                         "notices/libdeflate.txt", "notices/mingw-w64.txt"})
                manual = archive.read(top + "quillon-pack.txt")
                self.assertIn(b"Usage:", manual)
                self.assertEqual(manual.count(b"\n"), manual.count(b"\r\n"), "line ends are not CR LF")
                self.assertEqual(archive.read(top + "setup-stub.exe"),
                                 (BUILD / "target/setup-stub.exe").read_bytes())
                self.assertTrue(archive.read(top + "quillon-pack.exe").startswith(b"MZ"))


if __name__ == "__main__":
    if BUILD is None or VERSION is None:
        sys.exit(__doc__)
    unittest.main()
