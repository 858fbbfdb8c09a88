"""Writes the seed corpus of the whole-package fuzz target: real installers
made by quillon-pack, and hand-made ones with what the packager does not
write (encrypted entries, data descriptors, a split header), each from the
package offset on, behind the fuzzer's answer byte.

    python3 tests/fuzz/make_package_corpus.py build/quillon-pack
"""

import subprocess
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "e2e"))
import package_builder as pb  # noqa: E402

OUT = HERE / "corpus" / "package"
OFFSET = pb.PACKAGE_OFFSET


def save(name: str, installer: bytes, answers: int = 1) -> None:
    (OUT / name).write_bytes(bytes([answers]) + installer[OFFSET:])


def packed(pack: str, name: str, files: dict, *options: str) -> None:
    with tempfile.TemporaryDirectory() as tmp:
        root = Path(tmp)
        (root / "stub.exe").write_bytes(b"MZ" + bytes(100))
        for relative, data in files.items():
            path = root / "in" / relative
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(data)
        (root / "in" / "empty").mkdir(exist_ok=True)
        subprocess.run([pack, "-o", str(root / "out.exe"), "--stub", str(root / "stub.exe"), "--title", "Seed",
                        "--inf", "><setup.inf", "--info", "Seed info", "--licence", "Seed licence",
                        *options, str(root / "in")], check=True, capture_output=True)
        save(name, (root / "out.exe").read_bytes())


def main() -> int:
    pack = sys.argv[1]
    OUT.mkdir(parents=True, exist_ok=True)
    files = {"setup.inf": b"[Version]\r\nSignature=\"$Windows NT$\"\r\n",
             "sub/text.txt": b"line of text\r\n" * 200, "sub/deeper/one.bin": b"x", "zero.dat": b""}
    packed(pack, "pack-deflated", files)
    packed(pack, "pack-stored-trailer", files, "--store", "--trailer")

    secret = b"secret data " * 40
    entries = [pb.stored("setup.inf", b"[Version]\r\n"),
               pb.deflated("locked.txt", secret, password=b"secret"),
               pb.stored("locked2.txt", secret[:50], password=b"secret")]
    save("hand-encrypted", pb.build_package(b"", title="E", entries=entries), answers=0)
    save("hand-descriptor", pb.build_package(b"", entries=[pb.deflated("d.txt", b"abc" * 99, descriptor=True),
                                                           pb.stored("e.txt", b"e")], ending="rsf"))
    save("hand-split", pb.build_package(b"", multi_part=True, entries=[pb.stored("a.txt", b"a")], ending=None))
    save("hand-existing", pb.build_package(b"", entries=[pb.stored("a.txt", b"1"), pb.stored("A.TXT", b"2"),
                                                         pb.stored("dir/", b"")]), answers=0)
    return 0


if __name__ == "__main__":
    sys.exit(main())
