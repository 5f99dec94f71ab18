#!/usr/bin/python3
"""Writes the seeds of the program-file fuzzer (tests/native/pack/pe_fuzz.cpp)
from the real programs of a build:

    tests/fuzz/make_pe_seeds.py [BUILD_DIR...]      (default: build/win32 build/win64)

A real installer program is half a megabyte, nearly all code and pictures
that the builder only copies; mutations spent there find nothing. Each seed
keeps what the builder reads, as the linker and the build wrote it: the
headers and the section table, the resource section's directories, names
and data entries byte for byte, the first bytes of each resource's data,
the first file-alignment unit of each section after the resources (the
base relocations and, in a program that was not stripped, the debug
information, which the builder moves) and of what follows the last section. The sections before the
resources keep their place and size in memory but no data in the file. A
seed is some kilobytes.

The seeds are committed; this script documents how they came about and
rewrites them after the programs change.
"""
import pathlib
import struct
import sys

import pefile

ROOT = pathlib.Path(__file__).resolve().parents[2]
CORPUS = ROOT / "tests" / "fuzz" / "corpus" / "pe"
DATA_KEPT = 24  # bytes of each resource's data in a seed

# (seed, program in a build folder, whether its resources start on a page)
PROGRAMS = [
    ("stub", "brunvald-stub.exe", True),
    ("stub-off-page", "brunvald-stub.exe", False),
    ("installer", "Brunvald.exe", True),
    ("probe-stub-4096", "tests/payload/brunvald_resource_probe_stub_4096.exe", True),
]


def align(value, alignment):
    return -(-value // alignment) * alignment


def data_entries(pe):
    """File offsets of every data entry of the resource table."""
    found = []
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for n in t.directory.entries:
            for l in n.directory.entries:
                found.append(l.data.struct)
    return found


def skeleton(path, on_page):
    raw = open(path, "rb").read()
    pe = pefile.PE(data=raw)
    opt = pe.OPTIONAL_HEADER
    file_align, section_align = opt.FileAlignment, opt.SectionAlignment
    rsrc_rva = opt.DATA_DIRECTORY[2].VirtualAddress
    sections = sorted(pe.sections, key=lambda s: s.VirtualAddress)
    index = next(i for i, s in enumerate(sections) if s.VirtualAddress == rsrc_rva)
    rsrc = sections[index]

    # The resource section: its table as it is, then the first bytes of each
    # resource's data, each on 8 bytes, the data entries pointed at them.
    entries = data_entries(pe)
    table_end = min(e.OffsetToData for e in entries) - rsrc_rva
    section = bytearray(raw[rsrc.PointerToRawData:rsrc.PointerToRawData + table_end])
    for e in sorted(entries, key=lambda e: e.OffsetToData):
        data_at = rsrc.PointerToRawData + e.OffsetToData - rsrc_rva
        kept = raw[data_at:data_at + min(e.Size, DATA_KEPT)]
        section += bytes(align(len(section), 8) - len(section))
        at = e.get_file_offset() - rsrc.PointerToRawData
        struct.pack_into("<II", section, at, rsrc_rva + len(section), len(kept))
        section += kept

    headers = bytearray(raw[:opt.SizeOfHeaders])
    place = align(opt.SizeOfHeaders, 4096 if on_page else file_align)
    out = headers + bytes(place - len(headers))
    moved = {}  # section -> (virtual address, virtual size, raw pointer, raw size)
    for s in sections[:index]:
        moved[s.get_file_offset()] = (s.VirtualAddress, s.Misc_VirtualSize, 0, 0)
    moved[rsrc.get_file_offset()] = (rsrc_rva, len(section), len(out), align(len(section), file_align))
    out += section + bytes(align(len(section), file_align) - len(section))
    next_rva = align(rsrc_rva + len(section), section_align)
    relocations = opt.DATA_DIRECTORY[5].VirtualAddress
    for s in sections[index + 1:]:
        kept = raw[s.PointerToRawData:s.PointerToRawData + min(s.SizeOfRawData, file_align)]
        if s.VirtualAddress <= relocations < s.VirtualAddress + s.Misc_VirtualSize:
            relocations += next_rva - s.VirtualAddress
        moved[s.get_file_offset()] = (next_rva, s.Misc_VirtualSize, len(out), len(kept))
        out += kept
        next_rva = align(next_rva + s.Misc_VirtualSize, section_align)

    # What follows the last section (the symbol table of a program that was
    # not stripped): its start, moved along.
    old_end = max(s.PointerToRawData + s.SizeOfRawData for s in sections if s.SizeOfRawData)
    symbols = pe.FILE_HEADER.PointerToSymbolTable
    if symbols >= old_end:
        struct.pack_into("<I", out, pe.FILE_HEADER.get_file_offset() + 8, symbols - old_end + len(out))
    out += raw[old_end:old_end + 1024]
    for s in sections:
        va, vs, pointer, size = moved[s.get_file_offset()]
        struct.pack_into("<IIII", out, s.get_file_offset() + 8, vs, va, size, pointer)
    directories = opt.get_file_offset() + (96 if opt.Magic == 0x10B else 112)
    struct.pack_into("<I", out, directories + 2 * 8 + 4, len(section))
    if opt.DATA_DIRECTORY[5].VirtualAddress:
        struct.pack_into("<I", out, directories + 5 * 8, relocations)
    struct.pack_into("<I", out, opt.get_file_offset() + 56, next_rva)  # SizeOfImage
    written = pefile.PE(data=bytes(out))
    struct.pack_into("<I", out, opt.get_file_offset() + 64, written.generate_checksum())
    written.close()
    pe.close()
    return bytes(out)


def main():
    builds = [pathlib.Path(a) for a in sys.argv[1:]] or [ROOT / "build" / "win32", ROOT / "build" / "win64"]
    CORPUS.mkdir(parents=True, exist_ok=True)
    for build in builds:
        machine = "win64" if build.name.endswith("64") else "win32"
        for seed, program, on_page in PROGRAMS:
            path = build / program
            if not path.is_file():
                print("skipped (not built):", path)
                continue
            data = skeleton(path, on_page)
            (CORPUS / ("%s-%s" % (machine, seed))).write_bytes(data)
            print("%s-%s: %d bytes from %s" % (machine, seed, len(data), path))


if __name__ == "__main__":
    main()
