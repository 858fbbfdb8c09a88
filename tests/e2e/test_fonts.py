"""The fonts that the screenshots need are there for Wine: Marlett, whose
letters "0", "1" and "r" draw the minimise, maximise and close buttons of
every caption (without it the caption shows those letters), and a font with
Japanese glyphs, without which a code page 932 installer shows its title as
empty boxes."""

import unittest

import harness

SYMBOL_CHARSET = 2
SHIFTJIS_CHARSET = 128

session: harness.WineSession | None = None


def setUpModule():
    global session
    session = harness.WineSession()
    session.start()


def tearDownModule():
    session.stop()


class FontsTest(unittest.TestCase):
    def given(self, *pairs, env=None):
        argv = [str(value) for pair in pairs for value in pair]
        result = session.run("font_probe.exe", argv, env=env)
        self.assertEqual(result.returncode, 0, result.stderr)
        return [line.split("|") for line in result.stdout.splitlines() if line.count("|") == 3]

    def test_caption_buttons_have_their_font(self):
        [(_, _, face, charset)] = self.given(("Marlett", SYMBOL_CHARSET))
        self.assertEqual((face, int(charset)), ("Marlett", SYMBOL_CHARSET))

    def test_japanese_texts_have_a_font(self):
        for asked in ("MS UI Gothic", "MS Shell Dlg"):
            with self.subTest(asked):
                [(_, _, face, charset)] = self.given((asked, SHIFTJIS_CHARSET), env={"LC_ALL": "ja_JP.UTF-8"})
                self.assertEqual(int(charset), SHIFTJIS_CHARSET, f"{asked!r} gave {face!r} without Japanese glyphs")


if __name__ == "__main__":
    unittest.main()
