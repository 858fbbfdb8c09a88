"""Builds installer packages by hand, well-formed or deliberately broken.

An installer is a stub padded to offset 35840, the 22-byte package header,
five texts (title and INF text plain, the other three scrambled), a sequence
of ZIP local entries, and an ending: a ZIP central directory with its end
record, the 4-byte "RSF" trailer, or nothing.

Every field can be forced, so tests can write what quillon-pack refuses to
write: wrong CRCs and sizes, odd signatures, data descriptors, garbage in the
entry stream, header lengths that disagree with the texts. Standard library
only; nothing here calls quillon-pack.

    from package_builder import Entry, build_package
    package = build_package(stub, title=b"Demo", inf=b"><setup.inf",
                            entries=[Entry("setup.inf", inf_bytes, method=8),
                                     Entry("a.txt", b"hello")])
"""

from __future__ import annotations

import dataclasses
import struct
import zlib
from typing import Iterable, Optional, Sequence, Union

PACKAGE_OFFSET = 35840
HEADER_SIZE = 22
MAGIC = b"QLX"

LOCAL_SIGNATURE = 0x04034B50
CENTRAL_SIGNATURE = 0x02014B50
END_SIGNATURE = 0x06054B50
DESCRIPTOR_SIGNATURE = 0x08074B50
ALTERNATIVE_SIGNATURE = 0x50000000  # the installer accepts it like a local header

STORED = 0
DEFLATED = 8

FLAG_ENCRYPTED = 0x0001
FLAG_DESCRIPTOR = 0x0008

TRAILER = b"RSF\x00"
DOS_EPOCH = (1980, 1, 1, 0, 0, 0)

# Header fields by the names quillon-pack's --header-field uses:
# (offset in the header, struct format).
HEADER_FIELDS = {
    "waitForFinish": (3, "<B"),
    "titleLength": (4, "<B"),
    "infLength": (5, "<B"),
    "adminRequired": (6, "<B"),
    "licenceInfoLength": (7, "<B"),
    "infoLength": (8, "<i"),
    "licenceLength": (12, "<i"),
    "hideInfoButton": (16, "<B"),
    "multiPart": (17, "<B"),
    "totalSize": (18, "<i"),
}

_SCRAMBLER_SEED = 417
_SCRAMBLER_MULTIPLIER = 134775813


def scramble(text: bytes) -> bytes:
    """Scrambles (or unscrambles: it is its own inverse) a stored text.

    Byte 0 stays as it is; every later byte is XORed with a keystream byte of
    128..255 from a linear congruential generator seeded with 417.
    """
    out = bytearray(text)
    state = _SCRAMBLER_SEED
    for i in range(1, len(out)):
        state = (state * _SCRAMBLER_MULTIPLIER + 1) & 0xFFFFFFFF
        out[i] ^= (state >> 25) | 0x80
    return bytes(out)


descramble = scramble


def crc32(data: bytes) -> int:
    return zlib.crc32(data) & 0xFFFFFFFF


def deflate(data: bytes, level: int = 9) -> bytes:
    """Raw deflate data (no zlib header or trailer), as ZIP entries hold it."""
    compressor = zlib.compressobj(level, zlib.DEFLATED, -15)
    return compressor.compress(data) + compressor.flush()


def inflate(data: bytes) -> bytes:
    return zlib.decompress(data, -15)


def dos_date_time(year: int, month: int, day: int, hour: int = 0, minute: int = 0,
                  second: int = 0) -> tuple[int, int]:
    """The (time, date) words of an MS-DOS timestamp; seconds are halved."""
    date = ((year - 1980) << 9) | (month << 5) | day
    time = (hour << 11) | (minute << 5) | (second // 2)
    return time, date


class TraditionalCipher:
    """The traditional PKWARE encryption, for writing encrypted entries."""

    def __init__(self, password: bytes):
        self.keys = [0x12345678, 0x23456789, 0x34567890]
        for byte in password:
            self._update(byte)

    @staticmethod
    def _crc_step(byte: int, crc: int) -> int:
        return (zlib.crc32(bytes([byte]), crc ^ 0xFFFFFFFF) ^ 0xFFFFFFFF) & 0xFFFFFFFF

    def _update(self, byte: int) -> None:
        k0, k1, k2 = self.keys
        k0 = self._crc_step(byte, k0)
        k1 = ((k1 + (k0 & 0xFF)) * 134775813 + 1) & 0xFFFFFFFF
        k2 = self._crc_step(k1 >> 24, k2)
        self.keys = [k0, k1, k2]

    def _stream_byte(self) -> int:
        t = (self.keys[2] & 0xFFFF) | 2
        return ((t * (t ^ 1)) >> 8) & 0xFF

    def encrypt(self, plain: bytes) -> bytes:
        out = bytearray()
        for byte in plain:
            out.append(byte ^ self._stream_byte())
            self._update(byte)
        return bytes(out)

    def decrypt(self, cipher: bytes) -> bytes:
        out = bytearray()
        for byte in cipher:
            plain = byte ^ self._stream_byte()
            out.append(plain)
            self._update(plain)
        return bytes(out)


def encrypt_traditional(data: bytes, password: bytes, check_byte: int,
                        header: bytes = b"QuillonTest") -> bytes:
    """The 12-byte encryption header (11 given bytes and the check byte)
    followed by data, all encrypted with password."""
    if len(header) != 11:
        raise ValueError("the encryption header takes 11 bytes before the check byte")
    return TraditionalCipher(password).encrypt(header + bytes([check_byte & 0xFF]) + data)


def _as_bytes(text: Union[str, bytes]) -> bytes:
    return text.encode("latin-1") if isinstance(text, str) else bytes(text)


@dataclasses.dataclass
class Entry:
    """One ZIP local entry. Everything written can be forced.

    data is the file's content. The bytes stored behind the header are
    `payload` when given, else data as it is (method 0) or deflated (method
    8, or any other method), encrypted when `password` is set. The header
    fields default to the real values of what is stored.
    """

    name: Union[str, bytes]
    data: bytes = b""
    method: int = STORED
    flags: int = 0
    date_time: tuple = DOS_EPOCH  # (year, month, day, hour, minute, second)
    mod_time: Optional[int] = None  # raw DOS time word; overrides date_time
    mod_date: Optional[int] = None  # raw DOS date word; overrides date_time
    crc: Optional[int] = None
    compressed_size: Optional[int] = None
    uncompressed_size: Optional[int] = None
    extra: bytes = b""
    name_length: Optional[int] = None  # header value; the name is written whole
    extra_length: Optional[int] = None  # header value; the extra field is written whole
    version_needed: Optional[int] = None
    signature: int = LOCAL_SIGNATURE
    payload: Optional[bytes] = None  # the stored bytes, exactly (already compressed/encrypted)
    deflate_level: int = 9
    password: Optional[bytes] = None  # traditional encryption; sets flag bit 0
    encryption_header: bytes = b"QuillonTest"  # the 11 bytes before the check byte
    check_byte: Optional[int] = None  # default: crc >> 24, or mod_time >> 8 with flag bit 3
    descriptor: Union[bool, bytes] = False  # True: a 16-byte data descriptor with the real values
    trailing: bytes = b""  # raw bytes written behind the entry (and its descriptor)
    in_central_directory: bool = True
    # central directory only
    version_made_by: int = 20
    external_attributes: Optional[int] = None  # default: 0x10 for names ending in "/", else 0
    comment: bytes = b""

    # The values as written, filled in by local_bytes().
    def _resolve(self):
        name = _as_bytes(self.name)
        time, date = dos_date_time(*self.date_time)
        if self.mod_time is not None:
            time = self.mod_time
        if self.mod_date is not None:
            date = self.mod_date
        crc = crc32(self.data) if self.crc is None else self.crc
        flags = self.flags
        if self.payload is not None:
            stored = self.payload
        else:
            stored = self.data if self.method == STORED else deflate(self.data, self.deflate_level)
            if self.password is not None:
                flags |= FLAG_ENCRYPTED
                check = self.check_byte
                if check is None:
                    check = (time >> 8) if flags & FLAG_DESCRIPTOR else (crc >> 24)
                stored = encrypt_traditional(stored, self.password, check, self.encryption_header)
        if self.password is not None:
            flags |= FLAG_ENCRYPTED
        directory = name.endswith(b"/")
        version = self.version_needed
        if version is None:
            version = 20 if self.method == DEFLATED or directory or flags & FLAG_ENCRYPTED else 10
        return dict(
            name=name, time=time, date=date, crc=crc, flags=flags, stored=stored, version=version,
            compressed_size=len(stored) if self.compressed_size is None else self.compressed_size,
            uncompressed_size=len(self.data) if self.uncompressed_size is None else self.uncompressed_size,
            external=(0x10 if directory else 0) if self.external_attributes is None
            else self.external_attributes)

    def local_bytes(self) -> bytes:
        v = self._resolve()
        header = struct.pack(
            "<IHHHHHIIIHH", self.signature & 0xFFFFFFFF, v["version"], v["flags"], self.method,
            v["time"], v["date"], v["crc"], v["compressed_size"] & 0xFFFFFFFF,
            v["uncompressed_size"] & 0xFFFFFFFF,
            len(v["name"]) if self.name_length is None else self.name_length,
            len(self.extra) if self.extra_length is None else self.extra_length)
        out = header + v["name"] + self.extra + v["stored"]
        if self.descriptor is True:
            out += struct.pack("<IIII", DESCRIPTOR_SIGNATURE, v["crc"], len(v["stored"]), len(self.data))
        elif self.descriptor:
            out += bytes(self.descriptor)
        return out + self.trailing

    def central_bytes(self, offset: int) -> bytes:
        v = self._resolve()
        return struct.pack(
            "<IHHHHHHIIIHHHHHII", CENTRAL_SIGNATURE, self.version_made_by, v["version"], v["flags"],
            self.method, v["time"], v["date"], v["crc"], v["compressed_size"] & 0xFFFFFFFF,
            v["uncompressed_size"] & 0xFFFFFFFF, len(v["name"]), len(self.extra), len(self.comment),
            0, 0, v["external"], offset & 0xFFFFFFFF) + v["name"] + self.extra + self.comment


def stored(name, data: bytes = b"", **fields) -> Entry:
    return Entry(name, data, method=STORED, **fields)


def deflated(name, data: bytes = b"", **fields) -> Entry:
    return Entry(name, data, method=DEFLATED, **fields)


def build_header(*, wait_for_finish=True, title_length=0, inf_length=0, admin_required=False,
                 licence_info_length=0, info_length=0, licence_length=0, hide_info_button=False,
                 multi_part=False, total_size=0, magic: bytes = MAGIC,
                 overrides: Optional[dict] = None) -> bytes:
    """The 22-byte package header. Flag arguments may be ints (raw bytes,
    e.g. 2 to test "any nonzero value counts"); overrides maps the names of
    HEADER_FIELDS to raw values written last."""
    header = bytearray(magic[:3].ljust(3, b"\x00"))
    header += struct.pack("<BBBBBiiBBi", int(wait_for_finish), title_length, inf_length,
                          int(admin_required), licence_info_length, info_length, licence_length,
                          int(hide_info_button), int(multi_part), total_size)
    for field, value in (overrides or {}).items():
        offset, fmt = HEADER_FIELDS[field]
        if fmt == "<i" and value > 0x7FFFFFFF:
            fmt = "<I"
        struct.pack_into(fmt, header, offset, value)
    return bytes(header)


def central_directory(entries: Sequence[tuple[Entry, int]], comment: bytes = b"",
                      directory_offset: int = 0, count: Optional[int] = None) -> bytes:
    """Central directory headers for (entry, offset) pairs and the end record."""
    directory = b"".join(entry.central_bytes(offset) for entry, offset in entries)
    n = len(entries) if count is None else count
    end = struct.pack("<IHHHHIIH", END_SIGNATURE, 0, 0, n, n, len(directory),
                      directory_offset, len(comment)) + comment
    return directory + end


def build_package(stub: bytes = b"", *, title: Union[str, bytes] = b"",
                  inf: Union[str, bytes] = b"", licence_info: Union[str, bytes] = b"",
                  info: Union[str, bytes] = b"", licence: Union[str, bytes] = b"",
                  wait_for_finish=True, admin_required=False, hide_info_button=False,
                  multi_part=False, total_size: Optional[int] = None, magic: bytes = MAGIC,
                  header_overrides: Optional[dict] = None,
                  entries: Iterable[Union[Entry, bytes]] = (), ending: Optional[str] = "central",
                  trailer: bytes = TRAILER, comment: bytes = b"", scramble_texts: bool = True,
                  pad_stub: bool = True, header: Optional[bytes] = None) -> bytes:
    """A whole installer.

    entries: Entry objects, or raw bytes put into the stream as they are.
    ending: "central" (central directory and end record, offsets from the
    start of the file), "rsf" (trailer), or None (nothing).
    total_size: the header's totalSize; by default the size of the result.
    header: 22 raw bytes instead of the header built from the arguments.
    """
    if pad_stub:
        if len(stub) > PACKAGE_OFFSET:
            raise ValueError("the stub reaches past the package offset")
        stub = stub.ljust(PACKAGE_OFFSET, b"\x00")
    title, inf = _as_bytes(title), _as_bytes(inf)
    licence_info, info, licence = _as_bytes(licence_info), _as_bytes(info), _as_bytes(licence)
    texts = title + inf
    if scramble_texts:
        texts += scramble(licence_info) + scramble(info) + scramble(licence)
    else:
        texts += licence_info + info + licence

    stream = bytearray()
    listed = []
    base = len(stub) + HEADER_SIZE + len(texts)
    for entry in entries:
        if isinstance(entry, (bytes, bytearray)):
            stream += entry
            continue
        if entry.in_central_directory:
            listed.append((entry, base + len(stream)))
        stream += entry.local_bytes()

    if ending == "central":
        end = central_directory(listed, comment, base + len(stream))
    elif ending == "rsf":
        end = trailer
    elif ending is None:
        end = b""
    else:
        raise ValueError(f"unknown ending {ending!r}")

    size = len(stub) + HEADER_SIZE + len(texts) + len(stream) + len(end)
    if header is None:
        header = build_header(
            wait_for_finish=wait_for_finish, title_length=len(title), inf_length=len(inf),
            admin_required=admin_required, licence_info_length=len(licence_info),
            info_length=len(info), licence_length=len(licence), hide_info_button=hide_info_button,
            multi_part=multi_part, total_size=size if total_size is None else total_size,
            magic=magic, overrides=header_overrides)
    if len(header) != HEADER_SIZE:
        raise ValueError("a package header is 22 bytes")
    return bytes(stub) + header + texts + bytes(stream) + end


@dataclasses.dataclass
class ParsedPackage:
    header: dict  # field name -> value, plus "magic"
    title: bytes
    inf: bytes
    licence_info: bytes  # unscrambled
    info: bytes  # unscrambled
    licence: bytes  # unscrambled
    data_start: int


def parse_package(package: bytes) -> ParsedPackage:
    """Reads the header and texts of a package as the installer does."""
    raw = package[PACKAGE_OFFSET:PACKAGE_OFFSET + HEADER_SIZE]
    if len(raw) != HEADER_SIZE:
        raise ValueError("the file ends before the package header")
    header = {"magic": raw[:3]}
    for field, (offset, fmt) in HEADER_FIELDS.items():
        header[field] = struct.unpack_from(fmt, raw, offset)[0]
    at = PACKAGE_OFFSET + HEADER_SIZE
    texts = []
    for field in ("titleLength", "infLength", "licenceInfoLength", "infoLength", "licenceLength"):
        length = max(header[field], 0)
        texts.append(package[at:at + length])
        at += length
    title, inf, licence_info, info, licence = texts
    return ParsedPackage(header, title, inf, descramble(licence_info), descramble(info),
                         descramble(licence), at)


def split_local_entries(package: bytes, start: int) -> list[dict]:
    """Walks the entry stream from start as the installer does: local headers
    (and the alternative signature), stepping over signed data descriptors,
    until any other signature. Returns the headers' fields and data."""
    entries = []
    at = start
    while at + 30 <= len(package):
        signature = struct.unpack_from("<I", package, at)[0]
        if signature == DESCRIPTOR_SIGNATURE:
            at += 16
            continue
        if signature not in (LOCAL_SIGNATURE, ALTERNATIVE_SIGNATURE):
            break
        (_, version, flags, method, time, date, crc, csize, usize, name_length,
         extra_length) = struct.unpack_from("<IHHHHHIIIHH", package, at)
        data_start = at + 30 + name_length + extra_length
        entries.append(dict(offset=at, signature=signature, version=version, flags=flags,
                            method=method, time=time, date=date, crc=crc,
                            compressed_size=csize, uncompressed_size=usize,
                            name=package[at + 30:at + 30 + name_length],
                            extra=package[at + 30 + name_length:data_start],
                            payload=package[data_start:data_start + csize]))
        at = data_start + csize
    return entries
