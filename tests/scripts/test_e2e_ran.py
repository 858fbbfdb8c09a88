"""The check that the end-to-end step ran what it was asked to (scripts/e2e-ran.py)."""

import json
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

SCRIPT = Path(__file__).resolve().parents[2] / "scripts" / "e2e-ran.py"

ASKED = ["e2e_setup", "e2e_install", "e2e_driver", "e2e_cleanup"]


def junit(statuses: dict[str, str]) -> str:
    cases = "".join(f'<testcase name="{name}" status="{status}"/>' for name, status in statuses.items())
    return f'<?xml version="1.0"?><testsuite tests="{len(statuses)}">{cases}</testsuite>'


ALL_RAN = junit({name: "run" for name in ASKED})

# (label, results file text or None when the run wrote none, skips allowed, passes)
CASES = [
    ("every test ran", ALL_RAN, False, True),
    ("a failure still ran", junit({**{n: "run" for n in ASKED}, "e2e_driver": "fail"}), False, True),
    # The guest saw no build: ctest printed "No tests were found!!!" and wrote no results.
    ("no results file", None, False, False),
    ("an empty run", junit({}), False, False),
    ("one test missing", junit({n: "run" for n in ASKED if n != "e2e_install"}), False, False),
    ("tests skipped for want of Wine", junit({n: "notrun" for n in ASKED}), False, False),
    ("skips asked for", junit({n: "notrun" for n in ASKED}), True, True),
    ("a missing test is not excused by allowing skips", junit({n: "notrun" for n in ASKED[1:]}), True, False),
    ("results from another selection", junit({"e2e_other": "run"}), False, False),
]


class E2eRanTest(unittest.TestCase):
    def run_check(self, asked, results_text, skips_allowed):
        with tempfile.TemporaryDirectory() as folder:
            asked_file = Path(folder, "asked.json")
            asked_file.write_text(json.dumps({"kind": "ctestInfo", "tests": [{"name": n} for n in asked]}))
            results = Path(folder, "results.xml")
            if results_text is not None:
                results.write_text(results_text)
            argv = [sys.executable, str(SCRIPT), "--asked", str(asked_file), "--results", str(results)]
            if skips_allowed:
                argv.append("--skips-allowed")
            return subprocess.run(argv, capture_output=True, text=True)

    def test_cases(self):
        for label, results_text, skips_allowed, passes in CASES:
            with self.subTest(label):
                done = self.run_check(ASKED, results_text, skips_allowed)
                self.assertEqual(done.returncode, 0 if passes else 1, done.stdout + done.stderr)

    def test_a_build_without_end_to_end_tests_fails(self):
        done = self.run_check([], ALL_RAN, False)
        self.assertEqual(done.returncode, 1)
        self.assertIn("defines no end-to-end tests", done.stdout)

    def test_the_missing_tests_are_named(self):
        done = self.run_check(ASKED, junit({"e2e_setup": "run", "e2e_cleanup": "run"}), False)
        self.assertIn("2 of 4 end-to-end tests did not run at all: e2e_install, e2e_driver", done.stdout)


if __name__ == "__main__":
    unittest.main()
