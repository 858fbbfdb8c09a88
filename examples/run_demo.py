#!/usr/bin/env python3
"""Packs the demo installer from examples/demo and runs it under Wine.

With a display (DISPLAY set, not in CI) the installer is run for you to click
through. Without one it is driven through headless by the GUI driver: the
licence is accepted, the files are installed by the real setup engine, the
information box is opened, and "Finish" cleans up; a screenshot of every
dialog lands in build/demo/shots/.
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


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", type=Path, default=REPO / "build")
    parser.add_argument("--headless", action="store_true", help="drive the demo even when a display is there")
    args = parser.parse_args()
    build = args.build.resolve()
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
