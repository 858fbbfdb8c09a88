"""Installers that quillon-pack makes for media and for code signing: a split
installer joins its part files and installs, and an installer signed with
osslsigncode still passes the start-up check when it was made with room for
the signature."""

import random
import shutil
import subprocess
import unittest

import stubtest as st

TITLE = "Packager Installers"
INSTALL = f"wait-window {TITLE}\nclick 1\nwait-text 2 &Finish\nclick 2\nwait-exit\n"
CORRUPTED = "The setup file is corrupted. Please obtain a new copy of the program."
FILES = {
    "setup.inf": b"[Version]\r\nSignature=\"$Windows NT$\"\r\n",
    "data/random.bin": random.Random(31).randbytes(150_000),
    "docs/readme.txt": b"Read me.\r\n" * 300,
}
HAVE_SIGNING = shutil.which("osslsigncode") is not None and shutil.which("openssl") is not None


def setUpModule():
    st.start()


def tearDownModule():
    st.stop()


class PackagerInstallers(unittest.TestCase):

    def setUp(self):
        st.clear_work()
        self.scratch = st.session.work / "packager-installers"
        shutil.rmtree(self.scratch, ignore_errors=True)
        self.source = self.scratch / "files"
        for relative, data in FILES.items():
            path = self.source / relative
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(data)
        self.copy = self.scratch / "work-copy"

    def tearDown(self):
        shutil.rmtree(self.scratch, ignore_errors=True)
        st.clear_work()

    def pack(self, name, *args):
        exe = self.scratch / name
        result = subprocess.run([str(st.session.pack_tool), "-o", str(exe), "--stub",
                                 str(st.session.target_dir / "setup-stub.exe"), "--title", TITLE,
                                 "--inf", "><setup.inf", *args, str(self.source)],
                                capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stderr)
        return exe

    def install(self, exe, shots_name):
        """Installs with the recording runner; returns the result and what
        the work directory held while the runner ran."""
        with st.Runner(copy_to=self.copy) as runner:
            result = st.session.drive(exe, INSTALL, shots_name=shots_name, env=runner.env,
                                      wait_timeout=30, timeout=120).check()
            self.assertEqual(len(runner.records()), 1)
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(st.boxes(result), [])
        self.assertFalse(st.work().exists(), "the work directory outlived the installer")
        return st.tree(self.copy)

    def test_split_installer_installs(self):
        exe = self.pack("split.exe", "--split", "40k")
        files = [exe] + sorted(self.scratch.glob("split.[0-9][0-9][0-9]"))
        self.assertGreaterEqual(len(files), 4)
        extracted = self.install(exe, "packager-split")
        self.assertEqual(extracted.pop("Quillon.pkg"), b"".join(p.read_bytes() for p in files))
        self.assertEqual(extracted, FILES)

    @unittest.skipUnless(HAVE_SIGNING, "needs osslsigncode and openssl")
    def test_signed_installer_installs_with_room_for_its_signature(self):
        key, cert = self.scratch / "key.pem", self.scratch / "cert.pem"
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", str(key),
                        "-out", str(cert), "-days", "2", "-subj", "/CN=Quillon throw-away test certificate"],
                       check=True, capture_output=True)

        def signed(name, *args):
            unsigned = self.pack(f"unsigned-{name}", *args)
            exe = self.scratch / name
            subprocess.run(["osslsigncode", "sign", "-certs", str(cert), "-key", str(key), "-n", TITLE,
                            "-in", str(unsigned), "-out", str(exe)], check=True, capture_output=True)
            subprocess.run(["osslsigncode", "verify", "-CAfile", str(cert), "-in", str(exe)],
                           check=True, capture_output=True)
            return exe

        self.assertEqual(self.install(signed("reserved.exe", "--sign-reserve", "16k"), "packager-signed"),
                         FILES)

        # Without the reserve the signature hides the end: the installer refuses.
        exe = signed("bare.exe")
        result = st.session.drive(exe, "wait-window Error\nclick IDOK\nwait-exit\n",
                                  shots_name="packager-signed-bare", wait_timeout=30, timeout=120).check()
        self.assertEqual(st.box_texts(result), [(CORRUPTED, "Error")])
        self.assertEqual(result.windows_with_caption(TITLE), [], "the main window was shown")


if __name__ == "__main__":
    unittest.main()
