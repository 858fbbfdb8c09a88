"""Deflated entries end to end: a mix of deflated and stored files installs
through the setup engine with identical bytes, archives made by other ZIP
tools become installers, and a disk that fills up during extraction fails the
installation instead of running the INF on truncated files."""

import random
import shutil
import subprocess
import unittest
from pathlib import Path

import package_builder as pb
import stubtest as st

session = None


def setUpModule():
    global session
    session = st.start()


def tearDownModule():
    st.stop()


def sample_tree(root: Path) -> dict[str, bytes]:
    """Files that deflate well, files that do not, an empty one, in folders."""
    rng = random.Random(1951)
    words = [bytes(rng.choice(b"etaoinshrdlu") for _ in range(rng.randint(2, 9))) for _ in range(300)]
    files = {
        "readme.txt": b"Deflated and stored files together.\r\n" * 40,
        "data/text.txt": b" ".join(rng.choice(words) for _ in range(60000)),
        "data/random.bin": rng.randbytes(70000),  # stays stored
        "data/deep/er/empty.txt": b"",
        "data/deep/window.bin": bytes(range(256)) * 512 + rng.randbytes(100),
    }
    shutil.rmtree(root, ignore_errors=True)
    st.write_tree(root, files)
    return files


INF = """[Version]
Signature="$Chicago$"

[DefaultInstall]
CopyFiles=Top,Data,Deep,Deeper
AddReg=Mark

[DestinationDirs]
Top=24,"DeflateTest"
Data=24,"DeflateTest\\data"
Deep=24,"DeflateTest\\data\\deep"
Deeper=24,"DeflateTest\\data\\deep\\er"

[Top]
readme.txt

[Data]
text.txt
random.bin

[Deep]
window.bin

[Deeper]
empty.txt

[Mark]
HKCU,"Software\\Quillon Tests","Deflated",,"installed"

[SourceDisksNames]
1="Quillon tests",,,

[SourceDisksFiles]
readme.txt=1
text.txt=1,data
random.bin=1,data
window.bin=1,data\\deep
empty.txt=1,data\\deep\\er
"""


class DeflatedInstall(st.InstallerTest):

    def test_mixed_package_installs_with_identical_bytes(self):
        source = session.work / "deflate-tree"
        files = sample_tree(source)
        (source / "setup.inf").write_text(INF.replace("\n", "\r\n"))
        exe = st.pack(session.work / "deflated.exe", "--title", "Deflated", "--inf", "><setup.inf", "--no-wait",
                      source)
        package = exe.read_bytes()
        methods = {e["name"].decode(): e["method"] for e in
                   pb.split_local_entries(package, pb.parse_package(package).data_start)}
        self.assertEqual(methods["data/random.bin"], 0)  # incompressible: kept stored
        self.assertEqual(methods["data/text.txt"], 8)
        target = session.linux_path("C:\\") / "DeflateTest"
        shutil.rmtree(target, ignore_errors=True)
        session.run("reg", ["delete", r"HKCU\Software\Quillon Tests", "/f"])
        result = session.drive(exe, "wait-window Deflated\nclick IDOK\ntimeout 120\nwait-exit\n",
                               shots_name="deflated-install", timeout=180)
        result.check()
        self.assertEqual(result.exit_code, 0)
        for name, data in files.items():
            with self.subTest(name):
                self.assertEqual((target / name).read_bytes(), data)
        self.assertEqual(session.reg_query(r"HKCU\Software\Quillon Tests", "Deflated"), "installed")
        self.assertFalse(st.work().exists())


class ForeignArchives(st.InstallerTest):
    """Archives written by Info-ZIP's zip and by 7-Zip, wrapped as they are
    (directory entries included), install with the same bytes."""

    def test_zip_and_7z_archives_install_the_same_bytes(self):
        source = session.work / "foreign-tree"
        files = sample_tree(source)
        (source / "setup.inf").write_text(INF.replace("\n", "\r\n"))
        makers = {
            "zip": lambda archive: ["zip", "-q", "-r", "-9", str(archive), "."],
            "7z": lambda archive: ["7z", "a", "-tzip", "-mx=9", "-bd", "-bso0", str(archive), "."],
        }
        target = session.linux_path("C:\\") / "DeflateTest"
        for maker, command in makers.items():
            with self.subTest(maker):
                archive = session.work / f"foreign-{maker}.zip"
                archive.unlink(missing_ok=True)
                subprocess.run(command(archive), cwd=source, check=True)
                exe = st.pack(session.work / f"foreign-{maker}.exe", "--title", f"From {maker}",
                              "--inf", "><setup.inf", "--no-wait", "--from-zip", archive)
                shutil.rmtree(target, ignore_errors=True)
                result = session.drive(exe, f"wait-window From {maker}\nclick IDOK\ntimeout 120\nwait-exit\n",
                                       shots_name=f"foreign-{maker}", timeout=180)
                result.check()
                for name, data in files.items():
                    self.assertEqual((target / name).read_bytes(), data, name)
                self.assertFalse(st.work().exists())


class DiskFull(unittest.TestCase):
    """The temporary folder on a file system with room for 64 KiB: every way of
    writing a file runs out of space. The work directory is made inside it, as
    usual: a mount point is a reparse point to Windows, and the installer does
    not extract into one."""

    def setUp(self):
        self.mount = st.work().parent
        shutil.rmtree(st.work(), ignore_errors=True)
        self.mount.mkdir(parents=True, exist_ok=True)
        done = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "quillon-small", str(self.mount)],
                              capture_output=True, text=True)
        if done.returncode != 0:
            self.fail(f"cannot mount a small file system for the test: {done.stderr.strip()}")

    def tearDown(self):
        session.reset()
        subprocess.run(["umount", str(self.mount)], check=True)

    def test_short_writes_fail_the_installation(self):
        rng = random.Random(7)
        text = b"".join(b"line %d of a file that fills the disk\r\n" % i for i in range(40000))
        cases = {
            "deflated": pb.deflated("big.txt", text),
            "stored": pb.stored("big.bin", rng.randbytes(300000)),
            "deflated, ends in the final flush": pb.deflated("tail.txt", text[:65536 + 100]),
        }
        for label, entry in cases.items():
            with self.subTest(label):
                for leftover in self.mount.iterdir():
                    if leftover.is_dir():
                        shutil.rmtree(leftover)
                    else:
                        leftover.unlink()
                exe = st.installer("disk-full", title="Disk Full", inf="><setup.inf",
                                   entries=[pb.stored("setup.inf", b"[Version]\r\n"), entry])
                result = session.drive(exe, "wait-window Disk Full\nclick IDOK\nwait-window Error\nclick IDOK\n"
                                            "wait-exit\n", shots_name="disk-full")
                result.check()
                self.assertEqual(result.message_text(result.last_snapshot("Error")), "Error extracting file(s).")
                self.assertEqual(result.exit_code, 0)
                # The window ended on the failure: no "Setup is updating" state, no finish.
                texts = [result.text(s, st.STATUS) for s in result.windows_with_caption("Disk Full")]
                self.assertFalse(any("Finish" in t or "updating" in t for t in texts), texts)


if __name__ == "__main__":
    unittest.main()
