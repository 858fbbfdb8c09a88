#!/usr/bin/env python3
"""Checks that every end-to-end test that was asked for ran.

    e2e-ran.py --asked ASKED.json --results RESULTS.xml [--skips-allowed]

ASKED.json is what `ctest --show-only=json-v1` printed for the selection on
the host; RESULTS.xml is the JUnit file that `ctest --output-junit` wrote for
the run (in the virtual machine, possibly). A test that is missing from the
results, or that reported itself skipped, did not run; so did every test when
the results are missing. A run that printed "No tests were found" or skipped
its tests for want of Wine must not pass as a run that passed.

--skips-allowed: the caller left the virtual machine out on purpose
(QUILLON_E2E_VM=0): skipped tests are then named but do not fail the check.
Exit code 0 when every asked test ran (passed or failed: the run's own exit
code tells which), 1 otherwise.
"""

from __future__ import annotations

import argparse
import json
import sys
import xml.etree.ElementTree as ElementTree
from pathlib import Path

# CTest's JUnit status of a test that ran; "disabled" and "notrun" did not.
RAN = {"run", "fail"}


def asked_tests(show_only: dict) -> list[str]:
    return [test["name"] for test in show_only.get("tests", [])]


def ran_tests(results: Path) -> dict[str, str]:
    """Test name to its status; empty when the file is missing or unreadable."""
    try:
        root = ElementTree.parse(results).getroot()
    except (OSError, ElementTree.ParseError):
        return {}
    return {case.get("name", ""): case.get("status", "") for case in root.iter("testcase")}


def check(asked: list[str], ran: dict[str, str], skips_allowed: bool) -> tuple[bool, list[str]]:
    """Whether every asked test ran, and what to say about those that did not."""
    said = []
    if not asked:
        return False, ["the build defines no end-to-end tests (is Wine installed? scripts/setup.sh installs it)"]
    missing = [name for name in asked if name not in ran]
    skipped = [name for name in asked if name in ran and ran[name] not in RAN]
    if missing:
        said.append(f"{len(missing)} of {len(asked)} end-to-end tests did not run at all: {', '.join(missing)}")
    if skipped:
        how = "skipped, as asked" if skips_allowed else "reported themselves skipped"
        said.append(f"{len(skipped)} of {len(asked)} end-to-end tests {how}: {', '.join(skipped)}")
    ok = not missing and (skips_allowed or not skipped)
    if ok and not skipped:
        said.append(f"all {len(asked)} end-to-end tests asked for ran")
    return ok, said


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--asked", required=True, type=Path)
    parser.add_argument("--results", required=True, type=Path)
    parser.add_argument("--skips-allowed", action="store_true")
    options = parser.parse_args(argv)
    asked = asked_tests(json.loads(options.asked.read_text()))
    ok, said = check(asked, ran_tests(options.results), options.skips_allowed)
    for line in said:
        print(("" if ok else "FAILED: ") + line)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
