"""Packages that must not install: unsafe or unusable entry names, paths
too long for the file functions, files that cannot be created, unknown
compression, damaged data, no entries at all. Each ends the installation
with its message, never runs the setup engine, and writes nothing outside
the work directory."""

import os
import re
import time
import unittest

import package_builder as pb
import stubtest as st
from stubtest import ESCAPE, STATUS

TITLE = "Bad Package"
INVALID = ("Invalid filename.", "Error")
DAMAGED = ("Error extracting file(s).", "Error")
CANNOT_OPEN = "Cannot open file .."


def setUpModule():
    st.start()


def tearDownModule():
    st.stop()


class FailedInstall(st.InstallerTest):
    """Runs packages whose installation fails with a message box."""

    @classmethod
    def setUpClass(cls):
        cls.runner = st.Runner().__enter__()

    @classmethod
    def tearDownClass(cls):
        cls.runner.__exit__(None, None, None)

    def fail_install(self, entries, caption="Error", answers="", **package):
        """Installs; expects one message box with this caption after the
        answers, then the window's end."""
        st.clear_work()
        self.runner.record.unlink(missing_ok=True)
        exe = st.installer("bad", title=TITLE, inf="><setup.inf", entries=entries, **package)
        # The main window is looked at while the box is open.
        script = f"wait-window {TITLE}\nclick 1\n{answers}wait-window {caption}\nwait-window {TITLE}\n" \
                 f"wait-window {caption}\nclick IDOK\nwait-exit\n"
        result = st.session.drive(exe, script, shots_name="bad-package", env=self.runner.env).check()
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(self.runner.records(), [], "the setup engine ran")
        [box] = st.boxes(result)
        st.assert_plain_box(self, box)
        return result

    def message(self, result):
        [box] = st.boxes(result)
        return result.message_text(box), box["caption"]

    def status(self, result):
        """The main window's status text while the message box was open."""
        return result.text(result.last_snapshot(TITLE), STATUS)

    def test_unsafe_names(self):
        # Each stands behind a harmless first file, which stays: a failed
        # extraction leaves what it wrote.
        # Leading separators are stripped ("/x" installs as "x", see
        # test_entry_names), but not in front of a drive or "..", and two of
        # them make a server or device path.
        names = [
            b"", b"\0" + ESCAPE.encode(), b"/", b"\\/",
            b"C:\\" + ESCAPE.encode(), b"C:/" + ESCAPE.encode(), b"/C:\\" + ESCAPE.encode(),
            b"C:" + ESCAPE.encode(), b"\\\\server\\share\\" + ESCAPE.encode(), b"//server/share/" + ESCAPE.encode(),
            b"\\\\.\\" + ESCAPE.encode(), b"/../" + ESCAPE.encode(),
            b"../" + ESCAPE.encode(), b"..\\" + ESCAPE.encode(), b"sub/../../" + ESCAPE.encode(),
            b"sub\\..\\..\\" + ESCAPE.encode(), b"..", b"sub/..", b"../", b"sub/../x/",
            b"first.txt:stream", b"a*.txt", b"a?.txt", b'a".txt', b"a<.txt", b"a>.txt", b"a|.txt",
            b"a\x01.txt", b"tab\there.txt", b"a\x1f.txt", b"sub/\x7f\x05.txt",
            b"CON", b"con.txt", b"sub/NUL", b"Aux.tar.gz", b"PRN ", b"prn .txt", b"COM1", b"sub/com9.log/x.txt",
            b"LPT1", b"lpt9.txt",
            # Nothing left once Windows has dropped "." and trailing dots and blanks.
            b".", b"./.", b"...", b"sub/.../x", b" ", b"sub/ /x",
        ]
        for name in names:
            with self.subTest(name=name):
                result = self.fail_install([pb.stored("first.txt", b"first"), pb.stored(name, b"evil")])
                self.assertEqual(self.message(result), INVALID)
                self.assertEqual(st.tree(st.work()), {"first.txt": b"first"})
                self.assertEqual(st.directories(st.work()), set())
                self.assert_nothing_escaped()

    def test_name_lengths(self):
        room = 259 - len(st.WORK) - 1  # the longest name whose full path the file functions take
        fits = "d/" + "n" * (room - 2)
        # The last entry fails on purpose, so that the files stay to be looked at.
        result = self.fail_install([pb.stored(fits, b"fits"), pb.stored("z.bin", b"z", crc=1)])
        self.assertEqual(self.message(result), DAMAGED)
        self.assertEqual(st.tree(st.work()), {fits: b"fits", "z.bin": b"z"})

        # (label, entry, caption of the message)
        cases = [
            ("one byte more", pb.stored("d/" + "n" * (room - 1), b"long"), CANNOT_OPEN),
            ("a name over 255 bytes", pb.stored("n" * 256, b"long"), "Error"),
            ("name too long to read", pb.stored("n" * 258, b"long"), "Error"),
            ("length beyond the data", pb.stored("short.txt", b"x", name_length=0xFFFF), "Error"),
        ]
        for label, entry, caption in cases:
            with self.subTest(label):
                result = self.fail_install([pb.stored("setup.inf", b"[Version]\r\n"), entry], caption=caption)
                text, _ = self.message(result)
                if caption == CANNOT_OPEN:
                    # The path, cut where the buffer ends.
                    full = st.WORK + "\\" + entry.name.replace("/", "\\")
                    self.assertTrue(text and full.startswith(text), text)
                else:
                    self.assertEqual(text, INVALID[0])
                self.assertEqual(st.tree(st.work()), {"setup.inf": b"[Version]\r\n"})

    def test_files_that_cannot_be_created(self):
        cases = [
            ("below a file", [pb.stored("a.txt", b"a"), pb.stored("a.txt/b.txt", b"b")], "",
             st.WORK + r"\a.txt\b.txt"),
            # The directory counts as an existing file: the prompt asks first.
            ("over a directory", [pb.stored("sub/"), pb.stored("sub", b"s")], "wait-window-any\nclick 1\nwait-gone\n",
             st.WORK + r"\sub"),
        ]
        for label, entries, answers, path in cases:
            with self.subTest(label):
                result = self.fail_install(entries + [pb.stored("setup.inf", b"[Version]\r\n")], caption=CANNOT_OPEN,
                                           answers=answers)
                self.assertEqual(self.message(result), (path, CANNOT_OPEN))
                self.assertNotIn("setup.inf", st.tree(st.work()))

    def test_directory_that_cannot_be_created(self):
        # A directory below a file: the fatal-error report, with the system's
        # error number as the exit code, and nothing run.
        exe = st.installer("bad-directory", title=TITLE, inf="><setup.inf",
                           entries=[pb.stored("a.txt", b"a"), pb.stored("a.txt/sub/b.txt", b"b"),
                                    pb.stored("setup.inf", b"[Version]\r\n")])
        result = st.session.drive(exe, f"wait-window {TITLE}\nclick 1\nwait-window Error\nclick IDOK\nwait-exit\n",
                                  shots_name="bad-directory", env=self.runner.env).check()
        [box] = st.boxes(result)
        match = re.fullmatch(r"Runtime error +(\d+) at [0-9A-F]{8}", result.message_text(box))
        self.assertIsNotNone(match, result.message_text(box))
        self.assertEqual(len(result.message_text(box)), len("Runtime error     at 00000000"))
        self.assertNotEqual(int(match.group(1)), 0)
        self.assertEqual(result.exit_code, int(match.group(1)))
        self.assertEqual(self.runner.records(), [])
        self.assertEqual(st.tree(st.work()), {"a.txt": b"a"})

    def test_unknown_compression(self):
        stamp = (2001, 2, 3, 4, 5, 6)
        result = self.fail_install([pb.stored("setup.inf", b"[Version]\r\n"),
                                    pb.Entry("odd.bin", b"some data", method=12, date_time=stamp),
                                    pb.stored("later.txt", b"later")])
        self.assertEqual(self.message(result), ("Unknown compression type", "Error"))
        self.assertEqual(self.status(result), st.EXTRACTING + st.WORK + r"\odd.bin")
        # Created, time-stamped and left empty; nothing after it is read.
        self.assertEqual(st.tree(st.work()), {"setup.inf": b"[Version]\r\n", "odd.bin": b""})
        self.assertEqual(os.stat(st.work("odd.bin")).st_mtime, time.mktime(stamp + (0, 0, -1)))

    def test_crc_mismatch(self):
        data = bytes(range(256)) * 200
        for entry in (pb.stored("bad.bin", data, crc=pb.crc32(data) ^ 1),
                      pb.deflated("bad.bin", data, crc=pb.crc32(data) ^ 0x80000000)):
            with self.subTest(method=entry.method):
                result = self.fail_install([pb.stored("setup.inf", b"[Version]\r\n"), entry,
                                            pb.stored("later.txt", b"later")])
                self.assertEqual(self.message(result), DAMAGED)
                self.assertEqual(self.status(result), st.EXTRACTING + st.WORK + r"\bad.bin")
                self.assertEqual(st.tree(st.work()), {"setup.inf": b"[Version]\r\n", "bad.bin": data})

    def test_no_entries(self):
        cases = [
            ("nothing", [], "central"),
            ("trailer only", [], "rsf"),
            ("unknown signature first", [b"PK\x05\x05" + bytes(26), pb.stored("a.txt", b"a")], "rsf"),
        ]
        for label, entries, ending in cases:
            with self.subTest(label):
                result = self.fail_install(entries, ending=ending)
                self.assertEqual(self.message(result), DAMAGED)
                self.assertFalse(st.work().exists() and any(st.work().iterdir()))

    def test_encrypted_entry_shorter_than_its_header(self):
        # Its encryption header would be read from what follows it: damaged,
        # at once, without a password prompt.
        short = pb.stored("short.txt", b"", payload=b"12345", flags=pb.FLAG_ENCRYPTED)
        result = self.fail_install([pb.stored("setup.inf", b"[Version]\r\n"), short, pb.stored("later.txt", b"later")])
        self.assertEqual(self.message(result), DAMAGED)
        self.assertEqual(st.tree(st.work()), {"setup.inf": b"[Version]\r\n"})

    def test_last_entry_decides(self):
        # Three wrong passwords skip an entry. When it is the last one the
        # installation fails, although everything before it was written.
        wrong = "".join("wait-window-any\ntype 101 wrong\nclick 1\nwait-gone\n" for _ in range(3))
        result = self.fail_install([pb.stored("setup.inf", b"[Version]\r\n"),
                                    pb.stored("secret.txt", b"secret", password=b"right")], answers=wrong)
        self.assertEqual(self.message(result), DAMAGED)
        self.assertEqual(st.tree(st.work()), {"setup.inf": b"[Version]\r\n"})



class SkippedEntry(st.InstallerTest):

    def test_skipped_entry_before_the_last_does_not_fail(self):
        exe = st.installer("bad-skip", title=TITLE, inf="><setup.inf", wait_for_finish=False,
                           entries=[pb.stored("secret.txt", b"secret", password=b"right"),
                                    pb.stored("setup.inf", b"[Version]\r\n")])
        wrong = "".join("wait-window-any\ntype 101 wrong\nclick 1\nwait-gone\n" for _ in range(3))
        with st.Runner(copy_to=self.copy) as runner:
            result = st.session.drive(exe, f"wait-window {TITLE}\nclick 1\n{wrong}wait-exit\n",
                                      shots_name="bad-skip", env=runner.env).check()
            self.assertEqual(len(runner.records()), 1)
        self.assertEqual(st.boxes(result), [])
        self.assertEqual(st.tree(self.copy), {"setup.inf": b"[Version]\r\n"})


if __name__ == "__main__":
    unittest.main()
