#!/usr/bin/python3
"""Makes a synthetic mission folder: the manifest RCRES and the files it lists,
in the shapes the game's files have, with our own content.

    /usr/bin/python3 payload/mission/make_mission.py            # both missions
    /usr/bin/python3 payload/mission/make_mission.py --check    # regenerate in a temp dir and compare

Two missions are made: the example mission "Aurelmark" (marker ARMK, the
thirteen files the installer carries) in payload/mission/Aurelmark, and the
small test mission "Nordhafen" (marker NRDH) in tests/missions/Nordhafen.
The output is deterministic (fixed seeds, no time stamps), so the committed
files can be checked against a fresh run.

Needs Debian's python3-pil only.
"""

import filecmp
import io
import math
import os
import random
import shutil
import struct
import sys
import tempfile
import zlib

from PIL import Image, ImageDraw, ImageFilter, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
TITLE_FONT = os.path.join(REPO, "payload", "font", "DancingScript-Regular.otf")
SERIF_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSerif-Bold.ttf"
SERIF = "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf"

CRLF = b"\r\n"


# --------------------------------------------------------------------------
# The chunked compressed container of the game's maps, package and settings:
# signature AA BA DC FE, then chunks FF EF CD AB | packed length | unpacked
# length | one zlib stream of at most 32768 unpacked bytes; the package and
# the settings end with a 68-byte trailer.

FILE_SIG = bytes.fromhex("AABADCFE")
CHUNK_SIG = bytes.fromhex("FFEFCDAB")
TRAILER_HEAD = bytes.fromhex("EFCDABAA")
TRAILER_TAIL = bytes.fromhex("EFCDABAA04000000CCBBAAAA")
CHUNK = 32768


def container(data, trailer):
    out = bytearray(FILE_SIG)
    chunks = 0
    for i in range(0, len(data), CHUNK):
        part = data[i:i + CHUNK]
        packed = zlib.compress(part, 9)
        out += CHUNK_SIG + struct.pack("<II", len(packed), len(part)) + packed
        chunks += 1
    if trailer:
        # Our own fields: unpacked size, chunk count, checksum of the data, reserved zeros.
        body = struct.pack("<III", len(data), chunks, zlib.crc32(data) & 0xFFFFFFFF)
        body += bytes(68 - len(TRAILER_HEAD) - len(TRAILER_TAIL) - len(body))
        out += TRAILER_HEAD + body + TRAILER_TAIL
        assert len(TRAILER_HEAD + body + TRAILER_TAIL) == 68
    return bytes(out)


def city_map(seed, name, width, height):
    """A tile map: header, terrain heights, terrain kinds and a building layer."""
    rnd = random.Random(seed)
    hdr = b"MAPT" + struct.pack("<HH", width, height) + name.encode("ascii").ljust(32, b"\0")
    phases = [rnd.uniform(0, 6.28) for _ in range(6)]
    heights, kinds, build = bytearray(), bytearray(), bytearray()
    for y in range(height):
        for x in range(width):
            h = (math.sin(x * 0.07 + phases[0]) + math.sin(y * 0.05 + phases[1]) +
                 0.5 * math.sin((x + y) * 0.13 + phases[2]))
            hv = int(96 + 40 * h) & 0xFF
            heights.append(hv)
            kinds.append(0 if hv < 70 else 1 if hv < 110 else 2 if hv < 140 else 3)
            build.append(rnd.randrange(24) if rnd.random() < 0.08 else 0)
    return hdr + bytes(heights) + bytes(kinds) + bytes(build)


def campaign_package(seed, name, missions):
    """The campaign package: a small table of contents and one record per mission."""
    rnd = random.Random(seed)
    records = []
    for i in range(missions):
        text = ("%s mission %d: build a city of %d people, keep %d granaries full." %
                (name, i + 1, 1000 * (i + 2), i + 2)).encode("ascii")
        goals = struct.pack("<8I", *[rnd.randrange(50, 5000) for _ in range(8)])
        terrain = bytes(rnd.randrange(4) for _ in range(4096))
        records.append(struct.pack("<I", len(text)) + text + goals + terrain)
    toc = struct.pack("<I", missions)
    offset = 4 + 8 * missions
    for r in records:
        toc += struct.pack("<II", offset, len(r))
        offset += len(r)
    return b"CPAK" + toc + b"".join(records)


def campaign_settings(name, marker):
    lines = ["campaign=%s" % name, "marker=%s" % marker, "missions=3", "start_year=-2100",
             "difficulty=2", "rations=millet,rice,pork", "trade_partners=3"]
    return b"CSET" + ("\n".join(lines) + "\n").encode("ascii") * 12


# --------------------------------------------------------------------------
# Text files


BUILDINGS = [
    "Common Housing", "Elegant Housing", "Well", "Market", "Granary", "Mill", "Farm Plot",
    "Fishing Wharf", "Hunting Lodge", "Butcher", "Brewery", "Kiln", "Pottery Workshop",
    "Lumber Mill", "Quarry", "Stonecutter", "Bronze Smelter", "Ironworks", "Weaver",
    "Tailor", "Lacquer Workshop", "Papermaker", "Warehouse", "Trade Station", "Ferry Landing",
    "Watchtower", "Barracks", "Drill Yard", "City Wall", "Gatehouse", "Academy", "Library",
    "Temple", "Shrine", "Herbalist", "Acupuncturist", "Tax Office", "Palace", "Garden",
    "Pavilion", "Bridge", "Road Block", "Monument Yard", "Theatre", "Music School",
]


def building_models(seed):
    rnd = random.Random(seed)
    rows = []
    for label, f in (("Very Easy Modifiers", 0.6), ("Easy Modifiers", 0.8), ("Normal Modifiers", 1.0),
                     ("Hard Modifiers", 1.25), ("Very Hard Modifiers", 1.5)):
        rows.append("%s,%.2f,%.2f,%.2f,%.2f" % (label, f, f * 1.1, 2.0 - f, f * f))
    rows.append("ALL BUILDINGS")
    rows.append("Name,Cost,Workers,Desirability,Range,Fire Risk,Collapse Risk")
    for i, b in enumerate(BUILDINGS):
        rows.append("%s,%d,%d,%d,%d,%d,%d" % (b, rnd.randrange(2, 60) * 10, rnd.randrange(0, 30),
                                              rnd.randrange(-10, 12), rnd.randrange(1, 6),
                                              rnd.randrange(0, 8), rnd.randrange(0, 8)))
    return CRLF.join(r.encode("ascii") for r in rows) + CRLF


def tree_index(seed, reset):
    rnd = random.Random(seed)
    return b"".join((b"0" if reset or rnd.random() < 0.6 else b"1") + CRLF for _ in range(161))


def text_file(name, marker):
    """The game's text table: the signature "Emperor textfile", then a group
    index (offset and count per group), a string offset table, and the texts."""
    groups = [
        ["%s" % name, "Vantorel Mission", "Campaign of the %s river valley" % name],
        ["Build housing along the river.", "Keep the granaries full before winter.",
         "Open a trade route to the coast.", "Raise the walls before the raiders come."],
        ["Your people celebrate the harvest.", "A flood has damaged the lower city.",
         "Traders from the west have arrived.", "The %s council thanks you." % marker],
        ["Chengdu", "Hangzhou", "Yushu", "Victory", "Defeat"],
    ]
    texts = [t.encode("ascii") + b"\0" for g in groups for t in g]
    count = len(texts)
    head = b"Emperor textfile"
    assert len(head) == 16
    group_table = b""
    first = 0
    for g in groups:
        group_table += struct.pack("<II", first, len(g))
        first += len(g)
    offsets = b""
    pos = 0
    for t in texts:
        offsets += struct.pack("<I", pos)
        pos += len(t)
    body = struct.pack("<II", len(groups), count) + group_table + offsets + b"".join(texts)
    # Padding to a round size, as table files are.
    body += bytes((-len(head + body)) % 256)
    return head + body


def ini_file(marker):
    return ("[%s]\r\nv=1\r\nm=3\r\nd=2\r\nl=0" % marker).encode("ascii")


# --------------------------------------------------------------------------
# Pictures (baseline JFIF JPEG)


def jpeg(img):
    buf = io.BytesIO()
    img.save(buf, "JPEG", quality=88, optimize=False, progressive=False, subsampling=2)
    return buf.getvalue()


def ridge(rnd, width, base, amp):
    ph = [rnd.uniform(0, 6.28) for _ in range(4)]
    return [base - amp * (0.5 * math.sin(x * 0.006 + ph[0]) + 0.3 * math.sin(x * 0.017 + ph[1]) +
                          0.2 * math.sin(x * 0.041 + ph[2]) + 0.08 * math.sin(x * 0.11 + ph[3]))
            for x in range(width)]


def main_menu_picture(seed, name, size=(1024, 768)):
    """A dusk landscape of terraced hills with the mission's title plate."""
    w, h = size
    rnd = random.Random(seed)
    img = Image.new("RGB", size)
    d = ImageDraw.Draw(img)
    for y in range(h):  # sky from deep blue to amber
        t = y / h
        d.line((0, y, w, y), fill=(int(40 + 200 * t), int(50 + 110 * t), int(110 - 40 * t)))
    d.ellipse((w * 0.68, h * 0.18, w * 0.68 + 120, h * 0.18 + 120), fill=(250, 214, 140))
    layers = [((92, 70, 96), 0.50, 90), ((70, 58, 70), 0.58, 80), ((52, 60, 48), 0.68, 70), ((34, 44, 30), 0.80, 60)]
    for colour, base, amp in layers:
        line = ridge(rnd, w, h * base, amp)
        d.polygon([(0, h)] + [(x, line[x]) for x in range(w)] + [(w, h)], fill=colour)
    # A pagoda on the nearest ridge.
    px, py = int(w * 0.22), int(h * 0.62)
    for i in range(5):
        ww = 110 - i * 18
        d.rectangle((px - ww // 3, py - i * 34 - 26, px + ww // 3, py - i * 34), fill=(90, 30, 24))
        d.polygon([(px - ww // 2 - 14, py - i * 34 - 22), (px + ww // 2 + 14, py - i * 34 - 22),
                   (px + ww // 3, py - i * 34 - 40), (px - ww // 3, py - i * 34 - 40)], fill=(30, 24, 20))
    img = img.filter(ImageFilter.SMOOTH)
    d = ImageDraw.Draw(img)
    # The title plate.
    plate = (int(w * 0.30), int(h * 0.70), int(w * 0.95), int(h * 0.93))
    d.rounded_rectangle(plate, radius=18, fill=(110, 18, 26), outline=(220, 180, 80), width=6)
    font = ImageFont.truetype(TITLE_FONT, int(h * 0.11))
    l, t, r, b = font.getbbox(name)
    x = (plate[0] + plate[2] - (r - l)) // 2 - l
    y = (plate[1] + plate[3] - (b - t)) // 2 - t
    d.text((x + 3, y + 3), name, font=font, fill=(30, 6, 6))
    d.text((x, y), name, font=font, fill=(246, 214, 120))
    small = ImageFont.truetype(SERIF_BOLD, int(h * 0.03))
    d.text((plate[0] + 24, plate[1] - int(h * 0.05)), "Vantorel Mission", font=small, fill=(250, 236, 200))
    return img


def overview_map(seed, cities, size=(848, 746)):
    """The campaign's overview map on parchment: land, a river, the cities."""
    w, h = size
    rnd = random.Random(seed)
    img = Image.new("RGB", size, (226, 206, 160))
    d = ImageDraw.Draw(img)
    # Sea to the east, coastline from a wobbling curve.
    coast = [w * 0.72 + 60 * math.sin(y * 0.012 + 1.0) + 25 * math.sin(y * 0.05) for y in range(h)]
    d.polygon([(coast[y], y) for y in range(h)] + [(w, h), (w, 0)], fill=(120, 160, 176))
    for _ in range(40):  # hills
        x, y = rnd.randrange(40, int(w * 0.65)), rnd.randrange(40, h - 40)
        d.arc((x - 18, y - 10, x + 18, y + 14), 200, 340, fill=(120, 96, 60), width=2)
    river = [(w * 0.05 + i * w * 0.03, h * 0.4 + 60 * math.sin(i * 0.5)) for i in range(24)]
    d.line(river, fill=(96, 136, 160), width=6, joint="curve")
    img = img.filter(ImageFilter.SMOOTH_MORE)
    d = ImageDraw.Draw(img)
    d.rectangle((6, 6, w - 7, h - 7), outline=(110, 70, 30), width=5)
    font = ImageFont.truetype(SERIF_BOLD, 22)
    for i, city in enumerate(cities):
        x = int(w * (0.18 + 0.22 * i))
        y = int(h * (0.30 + 0.18 * (i % 2)))
        d.ellipse((x - 9, y - 9, x + 9, y + 9), fill=(150, 20, 28), outline=(40, 10, 10), width=2)
        d.text((x + 14, y - 12), city, font=font, fill=(50, 30, 14))
    return img


# --------------------------------------------------------------------------
# Missions


def write_mission(folder, lines, files):
    """lines: (resource name, file name) in manifest order; files: name -> bytes."""
    os.makedirs(folder, exist_ok=True)
    for entry in os.listdir(folder):
        os.remove(os.path.join(folder, entry))
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    manifest = b"\r\n".join(('%s RT_RCDATA "%s"' % line).encode("ascii") for line in lines)
    with open(os.path.join(folder, "RCRES"), "wb") as f:
        f.write(manifest)  # CR LF between lines, none after the last


def aurelmark(folder):
    name, marker = "Aurelmark", "ARMK"
    lines = [
        ("MainPic", "China_FE_MainMenu.jpg"),
        ("GaiaPic", "China_MapOfChina01.jpg"),
        ("Maps_01", "ChengduAmk.map"),
        ("Maps_02", "HangzhouAmk.map"),
        ("Maps_03", "YushuAmk.map"),
        ("CampPak", name + ".pak"),
        ("CampSet", name + ".set"),
        ("CampMap", name + "P.map"),
        ("CampMod", "EmperorBuildingModels.txt"),
        ("CampTR1", "TreeImage.Index"),
        ("CampTR2", "ResetTreeImage.Index"),
        ("CampEng", "EmperorText.eng"),
        ("CampInI", marker + ".ini"),
    ]
    files = {
        "China_FE_MainMenu.jpg": jpeg(main_menu_picture(1, name)),
        "China_MapOfChina01.jpg": jpeg(overview_map(2, ["Chengdu", "Hangzhou", "Yushu"])),
        "ChengduAmk.map": container(city_map(3, "Chengdu", 192, 160), trailer=False),
        "HangzhouAmk.map": container(city_map(4, "Hangzhou", 176, 160), trailer=False),
        "YushuAmk.map": container(city_map(5, "Yushu", 184, 150), trailer=False),
        name + ".pak": container(campaign_package(6, name, 24), trailer=True),
        name + ".set": container(campaign_settings(name, marker), trailer=True),
        name + "P.map": container(city_map(7, name, 64, 48), trailer=False),
        "EmperorBuildingModels.txt": building_models(8),
        "TreeImage.Index": tree_index(9, reset=False),
        "ResetTreeImage.Index": tree_index(9, reset=True),
        "EmperorText.eng": text_file(name, marker),
        marker + ".ini": ini_file(marker),
    }
    write_mission(folder, lines, files)


def nordhafen(folder):
    """A small second mission: other name and marker, a map whose file name has
    a blank, and a CampMsg line, which the example mission lacks."""
    name, marker = "Nordhafen", "NRDH"
    lines = [
        ("GaiaPic", "China_MapOfChina01.jpg"),
        ("Maps_01", "Fjord Hafen.map"),
        ("CampPak", name + ".pak"),
        ("CampSet", name + ".set"),
        ("CampMap", name + "P.map"),
        ("CampMsg", "EmperorMessages.txt"),
        ("CampInI", marker + ".ini"),
    ]
    msgs = CRLF.join(m.encode("ascii") for m in [
        "[messages]", "harvest=The fjord villages bring in the catch.",
        "storm=A storm keeps the boats in the harbour."]) + CRLF
    files = {
        "China_MapOfChina01.jpg": jpeg(overview_map(12, ["Fjordby", "Hafen"], size=(212, 186))),
        "Fjord Hafen.map": container(city_map(13, "Fjord Hafen", 48, 40), trailer=False),
        name + ".pak": container(campaign_package(14, name, 2), trailer=True),
        name + ".set": container(campaign_settings(name, marker), trailer=True),
        name + "P.map": container(city_map(15, name, 32, 24), trailer=False),
        "EmperorMessages.txt": msgs,
        marker + ".ini": ini_file(marker),
    }
    write_mission(folder, lines, files)


MISSIONS = [
    (aurelmark, os.path.join(REPO, "payload", "mission", "Aurelmark")),
    (nordhafen, os.path.join(REPO, "tests", "missions", "Nordhafen")),
]


def main():
    if "--check" in sys.argv[1:]:
        # Regenerate into a temporary folder and compare with the committed files.
        bad = 0
        with tempfile.TemporaryDirectory() as tmp:
            for make, folder in MISSIONS:
                fresh = os.path.join(tmp, os.path.basename(folder))
                make(fresh)
                cmp = filecmp.dircmp(folder, fresh)
                diff = cmp.left_only + cmp.right_only + cmp.diff_files
                # dircmp compares shallowly; compare contents for real.
                diff += [f for f in cmp.same_files
                         if not filecmp.cmp(os.path.join(folder, f), os.path.join(fresh, f), shallow=False)]
                for f in diff:
                    print("differs from a fresh run:", os.path.join(folder, f))
                bad += len(diff)
        return 1 if bad else 0
    for make, folder in MISSIONS:
        make(folder)
        print("mission written to", folder)
    return 0


if __name__ == "__main__":
    sys.exit(main())
