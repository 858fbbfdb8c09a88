"""The README's tutorial works: its packing commands, run as they stand there
with the quillon-pack of this build on PATH, as an install puts it there,
make an installer that, driven through under Wine, copies the sample program
to C:\\Hello and writes the registry value that the tutorial's INF file
promises."""

import os
import re
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path

import stubtest as st

REPO = Path(__file__).resolve().parents[2]
TITLE = "Hello 1.0"
INSTALL = (f"wait-window {TITLE}\nclick IDOK\nwait-window Licence agreement\nclick IDOK\n"
           f"wait-window {TITLE}\ntimeout 120\nwait-text 2 &Finish\nclick 2\nwait-exit\n")

session = None


def setUpModule():
    global session
    session = st.start()


def tearDownModule():
    st.stop()


def tutorial_commands() -> str:
    """The shell block of the README that the tutorial's marker introduces."""
    readme = (REPO / "README.md").read_text(encoding="utf-8")
    marker = readme.index("test_tutorial.py runs the commands of this block")
    return re.search(r"```sh\n(.*?)```", readme[marker:], re.S).group(1)


class Tutorial(st.InstallerTest):

    def setUp(self):
        super().setUp()
        self.installed = session.linux_path(r"C:\Hello")
        self.clean()

    def tearDown(self):
        self.clean()
        super().tearDown()

    def clean(self):
        shutil.rmtree(self.installed, ignore_errors=True)
        session.run("reg", ["delete", r"HKCU\Software\Hello", "/f"])

    def test_the_tutorial_installs_hello(self):
        # The commands run from the top of a repository whose examples are
        # these, with this build's quillon-pack on PATH as an install puts it
        # there (it finds the stub through the link).
        with tempfile.TemporaryDirectory(dir=session.work) as top:
            top = Path(top)
            (top / "examples").symlink_to(REPO / "examples")
            (top / "bin").mkdir()
            (top / "bin" / "quillon-pack").symlink_to(session.pack_tool)
            env = dict(os.environ, PATH=f"{top / 'bin'}{os.pathsep}{os.environ.get('PATH', '')}")
            packed = subprocess.run(["bash", "-euc", tutorial_commands()], cwd=top, capture_output=True, text=True,
                                    env=env)
            self.assertEqual(packed.returncode, 0, packed.stdout + packed.stderr)
            self.assertIn("setup.inf", packed.stdout)
            installer = top / "hello-setup.exe"
            result = session.drive(installer, INSTALL, shots_name="tutorial", timeout=600, wait_timeout=120)
        result.check()
        self.assertEqual(result.exit_code, 0)
        program = REPO / "examples" / "tutorial" / "hello"
        for name in ("hello.bat", "readme.txt"):
            self.assertEqual((self.installed / name).read_bytes(), (program / name).read_bytes(), name)
        self.assertEqual(session.reg_query(r"HKCU\Software\Hello", "Version"), "1.0")


if __name__ == "__main__":
    unittest.main()
