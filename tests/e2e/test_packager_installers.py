"""Installers that quillon-pack makes for media, for code signing and with a
password: a split installer joins its part files and installs, an installer
signed with osslsigncode still passes the start-up check when it was made
with room for the signature, and an encrypted one asks for its password
until the right one is typed."""

import random
import shutil
import subprocess
import unittest

import stubtest as st

TITLE = "Packager Installers"
INSTALL = f"wait-window {TITLE}\nclick 1\nwait-text 2 &Finish\nclick 2\nwait-exit\n"
CORRUPTED = "The setup file is corrupted. Please obtain a new copy of the program."
ASK_PASSWORD = "Please enter the password to continue..."
PASSWORD = "Right one 1"
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


class PackagerInstallers(st.InstallerTest):

    def setUp(self):
        super().setUp()
        self.scratch = st.session.work / "packager-installers"
        shutil.rmtree(self.scratch, ignore_errors=True)
        self.source = self.scratch / "files"
        st.write_tree(self.source, FILES)
        self.copy = self.scratch / "work-copy"

    def tearDown(self):
        super().tearDown()
        shutil.rmtree(self.scratch, ignore_errors=True)

    def pack(self, name, *args):
        return st.pack(self.scratch / name, "--title", TITLE, "--inf", "><setup.inf", *args, self.source)

    def install(self, exe, shots_name, script=INSTALL):
        """Installs with the recording runner; returns what the work
        directory held while the runner ran, and the driver's result."""
        with st.Runner(copy_to=self.copy) as runner:
            result = st.session.drive(exe, script, shots_name=shots_name, env=runner.env,
                                      wait_timeout=30, timeout=120).check()
            self.assertEqual(len(runner.records()), 1)
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(st.boxes(result), [])
        self.assertFalse(st.work().exists(), "the work directory outlived the installer")
        return st.tree(self.copy), result

    def password_prompts(self, result):
        return [s for s in result.windows_with_caption(ASK_PASSWORD) if s["reason"] == "new"]

    def locked(self, name):
        password_file = self.scratch / "password.txt"
        password_file.write_bytes(PASSWORD.encode() + b"\n")
        return self.pack(name, "--password-file", str(password_file))

    def test_split_installer_installs(self):
        exe = self.pack("split.exe", "--split", "40k")
        files = [exe] + sorted(self.scratch.glob("split.[0-9][0-9][0-9]"))
        self.assertGreaterEqual(len(files), 4)
        extracted, _ = self.install(exe, "packager-split")
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

        self.assertEqual(self.install(signed("reserved.exe", "--sign-reserve", "16k"), "packager-signed")[0],
                         FILES)

        # Without the reserve the signature hides the end: the installer refuses.
        exe = signed("bare.exe")
        result = st.session.drive(exe, "wait-window Error\nclick IDOK\nwait-exit\n",
                                  shots_name="packager-signed-bare", wait_timeout=30, timeout=120).check()
        self.assertEqual(st.box_texts(result), [(CORRUPTED, "Error")])
        self.assertEqual(result.windows_with_caption(TITLE), [], "the main window was shown")

    def test_password_is_asked_until_the_right_one(self):
        # The first entry asks; a wrong password asks again, and the right one
        # opens that entry and, tried first, every later one.
        exe = self.locked("locked.exe")
        ask = f"wait-window {ASK_PASSWORD}\n"
        script = (f"wait-window {TITLE}\nclick 1\n"
                  f"{ask}type 101 wrong\nclick 1\nwait-gone\n"
                  f"{ask}type 101 {PASSWORD}\nclick 1\nwait-gone\n"
                  f"wait-window {TITLE}\nwait-text 2 &Finish\nclick 2\nwait-exit\n")
        extracted, result = self.install(exe, "packager-password", script)
        self.assertEqual(extracted, FILES)
        self.assertEqual(len(self.password_prompts(result)), 2)

    def test_wrong_passwords_everywhere_fail_the_installation(self):
        # The installer judges its run by the last entry. quillon-pack writes
        # empty directories last and encrypts them too, so a user who never
        # finds the password gets an error, not a setup without its files.
        (self.source / "empty").mkdir()
        exe = self.locked("locked-everywhere.exe")
        entries = len(FILES) + 1
        wrong = f"wait-window {ASK_PASSWORD}\ntype 101 wrong\nclick 1\nwait-gone\n" * (3 * entries)
        with st.Runner() as runner:
            result = st.session.drive(exe, f"wait-window {TITLE}\nclick 1\n{wrong}wait-window Error\n"
                                           "click IDOK\nwait-exit\n",
                                      shots_name="packager-password-wrong", env=runner.env,
                                      wait_timeout=30, timeout=180).check()
            self.assertEqual(runner.records(), [], "the setup engine ran")
        self.assertEqual(st.box_texts(result), [("Error extracting file(s).", "Error")])
        self.assertEqual(len(self.password_prompts(result)), 3 * entries)
        self.assertEqual(st.tree(st.work()), {})


if __name__ == "__main__":
    unittest.main()
