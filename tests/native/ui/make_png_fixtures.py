#!/usr/bin/python3
"""Writes the PNG decoder's fixtures and, for each, the pixels Pillow reads.

usage: make_png_fixtures.py <output folder> <picture.png>

The PNG files are encoded here by hand, so that every row filter (None, Sub,
Up, Average, Paeth) appears in both a plain and an Adam7 image: Pillow's own
encoder picks filters by itself. The expected pixels come from Pillow's
decoder, which shares no code with ours. Each <name>.rgba holds width and
height (4 bytes each, big-endian) and then the RGBA bytes, row by row.
picture.runs holds the window region's row runs of the committed picture.
"""
import struct
import sys
import zlib
from pathlib import Path

from PIL import Image

ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def filter_row(kind, row, prev):
    out = bytearray()
    for i, x in enumerate(row):
        a = row[i - 4] if i >= 4 else 0
        b = prev[i] if prev else 0
        c = prev[i - 4] if prev and i >= 4 else 0
        pred = [0, a, b, (a + b) // 2, paeth(a, b, c)][kind]
        out.append((x - pred) & 0xFF)
    return bytes([kind]) + bytes(out)


def encode(width, height, pixels, interlaced, gamma=None, extra_chunks=()):
    """pixels: list of rows of (r, g, b, a). Filters cycle 0..4 over all rows."""
    passes = ADAM7 if interlaced else [(0, 0, 1, 1)]
    raw = bytearray()
    n = 0
    for x0, y0, dx, dy in passes:
        prev = None
        for y in range(y0, height, dy):
            row = bytearray()
            for x in range(x0, width, dx):
                row += bytes(pixels[y][x])
            if not row:
                continue
            raw += filter_row(n % 5, row, prev)
            n += 1
            prev = row
    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 1 if interlaced else 0)
    out = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
    if gamma is not None:
        out += chunk(b"gAMA", struct.pack(">I", gamma))
    for kind, data in extra_chunks:
        out += chunk(kind, data)
    z = zlib.compress(bytes(raw), 9)
    # Three IDAT chunks: the decoder must join them.
    third = len(z) // 3
    for part in (z[:third], z[third:2 * third], z[2 * third:]):
        out += chunk(b"IDAT", part)
    return out + chunk(b"IEND", b"")


def test_pixels(width, height):
    # Smooth gradients with noise, and every alpha from 0 to 255 somewhere.
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            r = (x * 7 + y * 3) & 0xFF
            g = (x * x + y * 11) & 0xFF
            b = ((x ^ y) * 13) & 0xFF
            a = (x * 5 + y * 17) & 0xFF
            row.append((r, g, b, a))
        rows.append(row)
    return rows


def dump_pillow(png_path, rgba_path):
    with Image.open(png_path) as im:
        im = im.convert("RGBA")
        data = struct.pack(">II", im.width, im.height) + im.tobytes()
    rgba_path.write_bytes(data)


def write_runs(picture, runs_path):
    """The picture over white by the alpha rule, then the row runs of the
    pixels whose colour differs from the bottom-left pixel's: 'y left right'
    per line, right exclusive."""
    with Image.open(picture) as im:
        im = im.convert("RGBA")
        w, h = im.size
        px = list(im.getdata())

    def over_white(p):
        r, g, b, a = p
        return tuple((255 * (255 - a) + c * a + 127) // 255 for c in (r, g, b))

    colours = [over_white(p) for p in px]
    key = colours[(h - 1) * w]
    lines = []
    for y in range(h):
        x = 0
        while x < w:
            if colours[y * w + x] != key:
                start = x
                while x < w and colours[y * w + x] != key:
                    x += 1
                lines.append(f"{y} {start} {x}")
            else:
                x += 1
    runs_path.write_text("\n".join(lines) + "\n")


def main():
    out = Path(sys.argv[1])
    picture = Path(sys.argv[2])
    out.mkdir(parents=True, exist_ok=True)
    w, h = 37, 23  # odd sizes: every Adam7 pass has ragged edges
    px = test_pixels(w, h)
    fixtures = {
        "plain.png": encode(w, h, px, False),
        "adam7.png": encode(w, h, px, True, gamma=45455,
                            extra_chunks=[(b"tEXt", b"Comment\x00fixture"), (b"pHYs", struct.pack(">IIB", 2835, 2835, 1))]),
        "tiny_adam7.png": encode(1, 1, [[(10, 20, 30, 40)]], True),
        "gamma_one.png": encode(16, 16, [[(x * 16 + y, x * 16 + y, 255 - (x * 16 + y), x * 16 + y) for x in range(16)] for y in range(16)],
                                False, gamma=100000),
    }
    for name, data in fixtures.items():
        (out / name).write_bytes(data)
        dump_pillow(out / name, out / (name[:-4] + ".rgba"))
    dump_pillow(picture, out / "picture.rgba")
    write_runs(picture, out / "picture.runs")


if __name__ == "__main__":
    main()
