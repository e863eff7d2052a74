import os
import struct
import subprocess
import sys
import tempfile
import unittest

import make_ico

BLANK = ["." * 32] * 32
XOR, MASK = 62 + 64, 62 + 64 + 32 * 16


class ConverterTest(unittest.TestCase):
    def setUp(self):
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        self.grid = os.path.join(tmp.name, "grid.txt")
        self.ico = os.path.join(tmp.name, "out.ico")

    def run_converter(self, rows):
        with open(self.grid, "w") as f:
            f.write("\n".join(["# legend", *rows]) + "\n")
        return subprocess.run(
            [sys.executable, make_ico.__file__, self.grid, self.ico],
            capture_output=True, text=True)

    def convert(self, rows):
        self.assertEqual(self.run_converter(rows).returncode, 0)
        with open(self.ico, "rb") as f:
            return f.read()

    def test_headers(self):
        ico = self.convert(BLANK)
        image_size = 32 * 16 + 32 * 4
        self.assertEqual(len(ico), MASK + 32 * 4)
        self.assertEqual(struct.unpack_from("<HHHBBBBHHII", ico),
                         (0, 1, 1, 32, 32, 16, 0, 1, 4, len(ico) - 22, 22))
        self.assertEqual(struct.unpack_from("<IiiHHII", ico, 22),
                         (40, 32, 64, 1, 4, 0, image_size))
        # Palette entries are BGR plus a reserved byte; index 9 is red.
        self.assertEqual(ico[62 + 9 * 4:62 + 10 * 4], b"\x00\x00\xff\x00")

    def test_pixels_are_stored_bottom_up(self):
        ico = self.convert(["R" + "." * 31] + BLANK[1:31] + ["." * 31 + "W"])
        # The first stored row is the picture's bottom line.
        self.assertEqual(ico[XOR + 15], 0x0F)
        self.assertEqual(ico[XOR + 31 * 16], 0x90)
        self.assertEqual(ico[MASK:MASK + 4], b"\xff\xff\xff\xfe")
        self.assertEqual(ico[MASK + 31 * 4:], b"\x7f\xff\xff\xff")
        # Transparent pixels must be black in the colour plane.
        self.assertEqual(ico[XOR:XOR + 15], bytes(15))

    def test_malformed_grids_name_file_line_and_column(self):
        cases = [
            (BLANK[:31], ":33: grid ends after 31 lines, expected 32"),
            (BLANK + ["."], ":34: grid has more than 32 lines"),
            (BLANK[:5] + ["." * 33] + BLANK[6:], ":7: line has 33 characters"),
            (BLANK[:2] + ["..x" + "." * 29] + BLANK[3:],
             ":4:3: unknown character 'x'"),
        ]
        for rows, message in cases:
            with self.subTest(message):
                result = self.run_converter(rows)
                self.assertEqual(result.returncode, 1)
                self.assertIn(self.grid, result.stderr)
                self.assertIn(message, result.stderr)
                self.assertFalse(os.path.exists(self.ico))


if __name__ == "__main__":
    unittest.main()
