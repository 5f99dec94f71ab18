#!/usr/bin/python3
"""Reads an installer's resource directory with pefile (not our code) and checks
it against the mission folder it was built from.

    check_installer.py INSTALLER.exe MISSION_DIR FONT_FILE APP_MANIFEST [--resources-on-page]

- every manifest line's file under the type named "RT_RCDATA", under the line's
  name in capitals, in language 1031, with exactly the file's bytes; RCRES too;
- no payload name under the numeric RT_RCDATA (10);
- the title font under type "China", name "TTF" (and not the swapped pair);
- the version block: fixed file version 1.2.6593.38686, product version
  1.2.0.0, flags mask 0x3F, OS 4, type 1, the strings of "040904E4" and the
  translation 0x0409, 0x04E4;
- one application manifest (resource 1 of type 24) with our content;
- the icon group MAINICON (1033) with five 32-bit images, 256 of them PNG;
- with --resources-on-page: the resource section starts on a page (4096
  bytes) in the file, so that Wine maps the payload instead of reading it
  into the process's private memory at start (the build puts it there; the
  builder must too).
"""

import os
import re
import struct
import sys

import pefile

RT_ICON, RT_RCDATA, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 10, 14, 16, 24

failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
    return cond


def key_of(entry):
    return str(entry.name) if entry.name is not None else entry.id


def resource_tree(pe):
    """{type: {name: {language: bytes}}}; names and types as str or int."""
    tree = {}
    mm = pe.get_memory_mapped_image()
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        names = tree.setdefault(key_of(t), {})
        for n in t.directory.entries:
            langs = names.setdefault(key_of(n), {})
            for l in n.directory.entries:
                rva, size = l.data.struct.OffsetToData, l.data.struct.Size
                langs[l.id] = bytes(mm[rva:rva + size])
    return tree


def resource_section(pe):
    rva = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]].VirtualAddress
    return next((s for s in pe.sections if rva and s.VirtualAddress == rva), None)


def move_resources_off_page(exe, out):
    """Writes a copy of the program whose resource section (and what follows
    it in the file) lies 512 bytes or 1024 bytes further on, off a page: a
    valid program, as a linker with a file alignment of 512 may make it.
    False, and nothing written, for a file alignment of a page or more, where
    no section can start off a page."""
    pe = pefile.PE(exe, fast_load=True)
    if pe.OPTIONAL_HEADER.FileAlignment >= 4096:
        return False
    section = resource_section(pe)
    at = section.PointerToRawData
    by = 512 if (at + 512) % 4096 else 1024
    for s in pe.sections:
        if s.SizeOfRawData and s.PointerToRawData >= at:
            s.PointerToRawData += by
    if pe.FILE_HEADER.PointerToSymbolTable >= at:
        pe.FILE_HEADER.PointerToSymbolTable += by
    original = open(exe, "rb").read()
    moved = pefile.PE(data=pe.write()[:at] + bytes(by) + original[at:], fast_load=True)
    moved.OPTIONAL_HEADER.CheckSum = moved.generate_checksum()
    with open(out, "wb") as f:
        f.write(moved.write())
    return True


def manifest_lines(path):
    text = open(path, "rb").read().decode("ascii")
    return [l for l in re.split(r"\r\n|\r|\n", text) if l]


def main():
    exe, mission, font_file, app_manifest = sys.argv[1:5]
    on_page = "--resources-on-page" in sys.argv[5:]
    pe = pefile.PE(exe)
    tree = resource_tree(pe)
    named = tree.get("RT_RCDATA", {})
    check(named, "a resource type named RT_RCDATA")

    # The manifest and the payload.
    expected = {"RCRES": open(os.path.join(mission, "RCRES"), "rb").read()}
    for line in manifest_lines(os.path.join(mission, "RCRES")):
        m = re.fullmatch(r'(\S+) RT_RCDATA "(.*)"', line)
        if not check(m, "manifest line has the statement form: %r" % line):
            continue
        expected[m.group(1).upper()] = open(os.path.join(mission, m.group(2)), "rb").read()
    for name, data in expected.items():
        langs = named.get(name)
        if not check(langs is not None, "%s under the type named RT_RCDATA" % name):
            continue
        check(list(langs) == [1031], "%s in language 1031 only, got %r" % (name, list(langs)))
        check(langs.get(1031) == data, "%s holds exactly the bytes of its file (%d bytes stored, %d in the file)" %
              (name, len(langs.get(1031, b"")), len(data)))
    check(set(named) == set(expected), "nothing else under RT_RCDATA: extra %r" % sorted(set(named) - set(expected)))
    check(all(n == n.upper() for n in named if isinstance(n, str)), "stored names are upper case")
    numeric = tree.get(RT_RCDATA, {})
    check(not (set(numeric) & set(expected)), "no payload name under numeric RT_RCDATA: %r" %
          sorted(set(numeric) & set(expected), key=str))

    # The title font.
    font = tree.get("CHINA", {}).get("TTF", {})
    check(list(font) == [1031] and font.get(1031) == open(font_file, "rb").read(),
          "font under type China, name TTF, language 1031, bytes of %s" % os.path.basename(font_file))
    check("TTF" not in tree or "CHINA" not in tree["TTF"], "no font under the swapped pair (type TTF, name China)")

    # The version block.
    versions = tree.get(RT_VERSION, {})
    check(list(versions) == [1] and list(versions.get(1, {})) == [1033], "version resource 1 in 1033")
    ffi = pe.VS_FIXEDFILEINFO[0] if hasattr(pe, "VS_FIXEDFILEINFO") else None
    if check(ffi is not None, "a fixed file info"):
        fv = (ffi.FileVersionMS >> 16, ffi.FileVersionMS & 0xFFFF, ffi.FileVersionLS >> 16, ffi.FileVersionLS & 0xFFFF)
        pv = (ffi.ProductVersionMS >> 16, ffi.ProductVersionMS & 0xFFFF, ffi.ProductVersionLS >> 16,
              ffi.ProductVersionLS & 0xFFFF)
        check(fv == (1, 2, 6593, 38686), "file version 1.2.6593.38686, got %r" % (fv,))
        check(pv == (1, 2, 0, 0), "product version 1.2.0.0, got %r" % (pv,))
        check((ffi.FileFlagsMask, ffi.FileFlags, ffi.FileOS, ffi.FileType, ffi.FileSubtype) == (0x3F, 0, 4, 1, 0),
              "flags mask 0x3F, flags 0, OS 4, type 1, subtype 0")
        check((ffi.FileDateMS, ffi.FileDateLS) == (0, 0), "file date 0")
    tables, translations = {}, []
    for info in getattr(pe, "FileInfo", [[]])[0]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                tables[table.LangID.decode()] = {k.decode(): v.decode() for k, v in table.entries.items()}
        elif info.Key == b"VarFileInfo":
            for var in info.Var:
                t = var.entry.get(b"Translation", var.entry.get("Translation"))
                translations.append(t.decode() if isinstance(t, bytes) else t)
    strings = tables.get("040904E4") or tables.get("040904e4") or {}
    check(list(tables) in (["040904E4"], ["040904e4"]), "one string table 040904E4, got %r" % list(tables))
    for k, v in {"FileDescription": "Brunvald", "FileVersion": "1.2.0.0", "ProductName": "Brunvald",
                 "ProductVersion": "1.2.0.0"}.items():
        check(strings.get(k) == v, "string %s = %r, got %r" % (k, v, strings.get(k)))
    extra = {k: v for k, v in strings.items()
             if k not in ("FileDescription", "FileVersion", "ProductName", "ProductVersion")}
    check(len(extra) == 3, "three further strings, got %r" % extra)
    check(extra.get("InternalName", "x").isupper(), "InternalName in capitals")
    check(bool(extra.get("LegalCopyright")), "LegalCopyright")
    check(re.fullmatch(r"[a-z]+(\.[a-z0-9]+){2,}", extra.get("ProgramID", "")) is not None,
          "a reverse-domain ProgramID, got %r" % extra.get("ProgramID"))
    check([str(t).lower() for t in translations] == ["0x0409 0x04e4"], "translation 0x0409, 0x04E4, got %r" % translations)

    # The application manifest: exactly one, ours.
    manifests = tree.get(RT_MANIFEST, {})
    check(list(manifests) == [1] and len(manifests.get(1, {})) == 1,
          "one application manifest, resource 1: got %r" % {k: list(v) for k, v in manifests.items()})
    for lang, xml in manifests.get(1, {}).items():
        check(xml == open(app_manifest, "rb").read(), "manifest bytes are %s" % os.path.basename(app_manifest))
        text = xml.decode("utf-8")
        check('level="requireAdministrator"' in text, "requireAdministrator")
        check('name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' in text, "common controls 6.0.0.0")
        for os_id in ("e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                      "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                      "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"):
            check(os_id in text, "supportedOS %s" % os_id)

    # The icon group.
    group = tree.get(RT_GROUP_ICON, {}).get("MAINICON", {})
    if check(list(group) == [1033], "icon group MAINICON in 1033, got %r" % list(group)):
        data = group[1033]
        _, kind, count = struct.unpack("<HHH", data[:6])
        check(kind == 1 and count == 5, "five images in MAINICON")
        sides = []
        for i in range(count):
            w, h, _, _, planes, bpp, size, icon_id = struct.unpack("<BBBBHHIH", data[6 + 14 * i:20 + 14 * i])
            sides.append(w or 256)
            check(bpp == 32, "icon image %d: 32 bpp" % (w or 256))
            image = next(iter(tree.get(RT_ICON, {}).get(icon_id, {}).values()), b"")
            check(len(image) == size, "icon image %d present with its size" % (w or 256))
            if (w or 256) == 256:
                check(image[:8] == b"\x89PNG\r\n\x1a\n", "256 x 256 icon image stored as PNG")
            else:
                check(image[:4] == struct.pack("<I", 40), "%d x %d icon image stored as bitmap" % (w, w))
        check(sorted(sides) == [16, 24, 32, 48, 256], "icon sizes, got %r" % sides)

    # The payload's section on a page in the file.
    if on_page:
        section = resource_section(pe)
        check(section is not None and section.PointerToRawData % 4096 == 0,
              "the resource section starts on a page in the file, got offset 0x%x"
              % (section.PointerToRawData if section else -1))

    for f in failures:
        print("FAIL:", f)
    if not failures:
        print("%s: %d payload resources and every other resource as expected" % (os.path.basename(exe), len(expected)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
