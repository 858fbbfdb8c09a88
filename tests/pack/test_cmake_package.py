"""The installed CMake package: find_package(Quillon CONFIG) against a prefix
that `cmake --install` filled from this build, and quillon_add_installer
making installers in a project's own build, again when an input changes and
not otherwise. The example of examples/cmake is cross-built with mingw-w64;
a project of its own uses the options the example leaves out.

    test_cmake_package.py BUILD_DIR
"""

import os
import shutil
import subprocess
import sys
import tempfile
import textwrap
import unittest
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
BUILD = Path(sys.argv.pop(1)).resolve() if len(sys.argv) > 1 else None
PASSWORD = "cmake secret"


def run(*command, cwd=None, check=True):
    result = subprocess.run([str(c) for c in command], capture_output=True, text=True, cwd=cwd)
    if check and result.returncode != 0:
        raise AssertionError(f"{command} failed ({result.returncode}):\n{result.stdout}{result.stderr}")
    return result


class CMakePackage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls._temp = tempfile.TemporaryDirectory(prefix="quillon-cmake-")
        cls.dir = Path(cls._temp.name)
        cls.prefix = cls.dir / "prefix"
        run("cmake", "--install", BUILD, "--prefix", cls.prefix)
        cls.packager = cls.prefix / "bin/quillon-pack"

    @classmethod
    def tearDownClass(cls):
        cls._temp.cleanup()

    def configure(self, source, build, *args, check=True):
        return run("cmake", "-S", source, "-B", build, "-G", "Ninja", f"-DCMAKE_PREFIX_PATH={self.prefix}", *args,
                   check=check)

    def build(self, build):
        return run("cmake", "--build", build).stdout

    def names(self, installer, *password):
        """The entries' names, after verify found the installer sound."""
        self.assertIn("sound", run(self.packager, "verify", *password, installer).stdout)
        lines = run(self.packager, "list", installer).stdout.splitlines()
        heading = next(n for n, line in enumerate(lines) if line.split()[:2] == ["Size", "Packed"])
        return [line.split()[-1] for line in lines[heading + 1:-1]]

    def test_example_is_cross_built_and_packed(self):
        source = self.dir / "example"
        shutil.copytree(REPO / "examples/cmake", source)
        build = self.dir / "example-build"
        self.configure(source, build, f"-DCMAKE_TOOLCHAIN_FILE={source / 'mingw-i686.cmake'}")
        self.assertIn("Packing the installer", self.build(build))
        installer = build / "hello-setup.exe"
        self.assertEqual(self.names(installer), ["hello.exe", "setup.inf", "readme.txt"])
        out = self.dir / "example-out"
        run(self.packager, "extract", installer, "-d", out)
        self.assertEqual((out / "hello.exe").read_bytes(), (build / "hello.exe").read_bytes())

        self.assertNotIn("Packing", self.build(build))
        (source / "readme.txt").write_bytes(b"A new readme.\r\n")
        self.assertIn("Packing", self.build(build))
        run(self.packager, "extract", "--overwrite", installer, "-d", out)
        self.assertEqual((out / "readme.txt").read_bytes(), b"A new readme.\r\n")

    def test_directory_password_split_and_options(self):
        source = self.dir / "features"
        payload = source / "payload"
        (payload / "sub").mkdir(parents=True)
        (payload / "setup.inf").write_bytes(b"[DefaultInstall]\r\n")
        (payload / "sub/data.bin").write_bytes(os.urandom(20000))
        (source / "password.txt").write_text(PASSWORD + "\n")
        (source / "CMakeLists.txt").write_text(textwrap.dedent("""\
            cmake_minimum_required(VERSION 3.25)
            project(Features LANGUAGES NONE)
            find_package(Quillon CONFIG REQUIRED)
            quillon_add_installer(NAME features-setup ALL TITLE "Features" INF "><setup.inf"
              DIRECTORY payload PASSWORD_FILE password.txt SPLIT 40k LICENCE_INFO "Free."
              OPTIONS --store OUTPUT dist/features.exe)
            """))
        build = self.dir / "features-build"
        self.configure(source, build)
        self.build(build)
        installer = build / "dist/features.exe"
        self.assertTrue((build / "dist/features.001").exists(), "not split")
        self.assertEqual(self.names(installer, "--password", PASSWORD), ["setup.inf", "sub/data.bin"])
        listing = run(self.packager, "list", installer).stdout
        self.assertIn("Free.", listing)
        self.assertIn("stored", listing)

        # A file added to the folder: CMake looks again, and the installer is made again.
        self.assertNotIn("Packing", self.build(build))
        (payload / "added.txt").write_bytes(b"added\r\n")
        self.assertIn("Packing", self.build(build))
        self.assertIn("added.txt", self.names(installer, "--password", PASSWORD))

    def test_missing_arguments_are_named(self):
        source = self.dir / "wrong"
        source.mkdir()
        cases = [('TITLE "T" FILES a.txt', "INF is required"),
                 ('TITLE "T" INF "><a.inf"', "give a DIRECTORY or FILES"),
                 ('COLOUR red TITLE "T" INF "><a.inf" FILES a.txt', "unknown arguments: COLOUR;red")]
        for number, (arguments, message) in enumerate(cases):
            with self.subTest(arguments=arguments):
                (source / "CMakeLists.txt").write_text(
                    "cmake_minimum_required(VERSION 3.25)\nproject(Wrong LANGUAGES NONE)\n"
                    f"find_package(Quillon CONFIG REQUIRED)\nquillon_add_installer(NAME w {arguments})\n")
                result = self.configure(source, self.dir / f"wrong-build{number}", check=False)
                self.assertNotEqual(result.returncode, 0)
                self.assertIn(message, result.stderr)


if __name__ == "__main__":
    if BUILD is None:
        sys.exit(__doc__)
    unittest.main()
