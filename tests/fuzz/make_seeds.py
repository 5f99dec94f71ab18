#!/usr/bin/env python3
"""Writes the seed corpora of the manifest and command-line fuzzers.

    python3 tests/fuzz/make_seeds.py          (from the repository's root)

The seeds are committed; this script only documents how they came about and
rewrites them when a case is added. The PNG seeds are copies of the decoder's
small test pictures (tests/native/ui/make_png_fixtures.py).
"""
import pathlib

ROOT = pathlib.Path(__file__).resolve().parents[2]
CORPUS = ROOT / "tests" / "fuzz" / "corpus"

AURELMARK = (ROOT / "payload" / "mission" / "Aurelmark" / "RCRES").read_bytes()
NORDHAFEN = (ROOT / "tests" / "missions" / "Nordhafen" / "RCRES").read_bytes()
WITH_UMLAUT = ('CampPak RT_RCDATA "Nordmärk Öst.pak"\r\n'
               'Maps_01 RT_RCDATA "Fjord Hafen.map"\r\n'
               'CampInI RT_RCDATA "NÖRD.ini"\r\n')


def manifest_seeds():
    text = AURELMARK.decode("cp1252")
    yield "aurelmark-ansi", AURELMARK
    yield "nordhafen-ansi", NORDHAFEN
    yield "aurelmark-utf8", b"\xef\xbb\xbf" + text.encode("utf-8")
    yield "aurelmark-utf16le", b"\xff\xfe" + text.encode("utf-16-le")
    yield "aurelmark-utf16be", b"\xfe\xff" + text.encode("utf-16-be")
    yield "umlaut-ansi", WITH_UMLAUT.encode("cp1252")
    yield "umlaut-utf8", b"\xef\xbb\xbf" + WITH_UMLAUT.encode("utf-8")
    yield "umlaut-utf16le", b"\xff\xfe" + WITH_UMLAUT.encode("utf-16-le")
    yield "umlaut-utf16be", b"\xfe\xff" + WITH_UMLAUT.encode("utf-16-be")
    # Breaks of every kind, empty lines, a break at the very end.
    yield "breaks", b'CampPak RT_RCDATA "A.pak"\n\nMaps RT_RCDATA "B.map"\r\rCampInI RT_RCDATA "C.ini"\n\r\r\n'
    # A NUL ends the text; the rest must be ignored.
    yield "nul", b'CampPak RT_RCDATA "A.pak"\r\n\0CampInI RT_RCDATA "X.ini"\r\n'
    # Lines too short for the fixed offsets, without a blank, only blanks.
    yield "short-lines", b'CampPak\r\nCampPak \r\n CampPak RT\r\nCampInI RT_RCDATA "\r\n   \r\nx y\r\n"\r\n'
    yield "tabs-and-blanks", b'\tCampPak\t RT_RCDATA "T.pak"\r\nMaps_01  RT_RCDATA  "M.map"\r\n CampInI RT_RCDATA "I.ini" \r\n'
    yield "cp1252-high", bytes(range(0x80, 0x100)) + b'\r\nCampPak RT_RCDATA "\x80\x81\x8d\x8f\x90\x9d.pak"'
    # Ill-formed UTF-8: lone continuations, overlongs, surrogates, truncations, too large.
    yield "utf8-malformed", (b"\xef\xbb\xbf" b'CampPak RT_RCDATA "\x80\xbf\xc0\xaf\xe0\x80\xaf\xed\xa0\x80.pak"\r\n'
                             b'CampInI RT_RCDATA "\xf4\x90\x80\x80\xf0\x9f\x98\x80\xe2\x82.ini"\r\n\xc3')
    # Paired and unpaired surrogates, a lone last byte.
    yield "utf16le-surrogates", b"\xff\xfe" + 'CampPak RT_RCDATA "\U0001F600'.encode("utf-16-le") + b"\x00\xd8\x00\xdc\x00\xdc" + '.pak"\r\n'.encode("utf-16-le") + b"\x41"
    yield "utf16be-odd", b"\xfe\xff" + 'CampInI RT_RCDATA "Q.ini"'.encode("utf-16-be") + b"\x00"
    yield "empty", b""
    yield "marks-only", b"\xef\xbb\xbf\r\n"


def command_line_seeds():
    exe = '"C:\\Spiele\\Kaiser\\Data\\BrunVald.EXE"'
    lines = {
        "program-only": exe,
        "uninstall": exe + " UNINSTALL",
        "uninstall-quoted": exe + ' "UNINSTALL"',
        "uninstall-split-quotes": exe + ' UNIN"STALL"',
        "uninstall-lower": exe + " uninstall",
        "uninstall-suffix": exe + " UNINSTALLX more",
        "uninstall-second": exe + " X UNINSTALL",
        "uninstall-tabs": exe + "\t\tUNINSTALL\t",
        "unquoted-blank": "C:\\Spiele Neu\\Data\\BrunVald.EXE UNINSTALL",
        "empty-pairs": '"" ' + exe + ' "" "" UNINSTALL',
        "open-quote": exe + ' "UNINSTALL',
        "controls": exe + "\x01\x1f UNINSTALL\x20\x7f",
        "nul": exe + " \0UNINSTALL",
        "quotes-only": '"""""',
        "empty": "",
    }
    for name, line in lines.items():
        yield name, line.encode("latin-1")
    yield "uninstall-utf16", b"\xff\xfe" + (exe + ' "Ä Ö" UNINSTALL').encode("utf-16-le")
    yield "umlaut-path-utf16", b"\xff\xfe" + '"C:\\Spiele\\Kaiser Ä\\Data\\Brunvald.exe" UNINSTALL'.encode("utf-16-le")


def write(target, seeds):
    folder = CORPUS / target
    folder.mkdir(parents=True, exist_ok=True)
    for name, data in seeds:
        (folder / name).write_bytes(data)


write("manifest", manifest_seeds())
write("command_line", command_line_seeds())
