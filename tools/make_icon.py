#!/usr/bin/env python3
"""Draws the installer's icon: a 32x32, 16-colour (4 bits per pixel) .ico.

A box with an arrow into it, on a transparent background, in the standard
16-colour palette, written as a single-image icon file.
"""
import struct
import sys

# The standard 16-colour palette as (blue, green, red, reserved).
PALETTE = [
    (0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128), (128, 0, 0), (128, 0, 128), (128, 128, 0),
    (192, 192, 192), (128, 128, 128), (0, 0, 255), (0, 255, 0), (0, 255, 255), (255, 0, 0),
    (255, 0, 255), (255, 255, 0), (255, 255, 255),
]
BLACK, DARK_GREY, LIGHT_GREY, WHITE, BLUE, YELLOW, DARK_YELLOW = 0, 8, 7, 15, 12, 11, 3
SIZE = 32


def draw():
    """Returns rows top to bottom of palette indexes, None for transparent."""
    pixels = [[None] * SIZE for _ in range(SIZE)]

    def fill(x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                pixels[y][x] = colour

    # The box: a brown-yellow carton with a darker front and an outline.
    fill(4, 14, 27, 29, DARK_YELLOW)
    fill(4, 14, 27, 16, YELLOW)
    for x in range(4, 28):
        pixels[14][x] = BLACK
        pixels[29][x] = BLACK
    for y in range(14, 30):
        pixels[y][4] = BLACK
        pixels[y][27] = BLACK
    # The arrow: a blue shaft and head pointing down into the box.
    fill(14, 2, 17, 13, BLUE)
    for i in range(7):
        fill(9 + i, 12 + i, 22 - i, 12 + i, BLUE)
    # A white label on the front.
    fill(8, 22, 15, 26, WHITE)
    for x in range(9, 15):
        pixels[24][x] = DARK_GREY
    return pixels


def icon_bytes(pixels):
    xor_rows = []
    and_rows = []
    for row in reversed(pixels):  # bitmaps are stored bottom-up
        nibbles = [0 if p is None else p for p in row]
        xor_rows.append(bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, SIZE, 2)))
        mask = 0
        for p in row:
            mask = (mask << 1) | (1 if p is None else 0)
        and_rows.append(mask.to_bytes(SIZE // 8, "big"))
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in
                       ((c[2], c[1], c[0]) for c in PALETTE))
    image = header + palette + b"".join(xor_rows) + b"".join(and_rows)
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 22)
    return directory + image


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_icon.py OUTPUT.ico")
    with open(sys.argv[1], "wb") as out:
        out.write(icon_bytes(draw()))


if __name__ == "__main__":
    main()
