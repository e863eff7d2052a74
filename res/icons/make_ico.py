#!/usr/bin/env python3
"""Convert text pixel grids into a 16-colour .ico file with every size the shell asks for.

usage: make_ico.py GRID.txt OUT.ico [--png PREVIEW.png]

A grid file may start with comment lines beginning with '#'; then come one
or more square grids separated by blank lines, each drawn by hand at its own
size (one of 16, 32), one character per pixel:

    K black      000000     G grey     808080
    r dark red   800000     R red      FF0000
    g dark green 008000     L lime     00FF00
    o olive      808000     Y yellow   FFFF00
    b dark blue  000080     B blue     0000FF
    p purple     800080     M magenta  FF00FF
    t teal       008080     C cyan     00FFFF
    s silver     C0C0C0     W white    FFFFFF
    . transparent

The icon holds the images of SIZES: each drawn one as it stands, every
other one enlarged from the largest drawn grid below it, whose pixels then
each cover one or two of its own, so no outline is ever lost. The palette
index of each colour is its position in the standard Windows 16-colour VGA
order (left column 0-7, right column 8-15). The preview shows every image
side by side, eight times enlarged.
"""

import argparse
import struct
import sys
import zlib

DRAWN_SIZES = (16, 32)
# 16 for the notification area, 32 for the program's own icon, and the same
# at 125, 150 and 300 per cent.
SIZES = (16, 20, 24, 32, 48)
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


def parse_row(path, lineno, row, size):
    if len(row) != size:
        raise GridError(f"{path}:{lineno}: line has {len(row)} characters, "
                        f"expected {size} as the grid's first line")
    indices = []
    for col, char in enumerate(row, start=1):
        if char == TRANSPARENT:
            indices.append(None)
        elif char in INDEX:
            indices.append(INDEX[char])
        else:
            raise GridError(f"{path}:{lineno}:{col}: unknown character {char!r}")
    return indices


def read_grids(path):
    """Return {size: rows of palette indices}, None marking transparency."""
    try:
        with open(path, encoding="utf-8") as f:
            lines = f.read().splitlines()
    except (OSError, UnicodeDecodeError) as e:
        raise GridError(f"{path}: cannot read grid: {e}") from e

    lineno = 0
    while lineno < len(lines) and lines[lineno].startswith("#"):
        lineno += 1
    grids = {}
    while lineno < len(lines):
        if not lines[lineno]:
            lineno += 1
            continue
        size, start = len(lines[lineno]), lineno + 1
        if size not in DRAWN_SIZES:
            raise GridError(f"{path}:{start}: a grid is {size} characters wide, "
                            f"expected one of {', '.join(map(str, DRAWN_SIZES))}")
        if size in grids:
            raise GridError(f"{path}:{start}: a second {size}x{size} grid")
        rows = lines[lineno:lineno + size]
        if len(rows) < size or not all(rows):
            ended = len(rows) if all(rows) else rows.index("")
            raise GridError(f"{path}:{lineno + ended + 1}: grid ends after "
                            f"{ended} lines, expected {size}")
        grids[size] = [parse_row(path, start + i, row, size) for i, row in enumerate(rows)]
        lineno += size
        if lineno < len(lines) and lines[lineno]:
            raise GridError(f"{path}:{lineno + 1}: grid has more than {size} lines")
    if not grids:
        raise GridError(f"{path}: no grid")
    if min(grids) > min(SIZES):
        raise GridError(f"{path}: no grid of {min(SIZES)}x{min(SIZES)} or smaller")
    return grids


def enlarge(grid, size):
    """Nearest-neighbour enlargement of a square grid to size x size."""
    drawn = len(grid)
    return [[grid[y * drawn // size][x * drawn // size] for x in range(size)]
            for y in range(size)]


def images(grids):
    """Every size of SIZES, from the largest drawn grid that is not larger."""
    return [enlarge(grids[max(s for s in grids if s <= size)], size) for size in SIZES]


def dib_stride(bits):
    # DIB scan lines are padded to a 32-bit boundary.
    return (bits + 31) // 32 * 4


def build_image(grid):
    size = len(grid)
    xor_stride, and_stride = dib_stride(size * 4), dib_stride(size)
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
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0,
                       len(xor) + len(mask), 0, 0, len(PALETTE), 0)
    return info + palette + xor + mask


def build_ico(pictures):
    data = [build_image(grid) for grid in pictures]
    icondir = struct.pack("<HHH", 0, 1, len(data))
    offset = len(icondir) + 16 * len(data)
    entries = b""
    for grid, image in zip(pictures, data):
        entries += struct.pack("<BBBBHHII", len(grid), len(grid), len(PALETTE), 0, 1, 4,
                               len(image), offset)
        offset += len(image)
    return icondir + entries + b"".join(data)


def png_chunk(kind, data):
    return (struct.pack(">I", len(data)) + kind + data
            + struct.pack(">I", zlib.crc32(kind + data)))


def build_png(pictures, scale=PNG_SCALE, gap=4):
    """All pictures side by side on a transparent strip, top-aligned."""
    height = max(len(grid) for grid in pictures)
    width = sum(len(grid) + gap for grid in pictures) - gap
    canvas = [[None] * width for _ in range(height)]
    left = 0
    for grid in pictures:
        for y, row in enumerate(grid):
            canvas[y][left:left + len(row)] = row
        left += len(grid) + gap
    raw = bytearray()
    for row in canvas:
        line = bytearray(b"\x00")
        for index in row:
            if index is None:
                pixel = bytes(4)
            else:
                pixel = PALETTE[index][1].to_bytes(3, "big") + b"\xff"
            line += pixel * scale
        raw += line * scale
    header = struct.pack(">IIBBBBB", width * scale, height * scale, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header)
            + png_chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + png_chunk(b"IEND", b""))


def main(argv=None):
    parser = argparse.ArgumentParser(
        description="Convert text pixel grids into a 16-colour .ico in every size.")
    parser.add_argument("grid", help="text pixel grids")
    parser.add_argument("ico", help="icon file to write")
    parser.add_argument("--png", metavar="OUT.png",
                        help=f"also write a {PNG_SCALE}x scaled PNG preview")
    args = parser.parse_args(argv)

    try:
        pictures = images(read_grids(args.grid))
    except GridError as e:
        print(f"make_ico.py: {e}", file=sys.stderr)
        return 1
    outputs = [(args.ico, build_ico(pictures))]
    if args.png:
        outputs.append((args.png, build_png(pictures)))
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
