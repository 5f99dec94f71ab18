#!/usr/bin/python3
"""Checks that the committed example mission has the shapes of the game's
files, read independently of the generator:

    check_mission.py MISSION_DIR

- RCRES: the thirteen lines, ASCII, CR LF between lines and none after the last;
- the two pictures: baseline (SOF0) JFIF JPEGs of 1024 x 768 and 848 x 746;
- the containers: signature AA BA DC FE, chunks FF EF CD AB whose zlib stream
  unpacks to exactly the stated length (at most 32768), the 68-byte trailer on
  the package and the settings only;
- the text files: the models table, the two tree-image indexes, the text table
  signature and the marker's .ini.
"""

import os
import re
import struct
import sys
import zlib

failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
    return cond


MANIFEST = [
    ("MainPic", "China_FE_MainMenu.jpg"), ("GaiaPic", "China_MapOfChina01.jpg"),
    ("Maps_01", "ChengduAmk.map"), ("Maps_02", "HangzhouAmk.map"), ("Maps_03", "YushuAmk.map"),
    ("CampPak", "Aurelmark.pak"), ("CampSet", "Aurelmark.set"), ("CampMap", "AurelmarkP.map"),
    ("CampMod", "EmperorBuildingModels.txt"), ("CampTR1", "TreeImage.Index"),
    ("CampTR2", "ResetTreeImage.Index"), ("CampEng", "EmperorText.eng"), ("CampInI", "ARMK.ini"),
]


def jpeg_frame(data):
    """(SOF marker, width, height, has JFIF APP0) from the JPEG's markers."""
    check(data[:2] == b"\xff\xd8", "JPEG SOI")
    pos, jfif = 2, False
    while pos + 4 <= len(data):
        marker, length = data[pos + 1], struct.unpack(">H", data[pos + 2:pos + 4])[0]
        if marker == 0xE0 and data[pos + 4:pos + 9] == b"JFIF\0":
            jfif = True
        if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            h, w = struct.unpack(">HH", data[pos + 5:pos + 9])
            return marker, w, h, jfif
        pos += 2 + length
    return None, 0, 0, jfif


def container(name, data, trailer):
    check(data[:4] == bytes.fromhex("AABADCFE"), "%s: file signature" % name)
    pos, chunks = 4, 0
    end = len(data) - (68 if trailer else 0)
    while pos < end:
        if not check(data[pos:pos + 4] == bytes.fromhex("FFEFCDAB"), "%s: chunk signature at %d" % (name, pos)):
            return
        packed, unpacked = struct.unpack("<II", data[pos + 4:pos + 12])
        check(unpacked <= 32768, "%s: chunk of %d unpacked bytes" % (name, unpacked))
        d = zlib.decompressobj()
        out = d.decompress(data[pos + 12:pos + 12 + packed])
        check(d.eof and not d.unused_data and len(out) == unpacked,
              "%s: chunk at %d is one zlib stream of exactly %d bytes" % (name, pos, unpacked))
        pos += 12 + packed
        chunks += 1
    check(pos == end and chunks > 0, "%s: chunks end exactly at the %s" % (name, "trailer" if trailer else "file end"))
    if trailer:
        t = data[-68:]
        check(t[:4] == bytes.fromhex("EFCDABAA") and t[-12:] == bytes.fromhex("EFCDABAA04000000CCBBAAAA"),
              "%s: the 68-byte trailer" % name)


def lines_crlf(name, data):
    check(data.endswith(b"\r\n") and b"\n" not in data.replace(b"\r\n", b"") and
          b"\r" not in data.replace(b"\r\n", b""), "%s: every line ended by CR LF" % name)
    return data.decode("ascii").split("\r\n")[:-1]


def main():
    folder = sys.argv[1]
    read = lambda n: open(os.path.join(folder, n), "rb").read()

    rcres = read("RCRES")
    check(all(b < 128 for b in rcres), "RCRES: ASCII")
    check(not rcres.endswith(b"\n") and rcres.count(b"\r\n") == 12 and rcres.count(b"\n") == 12 and
          rcres.count(b"\r") == 12, "RCRES: thirteen lines, CR LF between them, none after the last")
    check(rcres.decode("ascii").split("\r\n") == ['%s RT_RCDATA "%s"' % l for l in MANIFEST],
          "RCRES: the example mission's thirteen lines in order")
    check(sorted(os.listdir(folder)) == sorted([f for _, f in MANIFEST] + ["RCRES"]),
          "the folder holds the manifest and its thirteen files only")

    for name, size in (("China_FE_MainMenu.jpg", (1024, 768)), ("China_MapOfChina01.jpg", (848, 746))):
        sof, w, h, jfif = jpeg_frame(read(name))
        check(sof == 0xC0 and (w, h) == size and jfif, "%s: baseline JFIF %dx%d, got SOF %r %dx%d JFIF %r" %
              (name, size[0], size[1], sof, w, h, jfif))

    for name, trailer in (("ChengduAmk.map", False), ("HangzhouAmk.map", False), ("YushuAmk.map", False),
                          ("Aurelmark.pak", True), ("Aurelmark.set", True), ("AurelmarkP.map", False)):
        container(name, read(name), trailer)

    models = lines_crlf("EmperorBuildingModels.txt", read("EmperorBuildingModels.txt"))
    check([l.split(",")[0] for l in models[:5]] == ["Very Easy Modifiers", "Easy Modifiers", "Normal Modifiers",
                                                     "Hard Modifiers", "Very Hard Modifiers"],
          "models: five difficulty rows")
    check(models[5:6] == ["ALL BUILDINGS"] and len(models) > 10 and all("," in l for l in models[6:]),
          "models: then ALL BUILDINGS with comma-separated rows")
    tree = lines_crlf("TreeImage.Index", read("TreeImage.Index"))
    reset = lines_crlf("ResetTreeImage.Index", read("ResetTreeImage.Index"))
    check(len(tree) == 161 and set(tree) <= {"0", "1"} and "1" in tree, "TreeImage.Index: 161 lines of 0 or 1")
    check(reset == ["0"] * 161, "ResetTreeImage.Index: 161 lines of 0")
    check(read("EmperorText.eng")[:16] == b"Emperor textfile", "EmperorText.eng: signature")
    ini = read("ARMK.ini").decode("ascii")
    check(re.fullmatch(r"\[ARMK\](\r\n[^\r\n]+){4}(\r\n)?", ini) is not None, "ARMK.ini: [ARMK] and four lines")

    for f in failures:
        print("FAIL:", f)
    if not failures:
        print("mission %s: every file in its shape" % os.path.basename(os.path.normpath(folder)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
