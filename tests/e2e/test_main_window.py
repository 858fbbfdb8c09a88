"""The installer's start-up and main window under Wine: what it shows for a
package, for a file without one, how it closes, where it stands, and the
fatal-error report."""

import shutil
import unittest

import stubtest as st
from stubtest import STATUS, installer

DEFAULT_INFO = '\r\r\rPlease click "Install" to start setup.'
session = None


def setUpModule():
    global session
    session = st.start()


def tearDownModule():
    st.stop()


class ShownTexts(unittest.TestCase):
    """The texts of the main window come from the package header, and the
    scrambled ones read back as the packager wrote them."""

    def test_title_and_information_text(self):
        info = "\r\nWelcome to the installation of Example 2.0.\r\nIt takes a minute." + "." * 300
        exe = installer("texts", title="Example 2.0 Setup", info=info, inf="><setup.inf")
        result = session.drive(exe, "wait-window Example 2.0 Setup\nclick IDCANCEL\nwait-exit\n", shots_name="main-texts")
        result.check()
        window = result.last_snapshot("Example 2.0 Setup")
        self.assertEqual(result.text(window, STATUS), info)
        self.assertEqual(result.text(window, 1), "&Install")
        self.assertEqual(result.text(window, 2), "&Close")
        self.assertTrue(result.control(window, 1)["enabled"] and result.control(window, 2)["enabled"])
        self.assertEqual(result.exit_code, 0)

    def test_packaged_by_quillon_pack(self):
        info = session.work / "info.txt"
        info.write_bytes(b"Packed by the packager: \xe9t\xe9 \x80 and more.")
        files = session.work / "packed-files"
        shutil.rmtree(files, ignore_errors=True)
        files.mkdir()
        (files / "setup.inf").write_text("[Version]\r\n")
        exe = st.pack(session.work / "packed.exe", "--title", "Packed", "--info-file", info, files)
        result = session.drive(exe, "wait-window Packed\nclick IDCANCEL\n", shots_name="main-packed")
        result.check()
        text = result.text(result.last_snapshot("Packed"), STATUS)
        self.assertEqual(text.encode("cp1252"), info.read_bytes())

    def test_without_information_text_the_default_text_shows(self):
        for label, fields in [("absent", {}), ("negative length", {"header_overrides": {"infoLength": -5}})]:
            with self.subTest(label):
                exe = installer("default-info", title="No Info", **fields)
                result = session.drive(exe, "wait-window No Info\nclick IDCANCEL\n", shots_name="main-default-info")
                result.check()
                self.assertEqual(result.text(result.last_snapshot("No Info"), STATUS), DEFAULT_INFO)

    def test_file_without_a_package(self):
        # The bare stub: no magic at the package offset.
        result = session.drive("setup-stub.exe", "wait-window Self-extracting Archive\nclick IDCANCEL\nwait-exit\n",
                               shots_name="main-no-package")
        result.check()
        window = result.last_snapshot("Self-extracting Archive")
        self.assertEqual(result.text(window, STATUS), "")
        self.assertEqual(result.exit_code, 0)

    def test_package_without_title_keeps_the_template_caption(self):
        exe = installer("no-title", info="Some text")
        result = session.drive(exe, "wait-window Self-extracting Archive\nclick IDCANCEL\n", shots_name="main-no-title")
        result.check()
        self.assertEqual(result.text(result.last_snapshot(), STATUS), "Some text")


class Closing(unittest.TestCase):
    """"&Close", Escape and the close box end the program with exit code 0 and
    leave nothing behind."""

    def test_ways_to_close(self):
        exe = installer("close", title="Close Me", info="x")
        for way in ["click IDCANCEL", "key escape", "close"]:
            with self.subTest(way):
                result = session.drive(exe, f"wait-window Close Me\n{way}\nwait-exit\n", shots_name="main-close")
                result.check()
                self.assertEqual(result.exit_code, 0)
        self.assertFalse(st.work().exists())

    def test_centred_on_the_screen(self):
        exe = installer("centre", title="Centred", info="x")
        result = session.drive(exe, "wait-window Centred\nclick IDCANCEL\n", shots_name="main-centre")
        result.check()
        left, top, right, bottom = result.last_snapshot("Centred")["rect"]
        self.assertEqual(left, (1024 - (right - left)) // 2)
        self.assertEqual(top, (768 - (bottom - top)) // 2)


class FatalErrors(unittest.TestCase):

    def test_information_text_too_large_to_allocate(self):
        # A length the 32-bit heap can never give: the runtime-error report.
        exe = installer("huge-info", title="Huge", info="tiny", header_overrides={"infoLength": 0x7FFFFFFF})
        result = session.drive(exe, "wait-window Error\nclick IDOK\nwait-exit\n", shots_name="main-runtime-error")
        result.check()
        box = result.last_snapshot("Error")
        self.assertRegex(result.message_text(box), r"^Runtime error 203 at [0-9A-F]{8}$")
        self.assertEqual(result.exit_code, 203)
        self.assertEqual(result.windows_with_caption("Huge"), [])


if __name__ == "__main__":
    unittest.main()
