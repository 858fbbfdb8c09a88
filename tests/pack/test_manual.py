"""The manual page and the bash completion that the build writes from the
packager's table of options: each names every option of the table, as --help
does, and no other; the page is clean roff; the completion, sourced in bash,
completes the commands, each command's options and their values.

    test_manual.py GENERATOR MANUAL_PAGE COMPLETION QUILLON_PACK VERSION
"""

import gzip
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

if len(sys.argv) < 6:
    sys.exit(__doc__)
GENERATOR, PAGE, COMPLETION, PACK = (Path(a).resolve() for a in sys.argv[1:5])
VERSION = sys.argv[5]
del sys.argv[1:6]

# The options a text names: "-o", "--title", ... (not the dashes of words).
OPTION = re.compile(r"(?<![\w-])--?[a-z][a-z-]*")


def run(*command, **kwargs):
    return subprocess.run([str(c) for c in command], capture_output=True, text=True, check=True, **kwargs)


def table():
    """The table of options, as the generator prints it: {long: (short, value, kind, commands)}."""
    rows = {}
    for line in run(GENERATOR, "options").stdout.splitlines():
        name, short, value, kind, commands = line.split()
        rows[name] = (None if short == "-" else short, None if value == "-" else value, kind, commands.split(","))
    return rows


TABLE = table()


def forms(rows):
    return {f for name, (short, *_rest) in rows.items() for f in (name, short) if f}


def page_source() -> str:
    return gzip.decompress(PAGE.read_bytes()).decode("ascii")


def complete(*words, cwd):
    """What the completion offers with the cursor at the end of the last word."""
    script = f"""
source {COMPLETION}
function=$(complete -p quillon-pack | sed -n 's/.* -F \\([^ ]*\\) .*/\\1/p')
COMP_WORDS=("$@")
COMP_CWORD=$(($# - 1))
COMP_LINE="$*"
COMP_POINT=${{#COMP_LINE}}
"$function" quillon-pack "${{COMP_WORDS[COMP_CWORD]}}" "${{COMP_WORDS[COMP_CWORD - 1]}}"
printf '%s\\n' "${{COMPREPLY[@]}}"
"""
    result = run("bash", "--norc", "--noprofile", "-c", script, "_", "quillon-pack", *words, cwd=cwd)
    return set(result.stdout.split("\n")) - {""}


class Manual(unittest.TestCase):
    def test_every_option_and_no_other(self):
        source = page_source()
        # As it reads: font changes gone, minus signs as dashes.
        plain = re.sub(r"\\f[BIRP]", "", source).replace("\\-", "-")
        help_text = run(PACK, "--help").stdout
        for name, text in (("manual page", plain), ("--help", help_text)):
            with self.subTest(name):
                self.assertEqual(set(OPTION.findall(text)), forms(TABLE))
        with tempfile.TemporaryDirectory() as temp:
            offered = set().union(*(complete(*command, "-", cwd=temp) for command in ([], ["list"], ["verify"],
                                                                                      ["extract"])))
        self.assertEqual(offered, forms(TABLE))

    def test_page_is_clean_roff(self):
        source = page_source()
        self.assertIn(f'"quillon\\-pack {VERSION}"', source.splitlines()[1])
        for heading in ("NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "EXIT STATUS", "ENVIRONMENT", "EXAMPLES",
                        "SEE ALSO"):
            self.assertIn(f"\n.SH {heading}\n", source)
        for variable in ("SOURCE_DATE_EPOCH", "TZ", "TERM"):
            self.assertIn(f".B {variable}\n", source.replace("\\fB", ".B ").replace("\\fR", ""))
        with tempfile.TemporaryDirectory() as temp:
            page = Path(temp) / "quillon-pack.1"
            page.write_text(source)
            checks = [["groff", "-ww", "-z", "-man", page]]
            if shutil.which("man"):
                checks.append(["man", "--warnings", "-l", page])
            for check in checks:
                with self.subTest(check[0]):
                    result = subprocess.run(check, capture_output=True, text=True,
                                            env={"PATH": "/usr/bin:/bin", "LC_ALL": "C.UTF-8", "MANWIDTH": "80"})
                    self.assertEqual((result.returncode, result.stderr), (0, ""))

    def test_page_is_reproducible(self):
        with tempfile.TemporaryDirectory() as temp:
            again = Path(temp) / "again.1"
            date = re.search(r'^\.TH \S+ 1 "([0-9-]+)"', page_source(), re.M).group(1)
            run(GENERATOR, "page", date, again)
            self.assertEqual(again.read_text(), page_source())


class Completion(unittest.TestCase):
    def setUp(self):
        temp = tempfile.TemporaryDirectory()
        self.addCleanup(temp.cleanup)
        self.dir = Path(temp.name)
        (self.dir / "setup.exe").write_bytes(b"")
        (self.dir / "setup.inf").write_bytes(b"")
        (self.dir / "sub").mkdir()

    def options_of(self, command):
        return forms({n: row for n, row in TABLE.items() if command in row[3]})

    def test_completes(self):
        cases = [
            # words, what must be offered (None: exactly the second set)
            (["ver"], {"verify"}),
            (["ex"], {"extract"}),
            (["--co"], {"--code-page", "--config"}),
            (["--pass"], {"--password", "--password-file", "--password-stdin"}),
            (["list", "--n"], {"--name-encoding"}),
            (["list", "--j"], {"--json"}),
            (["-o", "setup."], {"setup.exe", "setup.inf"}),
            (["--output", "=", "setup.e"], {"setup.exe"}),
            (["extract", "-d", ""], {"sub"}),
            (["--code-page", "93"], {"932", "936"}),
            (["list", "--name-encoding", "125"], {f"125{d}" for d in range(9)}),
            (["--title", ""], set()),
            (["help", ""], set()),
        ]
        for words, offered in cases:
            with self.subTest(words=words):
                self.assertEqual(complete(*words, cwd=self.dir), offered)

    def test_each_command_offers_its_own_options(self):
        for command in ("list", "verify", "extract"):
            with self.subTest(command):
                self.assertEqual(complete(command, "-", cwd=self.dir), self.options_of(command))
        self.assertEqual(complete("-", cwd=self.dir), self.options_of("pack"))
        # A file as input or installer, after the options.
        self.assertIn("setup.inf", complete("-o", "x.exe", "se", cwd=self.dir))
        self.assertIn("setup.exe", complete("verify", "se", cwd=self.dir))

    @unittest.skipUnless(shutil.which("shellcheck"), "shellcheck is not installed")
    def test_shellcheck(self):
        result = subprocess.run(["shellcheck", "-s", "bash", COMPLETION], capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stdout)


if __name__ == "__main__":
    unittest.main()
