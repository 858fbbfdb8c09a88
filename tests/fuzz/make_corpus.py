#!/usr/bin/env python3
"""Writes the inflate fuzz target's seed corpus: small raw deflate streams from
zlib at several levels and strategies, and hand-made streams for the cases
that encoders do not produce (block type 3, symbols 286 and 287, distance
symbols 30 and 31, over-subscribed and incomplete codes, a code-length code of
one code, truncation)."""
import os
import random
import sys
import zlib

out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus", "inflate")
os.makedirs(out_dir, exist_ok=True)


def save(name, data):
    with open(os.path.join(out_dir, name), "wb") as f:
        f.write(data)


def deflate(data, level=6, strategy=zlib.Z_DEFAULT_STRATEGY):
    c = zlib.compressobj(level, zlib.DEFLATED, -15, 8, strategy)
    return c.compress(data) + c.flush()


rng = random.Random(1951)
text = b"".join(rng.choice([b"the ", b"quick ", b"brown ", b"fox ", b"jumps ", b"over ", b"lazy ", b"dog\n"])
                for _ in range(400))
noise = bytes(rng.randrange(256) for _ in range(600))
runs = b"".join(bytes([rng.randrange(4)]) * rng.randrange(1, 40) for _ in range(100))
samples = {"text": text, "noise": noise, "runs": runs, "empty": b"", "one": b"x"}
strategies = {"default": zlib.Z_DEFAULT_STRATEGY, "filtered": zlib.Z_FILTERED, "huffman": zlib.Z_HUFFMAN_ONLY,
              "rle": zlib.Z_RLE, "fixed": zlib.Z_FIXED}
for sname, sample in samples.items():
    for level in (0, 1, 6, 9):
        save(f"zlib-{sname}-{level}", deflate(sample, level))
for name, strategy in strategies.items():
    save(f"zlib-text-6-{name}", deflate(text, 6, strategy))
    save(f"zlib-runs-6-{name}", deflate(runs, 6, strategy))
save("zlib-text-truncated", deflate(text)[:200])
save("zlib-text-trailing", deflate(text) + b"trailing bytes")


class Bits:
    def __init__(self):
        self.value = 0
        self.count = 0

    def put(self, value, n):  # least significant bit first
        self.value |= (value & ((1 << n) - 1)) << self.count
        self.count += n

    def code(self, code, n):  # Huffman codes go most significant bit first
        self.put(int(format(code, f"0{n}b")[::-1], 2), n)

    def bytes(self):
        return self.value.to_bytes((self.count + 7) // 8, "little")


def fixed_literal(b, sym):
    if sym < 144:
        b.code(0x30 + sym, 8)
    elif sym < 256:
        b.code(0x190 + sym - 144, 9)
    elif sym < 280:
        b.code(sym - 256, 7)
    else:
        b.code(0xC0 + sym - 280, 8)


def fixed_block(symbols, final=1):
    b = Bits()
    b.put(final, 1)
    b.put(1, 2)
    for s in symbols:
        if isinstance(s, tuple):  # (symbol, extra bits, count) or a distance ("d", code, extra, count)
            if s[0] == "d":
                b.code(s[1], 5)
                b.put(s[2], s[3])
            else:
                fixed_literal(b, s[0])
                b.put(s[1], s[2])
        else:
            fixed_literal(b, s)
    fixed_literal(b, 256)
    return b.bytes()


save("hand-stored-empty", bytes([0x01, 0x00, 0x00, 0xFF, 0xFF]))
save("hand-type3-final", bytes([0x07]))
save("hand-type3-then-stored", bytes([0x06 | 0x08]) + bytes([0x00, 0x00, 0xFF, 0xFF]))
save("hand-symbol-286", fixed_block([ord("a"), 286, ord("b")]))
save("hand-symbol-287", fixed_block([ord("a"), 287]))
save("hand-distance-30", fixed_block([ord("a"), (257, 0, 0), ("d", 30, 0, 0)]))
save("hand-length-258-distance-1", fixed_block([ord("z"), (285, 0, 0), ("d", 0, 0, 0)]))
save("hand-distance-32768", fixed_block([ord("q")] + [(285, 0, 0), ("d", 0, 0, 0)] * 127 + [(258, 0, 0), ("d", 29, 8191, 13)]))


def dynamic_header(b, lit_lengths, dist_lengths, cl_lengths=None, final=1):
    """Writes a dynamic header listing every length literally (no repeats)."""
    b.put(final, 1)
    b.put(2, 2)
    b.put(len(lit_lengths) - 257, 5)
    b.put(len(dist_lengths) - 1, 5)
    order = [16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15]
    if cl_lengths is None:
        cl_lengths = {i: 4 for i in range(16)}  # 16 codes of 4 bits: symbol i is code i
    b.put(19 - 4, 4)
    for sym in order:
        b.put(cl_lengths.get(sym, 0), 3)
    for length in lit_lengths + dist_lengths:
        b.code(length, 4)


# Literal/length code: 'a' (97), 'b' (98), end of block and length 257 at 2 bits.
lit = [0] * 258
lit[97] = lit[98] = lit[256] = lit[257] = 2
b = Bits()
dynamic_header(b, lit, [1])  # a single distance code of one bit
b.code(0, 2)  # a
b.code(1, 2)  # b
b.code(3, 2)  # length 3
b.code(0, 1)  # distance 1
b.code(2, 2)  # end of block
save("hand-single-distance-code", b.bytes())

over = [0] * 257
over[0] = over[1] = over[256] = 1  # three codes of one bit
b = Bits()
dynamic_header(b, over, [1], final=0)
b.put(1, 1)
b.put(1, 2)
fixed_literal(b, ord("k"))
fixed_literal(b, 256)
save("hand-oversubscribed-then-fixed", b.bytes())

b = Bits()
b.put(1, 1)
b.put(2, 2)
b.put(0, 5)
b.put(0, 5)
b.put(0, 4)
for length in (0, 0, 0, 1):  # the code-length code is one code of one bit (symbol 0)
    b.put(length, 3)
b.put(0b10101010, 8)
save("hand-one-code-length-code", b.bytes())

save("random-1", bytes(rng.randrange(256) for _ in range(64)))
save("random-2", bytes(rng.randrange(256) for _ in range(300)))
