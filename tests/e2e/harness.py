"""Runs Windows programs under Wine on a private virtual display for the
end-to-end tests, and drives their dialogs with guidriver.exe.

    with harness.WineSession(build_dir) as session:
        result = session.drive("dialog_probe.exe", "wait-window Probe\\nclose\\n", shots_name="probe-close")
        assert result.exit_code == 3

Everything lives below <build>/e2e: the Wine prefix (made once, it is slow),
the screenshots (shots/<name>/*.png) and scratch files (work/). A session
started by the CTest fixture ("harness.py setup") is shared by all test
processes; a test run on its own starts and stops its own X server and
wineserver.

Command line: harness.py setup|cleanup [--build DIR] [--target-dir DIR]
"""

from __future__ import annotations

import argparse
import contextlib
import fcntl
import json
import os
import select
import shutil
import signal
import subprocess
import sys
import time
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
    """A Wine prefix, a virtual X display and a running wineserver."""

    def __init__(self, build_dir: str | os.PathLike | None = None, target_dir: str | os.PathLike | None = None):
        self.build_dir = Path(build_dir).resolve() if build_dir else default_build_dir()
        self.target_dir = Path(target_dir).resolve() if target_dir else default_target_dir(self.build_dir)
        self.root = self.build_dir / "e2e"
        self.prefix = self.root / "wineprefix"
        self.shots_root = self.root / "shots"
        self.work = self.root / "work"
        self.state_file = self.root / "session.json"
        self.display: str | None = None
        self._xvfb: subprocess.Popen | None = None
        self._owned = False
        self._counter = 0

    # -- lifetime --------------------------------------------------------

    def __enter__(self) -> "WineSession":
        self.start()
        return self

    def __exit__(self, *exc) -> None:
        self.stop()

    def start(self) -> None:
        """Joins the shared session of the CTest fixture, or starts one of its own."""
        for tool in ("wine", "wineserver", "Xvfb"):
            if shutil.which(tool) is None:
                raise HarnessError(f"{tool} is not installed (scripts/setup.sh installs it)")
        self.work.mkdir(parents=True, exist_ok=True)
        shared = self._shared_display()
        if shared:
            self.display = shared
            return
        self._owned = True
        self._start_session()

    def stop(self) -> None:
        if not self._owned:
            return
        self._stop_server()
        self._stop_xvfb()
        self._owned = False

    def setup_shared(self) -> None:
        """Prepares the prefix and leaves X server and wineserver running for later test processes."""
        self.cleanup_shared()
        self.work.mkdir(parents=True, exist_ok=True)
        self._start_session()
        self.state_file.write_text(json.dumps({"display": self.display, "xvfb_pid": self._xvfb.pid}))
        self._xvfb = None  # it outlives this process

    def cleanup_shared(self) -> None:
        """Stops what setup_shared() left running."""
        try:
            state = json.loads(self.state_file.read_text())
        except (OSError, ValueError):
            state = None
        if state:
            self.display = state["display"]
        if self.prefix.exists():
            self._stop_server()
        if state:
            _end_process(state["xvfb_pid"], "Xvfb")
        with contextlib.suppress(FileNotFoundError):
            self.state_file.unlink()

    def _shared_display(self) -> str | None:
        try:
            state = json.loads(self.state_file.read_text())
        except (OSError, ValueError):
            return None
        number = state["display"].lstrip(":")
        if _pid_alive(state["xvfb_pid"], "Xvfb") and Path(f"/tmp/.X11-unix/X{number}").exists():
            return state["display"]
        return None

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
        deadline = time.monotonic() + 20
        with os.fdopen(read_end, "rb", buffering=0) as reader:
            while not number.endswith(b"\n") and time.monotonic() < deadline:
                ready, _, _ = select.select([reader], [], [], 0.2)
                if ready:
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

    def ensure_prefix(self) -> None:
        """Makes the Wine prefix once; later sessions find it ready."""
        ready = self.prefix / ".quillon-ready"
        if ready.exists():
            return
        self.root.mkdir(parents=True, exist_ok=True)
        with open(self.root / "prefix.lock", "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            if ready.exists():
                return
            self._stop_server()
            shutil.rmtree(self.prefix, ignore_errors=True)
            log = self.work / "wineboot.log"
            with open(log, "wb") as out:
                rc = subprocess.call(["wineboot", "-i"], env=self.env, stdin=subprocess.DEVNULL, stdout=out,
                                     stderr=out, timeout=600)
            if rc != 0:
                # The log goes with the build tree: tell what it says here.
                said = log.read_text(errors="replace").strip().splitlines()[-5:]
                raise HarnessError(f"wineboot failed ({rc}); {log} ends with:\n" + "\n".join(said))
            settings = [
                # Windows inside one desktop window that Wine draws itself, caption and frame
                # included: there is no window manager on the virtual display.
                (r"HKCU\Software\Wine\Explorer", "Desktop", "REG_SZ", "Default"),
                (r"HKCU\Software\Wine\Explorer\Desktops", "Default", "REG_SZ", SCREEN.rsplit("x", 1)[0]),
                # A crashing program ends with its exception code instead of waiting on a dialog.
                (r"HKCU\Software\Wine\WineDbg", "ShowCrashDialog", "REG_DWORD", "0"),
            ]
            for key, name, kind, data in settings:
                result = self.run("reg", ["add", key, "/v", name, "/t", kind, "/d", data, "/f"], timeout=120)
                if result.returncode != 0:
                    raise HarnessError(f"cannot set {key}\\{name}: {result.stderr}")
            # The desktop settings take effect when Wine starts anew.
            self._stop_server()
            ready.write_text("ok\n")

    def _start_server(self) -> None:
        log = open(self.work / "wineserver.log", "ab")
        with log:
            subprocess.call(["wineserver", "-p"], env=self.env, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                            start_new_session=True)
        # The first Wine processes of a session start the session's own (services,
        # the desktop), which keep the standard handles of the process that
        # started them: start them here, on files, before a test runs anything.
        warm_up = self.work / "warm-up.script"
        warm_up.write_text("")
        driver = self.target_dir / "guidriver.exe"
        if driver.exists():
            self._wine([self.windows_path(driver), self.windows_path(warm_up), "--", "cmd.exe", "/c", "exit"], 120,
                       reset_on_timeout=False)
        else:
            self._wine(["reg", "query", r"HKCU\Software\Wine"], 120, reset_on_timeout=False)

    def _stop_server(self) -> None:
        subprocess.call(["wineserver", "-k"], env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                        stderr=subprocess.DEVNULL)
        subprocess.call(["wineserver", "-w"], env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                        stderr=subprocess.DEVNULL, timeout=60)

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

    def _convert_shots(self, result: DriveResult, png_dir: Path) -> None:
        pictures = list(result.snapshots)
        for error in result.errors:
            pictures += error.get("windows", [])
        pictures = [p for p in pictures if "shot" in p]
        if not pictures:
            return
        png_dir.mkdir(parents=True, exist_ok=True)
        convert = shutil.which("convert")
        for picture in pictures:
            bmp = self.linux_path(picture["shot"])
            png = png_dir / (bmp.stem + ".png")
            if convert is None:
                picture["png_error"] = "ImageMagick's convert is not installed"
                continue
            done = subprocess.run([convert, str(bmp), str(png)], capture_output=True, timeout=60)
            if done.returncode == 0 and png.exists():
                picture["png"] = str(png)
            else:
                picture["png_error"] = done.stderr.decode("utf-8", "replace")


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("action", choices=["setup", "cleanup", "test"])
    parser.add_argument("module", nargs="?", help="for test: the test module to run (test_install)")
    parser.add_argument("--build", default=None, help="the build tree (default: $QUILLON_BUILD_DIR or build/)")
    parser.add_argument("--target-dir", default=None, help="where the Windows programs are (default: <build>/target)")
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
        session.setup_shared()
        print(f"Wine session ready on display {session.display} ({time.monotonic() - started:.1f} s)")
    else:
        session.cleanup_shared()
        print("Wine session stopped")
    return 0


if __name__ == "__main__":
    sys.exit(main())
