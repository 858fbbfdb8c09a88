"""A real installer cut short and with bytes flipped: every run ends by
itself with one of the installer's messages and exit code 0, never with a
crash, a hang, a runtime error, or a success on damaged data."""

import unittest

import package_builder as pb
import stubtest as st

TITLE = "Damaged"
CORRUPTED = ("The setup file is corrupted. Please obtain a new copy of the program.", "Error")
DAMAGED = ("Error extracting file(s).", "Error")
INF = b"[Version]\r\nSignature=\"$Windows NT$\"\r\n"
DATA = bytes(range(256)) * 64
AGREE = "wait-window Licence agreement\nclick 1\n"  # the package has a licence


def setUpModule():
    st.start()


def tearDownModule():
    st.stop()


def flipped(data: bytes, at: int) -> bytes:
    return data[:at] + bytes([data[at] ^ 0x55]) + data[at + 1:]


class Truncated(st.InstallerTest):

    def test_cut_and_flipped(self):
        whole = pb.build_package(st.STUB, title=TITLE, inf="><setup.inf", licence_info="Info", info="Text",
                                 licence="Licence", wait_for_finish=False,
                                 entries=[pb.stored("setup.inf", INF), pb.deflated("data.bin", DATA)])
        parsed = pb.parse_package(whole)
        texts = pb.PACKAGE_OFFSET + pb.HEADER_SIZE
        [first, second] = pb.split_local_entries(whole, parsed.data_start)[:2]
        central = whole.rindex(b"PK\x01\x02")
        # (label, the installer, the outcome: corrupted, damaged or installs)
        cases = [
            ("cut in the header", whole[:pb.PACKAGE_OFFSET + 10], "corrupted"),
            ("cut in the title", whole[:texts + 3], "corrupted"),
            ("cut in the information text", whole[:parsed.data_start - 9], "corrupted"),
            ("cut in an entry header", whole[:parsed.data_start + 12], "corrupted"),
            ("cut in deflated data", whole[:second["offset"] + 200], "corrupted"),
            ("cut in the central directory", whole[:central + 20], "corrupted"),
            ("cut in the end record", whole[:-5], "corrupted"),
            ("deflated data flipped", flipped(whole, second["offset"] + 100), "damaged"),
            ("stored data flipped", flipped(whole, first["offset"] + 30 + 9 + 3), "damaged"),
            ("CRC flipped", flipped(whole, second["offset"] + 14), "damaged"),
            ("central directory flipped", flipped(whole, central + 10), "installs"),
        ]
        scripts = {
            "corrupted": "wait-window Error\nclick IDOK\nwait-exit\n",
            "damaged": f"wait-window {TITLE}\nclick 1\n{AGREE}wait-window Error\nclick IDOK\nwait-exit\n",
            "installs": f"wait-window {TITLE}\nclick 1\n{AGREE}wait-exit\n",
        }
        for label, installer, outcome in cases:
            with self.subTest(label):
                st.clear_work()
                exe = st.session.work / "damaged.exe"
                exe.write_bytes(installer)
                with st.Runner() as runner:
                    result = st.session.drive(exe, scripts[outcome], shots_name="damaged", env=runner.env,
                                              wait_timeout=30, timeout=120).check()
                    records = runner.records()
                self.assertEqual(result.exit_code, 0)
                texts_seen = st.box_texts(result)
                self.assertFalse(any(text.startswith("Runtime error") for text, _ in texts_seen), texts_seen)
                if outcome == "corrupted":
                    self.assertEqual(texts_seen, [CORRUPTED])
                    self.assertFalse(st.work().exists())
                elif outcome == "damaged":
                    self.assertEqual(texts_seen, [DAMAGED])
                    self.assertEqual(records, [], "the setup engine ran on damaged data")
                else:
                    self.assertEqual(texts_seen, [])
                    self.assertEqual(len(records), 1)


if __name__ == "__main__":
    unittest.main()
