"""Runs Windows programs under Wine on a private virtual display for the
end-to-end tests, and drives their dialogs with guidriver.exe.

    with harness.WineSession(build_dir) as session:
        result = session.drive("dialog_probe.exe", "wait-window Probe\\nclose\\n", shots_name="probe-close")
        assert result.exit_code == 3

Everything lives below <build>/e2e: the slots (slots/<name>/: a Wine prefix
and scratch files), the screenshots (shots/<name>/*.png) and the made
prefixes, kept as tar files (prefix-cache/, or $QUILLON_PREFIX_CACHE). The
CTest fixture ("harness.py setup") starts several slots, each with its own X
server and wineserver, and the test processes take one each, side by side; a
test run on its own starts and stops a slot of its own.

Command line: harness.py setup|cleanup|test [--build DIR] [--target-dir DIR] [--slots N]
"""

from __future__ import annotations

import argparse
import contextlib
import fcntl
import hashlib
import json
import os
import select
import shutil
import signal
import subprocess
import sys
import threading
import time
import zlib
from dataclasses import dataclass, field
from pathlib import Path, PureWindowsPath

HERE = Path(__file__).resolve().parent
REPO = HERE.parent.parent

SCREEN = "1024x768x24"
# The standard dialog ids, as the driver's scripts may name them.
DIALOG_IDS = {
    "IDOK": 1, "IDCANCEL": 2, "IDABORT": 3, "IDRETRY": 4, "IDIGNORE": 5, "IDYES": 6, "IDNO": 7,
    "IDCLOSE": 8, "IDHELP": 9, "IDTRYAGAIN": 10, "IDCONTINUE": 11,
}
# A message box keeps its text in a static control with this id.
MESSAGE_TEXT_ID = 0xFFFF

_HIVES = {
    "HKLM": "HKEY_LOCAL_MACHINE", "HKCU": "HKEY_CURRENT_USER", "HKCR": "HKEY_CLASSES_ROOT",
    "HKU": "HKEY_USERS", "HKCC": "HKEY_CURRENT_CONFIG",
}


class HarnessError(RuntimeError):
    """Wine, the X server or the driver could not be run as needed."""


SKIP_EXIT_CODE = 77  # CTest's SKIP_RETURN_CODE for the end-to-end tests
# Every limit on a wait is multiplied by this: under a software-emulated CPU
# (scripts/vm) a Windows program takes ten times as long to start. The limits
# only bound a failure; no test waits them out when all is well.
TIME_SCALE = float(os.environ.get("QUILLON_E2E_TIME_SCALE") or 1)
# Raised when the way a test prefix is made changes in a way the key cannot see.
_PREFIX_RECIPE_VERSION = 2
_I386_ELF_MAGIC = "7f454c4601"  # a 32-bit ELF file ...
_I386_MACHINE = "0300"  # ... for the i386, at byte 18


def i386_unavailable() -> str | None:
    """Why this machine cannot run Wine's 32-bit programs natively, or None when it can.

    Wine runs the stub through its i386 loader, a 32-bit Linux program. A kernel
    built without IA-32 emulation cannot start it; with a user-mode emulator
    registered for such programs it starts, but every Windows process then
    takes minutes, far beyond what the tests can wait. QUILLON_E2E_EMULATED=1
    runs the tests through the emulator all the same."""
    emulated = os.environ.get("QUILLON_E2E_EMULATED") == "1"
    for entry in Path("/proc/sys/fs/binfmt_misc").glob("*"):
        if entry.name in ("register", "status"):
            continue
        with contextlib.suppress(OSError):
            lines = entry.read_text(errors="replace").splitlines()
            magic = next((line.split()[1] for line in lines if line.startswith("magic ")), "")
            if lines and lines[0] == "enabled" and magic.startswith(_I386_ELF_MAGIC) \
                    and magic[36:40] == _I386_MACHINE and not emulated:
                return f"32-bit programs run here only through the emulator of binfmt_misc entry '{entry.name}'"
    try:
        runs = subprocess.run(["/lib/ld-linux.so.2", "--help"], capture_output=True, timeout=60).returncode == 0
    except (OSError, subprocess.TimeoutExpired):
        runs = False
    if not runs:
        return "this machine's kernel cannot run 32-bit programs (it has no IA-32 emulation), so Wine cannot start"
    return None


def default_build_dir() -> Path:
    return Path(os.environ.get("QUILLON_BUILD_DIR", REPO / "build")).resolve()


def default_slots() -> int:
    return int(os.environ.get("QUILLON_E2E_SLOTS") or os.cpu_count() or 1)


def default_target_dir(build_dir: Path) -> Path:
    env = os.environ.get("QUILLON_TARGET_DIR")
    return Path(env).resolve() if env else build_dir / "target"


def _pid_alive(pid: int, name: str) -> bool:
    try:
        cmdline = Path(f"/proc/{pid}/cmdline").read_bytes()
    except OSError:
        return False
    return name.encode() in cmdline and Path(f"/proc/{pid}/stat").read_text().split(")")[-1].split()[0] != "Z"


def _end_process(pid: int, name: str, timeout: float = 10) -> None:
    """Stops the process unless its id now names another program, and waits until it has ended."""
    try:
        process = os.pidfd_open(pid)
    except ProcessLookupError:
        return
    try:
        # The signal goes through the handle, which never names a later holder
        # of the id (it fails once the process is gone).
        if _pid_alive(pid, name):
            with contextlib.suppress(ProcessLookupError):
                signal.pidfd_send_signal(process, signal.SIGTERM)
            # The handle turns readable when the process ends.
            select.select([process], [], [], timeout)
    finally:
        os.close(process)


def _same_id(actual: int, wanted) -> bool:
    if isinstance(wanted, str):
        wanted = DIALOG_IDS.get(wanted.upper(), None) if not wanted.lstrip("-").isdigit() else int(wanted)
    if wanted is None:
        return False
    if actual == wanted:
        return True
    return actual in (-1, 0xFFFF) and wanted in (-1, 0xFFFF)


# --------------------------------------------------------------------------
# Results


@dataclass
class RunResult:
    """A plain Wine run."""

    returncode: int | None
    stdout: str
    stderr: str
    timed_out: bool = False


@dataclass
class DriveResult:
    """What guidriver.exe reported about one run of a target."""

    driver_exit: int | None  # the driver's own exit code: 0 when the script ran through
    events: list[dict]
    stdout: str
    stderr: str
    shots_dir: Path
    timed_out: bool = False  # the harness had to stop the driver
    stray: list[str] = field(default_factory=list)  # output lines that were not events

    @property
    def ok(self) -> bool:
        return self.driver_exit == 0 and not self.timed_out

    @property
    def exit_event(self) -> dict | None:
        return next((e for e in self.events if e["event"] == "exit"), None)

    @property
    def exit_code(self) -> int | None:
        """The target's exit code, None when it was not seen to end."""
        event = self.exit_event
        return None if event is None else event["code"]

    @property
    def killed(self) -> bool:
        event = self.exit_event
        return bool(event and event.get("killed"))

    @property
    def snapshots(self) -> list[dict]:
        return [e for e in self.events if e["event"] == "snapshot"]

    @property
    def errors(self) -> list[dict]:
        return [e for e in self.events if e["event"] == "error"]

    @property
    def shots(self) -> list[Path]:
        """The PNG screenshots, in the order they were taken."""
        found = [s["png"] for s in self.snapshots if "png" in s]
        for error in self.errors:
            found += [w["png"] for w in error.get("windows", []) if "png" in w]
        return [Path(p) for p in found]

    def of(self, event: str) -> list[dict]:
        return [e for e in self.events if e["event"] == event]

    def windows_with_caption(self, caption: str) -> list[dict]:
        """Every snapshot of windows with exactly this caption."""
        return [s for s in self.snapshots if s["caption"] == caption]

    def last_snapshot(self, caption: str | None = None) -> dict:
        found = self.snapshots if caption is None else self.windows_with_caption(caption)
        if not found:
            raise AssertionError(f"no snapshot of {caption!r}\n{self.describe()}")
        return found[-1]

    @staticmethod
    def find_control(snapshot: dict, control_id) -> dict | None:
        """The control with this id (a number, or a name such as "IDOK"), or None."""
        return next((c for c in snapshot["controls"] if _same_id(c["id"], control_id)), None)

    @classmethod
    def control(cls, snapshot: dict, control_id) -> dict:
        """The control with this id; fails with the ids that are there."""
        found = cls.find_control(snapshot, control_id)
        if found is None:
            ids = [(c["id"], c["class"], c["text"]) for c in snapshot["controls"]]
            raise AssertionError(f"no control {control_id} in {snapshot['caption']!r}; it has {ids}")
        return found

    @classmethod
    def text(cls, snapshot: dict, control_id) -> str:
        return cls.control(snapshot, control_id)["text"]

    @classmethod
    def message_text(cls, snapshot: dict) -> str:
        """The text of a message box."""
        return cls.text(snapshot, MESSAGE_TEXT_ID)

    def describe(self) -> str:
        """A readable account of the run, for assertion messages."""
        lines = [f"driver exit {self.driver_exit}, target exit {self.exit_code}"
                 f"{' (killed)' if self.killed else ''}{', harness timeout' if self.timed_out else ''}"]
        for e in self.events:
            kind = e["event"]
            if kind == "snapshot":
                controls = ", ".join(f"{c['id']}:{c['class']}:{c['text']!r}" for c in e["controls"] if c["visible"])
                lines.append(f"  {e['t']:>6} snapshot ({e['reason']}) {e['caption']!r} [{controls}]")
            elif kind == "error":
                lines.append(f"  {e['t']:>6} ERROR line {e['line']} {e['command']!r}: {e['message']}")
                for w in e.get("windows", []):
                    lines.append(f"         open: {w['caption']!r} ({w['class']})")
            elif kind == "step":
                lines.append(f"  {e['t']:>6} {e['command']}")
            else:
                rest = {k: v for k, v in e.items() if k not in ("event", "t")}
                lines.append(f"  {e['t']:>6} {kind} {rest}")
        if self.stray:
            lines.append("  other output: " + " | ".join(self.stray[:20]))
        if self.stderr.strip():
            lines.append("  stderr: " + self.stderr.strip()[-2000:])
        return "\n".join(lines)

    def check(self) -> "DriveResult":
        """Fails unless the script ran through."""
        if not self.ok:
            raise AssertionError("the GUI script failed\n" + self.describe())
        return self


# --------------------------------------------------------------------------
# Registry files as `reg export` writes them


def _parse_reg_value(text: str):
    if text.startswith('"'):
        out, i = [], 1
        while i < len(text) and text[i] != '"':
            if text[i] == "\\" and i + 1 < len(text):
                i += 1
            out.append(text[i])
            i += 1
        return "".join(out)
    if text.startswith("dword:"):
        return int(text[6:], 16)
    if text.startswith("hex"):
        kind, _, data = text.partition(":")
        raw = bytes(int(b, 16) for b in data.replace("\\", "").replace(" ", "").split(",") if b)
        code = kind[4:-1] if kind.startswith("hex(") else ""
        if code in ("2", "1"):
            return raw.decode("utf-16-le").rstrip("\0")
        if code == "7":
            return [s for s in raw.decode("utf-16-le").split("\0") if s]
        if code == "b":
            return int.from_bytes(raw, "little")
        if code == "4":
            return int.from_bytes(raw, "little")
        return raw
    return text


def parse_reg_file(text: str) -> dict[str, dict[str, object]]:
    """Keys (full names) to their values; the default value is named ""."""
    keys: dict[str, dict[str, object]] = {}
    current = None
    logical = []
    lines = text.splitlines()
    i = 0
    while i < len(lines):
        line = lines[i]
        while line.endswith("\\") and i + 1 < len(lines):
            i += 1
            line = line[:-1] + lines[i].strip()
        i += 1
        logical.append(line)
    for line in logical:
        if line.startswith("[") and line.endswith("]"):
            current = keys.setdefault(line[1:-1], {})
        elif current is not None and (line.startswith('"') or line.startswith("@=")):
            if line.startswith("@="):
                name, value = "", line[2:]
            else:
                j, chars = 1, []
                while j < len(line) and line[j] != '"':
                    if line[j] == "\\":
                        j += 1
                    chars.append(line[j])
                    j += 1
                name, value = "".join(chars), line[j + 2:]
            current[name] = _parse_reg_value(value)
    return keys


def full_key_name(key: str) -> str:
    hive, _, rest = key.replace("/", "\\").partition("\\")
    hive = _HIVES.get(hive.upper(), hive.upper())
    return hive + ("\\" + rest.strip("\\") if rest.strip("\\") else "")


# --------------------------------------------------------------------------
# The session


class WineSession:
    """A Wine prefix, a virtual X display and a running wineserver.

    The CTest fixture ("harness.py setup") starts several such slots side by
    side, each with a prefix, a work folder and an X server of its own; every
    test process takes a free one for its run (a lock file says which are
    taken), so that test files run in parallel without sharing a prefix. A
    session started outside the fixture is a slot of its own ("solo")."""

    def __init__(self, build_dir: str | os.PathLike | None = None, target_dir: str | os.PathLike | None = None):
        self.build_dir = Path(build_dir).resolve() if build_dir else default_build_dir()
        self.target_dir = Path(target_dir).resolve() if target_dir else default_target_dir(self.build_dir)
        self.root = self.build_dir / "e2e"
        self.slots_root = self.root / "slots"
        self.shots_root = self.root / "shots"
        self.state_file = self.root / "session.json"
        self.display: str | None = None
        self._xvfb: subprocess.Popen | None = None
        self._keeper: subprocess.Popen | None = None
        self._server_driver: subprocess.Popen | None = None
        self._served_env: dict[str, str] = {}
        self._owned = False
        self._slot_lock = None
        self._counter = 0
        self.use_slot("solo")

    def use_slot(self, name: str) -> None:
        """Where this session's prefix and work folder are: below slots/NAME."""
        self.slot = name
        self.prefix = self.slots_root / name / "wineprefix"
        self.work = self.slots_root / name / "work"

    # -- lifetime --------------------------------------------------------

    def __enter__(self) -> "WineSession":
        self.start()
        return self

    def __exit__(self, *exc) -> None:
        self.stop()

    def start(self) -> None:
        """Takes a free slot of the CTest fixture's session, or starts one of its own."""
        for tool in ("wine", "wineserver", "Xvfb"):
            if shutil.which(tool) is None:
                raise HarnessError(f"{tool} is not installed (scripts/setup.sh installs it)")
        slots = self._shared_slots()
        if slots:
            self._take_slot(slots)
            return
        self._owned = True
        self.work.mkdir(parents=True, exist_ok=True)
        self._start_session()

    def stop(self) -> None:
        self._end_served_driver()
        if self._slot_lock is not None:
            self._slot_lock.close()  # gives the slot back
            self._slot_lock = None
        if not self._owned:
            return
        self._stop_server()
        self._stop_xvfb()
        self._owned = False

    def setup_shared(self, slots: int) -> None:
        """Prepares the slots' prefixes and leaves their X servers and wineservers
        running for later test processes."""
        self.cleanup_shared()
        template = WineSession(self.build_dir, self.target_dir)
        template.use_slot("template")
        template.ensure_prefix()
        names = [f"slot{i}" for i in range(slots)]
        started: list[dict | None] = [None] * slots
        failures: list[BaseException] = []

        def start_slot(index: int) -> None:
            session = WineSession(self.build_dir, self.target_dir)
            session.use_slot(names[index])
            try:
                session.work.mkdir(parents=True, exist_ok=True)
                session.copy_prefix(template.prefix)
                session.display = session._start_xvfb()
                started[index] = {"name": session.slot, "display": session.display, "xvfb_pid": session._xvfb.pid}
                session._xvfb = None  # it outlives this process
                session._start_server()
            except BaseException as error:  # noqa: B902 - reported after every slot has been tried
                failures.append(error)

        threads = [threading.Thread(target=start_slot, args=(i,)) for i in range(slots)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        # Written even on failure: the clean-up must find what did start.
        self.state_file.write_text(json.dumps({"slots": [s for s in started if s]}))
        if failures:
            self.cleanup_shared()
            raise failures[0]

    def cleanup_shared(self) -> None:
        """Stops what setup_shared() left running."""
        try:
            state = json.loads(self.state_file.read_text())
        except (OSError, ValueError):
            state = {}
        for slot in state.get("slots", []):
            session = WineSession(self.build_dir, self.target_dir)
            session.use_slot(slot["name"])
            session.display = slot["display"]
            if session.prefix.exists():
                session._stop_server()
            _end_process(slot["xvfb_pid"], "Xvfb")
        with contextlib.suppress(FileNotFoundError):
            self.state_file.unlink()

    def _shared_slots(self) -> list[dict]:
        try:
            state = json.loads(self.state_file.read_text())
        except (OSError, ValueError):
            return []
        return [slot for slot in state.get("slots", []) if _pid_alive(slot["xvfb_pid"], "Xvfb")
                and Path(f"/tmp/.X11-unix/X{slot['display'].lstrip(':')}").exists()]

    def _take_slot(self, slots: list[dict]) -> None:
        """Holds the lock of a free slot until stop(); waits for one when all are taken."""
        self.slots_root.mkdir(parents=True, exist_ok=True)
        for slot in slots:
            lock = open(self.slots_root / f"{slot['name']}.lock", "w")
            try:
                fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
            except BlockingIOError:
                lock.close()
                continue
            return self._join_slot(slot, lock)
        # More test processes than slots: wait until this one is given back.
        slot = slots[os.getpid() % len(slots)]
        lock = open(self.slots_root / f"{slot['name']}.lock", "w")
        fcntl.flock(lock, fcntl.LOCK_EX)
        return self._join_slot(slot, lock)

    def _join_slot(self, slot: dict, lock) -> None:
        self._slot_lock = lock
        self.use_slot(slot["name"])
        self.display = slot["display"]
        self.work.mkdir(parents=True, exist_ok=True)

    def _start_session(self) -> None:
        """The X server, the prefix and the wineserver. The X server outlives this
        process: should the rest fail, nobody else would know to stop it."""
        self.display = self._start_xvfb()
        try:
            self.ensure_prefix()
            self._start_server()
        except BaseException:
            self._stop_xvfb()
            raise

    def _stop_xvfb(self) -> None:
        if self._xvfb is None:
            return
        self._xvfb.terminate()
        try:
            self._xvfb.wait(10)
        except subprocess.TimeoutExpired:
            self._xvfb.kill()
            self._xvfb.wait()
        self._xvfb = None

    def _start_xvfb(self) -> str:
        self.work.mkdir(parents=True, exist_ok=True)
        read_end, write_end = os.pipe()
        log = open(self.work / "xvfb.log", "ab")
        try:
            # The process outlives a fixture test: no pipe of ours may stay open in it.
            self._xvfb = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", SCREEN, "-nolisten", "tcp", "-noreset"],
                pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
        finally:
            os.close(write_end)
            log.close()
        number = b""
        # Xvfb writes its display number once it listens, or ends: both end the read.
        with os.fdopen(read_end, "rb", buffering=0) as reader:
            while not number.endswith(b"\n"):
                chunk = reader.read(16)
                if not chunk:
                    break
                number += chunk
        if not number.strip().isdigit():
            self._xvfb.kill()
            raise HarnessError(f"Xvfb did not start; see {self.work / 'xvfb.log'}")
        return ":" + number.strip().decode()

    # -- Wine ------------------------------------------------------------

    @property
    def env(self) -> dict[str, str]:
        env = {k: v for k, v in os.environ.items() if k not in ("WAYLAND_DISPLAY", "WINELOADER", "WINESERVER")}
        env.update({
            "WINEPREFIX": str(self.prefix),
            "WINEARCH": "win32",
            "WINEDEBUG": "-all",
            # No Mono and Gecko installers, no menu entries in the home directory.
            "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d",
            "LC_ALL": "C.UTF-8",
            "LANG": "C.UTF-8",
        })
        if self.display:
            env["DISPLAY"] = self.display
        return env

    # What the test prefix holds beyond a fresh one.
    PREFIX_SETTINGS = [
        # Windows inside one desktop window that Wine draws itself, caption and frame
        # included: there is no window manager on the virtual display.
        (r"HKCU\Software\Wine\Explorer", "Desktop", "REG_SZ", "Default"),
        (r"HKCU\Software\Wine\Explorer\Desktops", "Default", "REG_SZ", SCREEN.rsplit("x", 1)[0]),
        # A crashing program ends with its exception code instead of waiting on a dialog.
        (r"HKCU\Software\Wine\WineDbg", "ShowCrashDialog", "REG_DWORD", "0"),
    ]

    def prefix_key(self) -> str:
        """Names a prefix made by this Wine with these settings: a prefix of
        another Wine version, or made otherwise, is made anew."""
        version = subprocess.run(["wine", "--version"], env=self.env, capture_output=True, text=True,
                                 stdin=subprocess.DEVNULL, timeout=60 * TIME_SCALE).stdout.strip()
        recipe = json.dumps([version, self.env["WINEARCH"], self.env["WINEDLLOVERRIDES"], self.PREFIX_SETTINGS,
                             _PREFIX_RECIPE_VERSION])
        return hashlib.sha256(recipe.encode()).hexdigest()[:16]

    @property
    def prefix_cache(self) -> Path:
        """Where made prefixes are kept as tar files (the virtual machine keeps
        them beside its kernel, since its build trees' prefixes live in memory)."""
        return Path(os.environ.get("QUILLON_PREFIX_CACHE") or self.root / "prefix-cache")

    def ensure_prefix(self) -> None:
        """Puts a prefix in place: kept from before, unpacked from the cache, or made anew (slow) and cached."""
        key = self.prefix_key()
        ready = self.prefix / ".quillon-ready"
        if ready.exists() and ready.read_text().strip() == key:
            return
        self.root.mkdir(parents=True, exist_ok=True)
        with open(self.root / "prefix.lock", "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            if ready.exists() and ready.read_text().strip() == key:
                return
            self._stop_server()
            shutil.rmtree(self.prefix, ignore_errors=True)
            cached = self.prefix_cache / f"wineprefix-{key}.tar"
            if cached.exists():
                self.prefix.mkdir(parents=True)
                subprocess.run(["tar", "-xf", str(cached), "-C", str(self.prefix)], check=True)
            else:
                self._make_prefix()
                self.prefix_cache.mkdir(parents=True, exist_ok=True)
                partial = cached.with_name(f"{cached.name}.{os.getpid()}")
                subprocess.run(["tar", "-cf", str(partial), "-C", str(self.prefix), "."], check=True)
                partial.replace(cached)
            ready.write_text(key + "\n")

    # Files of a prefix that nothing writes in place: Wine's own programs,
    # libraries and fonts (a test that replaces one removes it first).
    SHARED_SUFFIXES = {".dll", ".exe", ".drv", ".sys", ".ocx", ".tlb", ".cpl", ".acm", ".ax", ".ds", ".msstyles",
                       ".mui", ".nls", ".ttf", ".fon"}

    def copy_prefix(self, source: Path) -> None:
        """This slot's prefix as a fresh copy of another (the fixture's template).

        Wine's programs and libraries are hard links to the source's: they make up
        nearly all of a prefix's 600 MB, which a copy would take from the guest's
        memory once per slot, and copy slowly under an emulated CPU."""
        self._stop_server()
        shutil.rmtree(self.prefix, ignore_errors=True)
        for folder, subfolders, files in os.walk(source):
            relative = Path(folder).relative_to(source)
            target = self.prefix / relative
            target.mkdir(parents=True, exist_ok=True)
            shutil.copystat(folder, target)
            for name in subfolders + files:
                source_path, target_path = Path(folder, name), target / name
                if source_path.is_symlink():
                    os.symlink(os.readlink(source_path), target_path)
                elif name in files:
                    if source_path.suffix.lower() in self.SHARED_SUFFIXES:
                        os.link(source_path, target_path)
                    else:
                        shutil.copy2(source_path, target_path)

    def _install_wine_fonts(self) -> None:
        """Copies Wine's own fonts (Marlett, Tahoma, ...) into the prefix's Fonts folder.

        Wine looks for them in its data folder, but Debian's build of Wine 8
        names that folder with a "/" inside a Windows path ("Z:\\usr\\share\\wine\\../fonts"),
        which never resolves: without Marlett every caption draws its buttons
        as the letters "0", "1" and "r". Fonts in the Windows folder are loaded
        at every start, wherever Wine's data folder is."""
        wine = Path(shutil.which("wine") or "/usr/bin/wine").resolve()
        candidates = [wine.parent.parent / "share" / "wine" / "fonts", Path("/usr/share/wine/fonts"),
                      Path("/usr/local/share/wine/fonts")]
        source = next((c for c in candidates if (c / "marlett.ttf").exists()), None)
        if source is None:
            raise HarnessError("Wine's fonts are missing (no marlett.ttf in " +
                               ", ".join(map(str, candidates)) + "); scripts/setup.sh installs fonts-wine")
        fonts = self.prefix / "drive_c" / "windows" / "Fonts"
        fonts.mkdir(parents=True, exist_ok=True)
        for font in source.iterdir():
            if font.suffix.lower() in (".ttf", ".ttc", ".otf", ".fon") and not (fonts / font.name).exists():
                shutil.copyfile(font, fonts / font.name)

    def _make_prefix(self) -> None:
        """wineboot and the test settings, on an X server of its own when none is there."""
        own_display = self.display is None
        if own_display:
            self.display = self._start_xvfb()
        try:
            log = self.work / "wineboot.log"
            log.parent.mkdir(parents=True, exist_ok=True)
            with open(log, "wb") as out:
                rc = subprocess.call(["wineboot", "-i"], env=self.env, stdin=subprocess.DEVNULL, stdout=out,
                                     stderr=out, timeout=600 * TIME_SCALE)
            if rc != 0:
                # The log goes with the build tree: tell what it says here.
                said = log.read_text(errors="replace").strip().splitlines()[-5:]
                raise HarnessError(f"wineboot failed ({rc}); {log} ends with:\n" + "\n".join(said))
            self._install_wine_fonts()
            for key, name, kind, data in self.PREFIX_SETTINGS:
                result = self.run("reg", ["add", key, "/v", name, "/t", kind, "/d", data, "/f"], timeout=120)
                if result.returncode != 0:
                    raise HarnessError(f"cannot set {key}\\{name}: {result.stderr}")
            # The registry is written out when the server ends; the desktop settings
            # take effect when Wine starts anew.
            self._stop_server()
        finally:
            if own_display:
                self._stop_xvfb()
                self.display = None

    def _start_server(self) -> None:
        log = open(self.work / "wineserver.log", "ab")
        with log:
            subprocess.call(["wineserver", "-p"], env=self.env, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                            start_new_session=True)
        # The first Wine processes of a session start the session's own (services,
        # the desktop), which keep the standard handles of the process that
        # started them: the desktop keeper starts them, on files, before a test
        # runs anything.
        if not self._keep_desktop():
            self._wine(["reg", "query", r"HKCU\Software\Wine"], 120, reset_on_timeout=False)

    def _keep_desktop(self) -> bool:
        """Starts desktop_keeper.exe and waits until its window is up: it holds
        the desktop open until the server is stopped, since Wine closes it a
        second after its last user ends and each run would then start the
        desktop's processes again before its first window shows (seconds under
        emulation). False when the target build has no keeper."""
        keeper = self.target_dir / "desktop_keeper.exe"
        if not keeper.exists():
            return False
        ready = self.work / "desktop-keeper.ready"
        ready.unlink(missing_ok=True)
        log_path = self.work / "desktop-keeper.log"
        with open(log_path, "ab") as log:
            self._keeper = subprocess.Popen(["wine", self.windows_path(keeper), self.windows_path(ready)],
                                            env=self.env, cwd=self.work, stdin=subprocess.DEVNULL, stdout=log,
                                            stderr=log, start_new_session=True)
        deadline = time.monotonic() + 120 * TIME_SCALE
        while not ready.exists():
            if self._keeper.poll() is not None or time.monotonic() > deadline:
                raise HarnessError(f"desktop_keeper.exe did not start (exit code {self._keeper.poll()}); see {log_path}")
            time.sleep(0.05)  # a file has no event to wait on; the keeper's end is checked too
        return True

    def _stop_server(self) -> None:
        self._end_served_driver()
        subprocess.call(["wineserver", "-k"], env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                        stderr=subprocess.DEVNULL)
        subprocess.call(["wineserver", "-w"], env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                        stderr=subprocess.DEVNULL, timeout=60)
        if self._keeper is not None:
            self._keeper.wait(60)
            self._keeper = None

    def reset(self) -> None:
        """Ends every Windows process of the prefix (after a run had to be stopped)."""
        self._stop_server()
        self._start_server()

    def env_with(self, extra: dict[str, str] | None) -> dict[str, str]:
        """The session's environment with extra variables; a WINEDLLOVERRIDES among
        them is added to the session's own overrides instead of replacing them."""
        env = self.env
        for name, value in (extra or {}).items():
            if name == "WINEDLLOVERRIDES" and env.get(name):
                value = env[name] + ";" + value
            env[name] = value
        return env

    def _wine(self, argv: list[str], timeout: float, cwd=None, input: bytes | None = None,
              env: dict[str, str] | None = None, reset_on_timeout: bool = True) -> RunResult:
        self._counter += 1
        base = self.work / f"run{os.getpid()}-{self._counter}"
        # Files rather than pipes: a Windows process started on the way (the
        # desktop, services) would hold a pipe open long after the run.
        stdin_path = base.with_suffix(".in")
        stdin_path.write_bytes(input or b"")
        with open(stdin_path, "rb") as stdin, open(base.with_suffix(".out"), "wb") as out, \
                open(base.with_suffix(".err"), "wb") as err:
            process = subprocess.Popen(["wine", *argv], env=self.env_with(env), cwd=cwd or self.work, stdin=stdin,
                                       stdout=out, stderr=err)
            timed_out = False
            try:
                process.wait(timeout * TIME_SCALE)
            except subprocess.TimeoutExpired:
                timed_out = True
                process.kill()
                process.wait()
        stdout = base.with_suffix(".out").read_bytes().decode("utf-8", "replace")
        stderr = base.with_suffix(".err").read_bytes().decode("utf-8", "replace")
        for suffix in (".in", ".out", ".err"):
            base.with_suffix(suffix).unlink()
        if timed_out and reset_on_timeout:
            self.reset()
        return RunResult(None if timed_out else process.returncode, stdout, stderr, timed_out)

    def executable(self, exe: str | os.PathLike) -> Path:
        """A program of the target build by name ("dialog_probe.exe"), or a path."""
        path = Path(exe)
        if not path.is_absolute() and not path.exists():
            path = self.target_dir / path
        if not path.exists():
            raise HarnessError(f"{path} does not exist: build the target first (cmake --build <build>)")
        return path.resolve()

    def run(self, exe: str | os.PathLike, args=(), cwd=None, timeout: float = 60,
            input: bytes | None = None, env: dict[str, str] | None = None) -> RunResult:
        """Runs a Windows program (a path, a target build program, or a Wine tool such as "reg").

        env: variables added to the environment of the run (see env_with)."""
        program = str(exe)
        if program.lower().endswith(".exe") or os.sep in program:
            program = self.windows_path(self.executable(exe))
        return self._wine([program, *map(str, args)], timeout, cwd=cwd, input=input, env=env)

    @property
    def pack_tool(self) -> Path:
        """The host packager, quillon-pack, of the same build."""
        return Path(os.environ.get("QUILLON_PACK", self.build_dir / "quillon-pack"))

    # -- paths -----------------------------------------------------------

    def _drives(self) -> dict[str, Path]:
        drives = {}
        devices = self.prefix / "dosdevices"
        for entry in devices.iterdir() if devices.exists() else ():
            if len(entry.name) == 2 and entry.name[1] == ":":
                drives[entry.name[0].upper()] = (devices / os.readlink(entry)).resolve()
        drives.setdefault("C", (self.prefix / "drive_c").resolve())
        drives.setdefault("Z", Path("/"))
        return drives

    def windows_path(self, linux_path: str | os.PathLike) -> str:
        """The path as a program in the prefix sees it (C: for drive_c, Z: for the rest)."""
        path = Path(linux_path).absolute()
        best = None
        for letter, root in self._drives().items():
            with contextlib.suppress(ValueError):
                rel = path.relative_to(root)
                if best is None or len(root.parts) > len(best[1].parts):
                    best = (letter, root, rel)
        letter, _, rel = best
        return str(PureWindowsPath(f"{letter}:\\", *rel.parts))

    def linux_path(self, windows_path: str) -> Path:
        """Where a Windows path of the prefix is, matching names case-insensitively as Windows does."""
        win = PureWindowsPath(windows_path)
        if not win.drive:
            raise ValueError(f"{windows_path!r} is not an absolute Windows path")
        root = self._drives()[win.drive[0].upper()]
        path = root
        for part in win.parts[1:]:
            candidate = path / part
            if not candidate.exists() and path.is_dir():
                match = next((p for p in path.iterdir() if p.name.lower() == part.lower()), None)
                candidate = match or candidate
            path = candidate
        return path

    # -- registry --------------------------------------------------------

    def reg_export(self, key: str) -> dict[str, dict[str, object]]:
        """The key and its subkeys, as {full key name: {value name: value}}; empty when missing.

        Strings come back as str, REG_DWORD and REG_QWORD as int, REG_MULTI_SZ as a list and
        REG_BINARY as bytes."""
        out = self.work / f"export{os.getpid()}.reg"
        with contextlib.suppress(FileNotFoundError):
            out.unlink()
        result = self.run("reg", ["export", full_key_name(key), self.windows_path(out), "/y"], timeout=120)
        if result.returncode != 0 or not out.exists():
            return {}
        raw = out.read_bytes()
        out.unlink()
        text = raw.decode("utf-16") if raw[:2] in (b"\xff\xfe", b"\xfe\xff") else raw.decode("utf-8", "replace")
        return parse_reg_file(text)

    def reg_query(self, key: str, value: str | None = None):
        """The values of one key ({} when missing), or one value (None when missing; "" is the default value)."""
        wanted = full_key_name(key).lower()
        values = next((v for k, v in self.reg_export(key).items() if k.lower() == wanted), {})
        if value is None:
            return values
        return next((v for k, v in values.items() if k.lower() == value.lower()), None)

    # -- the GUI driver --------------------------------------------------

    def drive(self, target_exe: str | os.PathLike, script_text: str, args=(), cwd=None, timeout: float = 60,
              wait_timeout: float | None = None, shots_name: str = "case", shots: bool = True,
              script_path: bool = True, env: dict[str, str] | None = None) -> DriveResult:
        """Runs the target under guidriver.exe with the script.

        timeout bounds the whole run (the harness then stops everything); wait_timeout is
        the driver's limit for each wait (its --timeout, 20 s by default); both are
        multiplied by TIME_SCALE (a script's own "timeout" command is not). The screenshots
        land in <build>/e2e/shots/<shots_name>/ as PNG files. With script_path=False the
        script goes to the driver on standard input. env: variables added to the
        environment of the driver, which the target and its children inherit (see
        env_with)."""
        driver = self.executable("guidriver.exe")
        target = self.executable(target_exe)
        bmp_dir = self.work / "bmp" / shots_name
        png_dir = self.shots_root / shots_name
        for folder in (bmp_dir, png_dir):
            shutil.rmtree(folder, ignore_errors=True)
        bmp_dir.mkdir(parents=True)
        script_file = self.work / f"{shots_name}.script"
        script_file.write_text(script_text, encoding="utf-8")
        argv = [self.windows_path(driver)]
        if shots:
            argv += ["--shots", self.windows_path(bmp_dir)]
        if TIME_SCALE != 1:
            wait_timeout = (wait_timeout or 20) * TIME_SCALE
        if wait_timeout is not None:
            argv += ["--timeout", str(wait_timeout)]
        if cwd is not None:
            argv += ["--cwd", self.windows_path(cwd)]
        argv += [self.windows_path(script_file) if script_path else "-", "--", self.windows_path(target)]
        argv += [str(a) for a in args]
        if script_path and not any("\t" in a or "\n" in a for a in argv[1:]):
            run = self._served(argv[1:], timeout, env)
        else:
            run = self._wine(argv, timeout, input=None if script_path else script_text.encode("utf-8"), env=env)
        events, stray = [], []
        for line in run.stdout.splitlines():
            try:
                event = json.loads(line)
            except ValueError:
                event = None
            if isinstance(event, dict) and "event" in event:
                events.append(event)
            elif line.strip():
                stray.append(line)
        result = DriveResult(run.returncode, events, run.stdout, run.stderr, png_dir, run.timed_out, stray)
        self._convert_shots(result, png_dir)
        shutil.rmtree(bmp_dir, ignore_errors=True)
        return result

    def _served(self, args: list[str], timeout: float, env: dict[str, str] | None) -> RunResult:
        """One drive by the session's serving driver (guidriver.exe --serve),
        started at the first drive: a driver started for each run would cost a
        Wine process start each time. The request is the driver's arguments,
        A driver serves the runs of one environment, which its targets inherit
        from it (Wine takes a child's DLL overrides from the Unix environment,
        not from the environment block a Windows parent passes): another
        environment gets a driver of its own."""
        wanted = self.env_with(env)
        if self._server_driver is not None and (self._server_driver.poll() is not None
                                                or self._served_env != wanted):
            self._end_served_driver()
        if self._server_driver is None:
            self._start_served_driver(wanted)
        request = args
        errors = self.work / "served-driver.err"
        errors_from = errors.stat().st_size
        driver = self._server_driver
        driver.stdin.write(("\t".join(request) + "\n").encode("utf-8"))
        driver.stdin.flush()
        lines, code, timed_out = [], None, False
        deadline = time.monotonic() + timeout * TIME_SCALE
        pending = b""
        while code is None:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([driver.stdout], [], [], left)[0]:
                timed_out = True
                break
            chunk = os.read(driver.stdout.fileno(), 65536)
            if not chunk:  # the driver ended without finishing the run
                driver.wait()
                code = driver.returncode
                break
            pending += chunk
            *complete, pending = pending.split(b"\n")
            for raw in complete:
                line = raw.decode("utf-8", "replace")
                try:
                    event = json.loads(line)
                except ValueError:
                    event = None
                if isinstance(event, dict) and event.get("event") == "done":
                    code = event["code"]
                else:
                    lines.append(line + "\n")
        with open(errors, "rb") as err:
            err.seek(errors_from)
            stderr = err.read().decode("utf-8", "replace")
        if timed_out:
            driver.kill()
            driver.wait()
        if driver.returncode is not None:
            driver.stdout.close()
            driver.stdin.close()
            self._server_driver = None
        if timed_out:
            self.reset()
        return RunResult(None if timed_out else code, "".join(lines) + pending.decode("utf-8", "replace"), stderr,
                         timed_out)

    def _start_served_driver(self, env: dict[str, str]) -> None:
        driver = self.executable("guidriver.exe")
        self._served_env = env
        with open(self.work / "served-driver.err", "ab") as err:
            self._server_driver = subprocess.Popen(["wine", self.windows_path(driver), "--serve"], env=env,
                                                   cwd=self.work, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                                   stderr=err, start_new_session=True)

    def _end_served_driver(self) -> None:
        driver, self._server_driver = self._server_driver, None
        if driver is None:
            return
        driver.stdin.close()  # the driver ends at the end of its requests
        try:
            driver.wait(30 * TIME_SCALE)
        except subprocess.TimeoutExpired:
            driver.kill()
            driver.wait()
        driver.stdout.close()

    def _convert_shots(self, result: DriveResult, png_dir: Path) -> None:
        pictures = list(result.snapshots)
        for error in result.errors:
            pictures += error.get("windows", [])
        pictures = [p for p in pictures if "shot" in p]
        if not pictures:
            return
        png_dir.mkdir(parents=True, exist_ok=True)
        for picture in pictures:
            bmp = self.linux_path(picture["shot"])
            png = png_dir / (bmp.stem + ".png")
            try:
                png.write_bytes(bmp_to_png(bmp.read_bytes()))
                picture["png"] = str(png)
            except (OSError, ValueError) as error:
                picture["png_error"] = str(error)


def _png_chunk(kind: bytes, data: bytes) -> bytes:
    return len(data).to_bytes(4, "big") + kind + data + zlib.crc32(kind + data).to_bytes(4, "big")


def bmp_to_png(bmp: bytes) -> bytes:
    """A PNG file of an uncompressed 24- or 32-bit BMP file, as the driver writes
    them; done here rather than by a converter program, whose start alone
    takes longer than a shot under an emulated CPU."""
    if bmp[:2] != b"BM" or len(bmp) < 54:
        raise ValueError("not a BMP file")
    offset = int.from_bytes(bmp[10:14], "little")
    width = int.from_bytes(bmp[18:22], "little", signed=True)
    height = int.from_bytes(bmp[22:26], "little", signed=True)
    bits = int.from_bytes(bmp[28:30], "little")
    compression = int.from_bytes(bmp[30:34], "little")
    if bits not in (24, 32) or compression != 0 or width <= 0 or height == 0:
        raise ValueError(f"unsupported BMP: {bits} bits per pixel, compression {compression}")
    step = bits // 8
    stride = (width * step + 3) & ~3
    rows = abs(height)
    if offset + stride * rows > len(bmp):
        raise ValueError("the BMP file is cut short")
    raw = bytearray()
    for y in range(rows):
        # Bottom-up unless the height is negative; pixels as blue, green, red.
        source = y if height < 0 else rows - 1 - y
        row = bmp[offset + source * stride:offset + source * stride + width * step]
        rgb = bytearray(width * 3)
        rgb[0::3], rgb[1::3], rgb[2::3] = row[2::step], row[1::step], row[0::step]
        raw += b"\0" + rgb
    header = width.to_bytes(4, "big") + rows.to_bytes(4, "big") + bytes([8, 2, 0, 0, 0])
    return (b"\x89PNG\r\n\x1a\n" + _png_chunk(b"IHDR", header) + _png_chunk(b"IDAT", zlib.compress(bytes(raw), 6))
            + _png_chunk(b"IEND", b""))


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("action", choices=["setup", "cleanup", "test"])
    parser.add_argument("module", nargs="?", help="for test: the test module to run (test_install)")
    parser.add_argument("--build", default=None, help="the build tree (default: $QUILLON_BUILD_DIR or build/)")
    parser.add_argument("--target-dir", default=None, help="where the Windows programs are (default: <build>/target)")
    parser.add_argument("--slots", type=int, default=default_slots(),
                        help="for setup: how many sessions run side by side (default: $QUILLON_E2E_SLOTS or "
                             "the number of processors)")
    options = parser.parse_args(argv)
    unavailable = i386_unavailable()
    if options.action == "test":
        if unavailable:
            print(f"End-to-end tests skipped: {unavailable}.")
            return SKIP_EXIT_CODE
        return subprocess.call([sys.executable, "-m", "unittest", "-v", options.module])
    if unavailable:
        print(f"No Wine session: {unavailable}.")
        return 0
    session = WineSession(options.build, options.target_dir)
    started = time.monotonic()
    if options.action == "setup":
        session.setup_shared(options.slots)
        print(f"{options.slots} Wine sessions ready ({time.monotonic() - started:.1f} s)")
    else:
        session.cleanup_shared()
        print("Wine sessions stopped")
    return 0


if __name__ == "__main__":
    sys.exit(main())
