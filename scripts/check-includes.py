#!/usr/bin/env python3
"""Checks the include rule of docs/architecture.md.

The folders of src/ form layers, top to bottom, in the order of LAYERS. A file
may include headers of its own folder and of folders below it, never of one
above it: the arrows between folders run one way. resources/ holds only
identifiers and may be included by app and ui. The tools may include the
package layer of src/ and the folders below it, where the package format's
rules live, never the stub's program, windows or setup engine above it; and
never each other. The packager's own folders form layers too, in the order
of PACK_LAYERS, below its main.cpp, which only dispatches; their names differ
from those of src/, so that an include says whose folder it means.

    python3 scripts/check-includes.py [ROOT]

Prints each include that breaks the rule (file:line, the include, the rule)
and exits with 1 when there is one.
"""

import re
import sys
from pathlib import Path

LAYERS = ["app", "ui", "install", "package", "inflate", "crypt", "fs", "base"]
RESOURCE_USERS = {"app", "ui"}
TOOLS = ["pack", "guidriver"]
TOOL_LAYERS = LAYERS[LAYERS.index("package"):]
PACK_LAYERS = ["commands", "cli", "building", "reading", "common", "system", "support"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SOURCE_SUFFIXES = {".h", ".cpp"}


def allowed_in_src(folder: str, target: str) -> bool:
    if target == folder:
        return True
    if target == "resources":
        return folder in RESOURCE_USERS
    if folder not in LAYERS or target not in LAYERS:
        return False
    return LAYERS.index(target) > LAYERS.index(folder)


def allowed_in_pack(folder: str, target: str) -> bool:
    """folder: a folder of tools/pack, or "" for its top (main.cpp)."""
    if folder == "" or target == folder:
        return True
    return folder in PACK_LAYERS and PACK_LAYERS.index(target) > PACK_LAYERS.index(folder)


def includes(folder: Path):
    """Each quoted include with a folder in it, below folder: (file, line number, include)."""
    for path in sorted(folder.rglob("*")):
        if path.suffix not in SOURCE_SUFFIXES:
            continue
        for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            match = INCLUDE.match(line)
            if match and "/" in match.group(1):
                yield path, number, match.group(1)


def check(root: Path) -> list[str]:
    faults = []
    src_folders = {p.name for p in (root / "src").iterdir() if p.is_dir()}
    for unknown in sorted(src_folders - set(LAYERS) - {"resources"}):
        faults.append(f"src/{unknown}: a folder without a place in the layers")
    for path, number, include in includes(root / "src"):
        folder = path.relative_to(root / "src").parts[0]
        if not allowed_in_src(folder, include.split("/")[0]):
            faults.append(f"{path.relative_to(root)}:{number}: includes \"{include}\": "
                          f"src/{folder} may include only the folders below it ({rule(folder)})")
    for tool in TOOLS:
        for path, number, include in includes(root / "tools" / tool):
            if any(f"{other}/" in include for other in TOOLS if other != tool):
                faults.append(f"{path.relative_to(root)}:{number}: includes \"{include}\": "
                              f"tools/{tool} never includes another tool")
            elif include.split("/")[0] in src_folders - set(TOOL_LAYERS):
                faults.append(f"{path.relative_to(root)}:{number}: includes \"{include}\": "
                              f"a tool may include only {', '.join(TOOL_LAYERS)} of src/")
    faults += check_pack(root, src_folders)
    return faults


def check_pack(root: Path, src_folders: set[str]) -> list[str]:
    faults = []
    pack = root / "tools" / "pack"
    for name in sorted(PACK_LAYERS):
        if name in src_folders:
            faults.append(f"tools/pack/{name}: a folder named like one of src/")
    folders = {p.name for p in pack.iterdir() if p.is_dir()} if pack.is_dir() else set()
    for unknown in sorted(folders - set(PACK_LAYERS)):
        faults.append(f"tools/pack/{unknown}: a folder without a place in the packager's layers")
    for path, number, include in includes(pack):
        parts = path.relative_to(pack).parts
        folder = parts[0] if len(parts) > 1 else ""
        target = include.split("/")[0]
        if target in PACK_LAYERS and not allowed_in_pack(folder, target):
            below = PACK_LAYERS[PACK_LAYERS.index(folder) + 1:] if folder in PACK_LAYERS else []
            faults.append(f"{path.relative_to(root)}:{number}: includes \"{include}\": "
                          f"tools/pack/{folder} may include only the packager's folders below it "
                          f"({', '.join(below) or 'none'})")
    return faults


def rule(folder: str) -> str:
    if folder not in LAYERS:
        return "none"
    below = LAYERS[LAYERS.index(folder) + 1:]
    if folder in RESOURCE_USERS:
        below = below + ["resources"]
    return ", ".join(below) or "none"


def main() -> int:
    root = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent
    faults = check(root)
    for fault in faults:
        print(fault)
    if faults:
        print(f"{len(faults)} include(s) against the layering of docs/architecture.md")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
