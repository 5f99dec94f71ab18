#!/usr/bin/python3
"""Checks the window's committed assets against the rules the window code relies
on, reading them with Pillow and plain struct parsing, never with our decoder.

    check_assets.py ASSET_DIR

Prints the region figures of the picture (white-keyed row runs) for reference.
"""

import io
import struct
import sys
import zlib

from PIL import Image

failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
    return cond


def png_chunks(data):
    check(data[:8] == b"\x89PNG\r\n\x1a\n", "picture: PNG signature")
    pos, chunks = 8, []
    while pos + 12 <= len(data):
        (length,) = struct.unpack(">I", data[pos:pos + 4])
        kind = data[pos + 4:pos + 8]
        body = data[pos + 8:pos + 8 + length]
        (crc,) = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])
        check(zlib.crc32(kind + body) & 0xFFFFFFFF == crc, "picture: CRC of chunk %r" % kind)
        chunks.append((kind, body))
        pos += 12 + length
    check(pos == len(data), "picture: no bytes after the last chunk")
    return chunks


def check_picture(path):
    data = open(path, "rb").read()
    chunks = png_chunks(data)
    kinds = [k for k, _ in chunks]
    body = dict(chunks)
    check(kinds[0] == b"IHDR" and kinds[-1] == b"IEND", "picture: IHDR first, IEND last")
    w, h, depth, ctype, comp, filt, interlace = struct.unpack(">IIBBBBB", body[b"IHDR"])
    check((w, h) == (500, 430), "picture: 500 x 430, got %d x %d" % (w, h))
    check((depth, ctype) == (8, 6), "picture: 8-bit RGBA")
    check((comp, filt, interlace) == (0, 0, 1), "picture: Adam7 interlaced")
    check(body.get(b"gAMA") == struct.pack(">I", 45455), "picture: gAMA 45455")
    check(body.get(b"pHYs") == struct.pack(">IIB", 20000, 20000, 1), "picture: pHYs 20000 px/m on both axes")
    check(b"tIME" in body and len(body[b"tIME"]) == 7, "picture: a tIME chunk")
    # Ancillary chunks must come before the image data for a single-pass reader.
    first_idat = kinds.index(b"IDAT")
    check(all(kinds.index(k) < first_idat for k in (b"gAMA", b"pHYs") if k in kinds),
          "picture: gAMA and pHYs before IDAT")

    img = Image.open(io.BytesIO(data))
    check(img.mode == "RGBA", "picture: Pillow reads RGBA")
    px = img.load()
    opaque_rows, opaque_cols = set(), set()
    white_elsewhere = []
    for y in range(h):
        for x in range(w):
            r, g, b, a = px[x, y]
            if a == 0:
                if (r, g, b) != (0, 0, 0):
                    failures.append("picture: transparent pixel (%d, %d) is not black" % (x, y))
                continue
            if not check(a == 255, "picture: alpha 0 or 255 at (%d, %d), got %d" % (x, y, a)):
                continue
            opaque_rows.add(y)
            opaque_cols.add(x)
            if (r, g, b) == (255, 255, 255) and not (x == 482 and 211 <= y <= 417):
                white_elsewhere.append((x, y))
    check((min(opaque_rows), max(opaque_rows)) == (3, 417),
          "picture: opaque rows 3..417, got %d..%d" % (min(opaque_rows), max(opaque_rows)))
    check((min(opaque_cols), max(opaque_cols)) == (13, 482),
          "picture: opaque columns 13..482, got %d..%d" % (min(opaque_cols), max(opaque_cols)))
    check(not white_elsewhere, "picture: pure white outside the panel's right column: %r" % white_elsewhere[:5])
    check(px[0, 429][3] == 0, "picture: bottom-left pixel transparent")
    check(all(px[499, y][3] == 0 for y in range(h)), "picture: last column transparent")
    gaps = [(x, y) for y in range(211, 418) for x in range(13, 483) if px[x, y][3] != 255]
    check(not gaps, "picture: panel rows 211..417 opaque from column 13 to 482, gaps at %r" % gaps[:5])
    check(all(px[482, y][:3] == (255, 255, 255) for y in range(211, 418)), "picture: column 482 of the panel white")
    # The dragon reaches row 3 at the upper left; the banner sits at the upper right.
    check(any(px[x, 3][3] for x in range(13, 250)), "picture: something opaque on row 3 in the left half")
    check(any(px[x, y][3] for y in range(3, 211) for x in range(400, 482)),
          "picture: art above the panel at the upper right")

    # The window's region: white is the key (the transparent corner composites
    # to white), so it is the opaque non-white pixels, in one-row runs.
    runs = pixels = 0
    for y in range(h):
        inside = False
        for x in range(w):
            r, g, b, a = px[x, y]
            is_in = a == 255 and (r, g, b) != (255, 255, 255)
            if is_in:
                pixels += 1
                if not inside:
                    runs += 1
            inside = is_in
    # The parts placed on the panel must lie on the region's pixels.
    for name, (x0, y0, x1, y1) in {"title labels": (96, 291, 403, 345), "progress bar": (41, 348, 457, 356),
                                   "install button": (45, 364, 190, 397), "close button": (315, 364, 460, 397)}.items():
        check(all(px[x, y][3] == 255 and px[x, y][:3] != (255, 255, 255)
                  for y in range(y0, y1 + 1) for x in range(x0, x1 + 1)), "picture: %s on the panel" % name)
    print("picture: region of %d pixels in %d one-row rectangles; %d opaque pixels, %d transparent" %
          (pixels, runs, sum(1 for y in range(h) for x in range(w) if px[x, y][3]),
           sum(1 for y in range(h) for x in range(w) if not px[x, y][3])))


KEY = (206, 178, 82)


def check_button(path):
    data = open(path, "rb").read()
    name = path.rsplit("/", 1)[-1]
    check(data[:2] == b"BM", "%s: BMP signature" % name)
    hdr_size, w, h, planes, bpp, compression = struct.unpack("<IiiHHI", data[14:34])
    check(hdr_size == 40 and (w, abs(h)) == (146, 34), "%s: 146 x 34 with a 40-byte header" % name)
    check(planes == 1 and bpp == 24 and compression == 0, "%s: 24-bit uncompressed" % name)
    img = Image.open(io.BytesIO(data))
    px = img.convert("RGB").load()
    keyed = {(x, y) for y in range(34) for x in range(146) if px[x, y] == KEY}
    border = {(x, 0) for x in range(146)} | {(0, y) for y in range(34)}
    check(len(border) == 179, "border count")
    check(keyed == border, "%s: key colour exactly on the top row and left column (%d pixels, %d stray)" %
          (name, len(keyed & border), len(keyed - border)))
    check(px[0, 33] == KEY, "%s: the bottom-left pixel is the key colour" % name)
    dark = lambda c: sum(c) < 200
    check(all(dark(px[x, 33]) for x in range(1, 146)) and all(dark(px[145, y]) for y in range(1, 34)),
          "%s: dark bottom and right lines" % name)
    interior = [px[x, y] for y in range(2, 32) for x in range(2, 144)]
    light = [c for c in interior if min(c) > 180]
    brown = [c for c in interior if c[0] > c[1] > c[2] and c[0] < 180]
    check(len(light) > 60, "%s: light lettering" % name)
    check(len(brown) > len(interior) // 2, "%s: a brown plate" % name)
    return img.convert("RGB").tobytes()


def check_icon(path):
    data = open(path, "rb").read()
    reserved, kind, count = struct.unpack("<HHH", data[:6])
    check((reserved, kind, count) == (0, 1, 5), "icon: one icon file of five images")
    seen = []
    for i in range(count):
        w, h, colours, _, planes, bpp, size, offset = struct.unpack("<BBBBHHII", data[6 + 16 * i:22 + 16 * i])
        side = w or 256
        seen.append(side)
        blob = data[offset:offset + size]
        check(bpp == 32, "icon %d: 32 bits per pixel in the directory" % side)
        if side == 256:
            check(blob[:8] == b"\x89PNG\r\n\x1a\n", "icon 256: stored as PNG")
            im = Image.open(io.BytesIO(blob))
            check(im.size == (256, 256) and im.mode == "RGBA", "icon 256: 256 x 256 RGBA PNG")
        else:
            bi = struct.unpack("<IiiHHI", blob[:20])
            check(bi == (40, side, 2 * side, 1, 32, 0), "icon %d: 32-bit bitmap, got %r" % (side, bi))
            mask = ((side + 31) // 32) * 4 * side
            check(size == 40 + side * side * 4 + mask, "icon %d: pixel and mask sizes" % side)
    check(sorted(seen) == [16, 24, 32, 48, 256], "icon: sizes 256, 48, 32, 24, 16, got %r" % seen)


def main():
    folder = sys.argv[1]
    check_picture(folder + "/picture.png")
    faces = [check_button(folder + "/" + n) for n in ("btn_install.bmp", "btn_uninstall.bmp", "btn_close.bmp")]
    check(len(set(faces)) == 3, "buttons: three different images")
    check_icon(folder + "/brunvald.ico")
    for f in failures:
        print("FAIL:", f)
    if not failures:
        print("assets: every rule holds")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
