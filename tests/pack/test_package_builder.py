"""Checks the hand-made packages of tests/e2e/package_builder.py against
quillon-pack (byte for byte where both can say the same thing) and against
Python's zipfile, so that the end-to-end tests build on packages that are
right wherever they are not broken on purpose.

The packager is taken from $QUILLON_PACK or the first argument.
"""

import os
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
import pack_tool  # noqa: E402
import package_builder as pb  # noqa: E402

PACK = os.environ.get("QUILLON_PACK", "")
MTIME = 1700000000  # 2023-11-14 22:13:20 UTC


class SameAsPackagerTest(unittest.TestCase):
    def setUp(self):
        self._temp = tempfile.TemporaryDirectory(prefix="quillon-builder-")
        self.dir = Path(self._temp.name)
        self.stub = b"MZ-stub" * 40
        (self.dir / "stub.exe").write_bytes(self.stub)
        self.files = {
            "setup.inf": b"[Version]\r\nSignature=$Chicago$\r\n" * 20,
            "bin/tool.dat": bytes(range(256)) * 3,
            "bin/empty.txt": b"",
        }
        root = self.dir / "tree"
        for name, data in self.files.items():
            (root / name).parent.mkdir(parents=True, exist_ok=True)
            (root / name).write_bytes(data)
        (root / "logs").mkdir()
        for path in root.rglob("*"):
            os.utime(path, (MTIME, MTIME))
        self.root = root
        self.texts = dict(title=b"Builder check", inf=b"><setup.inf", licence_info=b"LI",
                          info=b"Info\r\ntext", licence=b"Licence \xe9")

    def tearDown(self):
        self._temp.cleanup()

    def pack(self, *args):
        output = self.dir / "packed.exe"
        result = subprocess.run(
            [PACK, "-o", output, "--stub", self.dir / "stub.exe", "--title", "Builder check",
             "--inf", "><setup.inf", "--licence-info", "LI", "--info", "Info\r\ntext",
             "--licence", b"Licence \xe9", *args, self.root],
            capture_output=True, env=dict(os.environ, TZ="UTC0"))
        self.assertEqual(result.returncode, 0, result.stderr)
        return output.read_bytes()

    def entries(self, payloads=None, flags=0):
        t = time.gmtime(MTIME)
        when = (t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec)
        order = ["bin/empty.txt", "bin/tool.dat", "setup.inf"]
        entries = []
        for name in order:
            payload = (payloads or {}).get(name.encode())
            if payload is not None and len(payload) < len(self.files[name]):
                entries.append(pb.deflated(name, self.files[name], payload=payload, flags=flags,
                                           date_time=when))
            else:
                entries.append(pb.stored(name, self.files[name], date_time=when))
        entries.append(pb.stored("logs/", date_time=when))
        return entries

    def test_stored_package(self):
        packed = self.pack("--store", "--no-wait", "--admin")
        built = pb.build_package(self.stub, **self.texts, wait_for_finish=False,
                                 admin_required=True, entries=self.entries())
        self.assertEqual(built, packed)

    def test_deflated_package_with_trailer(self):
        packed = self.pack("--trailer", "--hide-info-button")
        parsed = pb.parse_package(packed)
        payloads = {e["name"]: e["payload"]
                    for e in pb.split_local_entries(packed, parsed.data_start)}
        # libdeflate's output is taken over; the level-12 entries carry flag bit 1.
        built = pb.build_package(self.stub, **self.texts, hide_info_button=True,
                                 entries=self.entries(payloads, flags=0x0002), ending="rsf")
        self.assertEqual(built, packed)

    def test_forced_header_fields(self):
        packed = self.pack("--store", "--header-field", "multiPart=3",
                           "--header-field", "infoLength=-1", "--header-field", "totalSize=77")
        built = pb.build_package(self.stub, **self.texts, entries=self.entries(),
                                 header_overrides={"multiPart": 3, "infoLength": -1,
                                                   "totalSize": 77})
        self.assertEqual(built, packed)


class ZipfileReadsTest(unittest.TestCase):
    def read(self, package):
        with tempfile.TemporaryFile() as file:
            file.write(package)
            file.seek(0)
            with zipfile.ZipFile(file) as archive:
                self.assertIsNone(archive.testzip())
                return {info.filename: archive.read(info) for info in archive.infolist()}

    def test_entry_kinds(self):
        data = b"payload " * 100
        package = pb.build_package(b"stub", title="T", entries=[
            pb.stored("stored.txt", data),
            pb.deflated("deflated.txt", data, deflate_level=1),
            pb.stored("described.txt", data, flags=pb.FLAG_DESCRIPTOR, descriptor=True),
            pb.deflated("extra.txt", data, extra=b"\x99\x99\x02\x00ab"),
            pb.stored("dir/"),
            pb.stored("dir/sub/empty.bin"),
        ])
        self.assertEqual(self.read(package), {
            "stored.txt": data, "deflated.txt": data, "described.txt": data, "extra.txt": data,
            "dir/": b"", "dir/sub/empty.bin": b""})
        parsed = pb.parse_package(package)
        walked = pb.split_local_entries(package, parsed.data_start)
        self.assertEqual(len(walked), 6)
        self.assertEqual(parsed.title, b"T")

    def test_traditional_encryption(self):
        data = b"secret data " * 50
        cases = [
            ("stored", dict(method=pb.STORED)),
            ("deflated", dict(method=pb.DEFLATED)),
            ("check byte from time", dict(method=pb.DEFLATED, flags=pb.FLAG_DESCRIPTOR,
                                          descriptor=True, date_time=(2001, 2, 3, 4, 5, 6))),
        ]
        for label, fields in cases:
            with self.subTest(label):
                entry = pb.Entry("e.bin", data, password=b"pw", **fields)
                package = pb.build_package(entries=[entry])
                with tempfile.TemporaryFile() as file:
                    file.write(package)
                    file.seek(0)
                    with zipfile.ZipFile(file) as archive:
                        info = archive.getinfo("e.bin")
                        self.assertTrue(info.flag_bits & pb.FLAG_ENCRYPTED)
                        self.assertEqual(archive.read("e.bin", pwd=b"pw"), data)
                        with self.assertRaises(RuntimeError):
                            archive.read("e.bin", pwd=b"wrong password")
                # The cipher's own decryption gives back header and data.
                walked = pb.split_local_entries(package, pb.parse_package(package).data_start)
                plain = pb.TraditionalCipher(b"pw").decrypt(walked[0]["payload"])
                self.assertEqual(plain[:11], b"QuillonTest")
                body = plain[12:]
                self.assertEqual(pb.inflate(body) if fields["method"] == 8 else body, data)

    def test_broken_on_purpose(self):
        # What the builder is for: fields that lie, odd signatures, garbage.
        package = pb.build_package(entries=[
            pb.stored("a.txt", b"abc", crc=0x12345678, signature=pb.ALTERNATIVE_SIGNATURE),
            pb.stored("b.txt", b"abc", compressed_size=1, trailing=b"junk"),
            b"\x00" * 8,
        ], ending=None, header_overrides={"titleLength": 9})
        parsed = pb.parse_package(package)
        self.assertEqual(parsed.header["titleLength"], 9)
        raw = package[pb.PACKAGE_OFFSET + pb.HEADER_SIZE:]
        self.assertEqual(struct.unpack_from("<I", raw)[0], pb.ALTERNATIVE_SIGNATURE)
        self.assertEqual(struct.unpack_from("<I", raw, 14)[0], 0x12345678)
        self.assertTrue(package.endswith(b"junk" + b"\x00" * 8))


if __name__ == "__main__":
    PACK = pack_tool.packager_from_command_line()
    unittest.main()
