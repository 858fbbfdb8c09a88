"""The setup engine's runner as the installer starts it: the command line
built from the INF text, the runner taken by full path from where Windows
keeps it (never a program of that name beside the installer or in the
current directory), the current directory it gets, and its exit code."""

import shutil
import unittest

import package_builder as pb
import stubtest as st

TITLE = "Launcher Test"
INF_FILE = b"[Version]\r\n"


def setUpModule():
    st.start()


def tearDownModule():
    st.stop()


def install(runner, inf="><setup.inf", files=("setup.inf",), script=None, **package):
    """Installs a package with the given INF text; the window closes by itself."""
    package.setdefault("wait_for_finish", False)
    exe = st.installer("launcher", title=TITLE, inf=inf, entries=[pb.stored(name, INF_FILE) for name in files],
                       **package)
    script = script or f"wait-window {TITLE}\nclick 1\nwait-exit\n"
    return st.session.drive(exe, script, shots_name="launcher", env=runner.env).check()


class CommandLine(st.InstallerTest):

    def test_inf_path_from_the_inf_text(self):
        work = st.WORK + "\\"
        # (label, INF text, files in the package, the path that ends the command line)
        cases = [
            ("placeholder, cut at the bar", "><setup.inf|other.inf", ["setup.inf", "other.inf"], None),
            ("two placeholders", "><a><b.inf", [], work + "a" + work + "b.inf"),
            ("missing file", "><missing.inf", [], work + "missing.inf"),
            ("relative, no placeholder", "not-there.inf", [], "not-there.inf"),
            ("absolute, no placeholder", r"C:\windows\win.ini", [], r"C:\windows\win.ini"),
            ("no INF text", "", [], ""),
            ("nothing before the bar", "|><setup.inf", ["setup.inf"], ""),
        ]
        with st.Runner() as runner:
            for label, inf, files, path in cases:
                with self.subTest(label):
                    runner.record.unlink(missing_ok=True)
                    result = install(runner, inf=inf, files=files + ["x.txt"])
                    self.assertEqual(result.exit_code, 0)
                    self.assertEqual(st.box_texts(result), [])
                    [record] = runner.records()
                    self.assertEqual(record["exe"], st.RUNNER_NT)
                    self.assertEqual(record["cwd"], st.WORK)
                    self.assertEqual(record["show"], "1,10")  # STARTF_USESHOWWINDOW, SW_SHOWDEFAULT
                    self.assertTrue(record["cmdline"].startswith(st.NT_PREFIX), record["cmdline"])
                    if path is not None:
                        self.assertEqual(record["cmdline"], st.NT_PREFIX + path)
                    else:
                        self.assertEqual(record["inf"], work + "setup.inf")
                    self.assertFalse(st.work().exists())

    def test_short_form_of_a_long_inf_path(self):
        with st.Runner() as runner:
            install(runner, inf="><Long Setup Name.inf", files=["Long Setup Name.inf"])
            [record] = runner.records()
        long_path = st.WORK + r"\Long Setup Name.inf"
        path = record["cmdline"].removeprefix(st.NT_PREFIX)
        self.assertEqual(record["inf"], long_path, "the path names another file")
        self.assertNotIn(" ", path)
        self.assertLess(len(path), len(long_path))


class RunnerPlace(st.InstallerTest):
    """Programs named like the runner beside the installer and in the start
    directory are decoys: Wine would run them natively, but they must never be
    found."""

    def setUp(self):
        super().setUp()
        self.beside = st.session.work / "launcher-beside"
        self.start_dir = st.session.work / "launcher-start"
        recorder = st.gui_recorder()
        for folder in (self.beside, self.start_dir):
            shutil.rmtree(folder, ignore_errors=True)
            folder.mkdir()
            for name in ("rundll32.exe", "rundll.exe"):
                shutil.copyfile(recorder, folder / name)

    def tearDown(self):
        super().tearDown()
        shutil.rmtree(self.beside, ignore_errors=True)
        shutil.rmtree(self.start_dir, ignore_errors=True)

    def test_runner_by_full_path(self):
        nine_x_runner = st.WINDOWS + r"\rundll.exe"
        # (label, SetupX.dll present, folders holding the runner, the runner that must run)
        cases = [
            ("system directory", False, (st.SYSTEM32,), st.RUNNER_NT),
            ("Windows directory", False, (st.WINDOWS,), st.WINDOWS + r"\rundll32.exe"),
            ("no runner", False, (), None),
            ("SetupX, Windows directory first", True, (st.WINDOWS, st.SYSTEM32), nine_x_runner),
            ("SetupX, system directory", True, (st.SYSTEM32,), st.SYSTEM32 + r"\rundll.exe"),
            ("SetupX, no runner", True, (), None),
        ]
        for label, nine_x, dirs, expected in cases:
            with self.subTest(label), st.Runner(nine_x=nine_x, dirs=dirs) as runner:
                exe = self.beside / "setup.exe"
                exe.write_bytes(pb.build_package(st.STUB, title=TITLE, inf="><setup.inf", wait_for_finish=False,
                                                 entries=[pb.stored("setup.inf", INF_FILE)]))
                failed = "wait-window Error\nclick IDOK\nwait-gone\n" if expected is None else ""
                result = st.session.drive(exe, f"wait-window {TITLE}\nclick 1\n{failed}wait-exit\n",
                                          cwd=self.start_dir, shots_name="launcher-place", env=runner.env).check()
                records = runner.records()
                self.assertEqual(result.exit_code, 0)
                if expected is None:
                    self.assertEqual(records, [])
                    self.assertEqual(st.box_texts(result), [("Couldn't initialize installation.", "Error")])
                else:
                    self.assertEqual([r["exe"] for r in records], [expected])
                    prefix = st.NINE_X_PREFIX if nine_x else st.NT_PREFIX
                    self.assertEqual(records[0]["cmdline"], prefix + st.WORK + r"\setup.inf")
                    self.assertEqual(st.box_texts(result), [])
                self.assertFalse(st.work().exists())


class ExitCode(st.InstallerTest):
    """Only -1 from the runner is a failure; the window carries on to "&Finish" either way."""

    def test_exit_codes(self):
        for code in (0, 1, 0x7FFFFFFF, 0xFFFFFFFE, 0xFFFFFFFF):
            failed = code == 0xFFFFFFFF
            with self.subTest(code=hex(code)), st.Runner(exit_code=code) as runner:
                box = "wait-window Error\nclick IDOK\nwait-gone\n" if failed else ""
                result = install(runner, wait_for_finish=True, script=f"""wait-window {TITLE}
click 1
{box}wait-window {TITLE}
wait-text 2 &Finish
click 2
wait-exit
""")
                self.assertEqual(len(runner.records()), 1)
                self.assertEqual(result.exit_code, 0)
                if failed:
                    [message] = st.boxes(result)
                    self.assertEqual((result.message_text(message), message["caption"]),
                                     ("Couldn't initialize installation.", "Error"))
                    st.assert_plain_box(self, message)
                else:
                    self.assertEqual(st.boxes(result), [])
                done = result.last_snapshot(TITLE)
                self.assertEqual(result.text(done, st.STATUS), st.CLICK_FINISH)
                self.assertEqual(result.text(done, 1), "&Info")
                # The start directory is current again: the work directory could go.
                self.assertFalse(st.work().exists())


if __name__ == "__main__":
    unittest.main()
