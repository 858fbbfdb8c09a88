"""What the installer checks before its main window shows: a split package
is joined from the program file and its parts, a single-file package must
have its end, and a package can demand administrative rights."""

import random
import unittest

import package_builder as pb
import stubtest as st

TITLE = "Start-up Checks"
INSTALL = f"wait-window {TITLE}\nclick 1\nwait-text 2 &Finish\nclick 2\nwait-exit\n"
CORRUPTED = "The setup file is corrupted. Please obtain a new copy of the program."
REBUILDING = ("Error rebuilding this Setup package.", "Error")
NEED_ADMIN = ("You need to have administrative privileges to run this program.", "Error")
ICON_ID = 0x0440  # the icon of a message box
INF = b"[Version]\r\nSignature=\"$Windows NT$\"\r\n"
# Data that deflate cannot shrink, so that the cuts below fall inside it.
BIG = random.Random(7).randbytes(102400)
ENTRIES = [pb.stored("setup.inf", INF), pb.deflated("data/big.bin", BIG),
           pb.stored("note.txt", b"note")]


def setUpModule():
    st.start()


def tearDownModule():
    st.stop()


def package(**fields) -> bytes:
    fields.setdefault("entries", ENTRIES)
    fields.setdefault("wait_for_finish", True)
    return pb.build_package(st.STUB, title=TITLE, inf="><setup.inf", **fields)


def write_split(name: str, whole: bytes, cuts: list[int]) -> list:
    """Writes the program file and its parts, cut at the given offsets: NAME.exe,
    NAME.001, ... Returns their paths."""
    bounds = [0, *cuts, len(whole)]
    paths = [st.session.work / f"{name}.exe"] + [st.session.work / f"{name}.{n:03d}" for n in range(1, len(bounds) - 1)]
    for path, start, end in zip(paths, bounds, bounds[1:]):
        path.write_bytes(whole[start:end])
    for stale in st.session.work.glob(f"{name}.[0-9][0-9][0-9]"):
        if stale not in paths:
            stale.unlink()
    return paths


def main_windows(result) -> list:
    """Snapshots of the main window (the disk prompt has the same caption)."""
    return [w for w in result.windows_with_caption(TITLE)
            if any(c["id"] == 1 and c["text"] == "&Install" for c in w["controls"])]


def prompt_box(test, result, disk: int) -> None:
    boxes = st.boxes(result)
    test.assertTrue(boxes)
    for box in boxes:
        if box["caption"] != TITLE:
            continue
        test.assertEqual(result.message_text(box), f"Please insert disk with part number {disk}..")
        test.assertFalse(box["owner"])
        buttons = [(c["id"], c["text"]) for c in box["controls"] if c["class"].lower() == "button" and c["visible"]]
        test.assertEqual(buttons, [(1, "OK"), (2, "Cancel")])


class SplitPackage(st.InstallerTest):

    def whole(self, **fields) -> bytes:
        return package(multi_part=True, **fields)

    def test_joins_the_parts_and_installs(self):
        whole = self.whole()
        start = pb.parse_package(whole).data_start
        # The program file ends inside the first entry; part 001 is empty.
        exe, *_ = write_split("split", whole, [start + 40, start + 40, start + 9000, len(whole) - 30])
        with st.Runner(copy_to=self.copy) as runner:
            result = st.session.drive(exe, INSTALL, shots_name="split", env=runner.env).check()
            self.assertEqual(len(runner.records()), 1)
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(st.boxes(result), [])
        self.assertEqual(st.tree(self.copy)["Quillon.pkg"], whole)
        self.assertEqual(st.tree(self.copy)["data/big.bin"], BIG)
        self.assertFalse(st.work().exists())

    def test_split_packages_are_not_checked_for_their_end(self):
        # Without the central directory the joined file has no end record.
        whole = self.whole(ending=None)
        exe, *_ = write_split("split-open", whole, [pb.parse_package(whole).data_start + 100])
        with st.Runner() as runner:
            result = st.session.drive(exe, INSTALL, shots_name="split-open", env=runner.env).check()
            self.assertEqual(len(runner.records()), 1)
        self.assertEqual(st.boxes(result), [])

    def test_a_total_size_within_the_program_file_copies_only_it(self):
        for label, total in (("the program's size", None), ("less", 35862), ("zero", 0)):
            with self.subTest(label):
                whole = package()
                whole = package(multi_part=True, total_size=len(whole) if total is None else total)
                exe, = write_split("split-none", whole, [])
                with st.Runner(copy_to=self.copy) as runner:
                    script = INSTALL if total is None else f"wait-window {TITLE}\nclick 2\nwait-exit\n"
                    result = st.session.drive(exe, script, shots_name="split-none", env=runner.env).check()
                self.assertEqual(st.boxes(result), [])
                if total is None:
                    self.assertEqual(st.tree(self.copy)["Quillon.pkg"], whole)
                self.assertFalse(st.work().exists())

    def test_missing_part_prompts_until_it_is_there(self):
        whole = self.whole()
        start = pb.parse_package(whole).data_start
        paths = write_split("split-missing", whole, [start + 10, start + 5000])
        away = paths[2].with_suffix(".away")
        paths[2].rename(away)
        move = f"move-file {st.session.windows_path(away)}|{st.session.windows_path(paths[2])}\n"
        script = (f"wait-window {TITLE}\nclick IDOK\nwait-gone\n"  # OK without the disk: asked again
                  f"wait-window-any\n{move}click IDOK\nwait-gone\n"
                  f"wait-window-any\nclick 1\nwait-text 2 &Finish\nclick 2\nwait-exit\n")
        with st.Runner(copy_to=self.copy) as runner:
            result = st.session.drive(exe := paths[0], script, shots_name="split-missing", env=runner.env).check()
            self.assertEqual(len(runner.records()), 1, exe)
        self.assertEqual(len(st.boxes(result)), 2)
        prompt_box(self, result, 3)  # the program file is disk 1, part 002 is disk 3
        self.assertEqual(st.tree(self.copy)["Quillon.pkg"], whole)
        self.assertFalse(st.work().exists())

    def test_cancel_at_the_prompt_ends_with_nothing_left(self):
        whole = self.whole()
        # The parts fall short of totalSize: the next part is asked for.
        paths = write_split("split-cancel", whole, [pb.parse_package(whole).data_start + 10])
        paths[1].write_bytes(paths[1].read_bytes()[:-1])
        script = f"wait-window {TITLE}\nclick IDCANCEL\nwait-gone\nwait-window Error\nclick IDOK\nwait-exit\n"
        with st.Runner() as runner:
            result = st.session.drive(paths[0], script, shots_name="split-cancel", env=runner.env).check()
            self.assertEqual(runner.records(), [])
        self.assertEqual(result.exit_code, 0)
        prompt_box(self, result, 3)
        self.assertEqual(st.box_texts(result)[-1], REBUILDING)
        self.assertEqual(main_windows(result), [], "the main window was shown")
        self.assertFalse(st.work().exists(), "the work directory or the joined file stayed")


def end_record_comment(whole: bytes, length: int) -> bytes:
    """The package with the comment length of its end record forced."""
    return whole[:-2] + length.to_bytes(2, "little")


class Integrity(st.InstallerTest):

    def test_ends_that_pass_and_fail(self):
        central = package()
        start = pb.parse_package(central).data_start
        with_info = package(info="x" * 600)
        # (label, the installer's bytes, whether the main window shows)
        cases = [
            ("RSF trailer", package(ending="rsf"), True),
            ("end record, no comment", central, True),
            ("comment reaching past the end", end_record_comment(central, 500), True),
            ("record more than 65558 bytes before the end", central + bytes(65537), False),
            ("cut inside the entry stream", central[:start + 3000], False),
            ("cut inside the texts", with_info[:pb.parse_package(with_info).data_start - 100], False),
        ]
        for number, (label, installer, passes) in enumerate(cases):
            with self.subTest(label):
                st.clear_work()
                exe = st.session.work / f"integrity-{number}.exe"
                exe.write_bytes(installer)
                if passes:
                    script = f"wait-window {TITLE}\nclick 2\nwait-exit\n"
                else:
                    script = "wait-window Error\nclick IDOK\nwait-exit\n"
                result = st.session.drive(exe, script, shots_name="integrity").check()
                self.assertEqual(result.exit_code, 0)
                if passes:
                    self.assertEqual(st.boxes(result), [])
                    continue
                [box] = st.boxes(result)
                self.assertEqual((result.message_text(box), box["caption"]), (CORRUPTED, "Error"))
                st.assert_plain_box(self, box)
                icon = result.find_control(box, ICON_ID)
                self.assertTrue(icon is not None and icon["visible"], "no stop icon")
                self.assertEqual(result.windows_with_caption(TITLE), [], "the main window was shown")
                self.assertFalse(st.work().exists())


class Administrator(st.InstallerTest):

    def run_admin(self, filtered: bool, windows98: bool = False):
        exe = st.session.work / "admin.exe"
        exe.write_bytes(package(admin_required=True, wait_for_finish=False))
        target, args = exe, ()
        if filtered:
            target, args = st.session.executable("filtered_launcher.exe"), [st.session.windows_path(exe)]
        with st.WineVersion(exe.name, "win98" if windows98 else None), st.Runner() as runner:
            expect_install = windows98 or not filtered
            script = f"wait-window {TITLE}\nclick 1\nwait-exit\n" if expect_install else \
                "wait-window Error\nclick IDOK\nwait-exit\n"
            result = st.session.drive(target, script, args=args, shots_name="admin", env=runner.env).check()
            return result, runner.records()

    def test_an_administrator_installs(self):
        result, records = self.run_admin(filtered=False)
        self.assertEqual(st.boxes(result), [])
        self.assertEqual(len(records), 1)

    def test_rights_filtered_off_do_not_count(self):
        result, records = self.run_admin(filtered=True)
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(st.box_texts(result), [NEED_ADMIN])
        self.assertEqual(records, [])
        self.assertEqual(result.windows_with_caption(TITLE), [], "the main window was shown")

    def test_the_9x_family_counts_everyone(self):
        result, records = self.run_admin(filtered=True, windows98=True)
        self.assertEqual(st.boxes(result), [])
        self.assertEqual(len(records), 1)


if __name__ == "__main__":
    unittest.main()
