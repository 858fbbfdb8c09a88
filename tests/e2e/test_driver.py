"""The GUI driver and the harness, end to end under Wine, against dialog_probe.exe."""

import json
import subprocess
import unittest

import harness

PROBE = "dialog_probe.exe"
PROBE_RESULT = "Probe result"
# The probe's exit codes: how its dialog ended.
OK, OK_REMEMBERED, CANCELLED, CLOSED = 10, 11, 2, 3

session: harness.WineSession | None = None


def setUpModule():
    global session
    session = harness.WineSession()
    session.start()


def tearDownModule():
    session.stop()


def drive(script, name, args=(), **options):
    result = session.drive(PROBE, script, args=args, shots_name=f"driver-{name}", **options)
    if "--spawn" not in args:
        # Process ids come back after a while: the system's own processes, whose
        # parents held the target's id long ago, are no children of it.
        assert result.of("child") == [] and result.of("leftover") == [], result.describe()
    return result


def image_info(png):
    """Width, height and number of colours of a PNG."""
    out = subprocess.run(["convert", str(png), "-format", "%w %h %k", "info:"], capture_output=True, text=True,
                         check=True).stdout.split()
    return tuple(int(x) for x in out)


class SnapshotTest(unittest.TestCase):
    """What a snapshot tells about a dialog that has just opened."""

    @classmethod
    def setUpClass(cls):
        cls.result = drive("wait-window Probe\nclose\n", "snapshot")
        cls.result.check()
        cls.window = cls.result.last_snapshot("Probe")

    def test_window(self):
        w = self.window
        self.assertEqual(w["class"], "#32770")
        self.assertTrue(w["visible"] and w["enabled"] and w["responding"])
        self.assertEqual(w["pid"], self.result.of("start")[0]["pid"])
        left, top, right, bottom = w["rect"]
        self.assertTrue(0 <= left < right <= 1024 and 0 <= top < bottom <= 768, w["rect"])
        # The frame and caption around the client area.
        self.assertGreater(right - left, w["client"][0])
        self.assertGreater(bottom - top, w["client"][1] + 10)
        self.assertEqual(w["focus"], 101)
        self.assertEqual(w["defid"], 1)

    def test_controls_in_tab_order(self):
        self.assertEqual([c["id"] for c in self.window["controls"]],
                         [100, 101, 102, 110, 111, 108, 109, 103, 104, 105, 112, 107, 106, 1, 2])

    def test_controls(self):
        # id, class, text, enabled, visible, further members
        cases = [
            (100, "Static", "&Name:", True, True, {}),
            (101, "Edit", "initial", True, True, {"readonly": False, "password": False, "focused": True}),
            (102, "Button", "&Remember me", True, True, {"type": "autocheckbox", "checked": 0}),
            (110, "Button", "&Small", True, True, {"type": "autoradiobutton", "checked": 1}),
            (111, "Button", "&Large", True, True, {"type": "autoradiobutton", "checked": 0}),
            (108, "ListBox", "", True, True, {"items": ["alpha", "beta", "gamma"], "selected": 1}),
            (109, "msctls_progress32", "", True, True, {"pos": 50, "range": [0, 200]}),
            (103, "Button", "Disabled", False, True, {"type": "pushbutton"}),
            (104, "Button", "Hidden", True, False, {}),
            # Set while the dialog initialised: the snapshot waited for it.
            (106, "Static", "ready", True, True, {}),
            (1, "Button", "OK", True, True, {"type": "defpushbutton", "focused": False}),
            (2, "Button", "Cancel", True, True, {"type": "pushbutton"}),
        ]
        for control_id, cls, text, enabled, visible, more in cases:
            with self.subTest(control=control_id):
                c = self.result.control(self.window, control_id)
                self.assertEqual((c["class"], c["text"], c["enabled"], c["visible"]), (cls, text, enabled, visible))
                for key, value in more.items():
                    self.assertEqual(c[key], value, key)
                self.assertEqual(c["parent"], self.window["hwnd"])
                self.assertEqual(bool(c["style"] & 0x08000000), not enabled)  # WS_DISABLED

    def test_control_rects_lie_in_the_window(self):
        left, top, right, bottom = self.window["rect"]
        for c in self.window["controls"]:
            l, t, r, b = c["rect"]
            self.assertTrue(left <= l < r <= right and top <= t < b <= bottom, (c["id"], c["rect"]))

    def test_new_window_is_recorded_before_the_wait_picks_it(self):
        reasons = [(s["reason"], s["caption"]) for s in self.result.snapshots]
        self.assertEqual(reasons[:2], [("new", "Probe"), ("wait-window", "Probe")])
        self.assertEqual(self.result.text(self.result.snapshots[0], 106), "ready")

    def test_gone_and_exit_are_reported(self):
        gone = self.result.of("gone")
        self.assertEqual([g["hwnd"] for g in gone], [self.window["hwnd"]])
        self.assertEqual((self.result.exit_code, self.result.killed), (CLOSED, False))
        self.assertEqual(self.result.events[-1]["event"], "exit")

    def test_screenshots_show_the_window(self):
        shots = self.result.shots
        self.assertEqual(len(shots), len(self.result.snapshots))
        for png in shots:
            with self.subTest(png=png.name):
                self.assertTrue(png.name.endswith("-Probe.png"))
                self.assertTrue(png.is_relative_to(session.shots_root / "driver-snapshot"))
                width, height, colours = image_info(png)
                left, top, right, bottom = self.window["rect"]
                self.assertEqual((width, height), (right - left, bottom - top))
                # Caption, frame, texts and the progress bar, not a blank area
                # (about 5 colours); Wine's own fonts draw without smoothing.
                self.assertGreater(colours, 8)


class ActionTest(unittest.TestCase):
    """Clicks, typing, check boxes and keys reach the dialog as a user's would."""

    def test_dialog_outcomes(self):
        # name, script after the dialog appeared, exit code, the probe's summary (None: no summary box)
        cases = [
            ("ok", "click IDOK", OK, "name=initial; remember=0; size=small; item=1"),
            ("type-and-check", "type 101 hello world\ncheck 102\nclick 1", OK_REMEMBERED,
             "name=hello world; remember=1; size=small; item=1"),
            ("type-empty", "type 101 \nclick 1", OK, "name=; remember=0; size=small; item=1"),
            ("check-twice", "check 102\ncheck 102\nclick 1", OK_REMEMBERED,
             "name=initial; remember=1; size=small; item=1"),
            ("uncheck", "check 102\nuncheck 102\nuncheck 102\nclick 1", OK,
             "name=initial; remember=0; size=small; item=1"),
            ("radio", "check 111\nclick 1", OK, "name=initial; remember=0; size=large; item=1"),
            ("enter-default-button", "key enter", OK, "name=initial; remember=0; size=small; item=1"),
            ("space-on-focused-check-box", "key tab\nkey space\nclick 1", OK_REMEMBERED,
             "name=initial; remember=1; size=small; item=1"),
            ("escape", "key escape", CANCELLED, None),
            ("cancel-button", "click IDCANCEL", CANCELLED, None),
            ("close-box", "close", CLOSED, None),
            ("alt-f4", "key alt+f4", CLOSED, None),
        ]
        for name, actions, code, summary in cases:
            with self.subTest(name):
                script = f"wait-window Probe\n{actions}\n"
                if summary is not None:
                    script += f"wait-window {PROBE_RESULT}\nclick IDOK\n"
                script += "wait-exit\n"
                result = drive(script, f"action-{name}").check()
                self.assertEqual(result.exit_code, code, result.describe())
                if summary is not None:
                    self.assertEqual(result.message_text(result.last_snapshot(PROBE_RESULT)), summary)

    def test_tab_moves_the_focus(self):
        result = drive("wait-window Probe\nkey tab\nsnapshot\nkey tab\nsnapshot\nclose\n", "tab").check()
        self.assertEqual([s["focus"] for s in result.snapshots if s["reason"] != "new"], [101, 102, 110])

    def test_typed_text_shows_in_the_next_snapshot(self):
        result = drive("wait-window Probe\ntype 101 Grüße, 世界 \nsnapshot\nclose\n", "type-unicode").check()
        self.assertEqual(result.text(result.last_snapshot(), 101), "Grüße, 世界 ")

    def test_wait_for_any_new_window_and_by_class(self):
        script = ("wait-window-any\nclick 105\nwait-window-any\nsnapshot\nclick IDNO\n"
                  "wait-window-class #32770\nwait-text 106 answer: 7\nclose\n")
        result = drive(script, "any-window").check()
        picked = [s["caption"] for s in result.snapshots if s["reason"] in ("wait-window", "snapshot")]
        self.assertEqual(picked, ["Probe", "Probe question", "Probe question", "Probe"])
        self.assertEqual(result.exit_code, CLOSED)

    def test_working_directory(self):
        folder = session.work / "cwd test"
        folder.mkdir(exist_ok=True)
        result = drive("wait-window Probe message\nclick IDOK\n", "cwd", args=["--cwd"], cwd=folder).check()
        self.assertEqual(result.message_text(result.last_snapshot()).rstrip("\\"), session.windows_path(folder))
        self.assertEqual(result.of("start")[0]["cwd"], session.windows_path(folder))

    def test_script_on_standard_input(self):
        result = drive("wait-window Probe\nkey escape\n", "stdin", script_path=False).check()
        self.assertEqual(result.exit_code, CANCELLED)


class MessageBoxTest(unittest.TestCase):
    """Message boxes are dialogs with their text in static 0xFFFF."""

    def test_question(self):
        result = drive("wait-window Probe\nclick 105\nwait-window Probe question\nwait-window Probe\n"
                       "wait-window Probe question\nclick IDYES\nwait-window Probe\nwait-text 106 answer: 6\nclose\n",
                       "question").check()
        probe = result.windows_with_caption("Probe")[0]
        box = result.windows_with_caption("Probe question")[0]
        self.assertEqual(box["class"], "#32770")
        self.assertEqual(box["owner"], probe["hwnd"])
        self.assertEqual(result.message_text(box), "Proceed with the probe?")
        buttons = [(c["id"], c["text"]) for c in box["controls"] if c["class"] == "Button"]
        self.assertEqual(buttons, [(6, "&Yes"), (7, "&No"), (2, "Cancel")])
        self.assertEqual(box["focus"], 6)
        # The owner is disabled while the box is open, and enabled again after.
        enabled = [s["enabled"] for s in result.windows_with_caption("Probe") if s["reason"] == "wait-window"]
        self.assertEqual(enabled, [True, False, True])
        self.assertEqual(result.exit_code, CLOSED)

    def test_answers(self):
        # action in the box, the answer MessageBox returned
        cases = [
            ("click IDYES", 6),
            ("click IDNO", 7),
            ("click IDCANCEL", 2),
            ("key enter", 6),  # the focused default button
            ("key tab\nkey enter", 7),
            ("key escape", 2),
            ("close", 2),
        ]
        for action, answer in cases:
            with self.subTest(action):
                result = drive(f"wait-window Probe\nclick 105\nwait-window Probe question\n{action}\n"
                               f"wait-gone\nwait-window Probe\nwait-text 106 answer: {answer}\nclose\n",
                               "answer-" + action.replace(" ", "-").replace("\n", "-")).check()
                self.assertEqual(result.exit_code, CLOSED)

    def test_message_box_of_a_child_process(self):
        result = drive("wait-window Probe message\nclick IDCANCEL\n", "child", args=["--spawn", "from the child"]).check()
        box = result.last_snapshot("Probe message")
        self.assertNotEqual(box["pid"], result.of("start")[0]["pid"])
        self.assertEqual([c["pid"] for c in result.of("child")], [box["pid"]])
        self.assertEqual(result.message_text(box), "from the child")
        self.assertEqual(result.exit_code, 2)
        self.assertEqual(result.of("leftover"), [])


class BusyTargetTest(unittest.TestCase):
    def test_driver_does_not_wait_for_a_busy_window(self):
        # The probe's "Slow" button blocks the dialog's thread until the release
        # file is there, which the script puts in place only after its snapshot
        # of the busy window: a driver that waited for the window would hang.
        ready, release = session.work / "release.ready", session.work / "release.now"
        release.unlink(missing_ok=True)
        ready.write_text("go")
        move = f"move-file {session.windows_path(ready)}|{session.windows_path(release)}"
        result = drive("wait-window Probe\nclick 107\nwait-text 106 working\nsnapshot\n"
                       f"{move}\nwait-text 106 slow done\nclose\n", "busy",
                       env={"QUILLON_PROBE_RELEASE": session.windows_path(release)}).check()
        steps = {e["command"]: e["t"] for e in result.of("step")}
        busy = [s for s in result.snapshots if s["reason"] == "snapshot"][0]
        self.assertFalse(busy["responding"])
        self.assertEqual(result.text(busy, 106), "working")
        # Recorded as it is once it has not answered for a second.
        self.assertLess(busy["t"] - steps["snapshot"], 2000 * harness.TIME_SCALE)
        done = [s for s in result.snapshots if s["reason"] == "wait-text"][-1]
        self.assertTrue(done["responding"])
        self.assertGreater(done["t"], steps[move])
        self.assertEqual(result.exit_code, CLOSED)
        release.unlink(missing_ok=True)


class ExitCodeTest(unittest.TestCase):
    def test_exit_codes(self):
        for code in (0, 1, 42, 255, 0xC0000005):
            with self.subTest(code=code):
                signed = code - (1 << 32) if code >= 1 << 31 else code
                result = drive("", "exit", args=["--exit", signed]).check()
                self.assertEqual((result.exit_code, result.killed), (code, False))
                self.assertEqual(result.snapshots, [])


class FailureTest(unittest.TestCase):
    """A step that cannot be done ends the run with an error event, and the target is killed."""

    def assert_failed(self, result, line, message):
        self.assertEqual(result.driver_exit, 1, result.describe())
        [error] = result.errors
        self.assertEqual(error["line"], line)
        self.assertIn(message, error["message"])
        self.assertTrue(result.killed, result.describe())
        return error

    def test_refused_actions(self):
        # script, the failing line, the reason
        cases = [
            ("wait-window Probe\nclick 103", 2, "control 103 ('Disabled') is disabled"),
            ("wait-window Probe\nclick 104", 2, "control 104 ('Hidden') is hidden"),
            ("wait-window Probe\nclick 999", 2, "has no control 999"),
            ("wait-window Probe\nclick 100", 2, "is a Static, not a button"),
            ("wait-window Probe\ncheck 101", 2, "not a check box"),
            ("wait-window Probe\nuncheck 110", 2, "cannot be cleared"),
            ("wait-window Probe\ntype 103 x", 2, "is disabled"),
            ("click 1", 1, "no current window"),
            ("key enter", 1, "no current window"),
            # The dialog is disabled while its message box is open.
            ("wait-window Probe\nclick 105\nwait-window Probe question\nwait-window Probe\nclick 1", 5,
             "is disabled (is a modal window open?)"),
            ("wait-window Probe\nclick 105\nwait-window Probe question\nwait-window Probe\nclose", 5,
             "is disabled"),
            ("wait-window Probe\nclick 105\nwait-window Probe question\nclick IDYES\nwait-text 65535 x", 5,
             "went away"),
        ]
        for script, line, message in cases:
            with self.subTest(script):
                result = drive(script + "\n", "refused", wait_timeout=5)
                error = self.assert_failed(result, line, message)
                if script.startswith("wait-window Probe"):
                    self.assertIn("Probe", [w["caption"] for w in error["windows"]])

    def test_wait_times_out_with_the_open_windows(self):
        # The window itself may take longer than a second to show under emulation: only the
        # wait that is meant to run out gets the short limit.
        result = drive("wait-window Probe\ntimeout 1\nwait-window Nothing like this\n", "timeout")
        error = self.assert_failed(result, 3, "timed out after 1.0 s waiting for a window with the caption")
        self.assertLess(error["t"], 8000 * harness.TIME_SCALE)
        [window] = error["windows"]
        self.assertEqual(window["caption"], "Probe")
        self.assertEqual(self.result_control_ids(window)[:2], [100, 101])
        self.assertGreater(image_info(window["png"])[2], 8)

    def test_wait_text_reports_the_text_it_saw(self):
        result = drive("wait-window Probe\ntimeout 1\nwait-text 106 never\n", "wait-text")
        self.assert_failed(result, 3, "its text is 'ready'")

    def test_target_that_does_not_end(self):
        result = drive("wait-window Probe\ntimeout 1\n", "no-exit")
        self.assert_failed(result, 0, "did not end")

    def test_target_that_ends_early(self):
        result = drive("wait-window Probe\n", "early", args=["--exit", "7"])
        self.assertEqual(result.driver_exit, 1)
        self.assertIn("ended (exit code 7)", result.errors[0]["message"])
        self.assertEqual((result.exit_code, result.killed), (7, False))

    def test_bad_scripts_are_refused_before_the_start(self):
        cases = [
            ("frobnicate", 1, "unknown command 'frobnicate'"),
            ("wait-window Probe\n\n# comment\nclick", 4, "control id is missing"),
            ("click OKAY", 1, "'OKAY' is not a control id"),
            ("check 1 2", 1, "unexpected '2'"),
            ("sleep soon", 1, "not a number of milliseconds"),
            ("timeout 0", 1, "between 1 and 86400"),
            ("key hyper", 1, "unknown key 'hyper'"),
            ("wait-window", 1, "caption is missing"),
        ]
        for script, line, message in cases:
            with self.subTest(script):
                result = drive(script + "\n", "syntax")
                self.assertEqual(result.driver_exit, 2)
                self.assertEqual((result.errors[0]["line"], result.of("start")), (line, []))
                self.assertIn(message, result.errors[0]["message"])

    def test_driver_refuses_bad_arguments(self):
        script = session.work / "arguments.script"
        script.write_text("wait-exit\n")
        script_path = session.windows_path(script)
        # arguments, the driver's exit code, its message
        cases = [
            ([script_path], 2, "'--' and the target program are missing"),
            ([script_path, "--"], 2, "the target program is missing"),
            (["--timeout", "soon", script_path, "--", "x.exe"], 2, "--timeout needs a number of seconds"),
            (["--shots"], 2, "--shots needs a value"),
            ([session.windows_path(session.work / "missing.script"), "--", "x.exe"], 2, "cannot open the script"),
            ([script_path, "--", "Z:\\nonexistent\\program.exe"], 3, "cannot start"),
        ]
        for arguments, code, message in cases:
            with self.subTest(arguments):
                result = session.run("guidriver.exe", arguments)
                self.assertEqual(result.returncode, code, result.stdout)
                event = json.loads(result.stdout.splitlines()[0])
                self.assertEqual(event["event"], "error")
                self.assertIn(message, event["message"])

    @staticmethod
    def result_control_ids(window):
        return [c["id"] for c in window["controls"]]


class HarnessTest(unittest.TestCase):
    def test_paths(self):
        c_drive = session.prefix / "drive_c"
        cases = [
            (c_drive / "windows" / "system32", "C:\\windows\\system32"),
            (session.work, "Z:" + str(session.work).replace("/", "\\")),
        ]
        for linux, windows in cases:
            with self.subTest(windows):
                self.assertEqual(session.windows_path(linux), windows)
                self.assertEqual(session.linux_path(windows), linux)
        # Windows names are not case-sensitive.
        self.assertEqual(session.linux_path("c:\\WINDOWS\\System32"), c_drive / "windows" / "system32")

    def test_plain_run(self):
        result = session.run(PROBE, ["--exit", "5"])
        self.assertEqual(result.returncode, 5)

    def test_drive_that_outlasts_its_time(self):
        # The harness stops the serving driver and everything it started; the
        # next drive gets a new one, and so do drives with another environment.
        late = drive("wait-window Probe\nwait-window never\n", "late", timeout=5, wait_timeout=600)
        self.assertTrue(late.timed_out)
        self.assertIsNone(late.driver_exit)
        for env in (None, {"QUILLON_PROBE_UNUSED": "1"}, None):
            with self.subTest(env=env):
                drive("wait-window Probe\nclose\nwait-exit\n", "after-late", env=env).check()


if __name__ == "__main__":
    unittest.main()
