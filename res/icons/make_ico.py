#!/usr/bin/env python3
"""Convert a 32x32 text pixel grid into a 16-colour .ico file.

usage: make_ico.py GRID.txt OUT.ico [--png PREVIEW.png]

A grid file may start with comment lines beginning with '#'; then come
exactly 32 lines of exactly 32 characters, one character per pixel:

    K black      000000     G grey     808080
    r dark red   800000     R red      FF0000
    g dark green 008000     L lime     00FF00
    o olive      808000     Y yellow   FFFF00
    b dark blue  000080     B blue     0000FF
    p purple     800080     M magenta  FF00FF
    t teal       008080     C cyan     00FFFF
    s silver     C0C0C0     W white    FFFFFF
    . transparent

The palette index of each colour is its position in the standard Windows
16-colour VGA order (left column 0-7, right column 8-15).
"""

import argparse
import struct
import sys
import zlib

SIZE = 32
PNG_SCALE = 8

PALETTE = (
    ("K", 0x000000), ("r", 0x800000), ("g", 0x008000), ("o", 0x808000),
    ("b", 0x000080), ("p", 0x800080), ("t", 0x008080), ("s", 0xC0C0C0),
    ("G", 0x808080), ("R", 0xFF0000), ("L", 0x00FF00), ("Y", 0xFFFF00),
    ("B", 0x0000FF), ("M", 0xFF00FF), ("C", 0x00FFFF), ("W", 0xFFFFFF),
)
INDEX = {char: i for i, (char, _) in enumerate(PALETTE)}
TRANSPARENT = "."


class GridError(Exception):
    pass


def read_grid(path):
    """Return SIZE rows of SIZE palette indices, None marking transparency."""
    try:
        with open(path, encoding="utf-8") as f:
            lines = f.read().splitlines()
    except (OSError, UnicodeDecodeError) as e:
        raise GridError(f"{path}: cannot read grid: {e}") from e

    header = 0
    while header < len(lines) and lines[header].startswith("#"):
        header += 1
    rows = lines[header:]
    if len(rows) < SIZE:
        raise GridError(f"{path}:{len(lines) + 1}: grid ends after "
                        f"{len(rows)} lines, expected {SIZE}")
    if len(rows) > SIZE:
        raise GridError(f"{path}:{header + SIZE + 1}: grid has more than "
                        f"{SIZE} lines")

    grid = []
    for lineno, row in enumerate(rows, start=header + 1):
        if len(row) != SIZE:
            raise GridError(f"{path}:{lineno}: line has {len(row)} "
                            f"characters, expected {SIZE}")
        indices = []
        for col, char in enumerate(row, start=1):
            if char == TRANSPARENT:
                indices.append(None)
            elif char in INDEX:
                indices.append(INDEX[char])
            else:
                raise GridError(f"{path}:{lineno}:{col}: unknown character "
                                f"{char!r}")
        grid.append(indices)
    return grid


def dib_stride(bits):
    # DIB scan lines are padded to a 32-bit boundary.
    return (bits + 31) // 32 * 4


def build_ico(grid):
    height, width = len(grid), len(grid[0])
    xor_stride, and_stride = dib_stride(width * 4), dib_stride(width)
    xor, mask = bytearray(), bytearray()
    # DIBs store the bottom scan line first.
    for row in reversed(grid):
        colours, bits = bytearray(xor_stride), bytearray(and_stride)
        for x, index in enumerate(row):
            if index is None:
                # Colour 0 under a set mask bit leaves the screen unchanged.
                bits[x // 8] |= 0x80 >> (x % 8)
            else:
                colours[x // 2] |= index << (0 if x % 2 else 4)
        xor += colours
        mask += bits

    palette = b"".join(struct.pack("<BBBx", rgb & 0xFF, rgb >> 8 & 0xFF,
                                   rgb >> 16) for _, rgb in PALETTE)
    # The height counts the XOR image and the AND mask stacked together.
    info = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 4, 0,
                       len(xor) + len(mask), 0, 0, len(PALETTE), 0)
    image = info + palette + xor + mask
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", width, height, len(PALETTE), 0, 1, 4,
                        len(image), len(icondir) + 16)
    return icondir + entry + image


def png_chunk(kind, data):
    return (struct.pack(">I", len(data)) + kind + data
            + struct.pack(">I", zlib.crc32(kind + data)))


def build_png(grid, scale=PNG_SCALE):
    raw = bytearray()
    for row in grid:
        line = bytearray(b"\x00")
        for index in row:
            if index is None:
                pixel = bytes(4)
            else:
                pixel = PALETTE[index][1].to_bytes(3, "big") + b"\xff"
            line += pixel * scale
        raw += line * scale
    header = struct.pack(">IIBBBBB", len(grid[0]) * scale, len(grid) * scale,
                         8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header)
            + png_chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + png_chunk(b"IEND", b""))


def main(argv=None):
    parser = argparse.ArgumentParser(
        description="Convert a 32x32 text pixel grid into a 16-colour .ico.")
    parser.add_argument("grid", help="text pixel grid")
    parser.add_argument("ico", help="icon file to write")
    parser.add_argument("--png", metavar="OUT.png",
                        help=f"also write a {PNG_SCALE}x scaled PNG preview")
    args = parser.parse_args(argv)

    try:
        grid = read_grid(args.grid)
    except GridError as e:
        print(f"make_ico.py: {e}", file=sys.stderr)
        return 1
    outputs = [(args.ico, build_ico(grid))]
    if args.png:
        outputs.append((args.png, build_png(grid)))
    for path, data in outputs:
        try:
            with open(path, "wb") as f:
                f.write(data)
        except OSError as e:
            print(f"make_ico.py: cannot write {path}: {e}", file=sys.stderr)
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
