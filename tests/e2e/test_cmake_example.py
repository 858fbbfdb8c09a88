"""The Debian package's quillon-pack makes an installer that installs under
Wine: cpack makes the package of this build, unpacked into a fresh folder as
dpkg installs it; examples/cmake finds it there through
find_package(Quillon), and its `cmake --build` cross-builds hello.exe and
packs hello-setup.exe with quillon_add_installer. Driven through, that
installer copies hello.exe and its readme to C:\\HelloCMake, where hello.exe
runs, and writes the registry value its INF file promises."""

import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path

import stubtest as st

REPO = Path(__file__).resolve().parents[2]
EXAMPLE = REPO / "examples" / "cmake"
TITLE = "Hello 1.0"
INSTALL = (f"wait-window {TITLE}\nclick IDOK\nwait-window Licence agreement\nclick IDOK\n"
           f"wait-window {TITLE}\ntimeout 120\nwait-text 2 &Finish\nclick 2\nwait-exit\n")
KEY = r"HKCU\Software\HelloCMake"

session = None


def setUpModule():
    global session
    session = st.start()


def tearDownModule():
    st.stop()


def run(*command):
    done = subprocess.run([str(c) for c in command], capture_output=True, text=True)
    if done.returncode != 0:
        raise AssertionError(f"{command} failed ({done.returncode}):\n{done.stdout}{done.stderr}")
    return done


class CMakeExample(st.InstallerTest):

    def setUp(self):
        super().setUp()
        self.installed = session.linux_path(r"C:\HelloCMake")
        self.clean()

    def tearDown(self):
        self.clean()
        super().tearDown()

    def clean(self):
        shutil.rmtree(self.installed, ignore_errors=True)
        session.run("reg", ["delete", KEY, "/f"])

    def test_the_example_installs_hello(self):
        with tempfile.TemporaryDirectory(dir=session.work) as top:
            top = Path(top)
            root, build = top / "root", top / "build"
            run("cpack", "--config", session.build_dir / "CPackConfig.cmake", "-G", "DEB", "-B", top / "cpack")
            [package] = (top / "cpack").glob("quillon_*.deb")
            run("dpkg-deb", "-x", package, root)
            prefix = root / "usr"
            run("cmake", "-S", EXAMPLE, "-B", build, "-G", "Ninja", f"-DCMAKE_PREFIX_PATH={prefix}",
                f"-DCMAKE_TOOLCHAIN_FILE={EXAMPLE / 'mingw-i686.cmake'}")
            quillon_dir = next(line for line in (build / "CMakeCache.txt").read_text().splitlines()
                               if line.startswith("Quillon_DIR:"))
            self.assertIn(str(root / "usr/share/cmake/Quillon"), quillon_dir)
            run("cmake", "--build", build)
            program = (build / "hello.exe").read_bytes()
            result = session.drive(build / "hello-setup.exe", INSTALL, shots_name="cmake-example", timeout=600,
                                   wait_timeout=120)
        result.check()
        self.assertEqual(result.exit_code, 0)
        self.assertEqual((self.installed / "hello.exe").read_bytes(), program)
        self.assertEqual((self.installed / "readme.txt").read_bytes(), (EXAMPLE / "readme.txt").read_bytes())
        self.assertEqual(session.reg_query(KEY, "Version"), "1.0")
        ran = session.run(self.installed / "hello.exe")
        self.assertIn("Hello from the Quillon CMake example!", ran.stdout)


if __name__ == "__main__":
    unittest.main()
