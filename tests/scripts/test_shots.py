"""The end-to-end harness's own BMP to PNG conversion of the driver's screenshots,
against ImageMagick's reading of the same files."""

import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "e2e"))
import harness  # noqa: E402


@unittest.skipUnless(shutil.which("convert") and shutil.which("compare"), "ImageMagick is not installed")
class BmpToPngTest(unittest.TestCase):
    def test_pixels_come_through(self):
        # Widths whose rows need padding to four bytes; bottom-up and top-down rows.
        cases = [("37x11", "BMP3", "gradient:red-blue"), ("1x1", "BMP3", "xc:#123456"),
                 ("64x3", "BMP3", "plasma:"), ("5x7", "BMP3", "pattern:checkerboard")]
        with tempfile.TemporaryDirectory() as folder:
            for size, kind, picture in cases:
                with self.subTest(size=size, picture=picture):
                    bmp, png = Path(folder, "in.bmp"), Path(folder, "out.png")
                    subprocess.run(["convert", "-size", size, picture, "-type", "TrueColor", f"{kind}:{bmp}"],
                                   check=True)
                    png.write_bytes(harness.bmp_to_png(bmp.read_bytes()))
                    compared = subprocess.run(["compare", "-metric", "AE", str(bmp), str(png), "null:"],
                                              capture_output=True, text=True)
                    self.assertEqual(compared.stderr.strip(), "0", compared.stderr)

    def test_top_down_rows(self):
        # Two rows, one pixel each: red on top, given top-down (negative height).
        pixels = b"\0\0\xff\0" + b"\xff\0\0\0"
        header = b"BM" + (54 + len(pixels)).to_bytes(4, "little") + bytes(4) + (54).to_bytes(4, "little")
        info = (40).to_bytes(4, "little") + (1).to_bytes(4, "little") + (-2).to_bytes(4, "little", signed=True) \
            + (1).to_bytes(2, "little") + (24).to_bytes(2, "little") + bytes(24)
        with tempfile.TemporaryDirectory() as folder:
            png = Path(folder, "out.png")
            png.write_bytes(harness.bmp_to_png(header + info + pixels))
            top = subprocess.run(["convert", str(png), "-format", "%[pixel:p{0,0}]", "info:"], capture_output=True,
                                 text=True).stdout
            self.assertIn("255,0,0", top.replace(" ", "").replace("srgb(", "").replace("red", "255,0,0"))

    def test_refuses_what_it_cannot_read(self):
        for label, data in [("empty", b""), ("not a BMP", b"PK" + bytes(60)),
                            ("cut short", b"BM" + bytes(8) + (54).to_bytes(4, "little") + bytes(4)
                             + (100).to_bytes(4, "little") + (100).to_bytes(4, "little") + bytes(2)
                             + (24).to_bytes(2, "little") + bytes(24))]:
            with self.subTest(label):
                with self.assertRaises(ValueError):
                    harness.bmp_to_png(data)


if __name__ == "__main__":
    unittest.main()
