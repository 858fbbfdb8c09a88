"""Tests of quillon-pack, the packager: the installer's layout, its use as a
ZIP archive by other tools, compression, archives taken over with --from-zip,
and the refusal of bad input.

The packager is taken from $QUILLON_PACK (CTest sets it) or the first
argument. A dummy stub of a few hundred bytes stands in for the real one;
when $QUILLON_STUB names a real stub, the layout and ZIP checks run with it
too.
"""

import hashlib
import hmac
import os
import pty
import random
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import textwrap
import time
import unittest
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
import pack_tool  # noqa: E402
import package_builder as pb  # noqa: E402

PACK = os.environ.get("QUILLON_PACK", "")
REPO = Path(__file__).resolve().parents[2]
REAL_STUB = os.environ.get("QUILLON_STUB", "")

# 2024-05-17 13:45:31 UTC: an odd second, which DOS time cannot hold.
FIXED_MTIME = 1715953531
HAVE_7Z = shutil.which("7z") is not None
HAVE_ZIP = shutil.which("zip") is not None and shutil.which("unzip") is not None


def run_pack(*args, tz="UTC0", cwd=None, packager=None, env=None, input=None, umask=None):
    # SOURCE_DATE_EPOCH only where a test sets it: the caller's would change times and headers.
    inherited = {k: v for k, v in os.environ.items() if k != "SOURCE_DATE_EPOCH"}
    env = {**inherited, "TZ": tz, **(env or {})}
    # Names that are no UTF-8 may turn up in messages.
    return subprocess.run([packager or PACK, *map(str, args)], capture_output=True, cwd=cwd,
                          env=env, text=True, errors="replace", input=input,
                          preexec_fn=None if umask is None else (lambda: os.umask(umask)))


def dos_words(seconds, zone_offset_hours=0):
    t = time.gmtime(seconds + zone_offset_hours * 3600)
    return pb.dos_date_time(t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec)


def make_tree(root: Path):
    """A small tree with what matters: compressible, incompressible, empty and
    one-byte files, nesting, a name with blanks, empty directories. Created in
    an order unlike the sorted one."""
    rng = random.Random(7)
    files = {
        "sub/deeper/data.csv": b"".join(b"%d;%d;item %d\r\n" % (i, i * i, i) for i in range(2000)),
        "readme.txt": b"Hello, installer!\r\n" * 50,
        "random.bin": rng.randbytes(5000),
        "one.bin": b"x",
        "empty.dat": b"",
        "sub/Name With Spaces.txt": b"spaces " * 30,
    }
    for name, data in files.items():
        path = root / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
    for name in ("sub/empty_inner", "empty_dir"):
        (root / name).mkdir(parents=True)
    for path in sorted(root.rglob("*"), reverse=True):
        os.utime(path, (FIXED_MTIME, FIXED_MTIME))
    return files


TREE_ORDER = ["empty.dat", "one.bin", "random.bin", "readme.txt", "sub/Name With Spaces.txt",
              "sub/deeper/data.csv", "empty_dir/", "sub/empty_inner/"]


def read_tree(root: Path):
    """Files (name -> bytes) and empty directories (names with "/") below root."""
    found = {}
    for path in sorted(root.rglob("*")):
        name = path.relative_to(root).as_posix()
        if path.is_dir():
            if not any(path.iterdir()):
                found[name + "/"] = None
        else:
            found[name] = path.read_bytes()
    return found


def zip_of(*entries, central=None):
    """A ZIP archive of package_builder entries from offset 0; central lists
    other (entry, offset) pairs for the central directory than those written."""
    stream, listed = b"", []
    for entry in entries:
        listed.append((entry, len(stream)))
        stream += entry.local_bytes()
    return stream + pb.central_directory(central or listed, directory_offset=len(stream))


def last_data_byte_flipped(entry):
    """The archive of one stored entry whose last data byte no longer fits its CRC-32."""
    archive = bytearray(zip_of(entry))
    archive[len(entry.local_bytes()) - 1] ^= 0xFF
    return bytes(archive)


def plain_zip(files):
    """A ZIP archive of deflated entries (name -> data; names may be bytes)."""
    return zip_of(*(pb.deflated(name, data) for name, data in files.items()))


class PackTestCase(unittest.TestCase):
    stub_bytes = b"MZ" + bytes(range(256)) * 2  # a dummy stub of 514 bytes

    def setUp(self):
        self._temp = tempfile.TemporaryDirectory(prefix="quillon-pack-")
        self.dir = Path(self._temp.name)
        self.stub = self.dir / "stub.exe"
        self.stub.write_bytes(self.stub_bytes)

    def tearDown(self):
        self._temp.cleanup()

    def pack(self, *args, output=None, stub=True, **kwargs):
        """Runs the packager, asserts success, returns the installer's bytes."""
        output = output or self.dir / "setup.exe"
        stub_args = ["--stub", self.stub] if stub else []
        result = run_pack("-o", output, *stub_args, *args, **kwargs)
        self.assertEqual(result.returncode, 0, result.stderr)
        return output.read_bytes()

    def assert_refused(self, args, message, *, status=None, output=None, stub=True):
        """The packager fails with message on stderr and leaves no output and
        no temporary file behind."""
        output = output or self.dir / "out" / "setup.exe"
        output.parent.mkdir(exist_ok=True)
        before = set(output.parent.iterdir()) if output.parent.is_dir() else set()
        stub_args = ["--stub", self.stub] if stub else []
        result = run_pack("-o", output, *stub_args, *args)
        self.assertNotEqual(result.returncode, 0, f"accepted: {args}")
        if status is not None:
            self.assertEqual(result.returncode, status, result.stderr)
        self.assertIn("quillon-pack:", result.stderr)
        self.assertIn(message, result.stderr)
        self.assertNotIn("packed into", result.stderr)  # no summary of a failed run
        if output.parent.is_dir():
            self.assertEqual(set(output.parent.iterdir()), before, "output or debris left behind")
        return result

    def tree(self, name="tree"):
        root = self.dir / name
        root.mkdir()
        return root, make_tree(root)

    def entries(self, installer: bytes):
        parsed = pb.parse_package(installer)
        return parsed, pb.split_local_entries(installer, parsed.data_start)

    def write(self, name, data, mtime=None):
        path = self.dir / name
        path.write_bytes(data)
        if mtime is not None:
            os.utime(path, (mtime, mtime))
        return path

    def assert_zip_tools_extract(self, installer: Path, files: dict, empty_dirs=("empty_dir/",
                                                                                "sub/empty_inner/"),
                                 password=None):
        expected = dict(files)
        for name in empty_dirs:
            expected[name] = None
        with zipfile.ZipFile(installer) as archive:
            if password:
                archive.setpassword(password.encode())
            self.assertIsNone(archive.testzip())
            target = self.dir / "x-zipfile"
            shutil.rmtree(target, ignore_errors=True)
            archive.extractall(target)
            self.assertEqual(read_tree(target), expected)
        unzip_password = ["-P", password] if password else []
        seven_password = [f"-p{password}"] if password else []
        if HAVE_ZIP:
            result = subprocess.run(["unzip", *unzip_password, "-t", installer], capture_output=True,
                                    text=True)
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
            self.assertNotIn("warning", result.stdout + result.stderr)
            target = self.dir / "x-unzip"
            shutil.rmtree(target, ignore_errors=True)
            result = subprocess.run(["unzip", *unzip_password, "-q", installer, "-d", target],
                                    capture_output=True, text=True)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertEqual(read_tree(target), expected)
        if HAVE_7Z:
            # -tzip: with a real stub 7z would first try the file as a program image.
            result = subprocess.run(["7z", "t", "-tzip", *seven_password, installer],
                                    capture_output=True, text=True)
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
            target = self.dir / "x-7z"
            shutil.rmtree(target, ignore_errors=True)
            result = subprocess.run(["7z", "x", "-tzip", *seven_password, "-y", f"-o{target}",
                                     installer], capture_output=True, text=True)
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
            self.assertEqual(read_tree(target), expected)


class LayoutTest(PackTestCase):
    def test_stub_header_and_texts(self):
        texts = dict(title=b"Quillon Demo 1.0", inf=b"><setup.inf",
                     licence_info=b"Licensed to: Test Corp.", info=b"\r\nWelcome.\r\n\x80\xff",
                     licence=b"LICENCE\r\n" + bytes(range(256)))
        (self.dir / "info.txt").write_bytes(texts["info"])
        (self.dir / "setup.inf").write_bytes(b"[Version]\r\n")
        installer = self.pack("--title", "Quillon Demo 1.0", "--inf", "><setup.inf",
                              "--licence-info", "Licensed to: Test Corp.",
                              "--info-file", self.dir / "info.txt",
                              "--licence-file", self.write("lic.txt", texts["licence"]),
                              self.dir / "setup.inf")
        self.assertEqual(installer[:len(self.stub_bytes)], self.stub_bytes)
        self.assertEqual(installer[len(self.stub_bytes):pb.PACKAGE_OFFSET],
                         bytes(pb.PACKAGE_OFFSET - len(self.stub_bytes)))
        parsed = pb.parse_package(installer)
        self.assertEqual(parsed.header, {
            "magic": b"QLX", "waitForFinish": 1, "titleLength": 16, "infLength": 11,
            "adminRequired": 0, "licenceInfoLength": 23, "infoLength": len(texts["info"]),
            "licenceLength": len(texts["licence"]), "hideInfoButton": 0, "multiPart": 0,
            "totalSize": len(installer)})
        self.assertEqual((parsed.title, parsed.inf, parsed.licence_info, parsed.info, parsed.licence),
                         (texts["title"], texts["inf"], texts["licence_info"], texts["info"],
                          texts["licence"]))
        # As stored: title and INF plain, the others scrambled except their first byte.
        at = pb.PACKAGE_OFFSET + pb.HEADER_SIZE + 16 + 11
        for name in ("licence_info", "info", "licence"):
            plain = texts[name]
            stored = installer[at:at + len(plain)]
            self.assertEqual(stored[0], plain[0])
            self.assertTrue(all(a != b for a, b in zip(stored[1:], plain[1:])), name)
            self.assertEqual(stored, pb.scramble(plain))
            at += len(plain)
        self.assertEqual(at, parsed.data_start)
        self.assertEqual(installer[at:at + 4], b"PK\x03\x04")

    def test_scrambled_text_is_the_known_keystream(self):
        # A text of zeros is stored as the keystream itself. 417 * 134775813 + 1
        # mod 2**32 = 366939174, whose top seven bits are 10: the first
        # keystream byte is 0x80 | 10. The others as the installer's own
        # scrambler gives them.
        installer = self.pack("--info-file", self.write("zeros.txt", bytes(8)), self.write("a.txt", b"a"))
        at = pb.PACKAGE_OFFSET + pb.HEADER_SIZE
        self.assertEqual(installer[at:at + 8], bytes([0, 0x8A, 0x80, 0xA3, 0xC4, 0xC5, 0xBE, 0xF2]))

    def test_flags(self):
        self.write("a.txt", b"a")
        cases = [
            ([], dict(waitForFinish=1, adminRequired=0, hideInfoButton=0)),
            (["--no-wait"], dict(waitForFinish=0)),
            (["--no-wait", "--wait-for-finish"], dict(waitForFinish=1)),
            (["--admin"], dict(adminRequired=1, waitForFinish=1)),
            (["--hide-info-button"], dict(hideInfoButton=1)),
            (["--admin", "--hide-info-button", "--no-wait"],
             dict(adminRequired=1, hideInfoButton=1, waitForFinish=0)),
        ]
        for args, expected in cases:
            with self.subTest(args=args):
                parsed = pb.parse_package(self.pack(*args, self.dir / "a.txt"))
                for field, value in expected.items():
                    self.assertEqual(parsed.header[field], value, field)
                self.assertEqual(parsed.header["multiPart"], 0)

    def test_forced_header_fields(self):
        self.write("a.txt", b"abc")
        cases = [
            ("infoLength=2147483647", {"infoLength": 2147483647}),
            ("infoLength=-5", {"infoLength": -5}),
            ("licenceLength=0xFFFFFFFF", {"licenceLength": -1}),
            ("multiPart=1", {"multiPart": 1}),
            ("totalSize=123456", {"totalSize": 123456}),
            ("waitForFinish=2", {"waitForFinish": 2}),
            ("adminRequired=255", {"adminRequired": 255}),
            ("hideInfoButton=7", {"hideInfoButton": 7}),
            ("titleLength=200", {"titleLength": 200}),
            ("infLength=0", {"infLength": 0}),
            ("licenceInfoLength=9", {"licenceInfoLength": 9}),
            ("magic=QLY", {"magic": b"QLY"}),
        ]
        plain = self.pack("--title", "T", "--inf", "><a.txt", self.dir / "a.txt")
        for field_text, expected in cases:
            with self.subTest(field_text):
                forced = self.pack("--title", "T", "--inf", "><a.txt", "--header-field", field_text,
                                   self.dir / "a.txt")
                header = pb.parse_package(forced).header
                for field, value in expected.items():
                    self.assertEqual(header[field], value)
                # Only the header changes; texts and entries stay as they were.
                start = pb.PACKAGE_OFFSET + pb.HEADER_SIZE
                self.assertEqual(forced[start:], plain[start:])

    def test_empty_licence_information_and_default_texts(self):
        self.write("a.txt", b"a")
        parsed = pb.parse_package(self.pack(self.dir / "a.txt"))
        for field in ("titleLength", "infLength", "licenceInfoLength", "infoLength",
                      "licenceLength"):
            self.assertEqual(parsed.header[field], 0, field)
        self.assertEqual(parsed.data_start, pb.PACKAGE_OFFSET + pb.HEADER_SIZE)

    def test_stub_of_exactly_the_package_offset(self):
        self.stub.write_bytes(b"\xAA" * pb.PACKAGE_OFFSET)
        self.write("a.txt", b"a")
        installer = self.pack(self.dir / "a.txt")
        self.assertEqual(installer[:pb.PACKAGE_OFFSET], b"\xAA" * pb.PACKAGE_OFFSET)
        self.assertEqual(installer[pb.PACKAGE_OFFSET:pb.PACKAGE_OFFSET + 3], b"QLX")

    def test_stub_found_where_the_build_and_the_install_put_it(self):
        self.write("a.txt", b"a")
        # The packager's folder and the stub's, below one root.
        places = [("bin", "bin"), ("build", "build/target"), ("build/target-pack", "build/target"),
                  ("prefix/bin", "prefix/share/quillon")]
        for number, (packager_dir, stub_dir) in enumerate(places):
            with self.subTest(packager_dir=packager_dir):
                root = self.dir / f"root{number}"
                (root / packager_dir).mkdir(parents=True, exist_ok=True)
                (root / stub_dir).mkdir(parents=True, exist_ok=True)
                packager = root / packager_dir / "quillon-pack"
                shutil.copy2(PACK, packager)
                (root / stub_dir / "setup-stub.exe").write_bytes(b"STUB-" + stub_dir.encode())
                output = self.dir / "found.exe"
                result = run_pack("-o", output, self.dir / "a.txt", packager=packager)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertTrue(output.read_bytes().startswith(b"STUB-" + stub_dir.encode()))
        # Called through a link from elsewhere, it looks beside its own file.
        link = self.dir / "links" / "quillon-pack"
        link.parent.mkdir()
        link.symlink_to(root / "prefix/bin/quillon-pack")
        result = run_pack("-o", self.dir / "linked.exe", self.dir / "a.txt", packager=link)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue((self.dir / "linked.exe").read_bytes().startswith(b"STUB-prefix/share/quillon"))

        lonely = self.dir.resolve() / "lonely" / "bin"
        lonely.mkdir(parents=True)
        shutil.copy2(PACK, lonely / "quillon-pack")
        result = run_pack("-o", self.dir / "none.exe", self.dir / "a.txt", packager=lonely / "quillon-pack")
        self.assertEqual(result.returncode, 1)
        for looked in (lonely / "setup-stub.exe", lonely / "target/setup-stub.exe",
                       lonely.parent / "target/setup-stub.exe", lonely.parent / "share/quillon/setup-stub.exe"):
            self.assertIn(f"'{looked}'", result.stderr)
        self.assertIn("target/setup-stub.exe in its build folder", result.stderr)
        self.assertIn("--stub", result.stderr)
        self.assertFalse((self.dir / "none.exe").exists())

    def test_version(self):
        result = run_pack("--version")
        self.assertEqual(result.returncode, 0, result.stderr)
        # The version's one home: the project's VERSION.
        version = re.search(r"project\(Quillon VERSION (\S+)", (REPO / "CMakeLists.txt").read_text()).group(1)
        self.assertEqual(result.stdout, f"quillon-pack {version}\n")


class EntriesTest(PackTestCase):
    """The entries as the installer reads them and as ZIP tools read them."""

    def test_entry_order_names_and_local_headers(self):
        root, files = self.tree()
        installer = self.pack(root)
        _, local = self.entries(installer)
        self.assertEqual([e["name"].decode() for e in local], TREE_ORDER)
        with zipfile.ZipFile(self.dir / "setup.exe") as archive:
            listed = {info.filename: info for info in archive.infolist()}
        self.assertEqual(list(listed), TREE_ORDER)
        for entry in local:
            name = entry["name"].decode()
            info = listed[name]
            self.assertEqual(entry["signature"], pb.LOCAL_SIGNATURE)
            self.assertEqual(entry["flags"] & pb.FLAG_DESCRIPTOR, 0, name)
            # The real CRC and sizes in the local header, agreeing with the directory.
            data = files.get(name, b"")
            self.assertEqual(entry["crc"], pb.crc32(data), name)
            self.assertEqual(entry["uncompressed_size"], len(data), name)
            self.assertEqual(entry["compressed_size"], info.compress_size, name)
            self.assertEqual(entry["offset"], info.header_offset, name)
            self.assertEqual((entry["time"], entry["date"]), dos_words(FIXED_MTIME), name)
            self.assertEqual(entry["extra"], b"")
            payload = entry["payload"]
            self.assertEqual(pb.inflate(payload) if entry["method"] == 8 else payload, data, name)

    def test_compression_levels(self):
        root, files = self.tree()
        sizes = {}
        for args in (["--level", "1"], ["--level", "6"], ["--level", "12"], [], ["--store"],
                     ["--level", "0"]):
            with self.subTest(args=args):
                installer = self.pack(*args, root)
                _, local = self.entries(installer)
                methods = {e["name"].decode(): e["method"] for e in local}
                store = args in (["--store"], ["--level", "0"])
                expected_compressible = 0 if store else 8
                for name in ("readme.txt", "sub/deeper/data.csv", "sub/Name With Spaces.txt"):
                    self.assertEqual(methods[name], expected_compressible, name)
                # Deflate would not make these smaller: they stay stored.
                for name in ("random.bin", "one.bin", "empty.dat", "empty_dir/"):
                    self.assertEqual(methods[name], 0, name)
                for entry in local:
                    if entry["method"] == 8:
                        self.assertLess(entry["compressed_size"], entry["uncompressed_size"])
                sizes[tuple(args)] = len(installer)
                self.assert_zip_tools_extract(self.dir / "setup.exe", files)
        self.assertEqual(sizes[()], sizes[("--level", "12")])
        self.assertLessEqual(sizes[("--level", "12")], sizes[("--level", "1")])
        self.assertGreater(sizes[("--store",)], sizes[("--level", "1")])

    def test_trailer_instead_of_central_directory(self):
        root, files = self.tree()
        installer = self.pack("--trailer", root)
        self.assertEqual(installer[-4:], b"RSF\x00")
        parsed, local = self.entries(installer)
        self.assertEqual([e["name"].decode() for e in local], TREE_ORDER)
        last = local[-1]
        end_of_stream = last["offset"] + 30 + len(last["name"]) + len(last["extra"]) + \
            last["compressed_size"]
        self.assertEqual(end_of_stream, len(installer) - 4)
        self.assertNotIn(b"PK\x01\x02", installer[parsed.data_start:])
        self.assertNotIn(b"PK\x05\x06", installer[parsed.data_start:])
        self.assertEqual(parsed.header["totalSize"], len(installer))
        # Before the ending only totalSize differs.
        central = self.pack(root, output=self.dir / "central.exe")
        self.assertEqual(pb.parse_package(central).header["totalSize"], len(central))
        size_field = pb.PACKAGE_OFFSET + pb.HEADER_FIELDS["totalSize"][0]
        self.assertEqual(central[:size_field], installer[:size_field])
        self.assertEqual(central[size_field + 4:end_of_stream], installer[size_field + 4:end_of_stream])

    def test_end_record_at_the_end(self):
        root, _ = self.tree()
        installer = self.pack(root)
        end = installer[-22:]
        signature, _, _, count, total, size, offset, comment = struct.unpack("<IHHHHIIH", end)
        self.assertEqual((signature, count, total, comment), (pb.END_SIGNATURE, 8, 8, 0))
        self.assertEqual(offset + size, len(installer) - 22)
        self.assertEqual(installer[offset:offset + 4], b"PK\x01\x02")

    def test_deterministic(self):
        root, _ = self.tree()
        first = self.pack("--title", "T", root, output=self.dir / "one.exe")
        second = self.pack("--title", "T", root, output=self.dir / "two.exe")
        self.assertEqual(first, second)
        # Copying the tree changes inode and directory order, not the result.
        copy = self.dir / "copy"
        shutil.copytree(root, copy)
        for path in copy.rglob("*"):
            os.utime(path, (FIXED_MTIME, FIXED_MTIME))
        third = self.pack("--title", "T", copy, output=self.dir / "three.exe")
        self.assertEqual(first, third)

    def test_dos_times_are_local_time(self):
        self.write("a.txt", b"a", FIXED_MTIME)
        self.write("old.txt", b"b", 0)  # 1970: before DOS time begins
        self.write("even.txt", b"c", FIXED_MTIME - 1)
        cases = [("UTC0", 0), ("EST5", -5), ("JST-9", 9)]
        for zone, hours in cases:
            with self.subTest(zone=zone):
                installer = self.pack(self.dir / "a.txt", self.dir / "old.txt",
                                      self.dir / "even.txt", tz=zone)
                _, local = self.entries(installer)
                times = {e["name"]: (e["time"], e["date"]) for e in local}
                self.assertEqual(times[b"a.txt"], dos_words(FIXED_MTIME, hours))
                self.assertEqual(times[b"even.txt"], times[b"a.txt"])  # seconds rounded down
                self.assertEqual(times[b"old.txt"], pb.dos_date_time(1980, 1, 1))

    def test_names_given_on_the_command_line(self):
        root, files = self.tree()
        (self.dir / "a=b.txt").write_bytes(b"equals")
        installer = self.pack(
            f"docs/read me.txt={root / 'readme.txt'}",  # NAME=PATH for a file
            f"payload={root / 'sub'}",  # ... and for a directory
            root / "one.bin",  # a plain file: its own name
            "--base", self.dir, root / "random.bin",  # names relative to --base
            "--base=", "--", self.dir / "a=b.txt")  # after --: a path with "="
        _, local = self.entries(installer)
        self.assertEqual([e["name"].decode() for e in local], [
            "docs/read me.txt", "payload/Name With Spaces.txt", "payload/deeper/data.csv",
            "one.bin", "tree/random.bin", "a=b.txt", "payload/empty_inner/"])

    def test_directory_entries_only_where_needed(self):
        root = self.dir / "t"
        (root / "full").mkdir(parents=True)
        (root / "full" / "f.txt").write_bytes(b"f")
        (root / "empty").mkdir()
        (root / "outer" / "inner").mkdir(parents=True)
        installer = self.pack(root, "more=" + str(root / "empty"))
        _, local = self.entries(installer)
        self.assertEqual([e["name"] for e in local],
                         [b"full/f.txt", b"empty/", b"outer/inner/", b"more/"])

    def test_warnings(self):
        self.write("setup.inf", b"[Version]", FIXED_MTIME)
        cases = [
            ([], "no INF text"),
            (["--inf", "><other.inf"], "'other.inf', which is not among the files"),
            (["--inf", "><SETUP.INF|more"], None),
            (["--inf", "C:\\setup.inf"], None),
        ]
        for args, warning in cases:
            with self.subTest(args=args):
                result = run_pack("-o", self.dir / "w.exe", "--stub", self.stub, "--quiet", *args,
                                  self.dir / "setup.inf")
                self.assertEqual(result.returncode, 0, result.stderr)
                if warning:
                    self.assertIn("warning: ", result.stderr)
                    self.assertIn(warning, result.stderr)
                else:
                    self.assertEqual(result.stderr, "")


def make_wide_tree(root: Path):
    """make_tree and 40 more files, from a few bytes to 200 KB, text-like and
    random: enough work to spread over threads."""
    files = make_tree(root)
    rng = random.Random(11)
    words = [b"alpha", b"beta", b"gamma", b"delta", b"\r\n", b"; ", b"0x%04x" % 4660]
    for i in range(40):
        size = rng.choice([3, 900, 20_000, 200_000])
        if i % 5 == 4:
            data = rng.randbytes(size)
        else:
            data = b"".join(rng.choice(words) for _ in range(size // 4))[:size]
        name = f"many/{i % 3}/file{i:02d}.txt"
        path = root / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        files[name] = data
    for path in root.rglob("*"):
        os.utime(path, (FIXED_MTIME, FIXED_MTIME))
    return files


def libdeflate_version():
    result = subprocess.run(["pkg-config", "--modversion", "libdeflate"], capture_output=True, text=True) \
        if shutil.which("pkg-config") else None
    return result.stdout.strip() if result and result.returncode == 0 else None


class ThreadsTest(PackTestCase):
    """Entries are made on several threads and written in their planned order."""

    def test_same_installer_for_any_number_of_threads(self):
        root = self.dir / "wide"
        root.mkdir()
        files = make_wide_tree(root)
        archive = self.write("extra.zip", plain_zip({"zip/a.txt": b"from the archive " * 40, "zip/b.bin": b"b"}))
        inputs = [root, "--from-zip", archive, f"alone.txt={root / 'readme.txt'}"]
        for extra in ([], ["--level", "1", "--trailer"], ["--level", "1", "--split", "100k"]):
            with self.subTest(extra=extra):
                out = self.dir / "out" / " ".join(extra)
                out.mkdir(parents=True)
                results = {}
                for jobs in ("1", "2", "3", "8", None):
                    installer = out / f"setup-{jobs}.exe"
                    self.pack(*(["--jobs", jobs] if jobs else []), *extra, *inputs, output=installer)
                    results[jobs] = b"".join(p.read_bytes() for p in split_files(installer))
                self.assertEqual(len(set(results.values())), 1, "installers differ by the number of threads")
        self.assert_zip_tools_extract(self.dir / "out" / "" / "setup-8.exe",
                                      dict(files, **{"zip/a.txt": b"from the archive " * 40, "zip/b.bin": b"b",
                                                     "alone.txt": files["readme.txt"]}))

    def test_same_installer_as_before(self):
        # SHA-256 of what the packager wrote for a fixed tree before entries
        # were made on several threads. Deflated data depends on the version
        # of libdeflate; stored data does not.
        cases = [
            ([], True, "08f244cb431b12843c9d35d627288e94c22298d8586e717b545edea872342d98"),
            (["--level", "1"], True, "9a2dd0c260588e107f53ffc1cc5fe6015ea97b1449a9ae51c4995c4b4b3ee6e3"),
            (["--trailer", "--level", "6"], True, "5685b42a4a57bd2258bbcf3c4c65a866a4805ec6f6247f52b13db6df617b5de8"),
            (["--store"], False, "93170f505f4113af02e41d29ecd85c119542436dd3426a7d8c81234743c7cbfe"),
        ]
        root = self.dir / "wide"
        root.mkdir()
        make_wide_tree(root)
        same_libdeflate = libdeflate_version() == "1.14"
        for args, deflated, expected in cases:
            with self.subTest(args=args):
                if deflated and not same_libdeflate:
                    self.skipTest(f"libdeflate {libdeflate_version()}, not 1.14")
                for jobs in ("1", "4"):
                    installer = self.pack("--title", "Fixed", "--jobs", jobs, *args, root)
                    self.assertEqual(hashlib.sha256(installer).hexdigest(), expected, jobs)

    def test_first_failure_in_order_is_reported(self):
        root, _ = self.tree()
        damaged = []
        for name in ("first", "second"):
            entry = pb.Entry(f"{name}.txt", b"data " * 20, method=0)
            damaged.append(self.write(f"{name}.zip", last_data_byte_flipped(entry)))
        for jobs in ("1", "4"):
            with self.subTest(jobs=jobs):
                result = self.assert_refused(["--jobs", jobs, root, "--from-zip", damaged[0], root / "sub",
                                              "--from-zip", damaged[1]], "does not match its CRC-32", status=1)
                self.assertIn("first.txt", result.stderr)
                self.assertNotIn("second.txt", result.stderr)


SUMMARY = re.compile(r"quillon-pack: (\d+) (files?), (\d+ bytes?|\d+\.\d [KMG]iB) packed into "
                     r"(\d+\.\d [KMG]iB)(?: \((\d+\.\d) %\))? in \d+\.\d s"
                     r"(?:; split into the program file and (\d+) part files?, (\S+)(?: to (\S+))?)?")
PROGRESS = re.compile(r"\rquillon-pack: (\d+ bytes?|\d+\.\d [KMG]iB) of (\d+\.\d MiB), (\d+) of (\d+) files"
                      r"(, \d+\.\d [KMG]iB/s)?\x1b\[K")


def run_on_terminal(*args, term="xterm"):
    """Runs the packager with its standard error on a pseudo-terminal; returns
    the exit status and everything written there."""
    main, terminal = pty.openpty()
    try:
        process = subprocess.Popen([PACK, *map(str, args)], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=terminal, env=dict(os.environ, TZ="UTC0", TERM=term))
    finally:
        os.close(terminal)
    written = b""
    while True:
        try:
            chunk = os.read(main, 65536)
        except OSError:  # EIO: the last holder of the terminal is gone
            break
        if not chunk:
            break
        written += chunk
    os.close(main)
    return process.wait(), written.decode("utf-8", "replace").replace("\r\n", "\n")


class ReportTest(PackTestCase):
    """The summary on standard error, the progress line on a terminal, and
    --quiet, which keeps both back."""

    def test_summary(self):
        root, files = self.tree()
        self.write("empty.txt", b"")
        archive = self.write("a.zip", plain_zip({"z/one.txt": b"one " * 100, "z/two.txt": b"two"}))
        tree_bytes = sum(map(len, files.values()))
        cases = [
            # label, arguments, files, input bytes
            ("tree", [root], 6, tree_bytes),
            ("one empty file", [self.dir / "empty.txt"], 1, 0),
            ("archive and tree", ["--from-zip", archive, root], 8, tree_bytes + 403),
            ("split", ["--store", "--split", "36k", root], 6, tree_bytes),
            ("larger than its input", [root / "one.bin"], 1, 1),
        ]
        for label, args, count, input_bytes in cases:
            with self.subTest(label):
                installer = self.dir / f"out-{label}" / "setup.exe"
                installer.parent.mkdir()
                result = run_pack("-o", installer, "--stub", self.stub, "--inf", "><readme.txt", *args)
                self.assertEqual(result.returncode, 0, result.stderr)
                lines = [line for line in result.stderr.splitlines() if "warning: " not in line]
                self.assertEqual(len(lines), 1, result.stderr)
                match = SUMMARY.fullmatch(lines[0])
                self.assertIsNotNone(match, lines[0])
                parts = split_files(installer)
                self.assertEqual(len(parts) > 1, label == "split")
                output_bytes = sum(p.stat().st_size for p in parts)
                self.assertEqual((int(match[1]), match[2]), (count, "file" if count == 1 else "files"))
                if input_bytes == 0:
                    self.assertEqual((match[3], match[5]), ("0 bytes", None))
                elif output_bytes > input_bytes:
                    self.assertIsNone(match[5])  # no share above 100 %
                else:
                    self.assertAlmostEqual(float(match[5]), 100 * output_bytes / input_bytes, delta=0.051)
                if len(parts) > 1:
                    names = [p.name for p in parts[1:]]
                    self.assertEqual((int(match[6]), match[7], match[8]),
                                     (len(names), names[0], names[-1] if len(names) > 1 else None))
                else:
                    self.assertIsNone(match[6])

    def test_quiet(self):
        self.write("a.txt", b"a")
        cases = [
            # arguments, what stderr holds
            (["--inf", "><a.txt"], ""),
            ([], "quillon-pack: warning: no INF text"),  # warnings stay
        ]
        for args, expected in cases:
            with self.subTest(args=args):
                result = run_pack("-o", self.dir / "q.exe", "--stub", self.stub, "--quiet", *args, self.dir / "a.txt")
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(result.stderr.split(" (--inf)")[0], expected)

    def test_progress_on_a_terminal(self):
        big = self.dir / "big"
        big.mkdir()
        for i in range(3):
            (big / f"part{i}.bin").write_bytes(random.Random(i).randbytes(6 << 20))
        self.write("small.txt", b"small " * 1000)
        cases = [
            # label, arguments, TERM, progress shown, summary shown
            ("18 MiB", [big], "xterm", True, True),
            ("small", [self.dir / "small.txt"], "xterm", False, True),
            ("--quiet", ["--quiet", big], "xterm", False, False),
            ("dumb terminal", [big], "dumb", False, True),
        ]
        for label, args, term, progress, summary in cases:
            with self.subTest(label):
                status, written = run_on_terminal("-o", self.dir / "t.exe", "--stub", self.stub, "--inf", "><x",
                                                  "--level", "1", *args, term=term)
                self.assertEqual(status, 0, written)
                written = re.sub(r"quillon-pack: warning: [^\n]*\n", "", written)
                lines = PROGRESS.findall(written)
                if progress:
                    self.assertTrue(lines, written)
                    self.assertTrue(all(line[1] == "18.0 MiB" and line[3] == "3" for line in lines), lines)
                    # The line is erased before the summary.
                    self.assertIn("\r\x1b[K" + "quillon-pack: 3 files", written)
                else:
                    self.assertEqual(lines, [])
                self.assertEqual(bool(SUMMARY.search(written)), summary, written)
                if not summary:
                    self.assertEqual(written, "")


class FromZipTest(PackTestCase):
    def make_source(self):
        root, files = self.tree("src")
        return root, files

    def zip_with(self, command, archive, root):
        result = subprocess.run(command, cwd=root, capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        return archive

    def assert_taken_verbatim(self, archive: Path, installer: bytes):
        """Every file entry of the archive is in the installer byte for byte:
        local header, name, extra field and data."""
        data = archive.read_bytes()
        _, local = self.entries(installer)
        ours = {e["name"]: e for e in local}
        with zipfile.ZipFile(archive) as source:
            for info in source.infolist():
                if info.is_dir():
                    continue
                start = info.header_offset
                name_length, extra_length = struct.unpack_from("<HH", data, start + 26)
                end = start + 30 + name_length + extra_length + info.compress_size
                entry = ours[info.filename.encode()]
                length = end - start
                self.assertEqual(installer[entry["offset"]:entry["offset"] + length],
                                 data[start:end], info.filename)

    @unittest.skipUnless(HAVE_ZIP and HAVE_7Z, "needs zip, unzip and 7z")
    def test_archives_of_zip_tools(self):
        root, files = self.make_source()
        tools = {
            "zip": ["zip", "-qr", self.dir / "info.zip", "."],
            "7z": ["7z", "a", "-tzip", self.dir / "seven.zip", "."],
            "zip -0": ["zip", "-qr0", self.dir / "stored.zip", "."],
        }
        for tool, command in tools.items():
            with self.subTest(tool=tool):
                archive = self.zip_with(command, command[-2], root)
                installer = self.pack("--from-zip", archive, output=self.dir / f"{tool}.exe")
                self.assert_taken_verbatim(archive, installer)
                _, local = self.entries(installer)
                names = [e["name"].decode() for e in local]
                # Directory entries that files imply are dropped; empty ones go last.
                self.assertEqual(sorted(names[:-2]), sorted(files))
                self.assertEqual(sorted(names[-2:]), ["empty_dir/", "sub/empty_inner/"])
                self.assert_zip_tools_extract(self.dir / f"{tool}.exe", files)

    @unittest.skipUnless(HAVE_ZIP, "needs zip")
    def test_encrypted_archive_is_taken_as_it_is(self):
        root, files = self.make_source()
        archive = self.zip_with(["zip", "-qr", "-P", "secret", self.dir / "locked.zip", "."],
                                self.dir / "locked.zip", root)
        installer = self.pack("--from-zip", archive)
        self.assert_taken_verbatim(archive, installer)
        _, local = self.entries(installer)
        self.assertTrue(all(e["flags"] & pb.FLAG_ENCRYPTED for e in local if e["name"][-1:] != b"/"))
        result = subprocess.run(["unzip", "-t", "-P", "secret", self.dir / "setup.exe"],
                                capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stdout)

    def test_archives_and_files_in_command_line_order(self):
        archive = self.dir / "a.zip"
        archive.write_bytes(plain_zip({"from-zip.txt": b"z"}))
        self.write("first.txt", b"1")
        self.write("last.txt", b"2")
        installer = self.pack(self.dir / "first.txt", "--from-zip", archive, self.dir / "last.txt")
        _, local = self.entries(installer)
        self.assertEqual([e["name"] for e in local], [b"first.txt", b"from-zip.txt", b"last.txt"])

    def test_installer_as_archive(self):
        # An installer is a ZIP archive with bytes in front: it can be re-packed.
        root, files = self.make_source()
        first = self.pack("--level", "1", root, output=self.dir / "first.exe")
        second = self.pack("--from-zip", self.dir / "first.exe", "--title", "Again",
                           output=self.dir / "second.exe")
        _, one = self.entries(first)
        _, two = self.entries(second)
        self.assertEqual([(e["name"], e["payload"]) for e in one],
                         [(e["name"], e["payload"]) for e in two])
        self.assert_zip_tools_extract(self.dir / "second.exe", files)

    def test_data_descriptors(self):
        cases = [
            ("signed", True, 16),
            ("unsigned", struct.pack("<III", pb.crc32(b"hello" * 20), 0, 100), 16),
            ("none", False, 0),
        ]
        for label, descriptor, written in cases:
            with self.subTest(label):
                entry = pb.Entry("d.txt", b"hello" * 20, method=0, flags=pb.FLAG_DESCRIPTOR,
                                 descriptor=descriptor)
                if label == "unsigned":
                    entry.descriptor = struct.pack("<III", pb.crc32(entry.data), 100, 100)
                archive = self.write(f"{label}.zip", zip_of(entry))
                installer = self.pack("--from-zip", archive, self.write("after.txt", b"z"))
                _, walked = self.entries(installer)
                self.assertEqual([e["name"] for e in walked], [b"d.txt", b"after.txt"])
                first = walked[0]
                behind = first["offset"] + 30 + 5 + 100
                self.assertEqual(walked[1]["offset"], behind + written)
                if written:
                    self.assertEqual(installer[behind:behind + 16],
                                     struct.pack("<IIII", pb.DESCRIPTOR_SIGNATURE,
                                                 pb.crc32(entry.data), 100, 100))
                with zipfile.ZipFile(self.dir / "setup.exe") as z:
                    self.assertIsNone(z.testzip())
                    self.assertEqual(z.read("d.txt"), entry.data)

    def test_refused_archives(self):
        data = b"some data " * 50
        good = pb.Entry("f.txt", data, method=8)

        streamed = pb.Entry("f.txt", data, method=8, flags=pb.FLAG_DESCRIPTOR, crc=0,
                            compressed_size=0, uncompressed_size=0, descriptor=True)
        listed_streamed = pb.Entry("f.txt", data, method=8, flags=pb.FLAG_DESCRIPTOR)
        damaged = bytearray(zip_of(pb.Entry("f.txt", data, method=0)))
        damaged[40] ^= 0x01
        cases = [
            # What a streaming writer leaves: zeros in the local header, the
            # real values in the descriptor and the central directory.
            ("streamed", zip_of(streamed, central=[(listed_streamed, 0)]),
             "lacks the real CRC-32 and sizes"),
            ("bzip2", zip_of(pb.Entry("f.txt", data, method=12, payload=b"BZh9...")),
             "compression method 12"),
            ("damaged data", bytes(damaged), "does not match its CRC-32"),
            ("bad deflate", zip_of(pb.Entry("f.txt", data, method=8, payload=b"\xff" * 20)),
             "does not inflate"),
            ("not a zip", b"just text, no archive here", "not a ZIP archive"),
            ("unsafe name", zip_of(pb.Entry("../evil.txt", data)), "'..' component"),
            ("backslash", zip_of(pb.Entry("dir\\f.txt", data)), "backslash"),
            ("duplicate", zip_of(good, pb.Entry("F.TXT", data)), "the same file"),
            ("strong encryption", zip_of(pb.Entry("f.txt", data, flags=0x41)),
             "strong encryption"),
            ("header disagrees", zip_of(pb.Entry("f.txt", data, crc=1)), "damaged"),
        ]
        for label, archive, message in cases:
            with self.subTest(label):
                path = self.dir / "bad.zip"
                path.write_bytes(archive)
                self.assert_refused(["--from-zip", path], message, status=1)

    @unittest.skipUnless(HAVE_ZIP, "needs zip")
    def test_archive_written_to_a_pipe_is_refused(self):
        self.write("h.txt", b"hello world\n")
        piped = subprocess.run(["zip", "-q", "-", "h.txt"], cwd=self.dir, capture_output=True)
        self.assertEqual(piped.returncode, 0)
        (self.dir / "piped.zip").write_bytes(piped.stdout)
        self.assert_refused(["--from-zip", self.dir / "piped.zip"],
                            "lacks the real CRC-32 and sizes")


class NameEncodingTest(PackTestCase):
    """--name-encoding: names of files converted from UTF-8 to the ANSI code
    page of the target machines, and every name read in its characters, where
    a second byte may be 0x5C ("\\") or 0x7C ("|")."""

    def make_files(self, names):
        root = self.dir / "names"
        for name in names:
            path = root / name
            if name.endswith("/"):
                path.mkdir(parents=True)
            else:
                path.parent.mkdir(parents=True, exist_ok=True)
                path.write_bytes(name.encode())
        return root

    def test_names_converted(self):
        japanese = ["setup.inf", "ソフト/ポート.txt", "表", "能/", "ア.txt", "ヂ.txt", "ｶﾅ.txt"]
        cases = [
            # (label, names on disk, code page or None, stored names)
            # ア and ヂ differ only in a second byte that looks like "A" and "a".
            ("cp932", japanese, "cp932", [n.encode("cp932") for n in japanese]),
            ("cp950", ["setup.inf", "功能/許.txt"], "cp950", [b"setup.inf", b"\xa5\\\xaf\xe0/\xb3\\.txt"]),
            ("cp1252", ["setup.inf", "café.txt", "naïve/"], "cp1252", [b"setup.inf", b"caf\xe9.txt", b"na\xefve/"]),
            ("none: UTF-8 bytes", ["setup.inf", "café.txt"], None, [b"setup.inf", "café.txt".encode()]),
        ]
        for label, names, code_page, stored in cases:
            with self.subTest(label):
                shutil.rmtree(self.dir / "names", ignore_errors=True)
                root = self.make_files(names)
                args = ["--name-encoding", code_page] if code_page else []
                result = run_pack("-o", self.dir / "n.exe", "--stub", self.stub, "--quiet", "--inf", "><setup.inf",
                                  *args, root)
                self.assertEqual(result.returncode, 0, result.stderr)
                _, local = self.entries((self.dir / "n.exe").read_bytes())
                self.assertEqual(sorted(e["name"] for e in local), sorted(stored))
                if code_page:
                    self.assertEqual(result.stderr, "")
                else:
                    self.assertIn("bytes outside ASCII", result.stderr)

    def test_names_from_archives_are_read_in_the_code_page(self):
        archive = self.dir / "sjis.zip"
        archive.write_bytes(plain_zip({"ソ.txt".encode("cp932"): b"s", "表/x.txt".encode("cp932"): b"x"}))
        self.assert_refused(["--from-zip", archive], "backslash")
        installer = self.pack("--name-encoding", "cp932", "--from-zip", archive)
        _, local = self.entries(installer)
        self.assertEqual([e["name"] for e in local], [b"\x83\\.txt", b"\x95\\/x.txt"])

    def test_inf_text_in_the_code_page(self):
        root = self.make_files(["表/setup.inf"])
        inf = os.fsdecode(b"><" + "表".encode("cp932") + b"\\setup.inf")
        result = run_pack("-o", self.dir / "i.exe", "--stub", self.stub, "--quiet", "--name-encoding", "cp932",
                          "--inf", inf, root)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, "")

    def test_refusals(self):
        ok = self.write("ok.txt", b"ok")
        (self.dir / "bad").mkdir()
        (self.dir / "bad" / os.fsdecode(b"\xff.txt")).write_bytes(b"a")
        cp932 = ["--name-encoding", "cp932"]
        cases = [
            ("a character the code page lacks", ["--name-encoding", "cp1252", f"ア.txt={ok}"],
             "cp1252 has no character 'ア'", 1),
            ("no UTF-8", cp932 + [self.dir / "bad"], "is not UTF-8", 1),
            ("one file after conversion", cp932 + [f"～.txt={ok}", f"〜.txt={ok}"], "the same file", 1),
            ("a real pipe after ポ", cp932 + [f"ポ|.txt={ok}"], "'|'", 1),
            ("a real backslash after ソ", cp932 + [f"ソ\\x.txt={ok}"], "backslash", 1),
            ("a parent component", cp932 + [f"ソ/../x.txt={ok}"], "'..' component", 1),
            ("a device", cp932 + [f"表/con.txt={ok}"], "device", 1),
            ("an unknown code page", ["--name-encoding", "no-such-page", ok], "iconv knows no code page", 2),
            ("UTF-8 is no ANSI code page", ["--name-encoding", "UTF-8", ok], "one- and two-byte characters", 2),
            ("three-byte characters", ["--name-encoding", "EUC-JP", ok], "one- and two-byte characters", 2),
        ]
        for label, args, message, status in cases:
            with self.subTest(label):
                self.assert_refused(args, message, status=status)


class BadInputTest(PackTestCase):
    def test_refusals(self):
        ok = self.dir / "ok.txt"
        ok.write_bytes(b"ok")
        long_text = "x" * 256
        (self.dir / "long.txt").write_text(long_text)
        (self.dir / "lic255.txt").write_text("y" * 255)
        deep = self.dir / "deep" / ("d" * 200) / ("e" * 60)
        deep.mkdir(parents=True)
        (deep / "f.txt").write_bytes(b"f")
        big_stub = self.dir / "big-stub.exe"
        big_stub.write_bytes(bytes(pb.PACKAGE_OFFSET + 1))
        (self.dir / "empty").mkdir()
        (self.dir / "fifo").mkdir()
        os.mkfifo(self.dir / "fifo" / "pipe")
        (self.dir / "loop" / "inner").mkdir(parents=True)
        (self.dir / "loop" / "inner" / "back").symlink_to("..")
        (self.dir / "dangling").mkdir()
        (self.dir / "dangling" / "link").symlink_to("nowhere")
        cases = [
            ("missing input", [self.dir / "nothere.txt"], "nothere.txt"),
            ("missing archive", ["--from-zip", self.dir / "nothere.zip"], "nothere.zip"),
            ("missing text file", ["--info-file", self.dir / "nothere.txt", ok], "nothere.txt"),
            ("title too long", ["--title", long_text, ok], "title is 256 bytes"),
            ("INF text too long", ["--inf", long_text, ok], "INF text is 256 bytes"),
            ("licence information too long", ["--licence-info", long_text, ok],
             "licence information is 256 bytes"),
            ("licence information file too long", ["--licence-info-file", self.dir / "long.txt", ok],
             "256 bytes"),
            ("name too long", [f"{'n' * 256}={ok}"], "256 bytes long"),
            ("path too long for a name", [self.dir / "deep"], "267 bytes long"),
            ("stub too long", ["--stub", big_stub, ok], "35841 bytes"),
            ("stub missing", ["--stub", self.dir / "nostub.exe", ok], "nostub.exe"),
            ("parent component", [f"../up.txt={ok}"], "'..' component"),
            ("absolute name", [f"/abs.txt={ok}"], "absolute"),
            ("drive letter", [f"c:x.txt={ok}"], "colon"),
            ("backslash", [f"a\\b.txt={ok}"], "backslash"),
            ("device name", [f"dir/con.txt={ok}"], "device"),
            ("wildcard", [f"a*.txt={ok}"], "'*'"),
            ("same name twice", [f"A.TXT={ok}", f"a.txt={ok}"], "the same file"),
            ("file and directory", [f"a={ok}", f"a/b={ok}"], "need it as a directory"),
            ("no files", [self.dir / "empty"], "nothing to package"),
            ("special file", [self.dir / "fifo"], "is a pipe (FIFO); only regular files"),
            ("directory cycle", [self.dir / "loop"], "contains itself"),
            ("dangling link", [self.dir / "dangling"], "points nowhere"),
        ]
        for label, args, message in cases:
            with self.subTest(label):
                self.assert_refused(args, message, status=1)
        # The limit itself is fine.
        self.pack("--licence-info-file", self.dir / "lic255.txt", ok)

    def test_names_that_windows_folds_together(self):
        # Windows drops trailing dots and blanks of names: these are one file
        # to the installer, as names that differ in case are.
        ok = self.write("ok.txt", b"ok")
        cases = [
            ("a trailing dot", [f"name={ok}", f"name.={ok}"], "two entries would be written to the same file"),
            ("a trailing blank", [f"a={ok}", f"a ={ok}"], "two entries would be written to the same file"),
            ("both, and the case", [f"Read.Me={ok}", f"read.me. .={ok}"], "the same file"),
            ("a directory with a trailing dot", [f"a={ok}", f"a./b={ok}"], "need it as a directory"),
            ("a component of dots only", [f"a/.../b={ok}"], "dots and blanks only"),
            ("a component of a blank only", [f"a/ /b={ok}"], "dots and blanks only"),
        ]
        for label, args, message in cases:
            with self.subTest(label):
                self.assert_refused(args, message, status=1)

    def test_command_line_errors(self):
        ok = self.dir / "ok.txt"
        ok.write_bytes(b"ok")
        cases = [
            (["--level", "13", ok], "--level"),
            (["--level", "x", ok], "--level"),
            (["--jobs", "0", ok], "--jobs wants a number from 1 to 256"),
            (["--jobs", "257", ok], "--jobs"),
            (["--jobs", "", ok], "--jobs"),
            (["--quiet=yes", ok], "takes no value"),
            (["--header-field", "nosuch=1", ok], "nosuch"),
            (["--header-field", "titleLength=256", ok], "out of range"),
            (["--header-field", "totalSize=4294967296", ok], "out of range"),
            (["--header-field", "magic=QL", ok], "three characters"),
            (["--title", "a", "--title", "b", ok], "already given"),
            (["--info", "a", "--info-file", ok, ok], "already given"),
            (["--frobnicate", ok], "unknown option"),
            (["--title"], "needs a value"),
            ([], "no files"),
            (["--sign-reserve", "65529", ok], "from 0 to 65528"),
            (["--sign-reserve", "64k", ok], "from 0 to 65528"),
            (["--sign-reserve", "1x", ok], "--sign-reserve"),
            (["--sign-reserve", "16k", "--trailer", ok], "--trailer"),
            (["--sign-reserve", "16k", "--split", "1m", ok], "cannot go with --split"),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                self.assert_refused(args, message, status=2)
        result = run_pack("--stub", self.stub, ok)
        self.assertEqual(result.returncode, 2)
        self.assertIn("no output", result.stderr)

    def test_unwritable_output(self):
        ok = self.dir / "ok.txt"
        ok.write_bytes(b"ok")
        (self.dir / "a-directory").mkdir()
        cases = [
            (self.dir / "a-directory", "is a directory"),
            (ok / "setup.exe", "cannot write output"),
        ]
        for output, message in cases:
            with self.subTest(output=output):
                result = run_pack("-o", output, "--stub", self.stub, ok)
                self.assertEqual(result.returncode, 1)
                self.assertIn(message, result.stderr)
        self.assertEqual(ok.read_bytes(), b"ok")
        self.assertEqual(list((self.dir / "a-directory").iterdir()), [])

    def test_late_failure_keeps_the_older_output(self):
        # The damage shows only when the entry is copied, after other entries
        # have been written: the older installer must survive untouched.
        root, _ = self.tree()
        output = self.dir / "out" / "setup.exe"
        output.parent.mkdir()
        output.write_bytes(b"older installer")
        archive = self.write("late.zip", last_data_byte_flipped(pb.Entry("late.txt", b"late data " * 10, method=0)))
        result = run_pack("-o", output, "--stub", self.stub, root, "--from-zip", archive)
        self.assertEqual(result.returncode, 1)
        self.assertIn("does not match its CRC-32", result.stderr)
        self.assertEqual(output.read_bytes(), b"older installer")
        self.assertEqual([p.name for p in output.parent.iterdir()], ["setup.exe"])


MULTI_PART_AT = pb.PACKAGE_OFFSET + pb.HEADER_FIELDS["multiPart"][0]


def split_files(installer: Path):
    """The installer and its part files, in joining order: the installer's
    path with its last three characters replaced by 001, 002, ..."""
    files = [installer]
    for number in range(1, 256):
        part = installer.with_name(installer.name[:-3] + f"{number:03d}")
        if not part.exists():
            break
        files.append(part)
    return files


class SplitTest(PackTestCase):
    def big_inputs(self, size=150_000):
        """Incompressible data, so that sizes are foreseeable."""
        root, files = self.tree()
        (root / "big.bin").write_bytes(random.Random(3).randbytes(size))
        os.utime(root / "big.bin", (FIXED_MTIME, FIXED_MTIME))
        files["big.bin"] = (root / "big.bin").read_bytes()
        return root, files

    def test_joined_files_are_the_unsplit_installer(self):
        root, files = self.big_inputs()
        whole = {}
        for ending in ([], ["--trailer"]):
            whole[tuple(ending)] = self.pack(*ending, root, output=self.dir / "whole.exe")
        total = len(whole[()])
        cases = [
            # SIZE as given, in bytes, extra options
            ("40000", 40000, []),
            ("48k", 48 * 1024, []),
            ("64K", 64 * 1024, []),
            ("64k", 64 * 1024, ["--trailer"]),
            (str(total - 1), total - 1, []),
        ]
        for given, size, extra in cases:
            with self.subTest(split=given, extra=extra):
                out = self.dir / "split" / given
                out.mkdir(parents=True)
                self.pack("--split", given, *extra, root, output=out / "setup.exe")
                files_written = split_files(out / "setup.exe")
                self.assertEqual(sorted(p.name for p in out.iterdir()),
                                 sorted(p.name for p in files_written))
                self.assertEqual(files_written[-1].name, f"setup.{len(files_written) - 1:03d}")
                sizes = [p.stat().st_size for p in files_written]
                self.assertEqual(len(sizes), -(-total // size))
                self.assertEqual(sizes[:-1], [size] * (len(sizes) - 1))
                self.assertLessEqual(sizes[-1], size)
                joined = b"".join(p.read_bytes() for p in files_written)
                unsplit = whole[tuple(extra)]
                self.assertEqual(joined[MULTI_PART_AT], 1)
                self.assertEqual(joined[:MULTI_PART_AT] + joined[MULTI_PART_AT + 1:],
                                 unsplit[:MULTI_PART_AT] + unsplit[MULTI_PART_AT + 1:])
                header = pb.parse_package(joined).header
                self.assertEqual((header["multiPart"], header["totalSize"]), (1, len(joined)))
                if not extra:
                    # The central directory counts offsets in the joined file.
                    (out / "joined.zip").write_bytes(joined)
                    self.assert_zip_tools_extract(out / "joined.zip", files)

    def test_installer_that_fits_is_one_file(self):
        root, _ = self.big_inputs()
        whole = self.pack(root, output=self.dir / "whole.exe")
        for given in (str(len(whole)), "1m", "2g", "1G", "999999999g"):
            with self.subTest(split=given):
                out = self.dir / "fits" / given
                out.mkdir(parents=True)
                self.assertEqual(self.pack("--split", given, root, output=out / "setup.exe"), whole)
                self.assertEqual([p.name for p in out.iterdir()], ["setup.exe"])

    def test_part_names(self):
        self.write("a.bin", random.Random(5).randbytes(60_000))
        cases = [
            ("setup.exe", ["setup.exe", "setup.001"]),
            ("SETUP.EXE", ["SETUP.EXE", "SETUP.001"]),
            ("installer", ["installer", "instal001"]),
            ("abc", ["abc", "001"]),
            ("My Setup 1.0", ["My Setup 1.0", "My Setup 001"]),
            ("setup.000", ["setup.000", "setup.001"]),
            ("setup.256", ["setup.256", "setup.001"]),
            ("プログラム.exe", ["プログラム.exe", "プログラム.001"]),
        ]
        for name, expected in cases:
            with self.subTest(name=name):
                out = self.dir / "names" / name
                out.mkdir(parents=True)
                self.pack("--split", "48k", self.dir / "a.bin", output=out / name)
                self.assertEqual(sorted(p.name for p in out.iterdir()), sorted(expected))

    def test_parts_left_from_an_earlier_split(self):
        root, _ = self.big_inputs()
        total = len(self.pack(root, output=self.dir / "whole.exe"))
        out = self.dir / "out"
        out.mkdir()
        installer = out / "setup.exe"
        unrelated = ["setup.txt", "setup.1000", "other.002", "setup.200"]

        def names():
            return sorted(p.name for p in out.iterdir())

        def expected(parts):
            return sorted(["setup.exe"] + [f"setup.{n:03d}" for n in range(1, parts + 1)] + unrelated)

        self.pack("--split", "36k", root, output=installer)
        many = -(-total // (36 * 1024)) - 1
        for name in unrelated[:-1]:
            (out / name).write_bytes(b"not a part")
        (out / "setup.200").mkdir()  # named like a part, but no file
        self.assertEqual(names(), expected(many))
        result = run_pack("-o", installer, "--stub", self.stub, "--split", "64k", root)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("'setup.200'", result.stderr.replace(str(out) + "/", ""))
        fewer = -(-total // (64 * 1024)) - 1
        self.assertLess(fewer, many)
        self.assertEqual(names(), expected(fewer))
        # An installer that fits needs no parts: all are stale.
        self.pack("--split", "1m", root, output=installer)
        self.assertEqual(names(), expected(0))
        # Without --split older parts are kept, and the user is told.
        (out / "setup.001").write_bytes(b"older part")
        result = run_pack("-o", installer, "--stub", self.stub, root)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("warning: ", result.stderr)
        self.assertIn("setup.001", result.stderr)
        self.assertEqual((out / "setup.001").read_bytes(), b"older part")

    def test_refusals_leave_older_files_alone(self):
        # 9 MiB in the smallest files the stub allows: over 255 parts.
        data = random.Random(9).randbytes(9 * 1024 * 1024)
        self.write("big.bin", data)
        self.write("a.txt", b"a")
        out = self.dir / "out"
        out.mkdir()
        older = {"setup.exe": b"older installer", "setup.001": b"older part 1",
                 "setup.002": b"older part 2"}
        for name, content in older.items():
            (out / name).write_bytes(content)
        minimum = pb.PACKAGE_OFFSET + pb.HEADER_SIZE
        big = ["--store", self.dir / "big.bin"]
        cases = [
            (["--split", str(minimum - 1), self.dir / "a.txt"], "out/setup.exe", 1, "too small"),
            (["--split", "0", self.dir / "a.txt"], "out/setup.exe", 1, "too small"),
            (["--split", "1k", "--title", "T" * 200, self.dir / "a.txt"], "out/setup.exe", 1,
             "too small"),
            (["--split", str(minimum), *big], "out/setup.exe", 1, "more than the 255"),
            (["--split", "36k", self.dir / "a.txt"], "out/ab", 1, "shorter than that"),
            (["--split", "36k", self.dir / "a.txt"], "out/setup.001", 1, "a part number"),
            (["--split", "36k", self.dir / "a.txt"], "out/x.255", 1, "a part number"),
            (["--split", "36k", self.dir / "a.txt"], "out/setupé", 1, "ASCII"),
            (["--split", "36k", self.dir / "a.txt"], "out/セットアップexe", 1, "ASCII"),
            (["--split", "1x", self.dir / "a.txt"], "out/setup.exe", 2, "--split"),
            (["--split", "-5", self.dir / "a.txt"], "out/setup.exe", 2, "--split"),
            (["--split", "k", self.dir / "a.txt"], "out/setup.exe", 2, "--split"),
            (["--split", "", self.dir / "a.txt"], "out/setup.exe", 2, "--split"),
            (["--split", "99999999999999999999", self.dir / "a.txt"], "out/setup.exe", 2,
             "--split"),
        ]
        for args, output, status, message in cases:
            with self.subTest(args=args[:2], output=output):
                self.assert_refused(args, message, status=status, output=self.dir / output)
                for name, content in older.items():
                    self.assertEqual((out / name).read_bytes(), content)

    def test_most_parts_the_installer_can_join(self):
        self.write("big.bin", random.Random(9).randbytes(9 * 1024 * 1024))
        whole = self.pack("--store", self.dir / "big.bin", output=self.dir / "whole.exe")
        size = -(-len(whole) // 256)  # 256 files: the program file and 255 parts
        installer = self.dir / "out" / "setup.exe"
        installer.parent.mkdir()
        self.pack("--store", "--split", size, self.dir / "big.bin", output=installer)
        files = split_files(installer)
        self.assertEqual(files[-1].name, "setup.255")
        self.assertEqual(len(list(installer.parent.iterdir())), 256)
        joined = b"".join(p.read_bytes() for p in files)
        self.assertEqual(joined[MULTI_PART_AT + 1:], whole[MULTI_PART_AT + 1:])
        self.assert_refused(["--store", "--split", size - 1, self.dir / "big.bin"],
                            "need 256 part files", output=installer)


HAVE_SIGNING = shutil.which("osslsigncode") is not None and shutil.which("openssl") is not None


def certificate_table(signed: bytes):
    """Offset and size of the certificate table of a PE file (data directory 4)."""
    pe = struct.unpack_from("<I", signed, 0x3C)[0]
    optional_header = pe + 24
    directories = optional_header + (96 if struct.unpack_from("<H", signed, optional_header)[0] == 0x10B
                                     else 112)
    return struct.unpack_from("<II", signed, directories + 4 * 8)


@unittest.skipUnless(REAL_STUB and Path(REAL_STUB).is_file(), "QUILLON_STUB names no stub")
@unittest.skipUnless(HAVE_SIGNING and HAVE_ZIP and HAVE_7Z, "needs osslsigncode, openssl, unzip and 7z")
class SigningTest(PackTestCase):
    """Installers signed with osslsigncode: the signature is appended behind
    the end record, which --sign-reserve makes reach over it."""

    def setUp(self):
        super().setUp()
        self.stub = Path(REAL_STUB)
        self.key, self.cert = self.dir / "key.pem", self.dir / "cert.pem"
        result = subprocess.run(
            ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", self.key,
             "-out", self.cert, "-days", "2", "-subj", "/CN=Quillon throw-away test certificate",
             "-addext", "extendedKeyUsage=codeSigning"], capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.root, self.files = self.tree()

    def sign(self, installer: Path) -> Path:
        signed = installer.with_name("signed-" + installer.name)
        result = subprocess.run(["osslsigncode", "sign", "-certs", self.cert, "-key", self.key,
                                 "-n", "Quillon test", "-in", installer, "-out", signed],
                                capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        result = subprocess.run(["osslsigncode", "verify", "-CAfile", self.cert, "-in", signed],
                                capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        return signed

    def installer_starts(self, path: Path) -> bool:
        """Whether the installer's start-up check takes the file, by the
        installer's own check in verify; any other verdict fails the test."""
        result = run_pack("verify", path)
        if result.returncode == 0:
            return True
        self.assertIn("its end is missing", result.stderr)
        return False

    def zip_tools(self, path: Path):
        """What each ZIP reader says: {reader: (exit status, complaints)},
        after checking that each still reads every file right."""
        said = {}
        with zipfile.ZipFile(path) as archive:
            self.assertIsNone(archive.testzip())
            self.assertEqual(archive.read("random.bin"), self.files["random.bin"])
            said["zipfile"] = (0, "")
        result = subprocess.run(["unzip", "-t", path], capture_output=True, text=True)
        self.assertIn("No errors detected in compressed data", result.stdout)
        complaints = [line.strip() for line in (result.stdout + result.stderr).splitlines()
                      if "caution" in line or "warning" in line]
        said["unzip -t"] = (result.returncode, " ".join(complaints))
        result = subprocess.run(["7z", "t", "-tzip", path], capture_output=True, text=True)
        complaints = [line.strip() for line in result.stdout.splitlines()
                      if "end of" in line or "after the end" in line]
        said["7z t"] = (result.returncode, " ".join(dict.fromkeys(complaints)))
        target = self.dir / "x-7z"
        shutil.rmtree(target, ignore_errors=True)
        subprocess.run(["7z", "x", "-tzip", "-y", f"-o{target}", path], capture_output=True)
        self.assertEqual((target / "random.bin").read_bytes(), self.files["random.bin"])
        return said

    def test_signed_installers(self):
        plain = self.dir / "plain.exe"
        self.pack(self.root, output=plain)
        signed = self.sign(plain)
        table_at, table_size = certificate_table(signed.read_bytes())
        appended = signed.stat().st_size - plain.stat().st_size
        print(f"\nsignature: certificate table {table_size} bytes, {appended} bytes appended",
              file=sys.stderr)
        self.assertEqual(table_at % 8, 0)
        self.assertEqual(table_at + table_size, signed.stat().st_size)
        # Without a reserve the signed installer would refuse to start.
        quiet = {"zipfile": (0, ""), "unzip -t": (0, ""), "7z t": (0, "")}
        self.assertTrue(self.installer_starts(plain))
        self.assertFalse(self.installer_starts(signed))
        self.assertEqual(self.zip_tools(signed),
                         dict(quiet, **{"7z t": (0, "There are data after the end of archive")}))

        truncated = {"zipfile": (0, ""), "unzip -t": (1, "caution:  zipfile comment truncated"),
                     "7z t": (2, "Unexpected end of archive")}
        cases = [
            # reserve, ZIP readers before signing, after signing
            (str(table_size), truncated, quiet),
            ("16k", truncated, truncated),
            ("65528", truncated, truncated),
        ]
        for reserve, before, after in cases:
            with self.subTest(reserve=reserve):
                installer = self.dir / f"reserve-{reserve}.exe"
                unsigned = self.pack("--sign-reserve", reserve, self.root, output=installer)
                # Only the end record's comment length differs from the plain installer.
                self.assertEqual(unsigned[:-2], plain.read_bytes()[:-2])
                signed = self.sign(installer)
                for state, path, expected in (("unsigned", installer, before),
                                              ("signed", signed, after)):
                    self.assertTrue(self.installer_starts(path), state)
                    self.assertEqual(self.zip_tools(path), expected, state)

    def test_comment_covers_the_padding_before_the_table(self):
        # Signing pads the file to a multiple of 8 first; the reserve is for the
        # table alone, whatever that padding is.
        seen = set()
        for extra in range(8):
            with self.subTest(extra=extra):
                self.write("pad.bin", b"p" * extra, FIXED_MTIME)
                installer = self.dir / f"pad{extra}.exe"
                data = self.pack("--sign-reserve", "800", "--store", self.dir / "pad.bin",
                                 output=installer)
                padding = -len(data) % 8
                seen.add(padding)
                self.assertEqual(struct.unpack_from("<H", data, len(data) - 2)[0], 800 + padding)
                table_at, _ = certificate_table(self.sign(installer).read_bytes())
                self.assertEqual(table_at, len(data) + padding)
        self.assertEqual(seen, set(range(8)))


PASSWORD = "Open sesame 1"
# Fixes the encryption headers for tests that compare outputs or need the
# same outcome of a wrong password on every run.
SEEDED = {"QUILLON_PACK_TEST_SEED": "1"}


def decrypted(entry, password=PASSWORD):
    """The 12-byte encryption header and the data of an encrypted entry."""
    plain = pb.TraditionalCipher(password.encode()).decrypt(entry["payload"])
    return plain[:12], plain[12:]


class ReproducibleTest(PackTestCase):
    """SOURCE_DATE_EPOCH: one tree packed on two machines that differ in all
    the installer must not depend on gives the same bytes, with a password
    too."""

    EPOCH = 1700000000  # 2023-11-14 22:13:20 UTC
    OLD = EPOCH - 400 * 86400  # a file older than the epoch keeps its time
    FILES = {"b.txt": b"bee\r\n" * 40, "a/deep/c.bin": bytes(range(256)) * 8, "same.txt": b"same\r\n",
             "copy.txt": b"same\r\n", "old.txt": b"old\r\n"}
    # Two machines: the folder, the order the files were made in, their times
    # (after the epoch) and permissions, the time zone, the locale, the
    # threads and the umask.
    MACHINES = [
        dict(folder="first", reverse=False, later=1000, mode=0o644, tz="UTC0", locale="C", jobs="1", umask=0o022),
        dict(folder="second/deeper/tree", reverse=True, later=99999, mode=0o600, tz="JST-9", locale="C.UTF-8",
             jobs="3", umask=0o077),
    ]

    def make_tree(self, machine):
        root = self.dir / machine["folder"]
        for number, name in enumerate(sorted(self.FILES, reverse=machine["reverse"])):
            path = root / name
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(self.FILES[name])
            path.chmod(machine["mode"])
            when = self.OLD if name == "old.txt" else self.EPOCH + machine["later"] + number
            os.utime(path, (when, when))
        (root / "empty").mkdir(mode=machine["mode"] | 0o100)
        for directory in (root / "empty", root / "a/deep", root / "a"):
            os.utime(directory, (self.EPOCH + machine["later"],) * 2)
        return root

    def pack_on(self, machine, output, *args, epoch=EPOCH):
        env = {"LC_ALL": machine["locale"]}
        if epoch is not None:
            env["SOURCE_DATE_EPOCH"] = str(epoch)
        result = run_pack("-o", output, "--stub", self.stub, "--quiet", "--jobs", machine["jobs"], *args,
                          self.make_tree(machine), tz=machine["tz"], env=env, umask=machine["umask"])
        self.assertEqual(result.returncode, 0, result.stderr)
        return output.read_bytes()

    def pack_twice(self, *args, epoch=EPOCH):
        made = []
        for number, machine in enumerate(self.MACHINES):
            made.append(self.pack_on(machine, self.dir / f"{number}.exe", *args, epoch=epoch))
            shutil.rmtree(self.dir / machine["folder"].split("/")[0])
        return made

    def test_same_bytes_on_two_machines(self):
        for label, args in [("plain", []), ("password", ["--password", PASSWORD])]:
            with self.subTest(label):
                first, second = self.pack_twice(*args)
                self.assertEqual(first, second)
        times = {info.filename: info.date_time for info in zipfile.ZipFile(self.dir / "0.exe").infolist()}
        epoch_utc = time.gmtime(self.EPOCH)[:6]
        old_utc = time.gmtime(self.OLD)[:6]
        self.assertEqual(times, {**{name: epoch_utc for name in self.FILES}, "old.txt": old_utc, "empty/": epoch_utc})
        # What the epoch hides: without it the two differ.
        first, second = self.pack_twice(epoch=None)
        self.assertNotEqual(first, second)

    def test_encryption_headers_derived_from_password_entry_and_epoch(self):
        plain, _ = self.pack_twice()
        locked, _ = self.pack_twice("--password", PASSWORD)
        plain_entries = self.entries(plain)[1]
        locked_entries = self.entries(locked)[1]
        self.assertEqual(len(plain_entries), len(locked_entries))
        headers = {}
        for record, entry in zip(plain_entries, locked_entries):
            local = plain[record["offset"]:record["offset"] + 30 + len(record["name"]) + len(record["extra"])
                          + record["compressed_size"]]
            expected = hmac.new(PASSWORD.encode(), struct.pack("<q", self.EPOCH) + local, "sha256").digest()
            header = decrypted(entry)[0]
            self.assertEqual(header[:11], expected[:11], record["name"])
            headers[record["name"]] = header[:11]
        # Two entries of the same content do not share a key stream.
        self.assertNotEqual(headers[b"same.txt"], headers[b"copy.txt"])
        verified = run_pack("verify", "--password", PASSWORD, self.dir / "0.exe")
        self.assertEqual(verified.returncode, 0, verified.stderr)

    def test_malformed_epoch_is_refused(self):
        self.write("a.txt", b"a")
        for value in ["", "soon", "-1", "1.5", "1e9", " 1", "99999999999999999999"]:
            with self.subTest(value=value):
                result = run_pack("-o", self.dir / "m.exe", "--stub", self.stub, self.dir / "a.txt",
                                  env={"SOURCE_DATE_EPOCH": value})
                self.assertEqual(result.returncode, 1)
                self.assertIn("SOURCE_DATE_EPOCH", result.stderr)
                self.assertFalse((self.dir / "m.exe").exists())


class PasswordTest(PackTestCase):
    """--password-file, --password-stdin and --password: every file entry
    encrypted with the traditional ZIP encryption, readable by the
    installer's own decoder and by other ZIP tools."""

    def verify(self, installer, *password_args):
        return run_pack("verify", *password_args, installer)

    def test_round_trips(self):
        root, files = self.tree()
        password_file = self.write("password.txt", PASSWORD.encode() + b"\r\n")
        cases = [
            # label, options, standard input, also read by ZIP tools
            ("file", ["--password-file", password_file], None, True),
            ("standard input", ["--password-stdin"], PASSWORD + "\n", True),
            ("command line", ["--password", PASSWORD], None, True),
            ("stored", ["--store", "--password", PASSWORD], None, True),
            ("trailer", ["--trailer", "--password", PASSWORD], None, False),
        ]
        for label, args, stdin, zip_tools in cases:
            with self.subTest(label):
                installer = self.dir / "locked.exe"
                result = run_pack("-o", installer, "--stub", self.stub, "--quiet", "--inf", "><readme.txt", *args,
                                  root, input=stdin)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(result.stderr, "")
                _, local = self.entries(installer.read_bytes())
                self.assertEqual([e["name"].decode() for e in local], TREE_ORDER)
                for entry in local:
                    # Directory entries too: the installer judges its run by the last entry.
                    name = entry["name"].decode()
                    self.assertEqual(entry["flags"] & pb.FLAG_ENCRYPTED, pb.FLAG_ENCRYPTED, name)
                    self.assertEqual(entry["version"], 20, name)
                    header, data = decrypted(entry)
                    # The check byte the installer tests: the CRC's top byte.
                    self.assertEqual(header[11], entry["crc"] >> 24, name)
                    self.assertEqual(pb.inflate(data) if entry["method"] == 8 else data, files.get(name, b""))
                for password_args, status, message in [
                        (args[-2:] if label != "standard input" else ["--password", PASSWORD], 0,
                         "sound: 8 entries (8 encrypted)"),
                        ([], 1, "entry 'empty.dat': it is encrypted; give the password")]:
                    verified = self.verify(installer, *password_args)
                    self.assertEqual(verified.returncode, status, verified.stderr)
                    self.assertIn(message, verified.stdout + verified.stderr)
                target = self.dir / f"x-{label}"
                extracted = run_pack("extract", "--password", PASSWORD, installer, "-d", target)
                self.assertEqual(extracted.returncode, 0, extracted.stderr)
                self.assertEqual(read_tree(target), dict(files, **{"empty_dir/": None,
                                                                   "sub/empty_inner/": None}))
                if zip_tools:
                    self.assert_zip_tools_extract(installer, files, password=PASSWORD)

    def test_wrong_password(self):
        root, _ = self.tree()
        installer = self.dir / "locked.exe"
        result = run_pack("-o", installer, "--stub", self.stub, "--password", PASSWORD, root, env=SEEDED)
        self.assertEqual(result.returncode, 0, result.stderr)
        for command in (["verify"], ["extract", "-d", self.dir / "out"]):
            with self.subTest(command[0]):
                result = run_pack(*command, "--password", PASSWORD + "!", installer)
                self.assertEqual(result.returncode, 1)
                self.assertRegex(result.stderr, r"entry '[^']+': (the password does not fit it|its data does "
                                                r"not match its CRC-32 \(damaged, or a wrong password)")
        self.assertFalse((self.dir / "out").exists(), "extract wrote a package that is not sound")

    def test_encryption_headers_are_random(self):
        root, _ = self.tree()
        headers = []
        for run in range(2):
            installer = self.pack("--password", PASSWORD, root, output=self.dir / f"{run}.exe")
            _, local = self.entries(installer)
            headers += [decrypted(e)[0][:11] for e in local if e["flags"] & pb.FLAG_ENCRYPTED]
        self.assertEqual(len(headers), 16)
        self.assertEqual(len(set(headers)), len(headers))
        # Only the packager's tests fix them, and it says so.
        seeded = [run_pack("-o", self.dir / f"s{run}.exe", "--stub", self.stub, "--password", PASSWORD,
                           root, env=SEEDED) for run in range(2)]
        self.assertIn("not random", seeded[0].stderr)
        self.assertEqual((self.dir / "s0.exe").read_bytes(), (self.dir / "s1.exe").read_bytes())

    def test_passwords_the_installer_cannot_take(self):
        ok = self.write("ok.txt", b"ok")
        two_lines = self.write("two.txt", b"first\nsecond\n")
        empty = self.write("empty.txt", b"\n")
        huge = self.write("huge.txt", b"p" * 5000)
        cases = [
            # options, standard input, message, exit status
            (["--password", ""], None, "is empty", 1),
            (["--password-stdin"], "", "is empty", 1),
            (["--password-file", empty], None, "is empty", 1),
            (["--password", "p" * 80], None, "80 bytes long; the installer's password box takes at most 79", 1),
            (["--password", "tab\there"], None, "control character", 1),
            (["--password-file", two_lines], None, "more than one line", 1),
            (["--password-file", huge], None, "5000 bytes", 1),
            (["--password-file", self.dir / "none.txt"], None, "none.txt", 1),
            (["--password", "a", "--password-file", ok], None, "already given", 2),
            (["--password-stdin=yes"], None, "takes no value", 2),
        ]
        for args, stdin, message, status in cases:
            with self.subTest(args=args):
                output = self.dir / "out" / "setup.exe"
                output.parent.mkdir(exist_ok=True)
                result = run_pack("-o", output, "--stub", self.stub, *args, ok, input=stdin)
                self.assertEqual(result.returncode, status, result.stderr)
                self.assertIn(message, result.stderr)
                self.assertEqual(list(output.parent.iterdir()), [])
        # The longest one, and one outside ASCII with a warning.
        self.pack("--password", "p" * 79, ok)
        result = run_pack("-o", self.dir / "u.exe", "--stub", self.stub, "--password", "pässword", ok)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("outside ASCII", result.stderr)

    def test_entries_taken_from_archives(self):
        when = (2021, 6, 7, 18, 30, 10)
        locked = pb.Entry("locked.txt", b"locked " * 40, method=8, password=PASSWORD.encode(),
                          date_time=when)
        locked_behind = pb.Entry("locked-behind.txt", b"behind " * 30, method=0, date_time=when,
                                 password=PASSWORD.encode(), flags=pb.FLAG_DESCRIPTOR, descriptor=True)
        plain = pb.Entry("plain.txt", b"plain " * 50, method=8, date_time=when)
        plain_behind = pb.Entry("plain-behind.txt", b"sizes behind " * 20, method=0, date_time=when,
                                flags=pb.FLAG_DESCRIPTOR, descriptor=True)
        archive = self.write("mixed.zip", zip_of(locked, locked_behind, plain, plain_behind))
        contents = {e.name: e.data for e in (locked, locked_behind, plain, plain_behind)}

        # With the archive's own password: the encrypted entries are kept as
        # they are, the others encrypted; with the sizes behind the data the
        # check byte is the time's high byte, for the installer and ZIP tools.
        installer = self.pack("--from-zip", archive, "--password", PASSWORD)
        _, local = self.entries(installer)
        by_name = {e["name"].decode(): e for e in local}
        original = {e["name"].decode(): e for e in pb.split_local_entries(archive.read_bytes(), 0)}
        for name in ("locked.txt", "locked-behind.txt"):
            self.assertEqual(by_name[name]["payload"], original[name]["payload"])
        for name in ("plain.txt", "plain-behind.txt"):
            entry = by_name[name]
            self.assertTrue(entry["flags"] & pb.FLAG_ENCRYPTED)
            self.assertEqual(entry["compressed_size"], original[name]["compressed_size"] + 12)
        self.assertEqual(decrypted(by_name["plain-behind.txt"])[0][11], by_name["plain-behind.txt"]["time"] >> 8)
        behind = by_name["plain-behind.txt"]
        descriptor_at = behind["offset"] + 30 + len(behind["name"]) + behind["compressed_size"]
        self.assertEqual(struct.unpack_from("<IIII", installer, descriptor_at),
                         (pb.DESCRIPTOR_SIGNATURE, behind["crc"], behind["compressed_size"],
                          behind["uncompressed_size"]))
        result = run_pack("verify", "--password", PASSWORD, self.dir / "setup.exe")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assert_zip_tools_extract(self.dir / "setup.exe", contents, empty_dirs=(), password=PASSWORD)

        # With another password the installer would have to ask twice.
        self.assert_refused(["--from-zip", archive, "--password", "another"],
                            "entry 'locked.txt' of an archive is encrypted already", status=1)
        # Without a password they are taken as they are.
        self.pack("--from-zip", archive)
        result = run_pack("verify", self.dir / "setup.exe")
        self.assertEqual(result.returncode, 1)
        self.assertIn("entry 'locked.txt': it is encrypted", result.stderr)
        self.assertEqual(run_pack("verify", "--password", PASSWORD, self.dir / "setup.exe").returncode, 0)


def flip(data: bytes, at: int) -> bytes:
    return data[:at] + bytes([data[at] ^ 0x01]) + data[at + 1:]


class InspectTest(PackTestCase):
    """list, verify and extract: installers looked into with the installer's
    own reader, decoder and extraction loop."""

    def inspect(self, *args, status=0, env=None):
        result = run_pack(*args, env=env)
        self.assertEqual(result.returncode, status, result.stdout + result.stderr)
        return result

    def extract(self, installer, *args, status=0):
        target = self.dir / "extracted"
        shutil.rmtree(target, ignore_errors=True)
        result = self.inspect("extract", installer, "-d", target, *args, status=status)
        return result, target

    def test_list(self):
        root, files = self.tree()
        self.write("info.txt", b"Welcome.\r\n\r\nThis installs \x1b[31mit.\r\n")
        installer = self.dir / "setup.exe"
        self.pack("--title", "My Program 1.0", "--inf", "><readme.txt", "--licence-info", "Test Corp.",
                  "--info-file", self.dir / "info.txt", "--licence", "LICENCE", "--admin", "--no-wait",
                  root, output=installer)
        listed = self.inspect("list", installer).stdout
        for line in ["Title:               My Program 1.0", "INF text:            ><readme.txt",
                     "Licence information: Test Corp.", "Licence text:        LICENCE",
                     "Flags:               wait for finish: no, administrator: yes, hide Install button: no",
                     "Information text:    36 bytes:", "    Welcome.", "    ",
                     "    This installs \\x1B[31mit.", f"Package:             {len(installer.read_bytes())} bytes, one file"]:
            self.assertIn(line + "\n", listed)
        rows = re.findall(r"^ +(\d+) +(\d+)  (\S+) +(yes|no) +(\S+ \S+)  (.+)$", listed, re.M)
        _, local = self.entries(installer.read_bytes())
        self.assertEqual(rows, [(str(e["uncompressed_size"]), str(e["compressed_size"]),
                                 "deflated" if e["method"] == 8 else "stored", "no", "2024-05-17 13:45:30",
                                 e["name"].decode()) for e in local])
        self.assertTrue(listed.endswith(f"  {len(local)} entries\n"))
        # A plain ZIP archive has no texts.
        listed = self.inspect("list", self.write("plain.zip", zip_of(pb.Entry("a\x07.txt", b"a")))).stdout
        self.assertIn("a plain ZIP archive", listed)
        self.assertIn("  a\\x07.txt\n", listed)

    def kinds_of_installers(self):
        """(label, installer, files it holds, empty directories, options to read it)"""
        root, files = self.tree()
        dirs = ("empty_dir/", "sub/empty_inner/")
        kinds = []

        def packed(label, *args, source=root, contents=files, empty=dirs, options=()):
            installer = self.dir / label / "setup.exe"
            installer.parent.mkdir()
            self.pack(*args, source, output=installer)
            kinds.append((label, installer, contents, empty, list(options)))

        packed("central directory")
        packed("trailer", "--trailer")
        packed("signature reserve", "--sign-reserve", "16k")
        packed("password", "--password", PASSWORD, options=["--password", PASSWORD])
        big = dict(files, **{"big.bin": random.Random(3).randbytes(120_000)})
        (root / "big.bin").write_bytes(big["big.bin"])
        packed("split", "--split", "40k", contents=big)
        (root / "big.bin").unlink()
        japanese = self.dir / "japanese"
        names = {"ソフト/ポート.txt": b"port", "表.txt": b"table"}
        for name, data in names.items():
            (japanese / name).parent.mkdir(parents=True, exist_ok=True)
            (japanese / name).write_bytes(data)
        packed("cp932", "--name-encoding", "cp932", source=japanese, contents=names, empty=(),
               options=["--name-encoding", "cp932"])
        if HAVE_ZIP and HAVE_7Z:
            for label, command in (("zip", ["zip", "-qr", "a.zip", "."]), ("7z", ["7z", "a", "-tzip", "a.zip", "."])):
                subprocess.run(command, cwd=root, check=True, capture_output=True)
                archive = self.dir / f"{label}.zip"
                (root / "a.zip").rename(archive)
                kinds.append((f"plain {label} archive", archive, files, dirs, []))
                installer = self.dir / f"from {label}" / "setup.exe"
                installer.parent.mkdir()
                self.pack("--from-zip", archive, output=installer)
                kinds.append((f"from a {label} archive", installer, files, dirs, []))
        return kinds

    def test_installers_of_every_kind(self):
        for label, installer, files, empty, options in self.kinds_of_installers():
            with self.subTest(label):
                expected = dict(files, **{name: None for name in empty})
                listed = self.inspect("list", *options[-2:] if "cp932" in options else [], installer).stdout
                for name in files:
                    self.assertRegex(listed, f"  {re.escape(name)}\n")
                verified = self.inspect("verify", *options, installer).stdout
                self.assertIn("sound", verified)
                _, target = self.extract(installer, *options)
                self.assertEqual(read_tree(target), expected)

    def test_damaged_installers(self):
        root, _ = self.tree()
        whole = self.pack(root)
        (self.dir / "split").mkdir()
        self.pack("--split", "37k", root, output=self.dir / "split" / "setup.exe")
        _, local = self.entries(whole)
        at = {e["name"].decode(): e for e in local}

        def payload(name, index):
            entry = at[name]
            return entry["offset"] + 30 + len(entry["name"]) + index

        end = len(whole) - 22
        cases = [
            # label, damage, message
            ("stored data", lambda d: flip(d, payload("random.bin", 2500)),
             "entry 'random.bin': its data does not match its CRC-32"),
            ("deflated data", lambda d: flip(d, payload("sub/deeper/data.csv", 100)),
             "entry 'sub/deeper/data.csv': its data does not match its CRC-32"),
            ("the CRC-32", lambda d: flip(d, at["readme.txt"]["offset"] + 14),
             "entry 'readme.txt': its data does not match its CRC-32"),
            ("a size", lambda d: flip(d, at["readme.txt"]["offset"] + 22), "entry 'readme.txt': it decodes to"),
            ("a method", lambda d: flip(d, at["one.bin"]["offset"] + 9), "entry 'one.bin': compression method 256"),
            ("an entry's signature", lambda d: flip(d, at["one.bin"]["offset"]),
             "ends at offset %d, behind entry 'empty.dat'" % at["one.bin"]["offset"]),
            ("a name", lambda d: flip(d, at["one.bin"]["offset"] + 30),
             "entry 'nne.bin': its local header and the central directory disagree on its name"),
            ("a time", lambda d: flip(d, at["one.bin"]["offset"] + 10), "disagree on its time"),
            ("the central directory", lambda d: flip(d, whole.index(b"PK\x01\x02")),
             "the central directory is damaged: header 1 is not where it should be"),
            ("a central header's size", lambda d: flip(d, end - 40),
             "entry 'sub/empty_inner/': its local header and the central directory disagree on its sizes"),
            ("the end record's count", lambda d: flip(d, end + 10), "the central directory lists 9 entries"),
            ("cut short", lambda d: d[:-1], "its end is missing"),
            ("an unsafe name", lambda d: d.replace(b"one.bin", b"../n.bin"), "the installer refuses its name"),
        ]
        for label, damage, message in cases:
            with self.subTest(label):
                broken = self.write("broken.exe", damage(whole))
                result = self.inspect("verify", broken, status=1)
                self.assertIn(message, result.stderr)
                result, target = self.extract(broken, status=1)
                self.assertIn(message, result.stderr)
                self.assertFalse(target.exists(), "extract wrote a package that is not sound")
        parts = split_files(self.dir / "split" / "setup.exe")
        self.assertGreater(len(parts), 1)
        parts[1].unlink()
        result = self.inspect("verify", parts[0], status=1)
        self.assertIn(f"part file '{parts[1]}' is missing (the installer would ask for disk 2)", result.stderr)

    def test_every_flipped_byte_is_caught(self):
        # Stored entries, so that every data byte counts; only the fields that
        # neither the installer nor ZIP tools go by may change unnoticed.
        self.write("a.txt", b"first file", FIXED_MTIME)
        self.write("b.txt", b"second", FIXED_MTIME)
        installer = self.pack("--store", self.dir / "a.txt", self.dir / "b.txt")
        data_start = pb.parse_package(installer).data_start
        _, local = self.entries(installer)
        unread = set()
        for entry in local:
            unread.update(range(entry["offset"] + 4, entry["offset"] + 6))  # version needed
        directory = installer.index(b"PK\x01\x02")
        for at in range(directory, len(installer) - 22, 46 + 5):
            unread.update(range(at + 4, at + 8))  # version made by and needed
            unread.update(range(at + 34, at + 42))  # disk, internal and external attributes
        end = len(installer) - 22
        unread.update(range(end + 4, end + 10))  # disk numbers, entries on this disk
        unread.update(range(end + 20, end + 22))  # a longer comment reaches past the end, as a reserve may
        caught = 0
        for at in range(data_start, len(installer)):
            if at in unread:
                continue
            broken = self.write("broken.exe", flip(installer, at))
            result = run_pack("verify", broken)
            self.assertEqual(result.returncode, 1, f"a flipped byte at {at} went unnoticed")
            caught += 1
        self.assertGreater(caught, 150)

    def test_hostile_names(self):
        # Packages the packager would not write; the installer's own checks
        # refuse them, and nothing lands outside the directory.
        data = b"payload"
        cases = [
            ("parent", [pb.stored("a.txt", data), pb.stored("../evil.txt", data)]),
            ("deep parent", [pb.stored("sub/../../evil.txt", data)]),
            ("backslash parent", [pb.stored("sub\\..\\..\\evil.txt", data)]),
            ("drive", [pb.stored("C:evil.txt", data)]),
            ("server path", [pb.stored("\\\\server\\share\\evil.txt", data)]),
            ("stream", [pb.stored("a.txt:evil", data)]),
        ]
        for label, entries in cases:
            for kind in ("installer", "plain zip"):
                with self.subTest(label, kind=kind):
                    package = (pb.build_package(self.stub_bytes, entries=entries) if kind == "installer"
                               else zip_of(*entries))
                    workspace = self.dir / "hostile"
                    shutil.rmtree(workspace, ignore_errors=True)
                    workspace.mkdir()
                    installer = workspace / "setup.exe"
                    installer.write_bytes(package)
                    result = self.inspect("extract", installer, "-d", workspace / "out", status=1)
                    self.assertIn("the installer refuses its name", result.stderr)
                    self.assertEqual(sorted(p.name for p in workspace.rglob("*")), ["setup.exe"])
        # Leading separators are stripped, as the installer strips them.
        installer = self.write("lead.exe", pb.build_package(self.stub_bytes, entries=[
            pb.stored("/abs.txt", b"a"), pb.stored("\\sub\\b.txt", b"b")]))
        _, target = self.extract(installer)
        self.assertEqual(read_tree(target), {"abs.txt": b"a", "sub/b.txt": b"b"})

    def test_names_as_windows_writes_them(self):
        # verify and extract answer alike, by the installer's own rule: a name
        # lands where Windows would write it, or the installer refuses it.
        data = b"payload"
        cases = [
            # label, entries, files written (None: refused), message
            ("a dot component", [pb.stored("a/./b.txt", data)], {"a/b.txt": data}, None),
            ("a leading dot", [pb.stored("./b.txt", data)], {"b.txt": data}, None),
            ("an empty component", [pb.stored("a//b.txt", data)], {"a/b.txt": data}, None),
            ("trailing dots and blanks", [pb.stored("c. /d.", data)], {"c/d": data}, None),
            ("a dot alone", [pb.stored(".", data)], None, "entry '.': the installer refuses its name"),
            ("dots only", [pb.stored("a/.../b", data)], None, "the installer refuses its name"),
            ("a name over 255 bytes", [pb.stored("n" * 256, data)], None,
             "its name is 256 bytes long, more than the installer takes (255)"),
            ("the same name twice", [pb.stored("x.txt", data), pb.stored("X.TXT", data)], None,
             "entries 'x.txt' and 'X.TXT' are one file on Windows"),
            ("name and name.", [pb.stored("name", data), pb.stored("name.", data)], None,
             "entries 'name' and 'name.' are one file on Windows"),
            ("a and 'a '", [pb.stored("a", data), pb.stored("a ", data)], None,
             "entries 'a' and 'a ' are one file on Windows"),
            ("a file, then a directory of its name", [pb.stored("a", data), pb.stored("a/b.txt", data)], None,
             "entry 'a' is a file, but entry 'a/b.txt' needs a directory of that name"),
            ("a directory, then a file of its name", [pb.stored("A/b.txt", data), pb.stored("a", data)], None,
             "entry 'a' is a file, but entry 'A/b.txt' needs a directory of that name"),
            ("a directory entry, then a file", [pb.stored("d/"), pb.stored("d.", data)], None,
             "entry 'd.' is a file, but entry 'd/' needs a directory of that name"),
        ]
        for label, entries, written, message in cases:
            for kind in ("installer", "plain zip"):
                with self.subTest(label, kind=kind):
                    package = (pb.build_package(self.stub_bytes, entries=entries) if kind == "installer"
                               else zip_of(*entries))
                    installer = self.write("names.exe", package)
                    verified = run_pack("verify", installer)
                    result, target = self.extract(installer, status=1 if written is None else 0)
                    if written is None:
                        self.assertEqual(verified.returncode, 1, verified.stdout)
                        self.assertIn(message, verified.stderr)
                        self.assertIn(message, result.stderr)
                        self.assertFalse(target.exists(), "extract wrote a package that is not sound")
                    else:
                        self.assertEqual(verified.returncode, 0, verified.stderr)
                        self.assertEqual(result.returncode, 0, result.stderr)
                        self.assertEqual(read_tree(target), written)

    def test_what_is_neither_installer_nor_archive(self):
        cases = [("empty", b""), ("one byte", b"x"), ("random bytes", random.Random(7).randbytes(100_000))]
        for label, data in cases:
            with self.subTest(label):
                path = self.write("not-an-installer", data)
                result = self.inspect("list", path, status=1)
                self.assertIn("neither an installer (no package header at offset 35840) nor a ZIP archive",
                              result.stderr)
                self.assertEqual(result.stdout, "")
                self.inspect("verify", path, status=1)
        listed = self.inspect("list", self.write("empty.zip", pb.central_directory([]))).stdout
        self.assertTrue(listed.endswith("  0 entries\n"), listed)

    def test_zip64_is_unsupported(self):
        archives = {}
        with zipfile.ZipFile(self.dir / "python.zip", "w") as archive:
            with archive.open("a.txt", "w", force_zip64=True) as member:
                member.write(b"hello")
        archives["python"] = self.dir / "python.zip"
        if HAVE_ZIP:
            self.write("a.txt", b"hello")
            subprocess.run(["zip", "-q", "-fz", "zip.zip", "a.txt"], cwd=self.dir, check=True)
            archives["zip -fz"] = self.dir / "zip.zip"
        for label, path in archives.items():
            with self.subTest(label):
                for command in ("verify", "extract"):
                    result = run_pack(command, path, *(["-d", self.dir / "out"] if command == "extract" else []))
                    self.assertEqual(result.returncode, 1, result.stdout)
                    self.assertIn("ZIP64 is not supported", result.stderr)
                    self.assertNotIn("damaged", result.stderr)
                result = self.inspect("list", path)
                self.assertIn("ZIP64 is not supported", result.stderr)

    def test_alternative_local_signature(self):
        # The installer reads an entry whose header starts with 00 00 00 50 as
        # it reads "PK\3\4"; ZIP tools do not, so verify and list say so.
        installer = self.write("alternative.exe", pb.build_package(self.stub_bytes, entries=[
            pb.stored("a.txt", b"a"), pb.stored("b.txt", b"b", signature=pb.ALTERNATIVE_SIGNATURE)]))
        word = "1 entry(ies), the first 'b.txt', begin with the signature 00 00 00 50"
        for command in ("verify", "list"):
            with self.subTest(command):
                result = self.inspect(command, installer)
                self.assertIn(word, result.stderr)
        result, target = self.extract(installer)
        self.assertEqual(read_tree(target), {"a.txt": b"a", "b.txt": b"b"})

    def test_links_in_the_directory_are_not_followed(self):
        outside = self.dir / "outside"
        outside.mkdir()
        (outside / "victim.txt").write_bytes(b"untouched")
        installer = self.write("links.exe", pb.build_package(self.stub_bytes, entries=[
            pb.stored("dir/new.txt", b"evil"), pb.stored("victim.txt", b"evil")]))
        cases = [
            # links planted in the directory, options, message
            ({"dir": outside}, [], "cannot make directory"),
            ({"victim.txt": outside / "victim.txt"}, ["--overwrite"], None),
        ]
        for links, options, message in cases:
            with self.subTest(links=list(links)):
                target = self.dir / "extracted"
                shutil.rmtree(target, ignore_errors=True)
                target.mkdir()
                for name, destination in links.items():
                    (target / name).symlink_to(destination)
                result = run_pack("extract", installer, "-d", target, *options)
                if message:
                    self.assertEqual(result.returncode, 1)
                    self.assertIn(message, result.stderr)
                else:
                    self.assertEqual(result.returncode, 0, result.stderr)
                    self.assertFalse((target / "victim.txt").is_symlink())
                    self.assertEqual((target / "victim.txt").read_bytes(), b"evil")
                self.assertEqual(sorted(p.name for p in outside.iterdir()), ["victim.txt"])
                self.assertEqual((outside / "victim.txt").read_bytes(), b"untouched")

    def test_existing_files_and_times(self):
        root, files = self.tree()
        installer = self.dir / "setup.exe"
        self.pack(root, output=installer, tz="EST5")
        target = self.dir / "extracted"
        self.inspect("extract", installer, "-d", target, env={"TZ": "EST5"})
        self.assertEqual(os.stat(target / "readme.txt").st_mtime, FIXED_MTIME - 1)
        (target / "readme.txt").write_bytes(b"changed")
        result = self.inspect("extract", installer, "-d", target, status=1)
        self.assertIn("6 file(s) exist", result.stderr)
        self.assertIn("'sub/deeper/data.csv'", result.stderr)
        self.assertEqual((target / "readme.txt").read_bytes(), b"changed")
        self.inspect("extract", installer, "-d", target, "--overwrite")
        self.assertEqual(read_tree(target), dict(files, **{"empty_dir/": None, "sub/empty_inner/": None}))

    def test_command_line_errors(self):
        installer = self.write("setup.exe", b"")
        cases = [
            (["list"], "list needs an installer"),
            (["verify", installer, installer], "takes one installer"),
            (["list", "--password", "x", installer], "'--password' is no option for list"),
            (["verify", "--overwrite", installer], "is no option for verify"),
            (["extract", "-d"], "needs a value"),
            (["verify", "--name-encoding", "no-such-page", installer], "iconv knows no code page"),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                result = self.inspect(*args, status=2)
                self.assertIn(message, result.stderr)
        result = self.inspect("verify", self.dir / "missing.exe", status=1)
        self.assertIn("missing.exe", result.stderr)
        result = self.inspect("verify", installer, status=1)
        self.assertIn("no entry where the installer starts to read", result.stderr)


class DescriptionFileTest(PackTestCase):
    """-c FILE: the options and inputs of a build in an INI file, with paths
    relative to it; the command line overrides it."""

    def project(self):
        """A project directory with files, texts, an archive and a password."""
        project = self.dir / "project"
        root, _ = self.tree("project")
        (root / "texts").mkdir()
        (root / "texts" / "licence.txt").write_bytes(b"LICENCE\r\n")
        (root / "extra.zip").write_bytes(plain_zip({"from-zip.txt": b"zipped"}))
        (root / "secret.txt").write_bytes(PASSWORD.encode() + b"\n")
        (root / "a=b.txt").write_bytes(b"equals")
        return project

    def test_same_installer_as_the_command_line(self):
        project = self.project()
        stub = os.path.relpath(self.stub, project)
        cases = [
            ("texts and flags",
             f"""[installer]
                stub = {stub}
                output = dist/setup.exe
                title = My Program 1.0
                inf = ><readme.txt
                info = "Line one\\r\\nLine \\"two\\"\\x21\\ttab"
                licence-file = texts/licence.txt
                admin = yes
                wait-for-finish = no
                hide-info-button = true
                level = 6
                [inputs]
                input = sub
                input = docs/read me.txt=readme.txt
                """,
             ["--stub", stub, "-o", "dist/setup.exe", "--title", "My Program 1.0", "--inf", "><readme.txt",
              "--info", 'Line one\r\nLine "two"!\ttab', "--licence-file", "texts/licence.txt", "--admin",
              "--no-wait", "--hide-info-button", "--level", "6", "sub", "docs/read me.txt=readme.txt"]),
            ("inputs in order",
             f"""; comments and blank lines

                # are skipped
                [installer]
                stub={stub}
                output=dist/setup.exe
                store=yes
                trailer = no
                [inputs]
                from-zip = extra.zip
                base = sub
                input = sub/deeper
                base =
                input = named.txt=a=b.txt
                path = a=b.txt
                """,
             ["--stub", stub, "-o", "dist/setup.exe", "--store", "--from-zip", "extra.zip", "--base", "sub",
              "sub/deeper", "--base=", "named.txt=a=b.txt", "--", "a=b.txt"]),
            ("password and split",
             f"""[installer]
                stub = {stub}
                output = dist/setup.exe
                password-file = secret.txt
                split = 37k
                name-encoding = cp1252
                [inputs]
                input = sub
                input = random.bin
                """,
             ["--stub", stub, "-o", "dist/setup.exe", "--password-file", "secret.txt", "--split", "37k",
              "--name-encoding", "cp1252", "sub", "random.bin"]),
        ]
        elsewhere = self.dir / "elsewhere"
        elsewhere.mkdir()
        for label, description, args in cases:
            with self.subTest(label):
                (project / "package.ini").write_text(textwrap.dedent(description))
                for name in ("dist", "cmd"):
                    shutil.rmtree(project / name, ignore_errors=True)
                    (project / name).mkdir()
                # Run from elsewhere: paths count from the file.
                result = run_pack("-c", project / "package.ini", cwd=elsewhere, env=SEEDED)
                self.assertEqual(result.returncode, 0, result.stderr)
                args = [arg.replace("dist/", "cmd/") for arg in args]
                result = run_pack(*args, cwd=project, env=SEEDED)
                self.assertEqual(result.returncode, 0, result.stderr)
                written = sorted(p.name for p in (project / "dist").iterdir())
                self.assertEqual(written, sorted(p.name for p in (project / "cmd").iterdir()))
                for name in written:
                    self.assertEqual((project / "dist" / name).read_bytes(), (project / "cmd" / name).read_bytes(),
                                     name)

    def test_command_line_overrides_the_file(self):
        project = self.project()
        (project / "package.ini").write_text(textwrap.dedent(f"""\
            [installer]
            stub = {self.stub}
            output = dist/setup.exe
            title = From the file
            info-file = texts/licence.txt
            store = yes
            [inputs]
            input = one.bin
            input = readme.txt
            """))
        (project / "dist").mkdir()
        cases = [
            # extra arguments, output, what the installer then has
            ([], project / "dist" / "setup.exe", ("From the file", b"LICENCE\r\n", 0, [b"one.bin", b"readme.txt"])),
            (["--title", "Given", "--info", "Typed", "--level", "9", "-o", self.dir / "o.exe",
              project / "random.bin"],
             self.dir / "o.exe", ("Given", b"Typed", 8, [b"random.bin"])),
        ]
        for extra, output, (title, info, method, names) in cases:
            with self.subTest(extra=extra):
                result = run_pack("-c", project / "package.ini", *extra)
                self.assertEqual(result.returncode, 0, result.stderr)
                installer = output.read_bytes()
                parsed, local = self.entries(installer)
                self.assertEqual((parsed.title, parsed.info), (title.encode(), info))
                self.assertEqual([e["name"] for e in local], names)
                if names == [b"one.bin", b"readme.txt"]:
                    self.assertEqual(local[1]["method"], method)

    def test_errors(self):
        ok = self.write("ok.txt", b"ok")
        cases = [
            ("[installer]\ntitel = x\n", "package.ini:2: no option is called 'titel'"),
            ("title = x\n", "package.ini:1: 'title' stands before any section"),
            ("[options]\n", "unknown section '[options]'"),
            ("[installer]\ninput = x\n", "'input' belongs in [inputs]"),
            ("[inputs]\ntitle = x\n", "[inputs] takes input, path, from-zip and base"),
            ("[installer]\nadmin = maybe\n", "a switch wants yes or no"),
            ("[installer]\ntitle\n", "want KEY = VALUE"),
            ('[installer]\ntitle = "open\n', "no closing"),
            ('[installer]\ntitle = "a" b\n', "text after the closing"),
            ('[installer]\ntitle = "\\q"\n', "unknown escape \\q"),
            ('[installer]\ntitle = "\\x4"\n', "\\x wants two hexadecimal digits"),
            ("[installer]\nconfig = other.ini\n", "no option is called 'config'"),
            ("[installer]\nlevel = 13\n", "--level wants a number"),
        ]
        for text, message in cases:
            with self.subTest(text=text):
                (self.dir / "package.ini").write_text(text)
                self.assert_refused(["-c", self.dir / "package.ini", ok], message, status=2)
        self.assert_refused(["-c", self.dir / "missing.ini", ok], "missing.ini", status=1)
        self.assert_refused(["-c", self.dir / "package.ini", "--config", self.dir / "package.ini", ok],
                            "--config is given twice", status=2)


@unittest.skipUnless(REAL_STUB and Path(REAL_STUB).is_file(), "QUILLON_STUB names no stub")
class RealStubTest(PackTestCase):
    def setUp(self):
        super().setUp()
        self.stub = Path(REAL_STUB)
        self.stub_bytes = self.stub.read_bytes()

    def test_layout_and_zip_tools(self):
        root, files = self.tree()
        installer = self.pack("--title", "Real", "--inf", "><readme.txt", root)
        self.assertEqual(installer[:len(self.stub_bytes)], self.stub_bytes)
        self.assertEqual(pb.parse_package(installer).header["totalSize"], len(installer))
        self.assert_zip_tools_extract(self.dir / "setup.exe", files)


if __name__ == "__main__":
    PACK = pack_tool.packager_from_command_line()
    unittest.main()
