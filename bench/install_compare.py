#!/usr/bin/env python3
"""End-to-end install time: the installer under Wine against the floor
program (install_floor.exe) under Wine, and against unzip and 7z x natively,
on the same files, side by side.

    python3 bench/install_compare.py [--build build] [--rounds 3] [--cases corpus,stored,small]
                                     [--baseline OTHER-STUB.exe]

Cases:

- corpus: what set-up puts on every machine, the 60 largest of Wine's i386
  DLLs and the mingw-w64 headers, packed with quillon-pack at deflate level 6
  and zipped with Info-ZIP's zip -6;
- stored: the same files stored, so that decoding costs nothing and only the
  file work is left;
- small: 2,000 one-line files in one folder (level 6).

Each installer has an INF that does nothing. In alternating rounds:

- installer: from the click on "&Install" to the "Finish" text (extraction,
  then the setup engine's run), and from the click on "&Finish" to the
  program's end (deletion); "extract" is the click to the text the stub shows
  when the extraction is done and the setup engine starts. The clock is the GUI
  driver's, so Wine's own start-up is not counted;
- floor: install_floor.exe, driven by the same script, writes the same entries
  (already decoded, read from one file) into the same work directory with only
  the calls no installer can do without, then deletes them;
- baseline (with --baseline): the installer again, made with another stub
  (an earlier build, say), timed as the installer is;
- unzip -q and 7z x: extracting the ZIP natively into an empty folder under
  build/install-compare/native, then deleting it (shutil.rmtree), timed apart.
  In the VM of scripts/vm, `--scratch build/install-compare/native` keeps that
  folder in the guest's memory, where Wine's work directory is too.

Each figure is the best of the rounds; the ratios are of the best figures.
Packing and zipping the corpus takes minutes where the CPU is emulated: under
the VM of scripts/vm, build the inputs first with --prepare on the machine
itself, then time them with --reuse in the VM.
"""

import argparse
import datetime
import os
import shutil
import subprocess
import sys
import time
import zipfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPO = HERE.parent
sys.path.insert(0, str(REPO / "tests" / "e2e"))

import harness  # noqa: E402
import stubtest as st  # noqa: E402

DLLS = Path("/usr/lib/i386-linux-gnu/wine/i386-windows")
HEADERS = Path("/usr/share/mingw-w64/include")
LARGEST_DLLS = 60
SMALL_FILES = 2000
TITLE = "Corpus"
FLOOR_TITLE = "Install Floor"
INF = '[Version]\r\nSignature="$Chicago$"\r\n\r\n[DefaultInstall]\r\n'
FINISH = 'Please click the "Finish" button'
UPDATING = "Setup is updating your system:"


def collect(root: Path) -> None:
    """Copies the corpus into root."""
    shutil.rmtree(root, ignore_errors=True)
    dlls = root / "dlls"
    dlls.mkdir(parents=True)
    found = [p for p in DLLS.iterdir() if p.is_file() and p.suffix == ".dll"]
    for path in sorted(found, key=lambda p: p.stat().st_size, reverse=True)[:LARGEST_DLLS]:
        shutil.copyfile(path, dlls / path.name)
    shutil.copytree(HEADERS, root / "headers", symlinks=False)
    (root / "setup.inf").write_text(INF, newline="")


def small_files(root: Path) -> None:
    shutil.rmtree(root, ignore_errors=True)
    (root / "many").mkdir(parents=True)
    for i in range(SMALL_FILES):
        (root / "many" / f"line{i:05}.txt").write_text(f"line {i}\n")
    (root / "setup.inf").write_text(INF, newline="")


def size_of(root: Path) -> tuple[int, int]:
    files = [p for p in root.rglob("*") if p.is_file()]
    return len(files), sum(p.stat().st_size for p in files)


def floor_input(installer: Path, manifest: Path, data: Path) -> None:
    """The installer's entries, in their order, as the floor program reads them."""
    with zipfile.ZipFile(installer) as archive, manifest.open("w", newline="\n") as names, data.open("wb") as out:
        for info in archive.infolist():
            y, mo, d, h, mi, s = info.date_time
            date = ((y - 1980) << 9) | (mo << 5) | d
            clock = (h << 11) | (mi << 5) | (s // 2)
            names.write(f"{info.file_size} {date} {clock} {info.filename}\n")
            if not info.is_dir():
                out.write(archive.read(info))


def timed(command) -> float:
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - start


def step_time(result: harness.DriveResult, prefix: str) -> float:
    return next(e["t"] for e in result.of("step") if e["command"].startswith(prefix)) / 1000


def text_seen(result: harness.DriveResult, text: str) -> float:
    return next(e["t"] for e in result.snapshots if e["reason"] == "wait-text"
                and any(text in (c.get("text") or "") for c in e["controls"])) / 1000


def pack(build: Path, installer: Path, tree: Path, level: int, stub: Path | None = None) -> None:
    subprocess.run([str(build / "quillon-pack"), "-o", str(installer), "--title", TITLE, "--inf", "><setup.inf",
                    "--quiet", "--level", str(level)] + (["--stub", str(stub)] if stub else []) + [str(tree)],
                   check=True)


class Case:
    def __init__(self, name: str, scratch: Path, build: Path, tree: Path, level: int, baseline: Path | None,
                 reuse: bool):
        self.name = name
        self.files, self.size = size_of(tree)
        self.installer = scratch / f"{name}-setup.exe"
        self.archive = scratch / f"{name}.zip"
        self.manifest = scratch / f"{name}.manifest"
        self.data = scratch / f"{name}.data"
        self.baseline = scratch / f"{name}-baseline.exe" if baseline else None
        self.times: dict[str, list[float]] = {}
        made = [self.installer, self.archive, self.manifest, self.data] + ([self.baseline] if self.baseline else [])
        if reuse and all(path.exists() for path in made):
            return
        pack(build, self.installer, tree, level)
        if self.baseline:
            pack(build, self.baseline, tree, level, baseline)
        self.archive.unlink(missing_ok=True)
        subprocess.run(["zip", "-q", "-r", f"-{level}", str(self.archive), "."], cwd=tree, check=True)
        floor_input(self.installer, self.manifest, self.data)

    def note(self, what: str, seconds: float) -> None:
        self.times.setdefault(what, []).append(seconds)

    def best(self, what: str) -> float:
        return min(self.times[what])


def time_installer(case: Case, installer: Path, label: str) -> None:
    session = st.session
    assert session is not None
    st.clear_work()
    script = (f"wait-window {TITLE}\nclick IDOK\ntimeout 1800\nwait-text 3002 {UPDATING}\n"
              f"wait-text 3002 {FINISH}\nclick IDCANCEL\nwait-exit\n")
    result = session.drive(installer, script, shots=False, shots_name="install-compare", timeout=3600)
    result.check()
    click = step_time(result, "click IDOK")
    case.note(f"{label} extract", text_seen(result, UPDATING) - click)
    case.note(f"{label} install", text_seen(result, FINISH) - click)
    case.note(f"{label} delete", result.of("exit")[0]["t"] / 1000 - step_time(result, "click IDCANCEL"))


def run_round(case: Case, build: Path, out: Path) -> None:
    session = st.session
    assert session is not None
    time_installer(case, case.installer, "installer")
    if case.baseline:
        time_installer(case, case.baseline, "baseline")

    st.clear_work()
    floor = build / "target" / "install_floor.exe"
    script = f"wait-window {FLOOR_TITLE}\nclick IDOK\ntimeout 1800\nwait-text 3002 {FINISH}\nclick IDCANCEL\nwait-exit\n"
    result = session.drive(floor, script, args=[session.windows_path(case.manifest),
                                                session.windows_path(case.data), st.WORK],
                           shots=False, shots_name="install-compare", timeout=3600)
    result.check()
    case.note("floor install", text_seen(result, FINISH) - step_time(result, "click IDOK"))
    case.note("floor delete", result.of("exit")[0]["t"] / 1000 - step_time(result, "click IDCANCEL"))
    if st.work().exists():
        raise RuntimeError(f"the floor program left {st.work()}")

    for name, command in [("unzip -q", ["unzip", "-q", str(case.archive), "-d", str(out)]),
                          ("7z x", ["7z", "x", "-bd", "-bso0", f"-o{out}", str(case.archive)])]:
        shutil.rmtree(out, ignore_errors=True)
        case.note(f"{name} extract", timed(command))
        start = time.perf_counter()
        shutil.rmtree(out)
        case.note(f"{name} delete", time.perf_counter() - start)


def report(case: Case) -> None:
    print(f"\n== {case.name}: {case.files} files, {case.size / 1e6:.1f} MB; installer "
          f"{case.installer.stat().st_size / 1e6:.1f} MB; best of {len(case.times['floor install'])}")
    print(f"{'':20} {'install s':>10} {'delete s':>10}")
    rows = [("installer (Wine)", "installer install", "installer delete"),
            ("  of it extraction", "installer extract", None),
            ("baseline (Wine)", "baseline install", "baseline delete"),
            ("  of it extraction", "baseline extract", None),
            ("floor (Wine)", "floor install", "floor delete"),
            ("unzip -q", "unzip -q extract", "unzip -q delete"),
            ("7z x", "7z x extract", "7z x delete")]
    for label, install, delete in rows:
        if install not in case.times:
            continue
        print(f"{label:20} {case.best(install):10.2f} " + (f"{case.best(delete):10.2f}" if delete else ""))
    floor_install, floor_delete = case.best("floor install"), case.best("floor delete")
    print(f"installer / floor: install {case.best('installer install') / floor_install:.2f}, "
          f"extraction {case.best('installer extract') / floor_install:.2f}, "
          f"deletion {case.best('installer delete') / floor_delete:.2f}")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", type=Path, default=REPO / "build")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--cases", default="corpus,stored,small")
    parser.add_argument("--baseline", type=Path, help="another stub to time beside this build's")
    parser.add_argument("--prepare", action="store_true",
                        help="only build the inputs (installers, ZIPs, the floor's files), with no Wine needed")
    parser.add_argument("--reuse", action="store_true",
                        help="take the inputs an earlier --prepare built instead of building them again")
    args = parser.parse_args()
    build = args.build.resolve()
    scratch = build / "install-compare"
    scratch.mkdir(parents=True, exist_ok=True)
    wanted = args.cases.split(",")
    cases = []
    if ("corpus" in wanted or "stored" in wanted) and not args.reuse:
        collect(scratch / "files")
    for name, level in [("corpus", 6), ("stored", 0)]:
        if name in wanted:
            cases.append(Case(name, scratch, build, scratch / "files", level, args.baseline, args.reuse))
    if "small" in wanted:
        if not args.reuse:
            small_files(scratch / "small")
        cases.append(Case("small", scratch, build, scratch / "small", 6, args.baseline, args.reuse))
    if args.prepare:
        return 0
    print(f"{datetime.datetime.now():%Y-%m-%d %H:%M}; {len(cases)} case(s), {args.rounds} round(s)", flush=True)

    os.environ["QUILLON_BUILD_DIR"] = str(build)
    st.start()
    try:
        for _ in range(args.rounds):
            for case in cases:
                run_round(case, build, scratch / "native" / "out")
    finally:
        st.stop()
    for case in cases:
        report(case)
    return 0


if __name__ == "__main__":
    sys.exit(main())
