"""Entry names as the installer takes them: in a double-byte ANSI code page,
with leading separators, and with what Windows drops from names.

Code page 932: Wine takes the ANSI code page of a process from its locale,
so the installer runs with LC_ALL=ja_JP.UTF-8 (scripts/setup.sh makes that
locale). Shift-JIS names whose second byte is 0x5C ("\\") or 0x7C ("|")
must install under their real names, while real separators and forbidden
characters are still refused. Wine turns a name's bytes into Unicode by
code page 932 and keeps it on this side in UTF-8, the locale's encoding: the
entry "\\x83\\x5C" ("ソ") is the file "ソ" here, which is what the tests look
for.

Leading separators: "/name" and "\\name" land below the work directory, as
ZIP tools take them; two separators in front of a name (a server or device
path) are refused, as test_bad_packages checks.
"""

import subprocess
import unittest

import harness
import package_builder as pb
import stubtest as st
from stubtest import ESCAPE, STATUS

JAPANESE = {"LC_ALL": "ja_JP.UTF-8"}
TITLE = "ソフト表示"  # given as code page 932 bytes: readable only when the installer runs in that code page
UNTITLED = "Self-extracting Archive"  # the main window's caption without a title
PROMPT_TEXT = 101
DONT_ASK = 401
INVALID = ("Invalid filename.", "Error")
INF = b"[Version]\r\n"
# Wine may first build its font cache anew for another locale.
WAIT = 60


def sjis(text: str) -> bytes:
    return text.encode("cp932")


def setUpModule():
    locales = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.split()
    if "ja_JP.utf8" not in locales:
        raise harness.HarnessError("the locale ja_JP.UTF-8 is missing: run scripts/setup.sh")
    st.start()


def tearDownModule():
    st.stop()


class EntryNames(st.InstallerTest):

    def install(self, name, entries, answers="", env=None, title=TITLE):
        """Installs; the setup engine's stand-in copies the work directory to self.copy."""
        exe = st.installer(name, title=sjis(title), inf="><setup.inf", wait_for_finish=False, entries=entries)
        # In code page 932 the title is found by its Japanese caption.
        script = f"wait-window {title or UNTITLED}\nclick 1\n{answers}wait-exit\n"
        with st.Runner(copy_to=self.copy) as runner:
            result = st.session.drive(exe, script, shots_name=name, env=dict(runner.env, **(env or {})),
                                      wait_timeout=WAIT, timeout=3 * WAIT).check()
            records = runner.records()
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(st.box_texts(result), [])
        self.assertEqual(len(records), 1, "the setup engine did not run once")
        return result

    def refuse(self, name):
        """Installs in code page 932 a package whose second entry must be
        refused; only the first file may be written."""
        exe = st.installer("refused", title=sjis(TITLE), inf="><setup.inf",
                           entries=[pb.stored("first.txt", b"first"), pb.stored(name, b"evil")])
        script = f"wait-window {TITLE}\nclick 1\nwait-window Error\nclick IDOK\nwait-exit\n"
        with st.Runner() as runner:
            result = st.session.drive(exe, script, shots_name="refused", env=dict(runner.env, **JAPANESE),
                                      wait_timeout=WAIT, timeout=3 * WAIT).check()
            self.assertEqual(runner.records(), [], "the setup engine ran")
        self.assertEqual(st.box_texts(result), [INVALID])
        self.assertEqual(st.tree(st.work()), {"first.txt": b"first"})
        self.assertEqual(st.directories(st.work()), set())
        self.assert_nothing_escaped()

    def test_double_byte_names_install_under_their_real_names(self):
        # ソ 0x83 0x5C, 表 0x95 0x5C, 能 0x94 0x5C, ポ 0x83 0x7C. The directory
        # entry "ソフト/" used to end the installer with runtime error 183,
        # the file "表" to be taken for a directory.
        files = {
            "setup.inf": INF,
            "ソフト/ポート.txt": b"port",
            "表": b"a file whose last byte is 0x5C",
            "能/表/ソ.bin": bytes(range(256)) * 40,
        }
        entries = [pb.stored(sjis("ソフト/"))]
        entries += [(pb.deflated if name.endswith(".bin") else pb.stored)(sjis(name), data)
                    for name, data in files.items()]
        entries.append(pb.stored(sjis("ソ/")))
        self.install("dbcs-install", entries, env=JAPANESE)
        self.assertEqual(st.tree(self.copy), files)
        self.assertEqual(st.directories(self.copy), {"ソフト", "能", "能/表", "ソ"})

    def test_overwrite_prompt_shows_the_double_byte_name(self):
        # "表" ends in 0x5C: cut at that byte, the prompt would name nothing.
        # While it is open, the main window shows the path written last. The
        # package has no title, so that the prompt's caption differs from the
        # main window's.
        st.put_in_work({"ソフト/表": b"old"})
        entries = [pb.stored(sjis(name), data) for name, data in
                   (("setup.inf", INF), ("ソフト/ポート.txt", b"port"), ("ソフト/表", b"new"))]
        answers = f"wait-window-any\nwait-window {UNTITLED}\nwait-window-class #32770\nclick 1\nwait-gone\n"
        result = self.install("dbcs-prompt", entries, answers=answers, env=JAPANESE, title="")
        [prompt] = [s for s in result.snapshots if result.find_control(s, DONT_ASK) is not None
                    and s["reason"] == "new"]
        self.assertEqual(result.text(prompt, PROMPT_TEXT), "表 already exists - overwrite?")
        main = [s for s in result.windows_with_caption(UNTITLED) if s["reason"] == "wait-window"][-1]
        self.assertEqual(result.text(main, STATUS), st.EXTRACTING + st.WORK + r"\ソフト\ポート.txt")
        self.assertEqual(st.tree(self.copy), {"setup.inf": INF, "ソフト/ポート.txt": b"port", "ソフト/表": b"new"})

    def test_unsafe_names_are_still_refused_in_code_page_932(self):
        names = [
            sjis("ソ/../../") + ESCAPE.encode(),
            sjis("..\\ソ\\") + ESCAPE.encode(),
            sjis("表\\..\\..\\") + ESCAPE.encode(),
            sjis("ポ|.txt"),
            sjis("表:stream"),
            sjis("ソ/con.txt"),
            sjis("C:表"),
            b"\\\\server\\share\\" + sjis("ソ"),
        ]
        for name in names:
            with self.subTest(name=name):
                st.clear_work()
                self.refuse(name)

    def test_names_land_where_windows_writes_them(self):
        # "." and empty components and trailing dots and blanks are dropped by
        # the installer itself, as Windows drops them, so that every reader of
        # the package comes to the same files.
        entries = [
            pb.stored("setup.inf", INF),
            pb.stored("a/./b.txt", b"b"),
            pb.stored("./c.txt", b"c"),
            pb.stored("d//e.txt", b"e"),
            pb.stored("f. ", b"f"),
            pb.stored("g /h.txt", b"h"),
            pb.stored("./"),
            pb.stored("i./"),
        ]
        self.install("windows-names", entries, title="Names")
        self.assertEqual(st.tree(self.copy), {"setup.inf": INF, "a/b.txt": b"b", "c.txt": b"c", "d/e.txt": b"e",
                                              "f": b"f", "g/h.txt": b"h"})
        self.assertEqual(st.directories(self.copy), {"a", "d", "g", "i"})
        self.assert_nothing_escaped()

    def test_leading_separators_are_stripped(self):
        entries = [
            pb.stored("setup.inf", INF),
            pb.stored("/a.txt", b"a"),
            pb.stored("\\b.txt", b"b"),
            pb.stored("///sub/c.txt", b"c"),
            pb.stored("\\/\\" + ESCAPE, b"inside"),
            pb.stored("/empty/"),
        ]
        self.install("leading-separators", entries, title="Leading")
        self.assertEqual(st.tree(self.copy), {"setup.inf": INF, "a.txt": b"a", "b.txt": b"b", "sub/c.txt": b"c",
                                              ESCAPE: b"inside"})
        self.assertEqual(st.directories(self.copy), {"sub", "empty"})
        self.assert_nothing_escaped()


if __name__ == "__main__":
    unittest.main()
