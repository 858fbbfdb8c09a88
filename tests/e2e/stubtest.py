"""Shared pieces of the installer's end-to-end tests: the Wine session, the
stub and the installers made from it, the work directory, message boxes, and
the stand-in for the setup engine's runner.

    import stubtest as st

    def setUpModule():
        st.start()

    class Example(st.InstallerTest):
        def test_x(self):
            with st.Runner() as runner:
                result = st.session.drive(st.installer("x", title="X", entries=[...]), script, env=runner.env)
                [record] = runner.records()

All tests share one Wine prefix and so one work directory: every test starts
from an empty one and leaves none behind (InstallerTest does both). Files of
the prefix that a test replaces (the runner, SetupX.dll) are put back when it
ends, and, should a test run have been killed half-way, when the next one
starts.
"""

from __future__ import annotations

import contextlib
import json
import os
import shutil
import subprocess
import unittest
import zlib
from pathlib import Path, PureWindowsPath

import harness
import package_builder as pb

session: harness.WineSession | None = None
STUB = b""
TEMP = ""  # the temporary directory as the installer sees it, e.g. C:\users\root\Temp
WORK = ""  # the work directory, TEMP + "\$Quillon.Tmp"

STATUS = 3002  # the main window's status area
BREAK3 = "\r\n" * 3
BREAK4 = "\r\n" * 4
EXTRACTING = BREAK4 + "  Extracting: "
UPDATING = BREAK3 + "Setup is updating your system:\r\n\r\nUpdating system settings ..."
CLICK_FINISH = BREAK4 + 'Please click the "Finish" button to close this window after setup.'
LICENCE_INFO_PREFIX = "This setup program was made with Quillon. Licence details:\r\n\r\n"

SYSTEM32 = r"C:\windows\system32"
WINDOWS = r"C:\windows"
RUNNER_NT = SYSTEM32 + r"\rundll32.exe"
SETUPX = SYSTEM32 + r"\SetupX.dll"
NT_PREFIX = "RunDll32.exe SetupApi.dll,InstallHinfSection DefaultInstall 132 "
NINE_X_PREFIX = "RunDll.exe SetupX.dll,InstallHinfSection DefaultInstall 132 "
ESCAPE = "quillon-escape.txt"  # what entries with unsafe names try to write outside the work directory


def start() -> harness.WineSession:
    """Joins (or starts) the Wine session once per test process."""
    global session, STUB, TEMP, WORK
    if session is not None:
        return session
    session = harness.WineSession()
    session.start()
    SystemFiles.recover()
    STUB = (session.target_dir / "setup-stub.exe").read_bytes()
    echoed = session.run("cmd", ["/c", "echo", "%TEMP%"]).stdout.strip()
    if not PureWindowsPath(echoed).drive:
        raise harness.HarnessError(f"cannot tell the temporary directory: {echoed!r}")
    TEMP = echoed.rstrip("\\")
    WORK = TEMP + r"\$Quillon.Tmp"
    clear_work()
    return session


def stop() -> None:
    global session
    if session is not None:
        clear_work()
        session.stop()
        session = None


# --------------------------------------------------------------------------
# Installers and the work directory


def installer(name: str, **package) -> Path:
    """Writes an installer made by package_builder.build_package into the scratch folder."""
    path = session.work / f"{name}.exe"
    path.write_bytes(pb.build_package(STUB, **package))
    return path


def pack(output: Path, *args) -> Path:
    """Makes an installer with the host's quillon-pack and the session's stub; fails with its messages."""
    done = subprocess.run([str(session.pack_tool), "-o", str(output), "--stub",
                           str(session.executable("setup-stub.exe")), *map(str, args)], capture_output=True, text=True)
    if done.returncode != 0:
        raise AssertionError(f"quillon-pack failed ({done.returncode}): {done.stderr.strip()}")
    return output


def work(relative: str = "") -> Path:
    """Where a path below the work directory is on the Linux side."""
    return session.linux_path(WORK + ("\\" + relative.replace("/", "\\") if relative else ""))


def clear_work() -> None:
    shutil.rmtree(work(), ignore_errors=True)


def escape_places() -> list[Path]:
    """Where ESCAPE lands should a name get out of the work directory: the
    temporary directory, the root of C: and the folder the runs start in."""
    folders = (TEMP, "C:", session.windows_path(session.work))
    return [session.linux_path(folder + "\\" + ESCAPE) for folder in folders]


class InstallerTest(unittest.TestCase):
    """A test that starts without a work directory and leaves none behind, nor
    an escaped file; self.copy is a scratch folder for a copy of the work
    directory (Runner's copy_to)."""

    def setUp(self):
        clear_work()
        self.copy = session.work / "work-copy"

    def tearDown(self):
        clear_work()
        shutil.rmtree(self.copy, ignore_errors=True)
        for path in escape_places():
            path.unlink(missing_ok=True)

    def assert_nothing_escaped(self):
        for path in escape_places():
            self.assertFalse(path.exists(), path)


def put_in_work(files: dict[str, bytes]) -> None:
    """Puts files into the work directory before a run, as an earlier run would have left them."""
    for relative, data in files.items():
        path = work(relative)
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)


def write_tree(root: Path, files: dict[str, bytes], mtime: float | None = None) -> None:
    """Writes files below root by their relative paths, with mtime as their time if given."""
    for relative, data in files.items():
        path = root / relative
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        if mtime is not None:
            os.utime(path, (mtime, mtime))


def tree(root: Path) -> dict[str, bytes]:
    """Every file below root by its relative path ("/"-separated), with its bytes."""
    if not root.exists():
        return {}
    return {p.relative_to(root).as_posix(): p.read_bytes() for p in sorted(root.rglob("*")) if p.is_file()}


def directories(root: Path) -> set[str]:
    if not root.exists():
        return set()
    return {p.relative_to(root).as_posix() for p in root.rglob("*") if p.is_dir()}


def crc(data: bytes) -> int:
    return zlib.crc32(data) & 0xFFFFFFFF


# --------------------------------------------------------------------------
# What the driver saw


def boxes(result: harness.DriveResult) -> list[dict]:
    """The first snapshot of every message box (a #32770 dialog with a message text), in order."""
    seen, found = set(), []
    for snap in result.snapshots:
        if snap["class"] == "#32770" and result.find_control(snap, harness.MESSAGE_TEXT_ID) is not None \
                and snap["hwnd"] not in seen:
            seen.add(snap["hwnd"])
            found.append(snap)
    return found


def box_texts(result: harness.DriveResult) -> list[tuple[str, str]]:
    """(text, caption) of every message box that was shown."""
    return [(result.message_text(b), b["caption"]) for b in boxes(result)]


def assert_plain_box(test, box: dict) -> None:
    """A message box without owner and with one OK button (MB_OK)."""
    test.assertFalse(box["owner"], f"{box['caption']!r} has an owner")
    buttons = [(c["id"], c["text"]) for c in box["controls"] if c["class"].lower() == "button" and c["visible"]]
    test.assertEqual(buttons, [(1, "OK")], f"{box['caption']!r} buttons")


# --------------------------------------------------------------------------
# Files of the prefix that tests replace


class SystemFiles:
    """Replaces or removes files of the Wine prefix and puts them back on exit.

    A journal next to the saved originals lets recover() put them back after a
    test run that was killed before it could do so itself."""

    def __init__(self):
        self.root = session.work / "system-files"
        self.journal = self.root / "journal.json"
        self.entries: list[dict] = []

    def __enter__(self) -> "SystemFiles":
        return self

    def __exit__(self, *exc) -> None:
        self.restore()

    def _save(self, windows_path: str) -> Path:
        target = session.linux_path(windows_path)
        if any(e["path"] == str(target) for e in self.entries):
            return target
        self.root.mkdir(parents=True, exist_ok=True)
        entry = {"path": str(target), "backup": None}
        if target.exists():
            backup = self.root / f"{len(self.entries)}-{target.name}"
            shutil.copy2(target, backup)
            entry["backup"] = str(backup)
        self.entries.append(entry)
        self.journal.write_text(json.dumps(self.entries))
        return target

    def put(self, windows_path: str, source: Path | bytes) -> None:
        target = self._save(windows_path)
        target.unlink(missing_ok=True)
        if isinstance(source, bytes):
            target.write_bytes(source)
        else:
            shutil.copyfile(source, target)

    def remove(self, windows_path: str) -> None:
        self._save(windows_path).unlink(missing_ok=True)

    def restore(self) -> None:
        self._restore(self.entries)
        self.entries = []
        with contextlib.suppress(FileNotFoundError):
            self.journal.unlink()

    @staticmethod
    def _restore(entries: list[dict]) -> None:
        for entry in reversed(entries):
            target = Path(entry["path"])
            target.unlink(missing_ok=True)
            if entry["backup"]:
                shutil.copy2(entry["backup"], target)
                Path(entry["backup"]).unlink()

    @classmethod
    def recover(cls) -> None:
        journal = session.work / "system-files" / "journal.json"
        with contextlib.suppress(FileNotFoundError, ValueError):
            cls._restore(json.loads(journal.read_text()))
            journal.unlink()


def gui_recorder() -> Path:
    """runner_recorder.exe marked as a GUI program, as the real runners are.

    Started as a console program with CREATE_NEW_CONSOLE, it would get a
    console host from Wine that starts in the work directory and outlives it
    for a moment, long enough to keep the work directory from being removed
    at the installer's end."""
    source = session.executable("runner_recorder.exe")
    target = session.work / "runner_recorder_gui.exe"
    image = bytearray(source.read_bytes())
    pe = int.from_bytes(image[0x3C:0x40], "little")
    if image[pe:pe + 4] != b"PE\0\0":
        raise harness.HarnessError(f"{source} is not a PE image")
    subsystem = pe + 24 + 68  # behind the signature and the file header
    image[subsystem:subsystem + 2] = (2).to_bytes(2, "little")  # IMAGE_SUBSYSTEM_WINDOWS_GUI
    target.write_bytes(image)
    return target


class Runner(SystemFiles):
    """runner_recorder.exe in place of the setup engine's runner.

    nine_x=False: SetupX.dll is absent and the recorder is rundll32.exe in
    the folders given (the system directory by default); nine_x=True:
    SetupX.dll is present and the recorder is rundll.exe in the folders given
    (the Windows directory by default). Of the Windows and the system
    directory, the one not given has no runner of that name. Wine runs a
    replaced runner only with a native override, which env carries along with
    the recorder's own variables."""

    def __init__(self, nine_x: bool = False, dirs=None, exit_code: int | None = None,
                 sleep_ms: int | None = None, copy_to: Path | None = None):
        super().__init__()
        self.nine_x = nine_x
        self.dirs = dirs if dirs is not None else (WINDOWS,) if nine_x else (SYSTEM32,)
        self.record = session.work / "runner-record.txt"
        self.copy_to = copy_to
        self.recorder = gui_recorder()
        self.env = {
            "QUILLON_RECORD": session.windows_path(self.record),
            "WINEDLLOVERRIDES": "rundll32.exe,rundll.exe=n",
        }
        if exit_code is not None:
            self.env["QUILLON_RECORD_EXIT"] = str(exit_code)
        if sleep_ms is not None:
            self.env["QUILLON_RECORD_SLEEP"] = str(sleep_ms)
        if copy_to is not None:
            self.env["QUILLON_RECORD_COPY"] = session.windows_path(copy_to)

    def __enter__(self) -> "Runner":
        self.record.unlink(missing_ok=True)
        if self.copy_to is not None:
            shutil.rmtree(self.copy_to, ignore_errors=True)
        try:
            if self.nine_x:
                self.put(SETUPX, b"MZ")
            else:
                self.remove(SETUPX)
            name = r"\rundll.exe" if self.nine_x else r"\rundll32.exe"
            for folder in (WINDOWS, SYSTEM32):
                if folder in self.dirs:
                    self.put(folder + name, self.recorder)
                else:
                    self.remove(folder + name)
        except BaseException:
            self.restore()
            raise
        return self

    def __exit__(self, *exc) -> None:
        self.restore()
        self.record.unlink(missing_ok=True)

    def records(self) -> list[dict[str, str]]:
        """One dict per run of the recorder (cmdline, cwd, exe, show, inf)."""
        if not self.record.exists():
            return []
        runs, current = [], {}
        for line in self.record.read_bytes().decode("cp1252").split("\n"):
            if line == "end":
                runs.append(current)
                current = {}
            elif "=" in line:
                key, _, value = line.partition("=")
                current[key] = value
        return runs


class WineVersion:
    """Makes Wine report another Windows version (such as "win98") to the
    programs of one file name while the block runs; None changes nothing."""

    def __init__(self, program: str, version: str | None):
        self.key = "HKCU\\Software\\Wine\\AppDefaults\\" + program
        self.version = version

    def __enter__(self) -> "WineVersion":
        if self.version is not None:
            result = session.run("reg", ["add", self.key, "/v", "Version", "/t", "REG_SZ", "/d", self.version, "/f"],
                                 timeout=120)
            if result.returncode != 0:
                raise harness.HarnessError(f"cannot set the Windows version: {result.stderr}")
        return self

    def __exit__(self, *exc) -> None:
        if self.version is not None:
            session.run("reg", ["delete", self.key, "/f"], timeout=120)
