#!/usr/bin/env python3
"""Packs the demo installer from examples/demo and runs it under Wine.

With a display (DISPLAY set, not in CI) the installer is run for you to click
through. Without one it is driven through headless by the GUI driver: the
licence is accepted, the files are installed by the real setup engine, the
information box is opened, and "Finish" cleans up; a screenshot of every
dialog lands in build/demo/shots/.

With --pictures DIR it makes the README's pictures instead: the tutorial's
installer, with a password and a file of an earlier run in the way, driven
through the same way; its main window, licence, password and overwrite
dialogs and the finished state land in DIR as PNG files.
"""

import argparse
import os
import shutil
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPO = HERE.parent
sys.path.insert(0, str(REPO / "tests" / "e2e"))

import harness  # noqa: E402

TITLE = "Quillon Demo"
SCRIPT = f"""
wait-window {TITLE}
click IDOK
wait-window Licence agreement
click IDOK
wait-window {TITLE}
timeout 120
wait-text 3002 Finish
click IDOK
wait-window License Information
click IDOK
wait-window {TITLE}
click IDCANCEL
wait-exit
"""


def pack(build: Path) -> Path:
    demo = HERE / "demo"
    out = build / "demo" / "quillon-demo.exe"
    out.parent.mkdir(parents=True, exist_ok=True)
    subprocess.run([str(build / "quillon-pack"), "-o", str(out), "--title", TITLE, "--inf", "><setup.inf",
                    "--info-file", str(demo / "info.txt"), "--licence-file", str(demo / "licence.txt"),
                    "--licence-info", "The demo is free to install and remove.", str(demo / "files")], check=True)
    return out


def interactive(build: Path, installer: Path) -> int:
    env = dict(os.environ, WINEPREFIX=str(build / "demo" / "wineprefix"), WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=")
    print(f"Running {installer} under Wine on {os.environ['DISPLAY']} ...")
    return subprocess.run(["wine", str(installer)], env=env).returncode


def headless(build: Path, installer: Path) -> int:
    shots = build / "demo" / "shots"
    with harness.WineSession(build) as session:
        result = session.drive(installer, SCRIPT, shots_name="demo", timeout=240)
        print(result.describe())
        installed = session.linux_path(r"C:\Quillon Demo")
        values = session.reg_query(r"HKCU\Software\Quillon Demo")
        shutil.rmtree(shots, ignore_errors=True)
        shutil.copytree(session.shots_root / "demo", shots)
        ok = result.ok and result.exit_code == 0
        print(f"\nInstalled files in {installed}:")
        for path in sorted(installed.rglob("*")):
            print(f"  {path.relative_to(installed)}")
        print(f"Registry HKCU\\Software\\Quillon Demo: {values}")
        print(f"Screenshots: {shots}")
        print("Demo " + ("ran through." if ok else "FAILED."))
        return 0 if ok else 1


TUTORIAL_TITLE = "Hello 1.0"
TUTORIAL_PASSWORD = "hello"
# The tutorial installer driven through every dialog; the pictures are picked from its snapshots.
PICTURES_SCRIPT = f"""
timeout 120
wait-window {TUTORIAL_TITLE}
click IDOK
wait-window Licence agreement
click IDOK
wait-window Please enter the password to continue...
type 101 {TUTORIAL_PASSWORD}
snapshot
click IDOK
wait-gone
wait-window-any
snapshot
click 1
wait-gone
wait-window {TUTORIAL_TITLE}
timeout 120
wait-text 2 &Finish
click 2
wait-exit
"""


def pack_tutorial(build: Path) -> Path:
    tutorial = HERE / "tutorial"
    out = build / "demo" / "hello-setup.exe"
    out.parent.mkdir(parents=True, exist_ok=True)
    password = build / "demo" / "password.txt"
    password.write_text(TUTORIAL_PASSWORD + "\n")
    subprocess.run([str(build / "quillon-pack"), "--quiet", "-o", str(out), "--title", TUTORIAL_TITLE,
                    "--inf", "><setup.inf", "--info-file", str(tutorial / "info.txt"),
                    "--licence-file", str(tutorial / "licence.txt"), "--licence-info", "Hello is free software.",
                    "--password-file", str(password), str(tutorial / "hello")], check=True)
    return out


def pictures(build: Path, out_dir: Path) -> int:
    installer = pack_tutorial(build)
    with harness.WineSession(build) as session:
        temp = session.run("cmd", ["/c", "echo", "%TEMP%"]).stdout.strip().rstrip("\\")
        work = session.linux_path(temp + r"\$Quillon.Tmp")
        installed = session.linux_path(r"C:\Hello")
        for leftover in (work, installed):
            shutil.rmtree(leftover, ignore_errors=True)
        work.mkdir(parents=True)
        (work / "hello.bat").write_bytes(b"@echo an older hello\r\n")
        result = session.drive(installer, PICTURES_SCRIPT, shots_name="pictures", timeout=600)
        print(result.describe())
        shutil.rmtree(installed, ignore_errors=True)
        session.run("reg", ["delete", r"HKCU\Software\Hello", "/f"])
        if not (result.ok and result.exit_code == 0):
            print("The tutorial's installer did not run through; no pictures were made.")
            return 1
        snaps = [s for s in result.snapshots if "png" in s]
        main = [s for s in snaps if s["caption"] == TUTORIAL_TITLE]
        chosen = {
            "main-window": main[0],
            "licence": next(s for s in snaps if s["caption"] == "Licence agreement"),
            "password": [s for s in snaps if s["caption"].startswith("Please enter the password")][-1],
            "overwrite": next(s for s in main if s["hwnd"] != main[0]["hwnd"]),
            "finished": [s for s in main if s["reason"] == "wait-text"][-1],
        }
        out_dir.mkdir(parents=True, exist_ok=True)
        for name, snap in chosen.items():
            shutil.copyfile(snap["png"], out_dir / f"{name}.png")
            print(f"  {out_dir / name}.png")
        return 0


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", type=Path, default=REPO / "build")
    parser.add_argument("--headless", action="store_true", help="drive the demo even when a display is there")
    parser.add_argument("--pictures", type=Path, metavar="DIR", help="make the README's pictures in DIR")
    args = parser.parse_args()
    build = args.build.resolve()
    if args.pictures:
        unavailable = harness.i386_unavailable()
        if unavailable:
            print(f"Cannot run the installer: {unavailable}.")
            return 1
        return pictures(build, args.pictures.resolve())
    installer = pack(build)
    print(f"Packed {installer} ({installer.stat().st_size} bytes)")
    unavailable = harness.i386_unavailable()
    if unavailable:
        print(f"Cannot run the installer: {unavailable}. Copy it to a Windows machine to try it.")
        return 1
    if os.environ.get("DISPLAY") and not os.environ.get("CI") and not args.headless:
        return interactive(build, installer)
    return headless(build, installer)


if __name__ == "__main__":
    sys.exit(main())
