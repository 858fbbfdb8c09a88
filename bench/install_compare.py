#!/usr/bin/env python3
"""End-to-end extraction time: the installer under Wine against unzip and
7z x natively, on the same files, side by side.

    python3 bench/install_compare.py [--build build] [--rounds 3]

The files are what set-up puts on every machine: Wine's i386 DLLs (the first
100 MB by name) and the mingw-w64 headers. They are packed once with
quillon-pack (deflate level 6, as zip -6) into an installer whose INF does
nothing, and zipped with Info-ZIP's zip -6. Then, in alternating rounds:

- installer: from the click on "Install" to the program's end, under Wine
  (extraction into the work directory, the setup engine's run, deletion);
  the clock is the GUI driver's, so Wine's own start-up is not counted;
- unzip -q and 7z x: extracting the ZIP natively into an empty folder, then
  deleting it, timed as one command each.

Each figure is the best of the rounds.
"""

import argparse
import shutil
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPO = HERE.parent
sys.path.insert(0, str(REPO / "tests" / "e2e"))

import harness  # noqa: E402

DLLS = Path("/usr/lib/i386-linux-gnu/wine/i386-windows")
HEADERS = Path("/usr/share/mingw-w64/include")
CAP = 100 * 1000 * 1000
TITLE = "Corpus"


def collect(root: Path) -> tuple[int, int]:
    """Copies the corpus into root; returns files and bytes."""
    shutil.rmtree(root, ignore_errors=True)
    count = size = 0
    dlls = root / "dlls"
    dlls.mkdir(parents=True)
    for path in sorted(DLLS.iterdir()):
        if not path.is_file() or size + path.stat().st_size > CAP:
            continue
        shutil.copyfile(path, dlls / path.name)
        count, size = count + 1, size + path.stat().st_size
    shutil.copytree(HEADERS, root / "headers", symlinks=False)
    for path in (root / "headers").rglob("*"):
        if path.is_file():
            count, size = count + 1, size + path.stat().st_size
    (root / "setup.inf").write_text('[Version]\r\nSignature="$Chicago$"\r\n\r\n[DefaultInstall]\r\n')
    return count + 1, size


def timed(command, cwd=None) -> float:
    start = time.perf_counter()
    subprocess.run(command, cwd=cwd, check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - start


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", type=Path, default=REPO / "build")
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()
    build = args.build.resolve()
    scratch = build / "install-compare"
    scratch.mkdir(parents=True, exist_ok=True)
    tree = scratch / "files"
    files, size = collect(tree)
    installer = scratch / "corpus-setup.exe"
    archive = scratch / "corpus.zip"
    subprocess.run([str(build / "quillon-pack"), "-o", str(installer), "--title", TITLE, "--inf", "><setup.inf",
                    "--no-wait", "--level", "6", str(tree)], check=True)
    archive.unlink(missing_ok=True)
    subprocess.run(["zip", "-q", "-r", "-6", str(archive), "."], cwd=tree, check=True)
    print(f"{files} files, {size / 1e6:.1f} MB; installer {installer.stat().st_size / 1e6:.1f} MB, "
          f"zip {archive.stat().st_size / 1e6:.1f} MB")

    out = scratch / "out"
    best = {"installer (Wine)": [], "unzip -q": [], "7z x": []}
    with harness.WineSession(build) as session:
        script = f"wait-window {TITLE}\nclick IDOK\ntimeout 600\nwait-exit\n"
        for _ in range(args.rounds):
            result = session.drive(installer, script, shots=False, shots_name="install-compare", timeout=900)
            result.check()
            click = next(e["t"] for e in result.of("step") if e["command"].startswith("click"))
            best["installer (Wine)"].append((result.of("exit")[0]["t"] - click) / 1000)
            for name, command in [("unzip -q", ["unzip", "-q", str(archive), "-d", str(out)]),
                                  ("7z x", ["7z", "x", "-bd", "-bso0", f"-o{out}", str(archive)])]:
                shutil.rmtree(out, ignore_errors=True)
                elapsed = timed(command)
                start = time.perf_counter()
                shutil.rmtree(out)
                best[name].append(elapsed + time.perf_counter() - start)
    print(f"{'':18} {'best s':>8} {'MB/s':>8}")
    for name, times in best.items():
        t = min(times)
        print(f"{name:18} {t:8.2f} {size / 1e6 / t:8.1f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
