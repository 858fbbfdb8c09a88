"""A whole installation under Wine: extraction into the work directory,
the setup engine on the package's INF file, the main window's states and
texts, and the clean-up that leaves no work directory behind."""

import os
import random
import shutil
import sys
import time
import unittest

import package_builder as pb
import stubtest as st
from stubtest import STATUS

INSTALL_DIR = r"C:\QuillonE2E"
REG_KEY = r"HKCU\Software\QuillonE2E"

# Copies files from three folders of the package to two target folders and
# sets two registry values.
INF = r"""[Version]
Signature="$Windows NT$"

[DefaultInstall]
CopyFiles=App.Files,Data.Files
AddReg=App.Reg

[DestinationDirs]
App.Files=24,QuillonE2E\App
Data.Files=24,QuillonE2E\App\data

[SourceDisksNames]
1=%Disk%,,,

[SourceDisksFiles]
app.bin=1,bin
readme.txt=1,docs
deep.dat=1,data\deep\er

[App.Files]
app.bin
readme.txt

[Data.Files]
deep.dat

[App.Reg]
HKCU,Software\QuillonE2E,Installed,,"yes"
HKCU,Software\QuillonE2E,Build,0x10001,4711

[Strings]
Disk="Quillon test disk"
""".replace("\n", "\r\n").encode()


def setUpModule():
    st.start()


def tearDownModule():
    st.stop()


def run_install(name, runner=None, script=None, title="Quillon Test", **package):
    """Installs a hand-made package and finishes: the usual script unless one is given."""
    package.setdefault("inf", "><setup.inf")
    exe = st.installer(name, title=title, **package)
    if script is None:
        script = f"wait-window {title}\nclick 1\nwait-text 2 &Finish\nclick 2\nwait-exit\n"
    return st.session.drive(exe, script, shots_name=f"install-{name}", env=runner.env if runner else None,
                            wait_timeout=30, timeout=120)


class SetupEngine(st.InstallerTest):
    """Wine's own runner and setup engine install what the package carries."""

    def setUp(self):
        super().setUp()
        self.cleanup()

    def tearDown(self):
        self.cleanup()
        super().tearDown()

    def cleanup(self):
        shutil.rmtree(st.session.linux_path(INSTALL_DIR), ignore_errors=True)
        st.session.run("reg", ["delete", REG_KEY, "/f"])

    def test_package_installs_through_the_setup_engine(self):
        rng = random.Random(2718)
        files = {
            "setup.inf": INF,
            "bin/app.bin": rng.randbytes(70000),
            "docs/readme.txt": b"Read me first.\r\n" * 500,
            "data/deep/er/deep.dat": bytes(range(256)) * 300,
        }
        source = st.session.work / "install-tree"
        shutil.rmtree(source, ignore_errors=True)
        st.write_tree(source, files)
        (source / "empty" / "inner").mkdir(parents=True)
        exe = st.pack(st.session.work / "install-engine.exe", "--title", "Engine Test", "--inf", "><setup.inf",
                      "--licence-info", "e2e", source)

        self.assertEqual(st.session.reg_query(REG_KEY), {}, "the values are there before the install")
        # Wine carries a placeholder SetupX.dll; without it the installer takes
        # the runner and setup engine of the NT family, Wine's rundll32 and setupapi.
        with st.SystemFiles() as system:
            system.remove(st.SETUPX)
            result = st.session.drive(exe, "wait-window Engine Test\nclick 1\nwait-text 2 &Finish\nclick 2\nwait-exit\n",
                                      shots_name="install-engine", wait_timeout=30, timeout=120)
        result.check()
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(st.box_texts(result), [])
        done = result.last_snapshot("Engine Test")
        self.assertEqual(result.text(done, STATUS), st.CLICK_FINISH)
        self.assertEqual((result.text(done, 1), result.text(done, 2)), ("&Info", "&Finish"))

        installed = st.tree(st.session.linux_path(INSTALL_DIR))
        self.assertEqual(installed, {"App/app.bin": files["bin/app.bin"], "App/readme.txt": files["docs/readme.txt"],
                                     "App/data/deep.dat": files["data/deep/er/deep.dat"]})
        self.assertEqual(st.session.reg_query(REG_KEY), {"Installed": "yes", "Build": 4711})
        self.assertFalse(st.work().exists(), "the work directory outlived the installer")


class MainWindow(st.InstallerTest):
    """The window's states around the setup engine, with the recorder as runner."""

    def test_states_from_install_to_finish(self):
        # The runner takes its time, so that the window can be seen while it waits.
        with st.Runner(sleep_ms=2500) as runner:
            result = run_install("states", runner, script="""
wait-window Quillon Test
click 1
wait-text 3002 Setup is updating your system:
wait-text 2 &Finish
wait-text 1 &Info
click 1
wait-window License Information
click IDOK
wait-gone
wait-window Quillon Test
click 1
wait-window License Information
click IDOK
wait-gone
wait-window Quillon Test
click 2
wait-exit
""", licence_info="Licensed to the test suite.", entries=[pb.stored("setup.inf", b"[Version]\r\n"),
                                                         pb.deflated("a/b/c.txt", b"abc" * 1000)])
            records = runner.records()
        result.check()
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(len(records), 1)

        working = [s for s in result.snapshots if s["reason"] == "wait-text"][0]  # while the runner runs
        self.assertEqual(result.text(working, STATUS), st.UPDATING)
        self.assertFalse(result.control(working, 1)["enabled"] or result.control(working, 2)["enabled"])

        # The buttons change one after the other: the state is whole once both have.
        done = [s for s in result.windows_with_caption("Quillon Test") if result.text(s, 1) == "&Info"][0]
        self.assertEqual(result.text(done, STATUS), st.CLICK_FINISH)
        self.assertEqual(result.text(done, 1), "&Info")
        self.assertTrue(result.control(done, 1)["enabled"] and result.control(done, 2)["enabled"])

        infos = st.boxes(result)
        self.assertEqual(len(infos), 2)
        for box in infos:
            self.assertEqual(box["caption"], "License Information")
            self.assertEqual(result.message_text(box), st.LICENCE_INFO_PREFIX + "Licensed to the test suite.")
            st.assert_plain_box(self, box)
        self.assertFalse(st.work().exists(), "the work directory outlived the installer")

    def test_finish_options(self):
        # (label, header flags, script after "&Install", button 1 expected when done)
        cases = [
            ("closes by itself", dict(wait_for_finish=False), "wait-exit\n", None),
            ("hidden info button", dict(hide_info_button=True),
             "wait-text 2 &Finish\nsnapshot\nclick 2\nwait-exit\n", "gone"),
        ]
        for label, flags, rest, button1 in cases:
            with self.subTest(label), st.Runner() as runner:
                result = run_install("finish", runner, script="wait-window Quillon Test\nclick 1\n" + rest,
                                     entries=[pb.stored("setup.inf", b"[Version]\r\n"), pb.stored("d/x.txt", b"x")],
                                     **flags)
                result.check()
                self.assertEqual(result.exit_code, 0)
                self.assertEqual(len(runner.records()), 1)
                self.assertEqual(st.box_texts(result), [])
                self.assertFalse(st.work().exists())
                if button1 == "gone":
                    done = result.last_snapshot("Quillon Test")
                    self.assertEqual(result.text(done, 2), "&Finish")
                    self.assertIsNone(result.find_control(done, 1))


class Extraction(st.InstallerTest):
    """What lands in the work directory, as the setup engine finds it there."""

    def test_entry_stream_shapes(self):
        rng = random.Random(31)
        stamp = (2004, 7, 9, 13, 37, 42)
        data = {name: rng.randbytes(size) for name, size in [
            ("descriptor.bin", 1000), ("two-descriptors.bin", 10), ("bit3.bin", 300), ("extra.bin", 77),
            ("alternative.bin", 5), ("block.bin", 32768), ("block-and-one.bin", 32769)]}
        text = b"the quick brown fox jumps over the lazy dog\r\n" * 4000
        entries = [
            pb.stored("setup.inf", b"[Version]\r\n"),
            pb.stored("descriptor.bin", data["descriptor.bin"], descriptor=True),
            pb.deflated("two-descriptors.bin", data["two-descriptors.bin"], descriptor=True,
                        trailing=b"PK\x07\x08" + bytes(12)),
            pb.stored("bit3.bin", data["bit3.bin"], flags=pb.FLAG_DESCRIPTOR, descriptor=True),
            pb.stored("extra.bin", data["extra.bin"], extra=b"\x55\x54\x05\x00\x01PK\x03\x04"),
            pb.stored("alternative.bin", data["alternative.bin"], signature=pb.ALTERNATIVE_SIGNATURE),
            pb.stored("empty.txt", b""),
            pb.stored("block.bin", data["block.bin"]),
            pb.stored("block-and-one.bin", data["block-and-one.bin"]),
            pb.deflated("deep/er/still/text.txt", text, date_time=stamp),
            pb.stored("win\\style\\name.txt", b"backslashes", date_time=stamp),
            pb.stored("backslash-dir\\inner\\"),
            pb.stored("empty-dir/"),
        ]
        with st.Runner(copy_to=self.copy) as runner:
            result = run_install("stream", runner, entries=entries, ending="rsf", wait_for_finish=False,
                                 script="wait-window Quillon Test\nclick 1\nwait-exit\n")
            records = runner.records()
        result.check()
        self.assertEqual(len(records), 1)
        expected = {"setup.inf": b"[Version]\r\n", "empty.txt": b"", "deep/er/still/text.txt": text,
                    "win/style/name.txt": b"backslashes", **data}
        self.assertEqual(st.tree(self.copy), expected)
        self.assertLessEqual({"empty-dir", "backslash-dir/inner"}, st.directories(self.copy))
        # The stored time counts as local time.
        local = time.mktime(stamp + (0, 0, -1))
        for name in ("deep/er/still/text.txt", "win/style/name.txt"):
            self.assertEqual(os.stat(self.copy / name).st_mtime, local, name)
        self.assertFalse(st.work().exists(), "the work directory outlived the installer")

    def test_three_hundred_files(self):
        names = [f"d{i % 7}/s{i % 3}/file{i:03}.txt" for i in range(300)]
        entries = [pb.stored("setup.inf", b"[Version]\r\n")]
        entries += [pb.stored(name, name.encode() * (i % 5)) for i, name in enumerate(names)]
        with st.Runner(copy_to=self.copy) as runner:
            started = time.monotonic()
            result = run_install("300", runner, entries=entries, wait_for_finish=False,
                                 script="wait-window Quillon Test\nclick 1\nwait-exit\n")
            elapsed = time.monotonic() - started
        result.check()
        copied = st.tree(self.copy)
        self.assertEqual(len(copied), 301)
        self.assertEqual({n: copied[n] for n in names}, {n: n.encode() * (i % 5) for i, n in enumerate(names)})
        self.assertFalse(st.work().exists(), "files or directories were left in the work directory")
        sys.stderr.write(f"\n  300 files extracted, installed and deleted in {elapsed:.1f} s\n")


if __name__ == "__main__":
    unittest.main()
