#!/usr/bin/python3
"""Makes the window's artwork: picture.png, the three button bitmaps and the icon.

Run it from anywhere with Debian's python3 (python3-pil). It needs two more
Debian packages at generation time only: librsvg2-bin (rsvg-convert) and
openclipart-svg (the public-domain drawings of the dragon and the banner);
`scripts/bootstrap --assets` installs them. The build never runs it; the
generated files are committed beside it.

    /usr/bin/python3 ui/assets/make_assets.py

The output is deterministic: every random texture comes from a fixed seed and
the PNG's time chunk carries a fixed date.
"""

import io
import os
import random
import re
import struct
import subprocess
import sys
import zlib

from PIL import Image, ImageDraw, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
CLIPART = "/usr/share/openclipart/svg"
DRAGON_SVG = CLIPART + "/animals/cymru_flag_wales_michae_.svg"
BANNER_SVG = CLIPART + "/signs_and_symbols/awards/banner_02.svg"
TITLE_FONT = os.path.join(REPO, "payload", "font", "DancingScript-Regular.otf")
BUTTON_FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSerif-Bold.ttf"

# Geometry the window code relies on (see ui/resource_ids.h and the layout of
# the window): the picture's size, the opaque outline and the panel.
PIC_W, PIC_H = 500, 430
TOP, BOTTOM = 3, 417            # first and last opaque row
LEFT, RIGHT = 13, 482           # first and last opaque column
PANEL_TOP = 211                 # the panel: rows 211..417, columns 13..482
WHITE = (255, 255, 255)

KEY = (206, 178, 82)            # the buttons' key colour (their light-gold top/left line)
BTN_W, BTN_H = 146, 34

GOLD = (214, 170, 72)
GOLD_LIGHT = (240, 210, 130)
GOLD_DARK = (140, 98, 34)
DARK = (34, 18, 8)


# --------------------------------------------------------------------------
# Small helpers


def render_svg(svg_text, width):
    """Renders SVG text to an RGBA image of the given width with rsvg-convert."""
    out = subprocess.run(["rsvg-convert", "-w", str(width), "-f", "png"],
                         input=svg_text.encode("utf-8"), stdout=subprocess.PIPE,
                         check=True).stdout
    return Image.open(io.BytesIO(out)).convert("RGBA")


def dragon_svg():
    """The heraldic dragon alone, in gold: the drawing's flag background is removed."""
    text = open(DRAGON_SVG, encoding="utf-8").read()
    text = re.sub(r"<rect[^>]*/>", "", text)
    return text.replace("fill:#ff0000", "fill:#d6a43c")


def banner_svg():
    """The ribbon banner in crimson with gold edges; its five paths are, in order,
    the two tails, the two folds and the band."""
    text = open(BANNER_SVG, encoding="utf-8").read()
    fills = iter(["#5e1010", "#5e1010", "#3c0a0a", "#3c0a0a", "#961c1c"])
    text = re.sub(r"fill:#ffffff", lambda m: "fill:" + next(fills), text)
    return text.replace("stroke:black", "stroke:#e6bf5c")


def hard_alpha(img, threshold=128, under=DARK):
    """Makes every pixel fully opaque or fully transparent. A kept edge pixel is
    blended over a dark colour so that the hard outline reads as an ink line
    instead of a light halo; dropped pixels become transparent black."""
    src = img.load()
    out = Image.new("RGBA", img.size, (0, 0, 0, 0))
    dst = out.load()
    for y in range(img.height):
        for x in range(img.width):
            r, g, b, a = src[x, y]
            if a >= threshold:
                dst[x, y] = (
                    (r * a + under[0] * (255 - a)) // 255,
                    (g * a + under[1] * (255 - a)) // 255,
                    (b * a + under[2] * (255 - a)) // 255,
                    255)
    return out


def wood(w, h, seed, base, grain=14, noise=10, wave=0.045):
    """A brown wood texture: horizontal grain bands bent by a slow wave, plus noise."""
    rnd = random.Random(seed)
    phases = [rnd.uniform(0, 6.283) for _ in range(4)]
    img = Image.new("RGB", (w, h))
    px = img.load()
    import math
    for y in range(h):
        for x in range(w):
            bend = 3.0 * math.sin(x * wave + phases[0]) + 1.5 * math.sin(x * wave * 2.7 + phases[1])
            band = math.sin((y + bend) * 0.9 + phases[2]) * 0.6 + math.sin((y + bend) * 0.23 + phases[3]) * 0.4
            d = int(band * grain) + rnd.randint(-noise, noise)
            px[x, y] = tuple(max(0, min(254, c + d)) for c in base)
    return img


def text_mask(size, text, font, xy):
    mask = Image.new("L", size, 0)
    ImageDraw.Draw(mask).text(xy, text, font=font, fill=255)
    return mask


def centred_origin(font, text, box):
    """Top-left origin that centres the ink of text in box (x0, y0, x1, y1)."""
    l, t, r, b = font.getbbox(text)
    x0, y0, x1, y1 = box
    return (x0 + (x1 - x0 - (r - l)) // 2 - l, y0 + (y1 - y0 - (b - t)) // 2 - t)


# --------------------------------------------------------------------------
# The window's picture


def draw_panel(canvas):
    """The framed brown panel, rows 211..417, columns 13..482."""
    w, h = RIGHT - LEFT + 1, BOTTOM - PANEL_TOP + 1
    panel = wood(w, h, seed=4711, base=(118, 66, 32)).convert("RGBA")
    d = ImageDraw.Draw(panel)
    last_x, last_y = w - 2, h - 1   # column w-1 is the white key column
    # Outer frame: ink line, gold bevel (light on top/left, dark on bottom/right), ink line.
    d.rectangle((0, 0, last_x, last_y), outline=DARK)
    for i, (hi, lo) in enumerate([(GOLD_LIGHT, GOLD_DARK), (GOLD, GOLD_DARK), (GOLD, (110, 76, 26))], start=1):
        d.line((i, i, last_x - i, i), fill=hi)
        d.line((i, i, i, last_y - i), fill=hi)
        d.line((i, last_y - i, last_x - i, last_y - i), fill=lo)
        d.line((last_x - i, i, last_x - i, last_y - i), fill=lo)
    d.rectangle((4, 4, last_x - 4, last_y - 4), outline=DARK)
    # A thin gold rule inside the frame.
    d.rectangle((9, 9, last_x - 9, last_y - 9), outline=GOLD_DARK)

    # The title field behind the two title labels (window 96..403 x 291..345).
    tx0, ty0, tx1, ty1 = 70 - LEFT, 280 - PANEL_TOP, 428 - LEFT, 346 - PANEL_TOP
    d.rounded_rectangle((tx0, ty0, tx1, ty1), radius=10, fill=(64, 30, 14), outline=GOLD)
    d.rounded_rectangle((tx0 + 3, ty0 + 3, tx1 - 3, ty1 - 3), radius=8, outline=GOLD_DARK)

    # The progress bar's bed (window 41..457 x 348..356) and the button beds.
    d.rectangle((38 - LEFT, 347 - PANEL_TOP, 460 - LEFT, 357 - PANEL_TOP), fill=(58, 28, 12))
    for bx in (45, 315):
        d.rectangle((bx - 3 - LEFT, 362 - PANEL_TOP, bx + 147 - LEFT, 399 - PANEL_TOP), fill=(64, 32, 14),
                    outline=GOLD_DARK)

    # Ornaments: gold studs in the corners and a scroll rule above the title field.
    for cx, cy in ((16, 16), (last_x - 16, 16), (16, last_y - 16), (last_x - 16, last_y - 16)):
        d.regular_polygon((cx, cy, 5), 4, rotation=45, fill=GOLD, outline=DARK)
    mid = (tx0 + tx1) // 2
    y = ty0 - 14
    d.line((tx0 + 30, y, mid - 14, y), fill=GOLD_DARK, width=2)
    d.line((mid + 14, y, tx1 - 30, y), fill=GOLD_DARK, width=2)
    d.regular_polygon((mid, y, 7), 4, rotation=45, fill=GOLD, outline=DARK)
    for sx in (tx0 + 30, tx1 - 30):
        d.ellipse((sx - 3, y - 3, sx + 3, y + 3), fill=GOLD, outline=DARK)

    canvas.alpha_composite(panel, (LEFT, PANEL_TOP))
    # The white column on the panel's right edge: it lies outside the window's
    # region (white is the region's key colour) and is the only white pixel.
    px = canvas.load()
    for y in range(PANEL_TOP, BOTTOM + 1):
        px[RIGHT, y] = WHITE + (255,)


def draw_banner(canvas):
    band = render_svg(banner_svg(), 300)
    band = band.crop(band.getbbox())
    band = band.resize((224, int(band.height * 224 / band.width)), Image.LANCZOS)
    # The title on the band, in the title font, gold over a dark shadow.
    font = ImageFont.truetype(TITLE_FONT, 38)
    text = "Brunvald"
    box = (34, 6, band.width - 34, band.height - 22)
    ox, oy = centred_origin(font, text, box)
    shadow = text_mask(band.size, text, font, (ox + 2, oy + 2))
    ink = text_mask(band.size, text, font, (ox, oy))
    band.paste((40, 8, 8, 255), (0, 0), Image.composite(shadow, Image.new("L", band.size, 0), band.getchannel("A")))
    band.paste(GOLD_LIGHT + (255,), (0, 0), Image.composite(ink, Image.new("L", band.size, 0), band.getchannel("A")))
    band = hard_alpha(band)
    bx = RIGHT - band.width - 4
    by = 66
    canvas.alpha_composite(band, (bx, by))


def draw_dragon(canvas):
    dragon = render_svg(dragon_svg(), 480).transpose(Image.FLIP_LEFT_RIGHT)
    dragon = hard_alpha(dragon)
    dragon = dragon.crop(dragon.getbbox())
    # Scale so the dragon stands on the panel's top frame; re-harden after the
    # resize, then place its first opaque row exactly on row 3.
    scale = 214 / dragon.height
    dragon = dragon.resize((int(dragon.width * scale), 214), Image.LANCZOS)
    dragon = hard_alpha(dragon)
    dragon = dragon.crop(dragon.getbbox())
    canvas.alpha_composite(dragon, (LEFT + 6, TOP))


def finish_picture(canvas):
    """Enforces the picture's pixel rules: alpha 0 or 255, transparent pixels
    black, pure white only in the panel's right-hand column."""
    px = canvas.load()
    for y in range(PIC_H):
        for x in range(PIC_W):
            r, g, b, a = px[x, y]
            if a < 128:
                px[x, y] = (0, 0, 0, 0)
                continue
            if not (LEFT <= x <= RIGHT and TOP <= y <= BOTTOM):
                sys.exit("art outside the picture's opaque area at (%d, %d)" % (x, y))
            if (r, g, b) == WHITE and not (x == RIGHT and y >= PANEL_TOP):
                r, g, b = 254, 254, 254
            px[x, y] = (r, g, b, 255)


def make_picture():
    canvas = Image.new("RGBA", (PIC_W, PIC_H), (0, 0, 0, 0))
    draw_panel(canvas)
    draw_banner(canvas)
    draw_dragon(canvas)
    draw_panel_edge(canvas)
    finish_picture(canvas)
    return canvas


def draw_panel_edge(canvas):
    """The dragon's feet and the banner's tail overlap the panel's top edge; the
    white column must stay white there too."""
    px = canvas.load()
    for y in range(PANEL_TOP, BOTTOM + 1):
        px[RIGHT, y] = WHITE + (255,)


# --------------------------------------------------------------------------
# PNG writer: Pillow cannot write Adam7 interlacing, so the chunks are made here.

ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def filter_row(row, prev, bpp):
    """Chooses the filter with the smallest sum of absolute values (the usual
    heuristic); all five filter types occur, which exercises a decoder fully."""
    best = None
    for ftype in range(5):
        out = bytearray(len(row))
        for i, x in enumerate(row):
            a = row[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            pred = (0, a, b, (a + b) // 2, paeth(a, b, c))[ftype]
            out[i] = (x - pred) & 0xFF
        cost = sum(v if v < 128 else 256 - v for v in out)
        if best is None or cost < best[0]:
            best = (cost, ftype, out)
    return bytes([best[1]]) + bytes(best[2])


def write_png_adam7(img, path, when=(2026, 12, 10, 0, 0, 0)):
    w, h = img.size
    pix = img.tobytes()  # RGBA, 4 bytes per pixel
    raw = bytearray()
    for x0, y0, dx, dy in ADAM7:
        pw = (w - x0 + dx - 1) // dx if w > x0 else 0
        ph = (h - y0 + dy - 1) // dy if h > y0 else 0
        if pw == 0 or ph == 0:
            continue
        prev = bytes(pw * 4)
        for y in range(y0, h, dy):
            row = bytearray()
            for x in range(x0, w, dx):
                o = (y * w + x) * 4
                row += pix[o:o + 4]
            raw += filter_row(bytes(row), prev, 4)
            prev = bytes(row)
    data = zlib.compress(bytes(raw), 9)
    out = b"\x89PNG\r\n\x1a\n"
    out += png_chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 1))
    out += png_chunk(b"gAMA", struct.pack(">I", 45455))
    out += png_chunk(b"pHYs", struct.pack(">IIB", 20000, 20000, 1))
    out += png_chunk(b"tIME", struct.pack(">HBBBBB", *when))
    for i in range(0, len(data), 16384):  # several IDAT chunks, as encoders write them
        out += png_chunk(b"IDAT", data[i:i + 16384])
    out += png_chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(out)


# --------------------------------------------------------------------------
# Button images


def make_button(text, seed):
    img = Image.new("RGB", (BTN_W, BTN_H))
    plate = wood(BTN_W, BTN_H, seed=seed, base=(112, 62, 28), grain=10, noise=8, wave=0.08)
    # Lighter towards the top, as if lit from above.
    px = plate.load()
    for y in range(BTN_H):
        lift = int(22 * (1 - y / (BTN_H - 1))) - 6
        for x in range(BTN_W):
            px[x, y] = tuple(max(0, min(254, c + lift)) for c in px[x, y])
    img.paste(plate)
    d = ImageDraw.Draw(img)
    # Inner bevel one pixel inside the outer lines.
    d.line((1, 1, BTN_W - 2, 1), fill=(168, 116, 56))
    d.line((1, 1, 1, BTN_H - 2), fill=(168, 116, 56))
    d.line((1, BTN_H - 2, BTN_W - 2, BTN_H - 2), fill=(74, 38, 14))
    d.line((BTN_W - 2, 1, BTN_W - 2, BTN_H - 2), fill=(74, 38, 14))
    # Lettering: centred on the part of the image the button shows (the last
    # row and column fall outside the 145 x 33 button).
    font = ImageFont.truetype(BUTTON_FONT, 15)
    ox, oy = centred_origin(font, text, (1, 1, BTN_W - 1, BTN_H - 1))
    d.text((ox + 1, oy + 1), text, font=font, fill=(36, 16, 4))
    d.text((ox, oy), text, font=font, fill=(250, 236, 196))
    # Outer lines: light gold (the key colour) on top and left, dark brown on
    # bottom and right.
    d.line((0, BTN_H - 1, BTN_W - 1, BTN_H - 1), fill=(46, 22, 8))
    d.line((BTN_W - 1, 0, BTN_W - 1, BTN_H - 1), fill=(46, 22, 8))
    d.line((0, 0, BTN_W - 1, 0), fill=KEY)
    d.line((0, 0, 0, BTN_H - 1), fill=KEY)
    # The key colour may appear nowhere else: nudge any accidental match.
    px = img.load()
    for y in range(1, BTN_H):
        for x in range(1, BTN_W):
            if px[x, y] == KEY:
                px[x, y] = (KEY[0], KEY[1], KEY[2] + 1)
    return img


# --------------------------------------------------------------------------
# Icon: a gold-framed maroon plate with the dragon, five sizes, 32 bpp.


def icon_master(size):
    img = Image.new("RGBA", (size, size), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    r = max(2, size // 8)
    frame = max(1, size // 16)
    d.rounded_rectangle((0, 0, size - 1, size - 1), radius=r, fill=GOLD_DARK + (255,))
    d.rounded_rectangle((frame // 2, frame // 2, size - 1 - frame // 2, size - 1 - frame // 2),
                        radius=r, fill=GOLD + (255,))
    d.rounded_rectangle((frame, frame, size - 1 - frame, size - 1 - frame),
                        radius=max(1, r - frame), fill=(104, 16, 28, 255))
    if size >= 24:
        inner = size - 2 * frame - max(2, size // 12) * 2
        dragon = render_svg(dragon_svg(), inner * 3)
        dragon = dragon.crop(dragon.getbbox())
        scale = inner / max(dragon.width, dragon.height)
        dragon = dragon.resize((max(1, round(dragon.width * scale)), max(1, round(dragon.height * scale))),
                               Image.LANCZOS)
        img.alpha_composite(dragon, ((size - dragon.width) // 2, (size - dragon.height) // 2))
    else:
        # Too small for the dragon: a gold lozenge on the plate.
        c = size // 2
        d.regular_polygon((c, c, size // 3), 4, fill=GOLD_LIGHT + (255,))
    return img


def bmp_icon_image(img):
    """A 32 bpp icon bitmap: header with double height, BGRA rows bottom-up, AND mask."""
    w, h = img.size
    px = img.load()
    xor = bytearray()
    for y in range(h - 1, -1, -1):
        for x in range(w):
            r, g, b, a = px[x, y]
            xor += bytes((b, g, r, a))
    mask_stride = ((w + 31) // 32) * 4
    andmask = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(mask_stride)
        for x in range(w):
            if px[x, y][3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        andmask += row
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(andmask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(andmask)


def write_ico(images, path):
    """images: list of (size, bytes, is_png)."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, blobs = b"", b""
    for size, blob, _ in images:
        dim = 0 if size >= 256 else size
        entries += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
        blobs += blob
    with open(path, "wb") as f:
        f.write(out + entries + blobs)


def make_icon(path):
    images = []
    big = icon_master(256)
    buf = io.BytesIO()
    big.save(buf, "PNG", optimize=True)
    images.append((256, buf.getvalue(), True))
    for size in (48, 32, 24, 16):
        images.append((size, bmp_icon_image(icon_master(size)), False))
    write_ico(images, path)


# --------------------------------------------------------------------------


def main():
    picture = make_picture()
    path = os.path.join(HERE, "picture.png")
    write_png_adam7(picture, path)
    back = Image.open(path)
    back.load()
    if back.mode != "RGBA" or back.size != picture.size or back.tobytes() != picture.tobytes():
        sys.exit("picture.png does not read back as written")
    for name, text, seed in (("btn_install.bmp", "Installieren", 11),
                             ("btn_uninstall.bmp", "Deinstallieren", 12),
                             ("btn_close.bmp", "Beenden", 13)):
        make_button(text, seed).save(os.path.join(HERE, name), "BMP")
    make_icon(os.path.join(HERE, "brunvald.ico"))
    print("assets written to", HERE)


if __name__ == "__main__":
    main()
