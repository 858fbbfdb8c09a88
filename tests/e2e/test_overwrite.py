"""Files that are already in the work directory: the overwrite prompt, its
answers and "Don't ask again", and what becomes of replaced and kept files."""

import unittest

import package_builder as pb
import stubtest as st
from stubtest import STATUS

TITLE = "Overwrite Test"
PROMPT_TEXT = 101
DONT_ASK = 401

# What was there before, and what the package brings.
OLD = {"a.txt": b"old a", "sub/b.txt": b"old b", "c.txt": b"old c"}
NEW = {"setup.inf": b"[Version]\r\n", "a.txt": b"new a", "sub/b.txt": b"new b", "fresh.txt": b"fresh",
       "c.txt": b"new c"}

ANSWERS = {
    "yes": "click 1",
    "no": "click 2",
    "escape": "key escape",
    "enter": "key enter",
    "close box": "close",
}


def answer_script(answer: str, find: str = "wait-window-any") -> str:
    """The script for one prompt: "yes", "no", ..., or "ticked yes" with the check box ticked first."""
    ticked = answer.startswith("ticked ")
    key = answer.removeprefix("ticked ")
    return find + "\n" + (f"check {DONT_ASK}\n" if ticked else "") + ANSWERS[key] + "\nwait-gone\n"


def setUpModule():
    st.start()


def tearDownModule():
    st.stop()


class OverwritePrompt(st.InstallerTest):

    def run_case(self, answers, title=TITLE):
        """Installs NEW over OLD, answering the prompts; answers may be a script of its own."""
        st.clear_work()
        st.put_in_work(OLD)
        exe = st.installer("overwrite", title=title, inf="><setup.inf", wait_for_finish=False,
                           entries=[pb.stored(name, data) for name, data in NEW.items()])
        if not isinstance(answers, str):
            answers = "".join(answer_script(a) for a in answers)
        script = f"wait-window {title or 'Self-extracting Archive'}\nclick 1\n{answers}wait-exit\n"
        with st.Runner(copy_to=self.copy) as runner:
            result = st.session.drive(exe, script, shots_name="overwrite", env=runner.env)
            records = runner.records()
        result.check()
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(len(records), 1)
        return result

    @staticmethod
    def prompts(result):
        """The first snapshot of each overwrite prompt, in order."""
        seen, found = set(), []
        for snap in result.snapshots:
            if result.find_control(snap, DONT_ASK) is not None and snap["hwnd"] not in seen:
                seen.add(snap["hwnd"])
                found.append(snap)
        return found

    def test_answers(self):
        # (answers given, in order; files replaced). Every other old file is kept.
        cases = [
            (["yes", "no", "escape"], {"a.txt"}),
            (["close box", "enter", "no"], {"sub/b.txt"}),
            (["ticked yes"], {"a.txt", "sub/b.txt", "c.txt"}),
            (["ticked no"], set()),
            (["ticked escape"], set()),
            (["no", "ticked yes"], {"sub/b.txt", "c.txt"}),
            (["yes", "ticked close box"], {"a.txt"}),
        ]
        for answers, replaced in cases:
            with self.subTest(answers=answers):
                result = self.run_case(answers)
                asked = [result.text(p, PROMPT_TEXT) for p in self.prompts(result)]
                names = ["a.txt", "b.txt", "c.txt"][:len(answers)]
                self.assertEqual(asked, [f"{n} already exists - overwrite?" for n in names])
                for prompt in self.prompts(result):
                    self.assertEqual(prompt["caption"], TITLE)
                    self.assertEqual(result.text(prompt, DONT_ASK), "Don't &ask again")
                    self.assertEqual(result.control(prompt, DONT_ASK)["checked"], 0)
                    self.assertEqual((result.text(prompt, 1), result.text(prompt, 2)), ("&Yes", "&No"))
                    self.assertEqual(result.control(prompt, 1)["type"], "defpushbutton")

                # The work directory as the setup engine found it.
                expected = {name: NEW[name] if name in replaced or name not in OLD else OLD[name] for name in NEW}
                self.assertEqual(st.tree(self.copy), expected)
                # "&Finish" deleted what the extraction wrote; kept files are not its own.
                self.assertEqual(st.tree(st.work()), {n: d for n, d in OLD.items() if n not in replaced})

    def test_untitled_package(self):
        # The main window keeps its template caption and the prompt gets none.
        # While the second prompt is open, the main window still shows the
        # file written before the first: a kept file gets no status text.
        result = self.run_case("wait-window-any\nclick 2\nwait-gone\n"
                               "wait-window-any\nwait-window Self-extracting Archive\n"
                               + answer_script("ticked no", find="wait-window-class #32770"), title="")
        prompts = self.prompts(result)
        self.assertEqual([p["caption"] for p in prompts], ["", ""])
        self.assertEqual([result.text(p, PROMPT_TEXT) for p in prompts],
                         ["a.txt already exists - overwrite?", "b.txt already exists - overwrite?"])
        main = [s for s in result.windows_with_caption("Self-extracting Archive") if s["reason"] == "wait-window"][-1]
        self.assertEqual(result.text(main, STATUS), st.EXTRACTING + st.WORK + r"\setup.inf")
        self.assertFalse(result.control(main, 1)["enabled"] or result.control(main, 2)["enabled"])
        self.assertEqual(st.tree(st.work()), OLD)


if __name__ == "__main__":
    unittest.main()
