"""list --json and verify --json: one JSON document on standard output, read
here with Python's json module, for installers of every kind, damaged ones
and names that are no UTF-8.

The packager is taken from $QUILLON_PACK (CTest sets it) or the first
argument.
"""

import json
import os
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
import pack_tool  # noqa: E402
import package_builder as pb  # noqa: E402
import test_pack  # noqa: E402
from test_pack import PackTestCase, zip_of  # noqa: E402

PASSWORD = "s3cret pass"


def run_json(*args, status=0):
    result = test_pack.run_pack(*args)
    assert result.returncode == status, (args, result.returncode, result.stdout, result.stderr)
    return json.loads(result.stdout), result


class JsonTest(PackTestCase):
    def make_tree(self):
        tree = self.dir / "tree"
        (tree / "sub").mkdir(parents=True)
        (tree / "setup.inf").write_bytes(b"[DefaultInstall]\r\n")
        (tree / "sub" / "data.bin").write_bytes(os.urandom(50_000))
        (tree / "sub" / "text.txt").write_bytes(b"text " * 2000)
        for path in tree.rglob("*"):
            os.utime(path, (test_pack.FIXED_MTIME, test_pack.FIXED_MTIME))
        return tree

    def test_installers(self):
        tree = self.make_tree()
        (self.dir / "split").mkdir()
        cases = [
            # label, packing options, reading options, package fields that differ from the default
            ("plain", ["--title", 'My "Program" \\ 1.0', "--inf", "><setup.inf", "--info", "one\r\ntwo\t\x01",
                       "--admin", "--no-wait"], [],
             {"admin_required": True, "wait_for_finish": False}),
            ("password", ["--password", PASSWORD], ["--password", PASSWORD], {}),
            ("split", ["--split", "40000"], [], {"multi_part": True}),
        ]
        for label, packing, reading, flags in cases:
            with self.subTest(label):
                output = self.dir / ("split" if label == "split" else "") / f"{label}.exe"
                installer = self.pack(*packing, tree, output=output)
                listed, _ = run_json("list", "--json", output)
                self.assertEqual((listed["command"], listed["installer"], listed["code_page"], listed["warnings"]),
                                 ("list", str(output), None, []))
                # The program file first, then its parts in joining order.
                files = [output, *sorted(output.parent.glob(output.stem + ".0*"))]
                self.assertEqual([(f["path"], f["size"]) for f in listed["files"]],
                                 [(str(f), f.stat().st_size) for f in files])
                package = listed["package"]
                parsed, local = self.entries(b"".join(f.read_bytes() for f in files) if label == "split"
                                             else installer)
                expected_flags = {"multi_part": False, "wait_for_finish": True, "admin_required": False,
                                  "hide_info_button": False, **flags}
                self.assertEqual({k: package[k] for k in expected_flags}, expected_flags)
                self.assertEqual(package["texts"], {"title": parsed.title.decode(), "inf": parsed.inf.decode(),
                                                    "licence_info": "", "info": parsed.info.decode(),
                                                    "licence": ""})
                encrypted = label == "password"
                self.assertEqual(listed["entries"], [{
                    "name": e["name"].decode(), "offset": e["offset"], "size": e["uncompressed_size"],
                    "packed_size": e["compressed_size"], "method": "deflated" if e["method"] == 8 else "stored",
                    "method_id": e["method"], "crc32": e["crc"], "encrypted": encrypted, "flags": e["flags"],
                    "time": "2024-05-17T13:45:30"} for e in local])
                verified, _ = run_json("verify", "--json", *reading, output)
                self.assertEqual(verified, {
                    "command": "verify", "installer": str(output), "code_page": None, "verdict": "sound",
                    "entries": len(local), "files": len(local), "encrypted": len(local) if encrypted else 0,
                    "size": sum(e["uncompressed_size"] for e in local), "warnings": []})

    def test_damaged(self):
        tree = self.make_tree()
        installer = self.pack(tree)
        _, local = self.entries(installer)
        data = next(e for e in local if e["name"] == b"sub/data.bin")
        flipped = bytearray(installer)
        flipped[data["offset"] + 30 + len(data["name"]) + 100] ^= 0xFF
        encrypted = self.pack("--password", PASSWORD, tree, output=self.dir / "password.exe")
        cases = [
            # label, installer, options, damaged entry (name, offset, start of the reason), or None
            ("data", bytes(flipped), [], ("sub/data.bin", data["offset"], "its data does not match its CRC-32")),
            ("no password", encrypted, [], ("setup.inf", local[0]["offset"], "it is encrypted")),
            ("cut short", installer[:-1], [], None),
        ]
        for label, content, options, entry in cases:
            with self.subTest(label):
                path = self.write("damaged.exe", content)
                verified, result = run_json("verify", "--json", *options, path, status=1)
                self.assertEqual(verified["verdict"], "damaged")
                # The message on standard error too.
                self.assertIn(verified["error"], result.stderr)
                if entry is None:
                    self.assertIsNone(verified["damaged_entry"])
                    continue
                damaged = verified["damaged_entry"]
                self.assertEqual((damaged["name"], damaged["offset"]), entry[:2])
                self.assertTrue(damaged["reason"].startswith(entry[2]), damaged["reason"])
                self.assertIn(damaged["reason"], verified["error"])

    def test_errors_still_give_a_document(self):
        cases = [
            # command, file content (None: no such file)
            ("list", os.urandom(1000)),
            ("list", None),
            ("verify", None),
            ("verify", b""),
        ]
        for command, content in cases:
            with self.subTest(command=command, content=content and len(content)):
                path = self.dir / "setup.exe"
                path.unlink(missing_ok=True)
                if content is not None:
                    path.write_bytes(content)
                document, result = run_json(command, "--json", path, status=1)
                self.assertEqual((document["command"], document["installer"]), (command, str(path)))
                self.assertIn(document["error"], result.stderr)
                if command == "verify":
                    self.assertIn(document["verdict"], ("damaged", "error"))
        # What cannot be understood has no document.
        result = test_pack.run_pack("list", "--json", "--directory", "x", path)
        self.assertEqual((result.returncode, result.stdout), (2, ""))

    def test_names_and_texts_that_are_no_utf8(self):
        cp932_so = "ソ".encode("cp932")  # 0x83 0x5C: a backslash as its second byte
        installer = self.write("names.exe", pb.build_package(
            self.stub_bytes, title=b"Caf\xe9", entries=[
                pb.stored(b"caf\xe9.txt", b"1"), pb.stored(cp932_so + b".txt", b"2"),
                pb.stored(b'q"b\\s\x01.txt', b"3"), pb.stored("ü.txt".encode(), b"4")]))
        cases = [
            # options, title, [(name, name_bytes or None)]
            ([], ("Caf\ufffd", "436166e9"),
             [("caf\ufffd.txt", "636166e92e747874"), ("\ufffd\\.txt", "835c2e747874"), ('q"b\\s\x01.txt', None),
              ("ü.txt", None)]),
            (["--code-page", "1252"], ("Café", None),
             [("café.txt", None), ("ƒ\\.txt", None), ('q"b\\s\x01.txt', None), ("Ã¼.txt", None)]),
            (["--code-page", "932"], ("Caf\ufffd", "436166e9"),
             [("caf\ufffd.txt", "636166e92e747874"), ("ソ.txt", None), ('q"b\\s\x01.txt', None),
              ("ﾃｼ.txt", None)]),
        ]
        for options, title, names in cases:
            with self.subTest(options=options):
                listed, _ = run_json("list", "--json", *options, installer)
                texts = listed["package"]["texts"]
                self.assertEqual((texts["title"], texts.get("title_bytes")), title)
                self.assertEqual([(e["name"], e.get("name_bytes")) for e in listed["entries"]], names)
                self.assertEqual(listed["code_page"], options[1] if options else None)

    def test_plain_zip_archive(self):
        archive = self.write("plain.zip", zip_of(pb.deflated("a.txt", b"a" * 100)))
        listed, _ = run_json("list", "--json", archive)
        self.assertIsNone(listed["package"])
        self.assertEqual([e["name"] for e in listed["entries"]], ["a.txt"])


if __name__ == "__main__":
    test_pack.PACK = pack_tool.packager_from_command_line()
    unittest.main()
