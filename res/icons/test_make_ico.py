import os
import struct
import subprocess
import sys
import tempfile
import unittest

import make_ico

BLANK = ["." * 32] * 32
SMALL = ["." * 16] * 16
# The first image (16x16) follows the directory of five entries.
FIRST = 6 + 5 * 16
XOR, MASK = FIRST + 40 + 64, FIRST + 40 + 64 + 16 * 8


class ConverterTest(unittest.TestCase):
    def setUp(self):
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        self.grid = os.path.join(tmp.name, "grid.txt")
        self.ico = os.path.join(tmp.name, "out.ico")

    def run_converter(self, *grids):
        lines = ["# legend"]
        for grid in grids:
            lines += [*grid, ""]
        with open(self.grid, "w") as f:
            f.write("\n".join(lines))
        return subprocess.run(
            [sys.executable, make_ico.__file__, self.grid, self.ico],
            capture_output=True, text=True)

    def convert(self, *grids):
        self.assertEqual(self.run_converter(*grids).returncode, 0)
        with open(self.ico, "rb") as f:
            return f.read()

    def test_headers_of_every_size(self):
        ico = self.convert(BLANK, SMALL)
        self.assertEqual(struct.unpack_from("<HHH", ico), (0, 1, 5))
        offset = FIRST
        for number, size in enumerate((16, 20, 24, 32, 48)):
            with self.subTest(size=size):
                stride = (size * 4 + 31) // 32 * 4
                mask_stride = (size + 31) // 32 * 4
                image_size = 40 + 64 + size * (stride + mask_stride)
                self.assertEqual(struct.unpack_from("<BBBBHHII", ico, 6 + 16 * number),
                                 (size, size, 16, 0, 1, 4, image_size, offset))
                self.assertEqual(struct.unpack_from("<IiiHHII", ico, offset),
                                 (40, size, 2 * size, 1, 4, 0, image_size - 104))
                # Palette entries are BGR plus a reserved byte; index 9 is red.
                self.assertEqual(ico[offset + 40 + 9 * 4:offset + 40 + 10 * 4], b"\x00\x00\xff\x00")
                offset += image_size
        self.assertEqual(len(ico), offset)

    def test_pixels_are_stored_bottom_up(self):
        ico = self.convert(BLANK, ["R" + "." * 15] + SMALL[1:15] + ["." * 15 + "W"])
        # The first stored row is the picture's bottom line.
        self.assertEqual(ico[XOR + 7], 0x0F)
        self.assertEqual(ico[XOR + 15 * 8], 0x90)
        self.assertEqual(ico[MASK:MASK + 4], b"\xff\xfe\x00\x00")
        self.assertEqual(ico[MASK + 15 * 4:MASK + 16 * 4], b"\x7f\xff\x00\x00")
        # Transparent pixels must be black in the colour plane.
        self.assertEqual(ico[XOR:XOR + 7], bytes(7))

    def test_each_size_is_enlarged_from_the_largest_drawn_grid_below_it(self):
        # Every column of a different colour from its neighbours: enlarging
        # may widen a column but never drop one.
        small = ["KW" * 8] * 16
        large = ["RG" * 16] * 32
        indices = lambda rows: [[make_ico.INDEX[char] for char in row] for row in rows]
        pictures = make_ico.images({16: indices(small), 32: indices(large)})
        for picture in pictures:
            size = len(picture)
            with self.subTest(size=size):
                self.assertEqual([size] * size, [len(row) for row in picture])
                row = picture[0]
                runs = 1 + sum(row[x] != row[x - 1] for x in range(1, size))
                self.assertEqual(16 if size < 32 else 32, runs)
                self.assertEqual(make_ico.INDEX["K" if size < 32 else "R"], row[0])

    def test_malformed_grids_name_file_line_and_column(self):
        cases = [
            ((BLANK[:31], SMALL), ":33: grid ends after 31 lines, expected 32"),
            ((BLANK + ["."], SMALL), ":34: grid has more than 32 lines"),
            ((BLANK[:5] + ["." * 33] + BLANK[6:], SMALL), ":7: line has 33 characters"),
            ((BLANK[:2] + ["..x" + "." * 29] + BLANK[3:], SMALL), ":4:3: unknown character 'x'"),
            ((BLANK,), ": no grid of 16x16 or smaller"),
            ((["." * 20] * 20,), ":2: a grid is 20 characters wide"),
            ((SMALL, SMALL), ":19: a second 16x16 grid"),
        ]
        for grids, message in cases:
            with self.subTest(message):
                result = self.run_converter(*grids)
                self.assertEqual(result.returncode, 1)
                self.assertIn(self.grid, result.stderr)
                self.assertIn(message, result.stderr)
                self.assertFalse(os.path.exists(self.ico))


if __name__ == "__main__":
    unittest.main()
