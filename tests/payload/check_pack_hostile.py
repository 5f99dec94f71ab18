#!/usr/bin/python3
"""The builder given a broken installer program or a mission that no program
can hold: refused with a message that says what is wrong and where, within
seconds, and no output file (nor its temporary file) left behind.

    check_pack_hostile.py HOST_PACK STUB MISSION_DIR [UNSTRIPPED_STUB]

First the control: STUB (and UNSTRIPPED_STUB, a stub whose debug sections
follow the resources and move with them) must be accepted, and in what the
builder writes every data directory but the resources' must point at the
same bytes as in the stub (the relocations moved along with their section).

The broken programs are made here from STUB (the installer program without a
mission), each with one fault planted at the place pefile (not our code)
finds for it: data of a section inside the headers or inside another
section's, headers or data cut off by the file's end, a resource directory
that leads back to itself, entries that break the directory bit, share a data
entry, or run past the section, data that overlap or lie outside the file.
The missions too large for a program are made from MISSION_DIR: more than
65,535 resources under one type, and more than 4 GiB of files (sparse files,
refused from their sizes: the builder runs with less memory than one of them
would take).
"""

import os
import re
import resource
import shutil
import struct
import subprocess
import sys
import tempfile

import pefile

failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
    return cond


def put(data, offset, fmt, value):
    struct.pack_into(fmt, data, offset, value)


class Stub:
    """The offsets in STUB's file of the structures the cases break."""

    def __init__(self, path):
        self.bytes = open(path, "rb").read()
        pe = pefile.PE(data=self.bytes)
        self.headers_size = pe.OPTIONAL_HEADER.SizeOfHeaders
        self.file_header = pe.FILE_HEADER.get_file_offset()
        self.optional = pe.OPTIONAL_HEADER.get_file_offset()
        self.sections = {s.Name.rstrip(b"\0").decode(): s for s in pe.sections}
        self.rsrc = self.sections[".rsrc"]
        root = pe.DIRECTORY_ENTRY_RESOURCE
        self.root = root.struct.get_file_offset()
        types = root.entries
        self.type_entry = types[0].struct.get_file_offset()
        named = [t for t in types if t.name is not None]
        self.named_entry = named[0].struct.get_file_offset()
        # A type with several names, each with one language: its data
        # entries lie side by side.
        several = next(t for t in types if len(t.directory.entries) >= 2)
        first, second = several.directory.entries[:2]
        self.language_entries = [n.directory.entries[0].struct.get_file_offset() for n in (first, second)]
        self.data_entries = [n.directory.entries[0].data.struct.get_file_offset() for n in (first, second)]
        pe.close()

    def header(self, name, field):
        return self.sections[name].get_file_offset() + {"VirtualAddress": 12, "SizeOfRawData": 16,
                                                       "PointerToRawData": 20}[field]

    def changed(self, *changes):
        data = bytearray(self.bytes)
        for offset, fmt, value in changes:
            put(data, offset, fmt, value)
        return bytes(data)


def hostile_stubs(stub):
    """(what, program bytes, what the message must hold)"""
    rsrc, tls, reloc = stub.rsrc, stub.sections[".tls"], stub.sections[".reloc"]
    rsrc_data = "0x%X" % rsrc.PointerToRawData
    yield ("resource data at file offset 0, over the headers",
           stub.changed((stub.header(".rsrc", "PointerToRawData"), "<I", 0)),
           ["section .rsrc", "has its data in the file at 0x0, inside the headers"])
    yield ("resource data over the section table",
           stub.changed((stub.header(".rsrc", "PointerToRawData"), "<I", stub.headers_size - 0x200)),
           ["section .rsrc", "inside the headers (up to 0x%X)" % stub.headers_size])
    yield ("resource data inside another section's",
           stub.changed((stub.header(".rsrc", "PointerToRawData"), "<I", tls.PointerToRawData)),
           ["has its data in the file at 0x%X, inside those of section" % tls.PointerToRawData])
    yield ("sections overlapping in memory",
           stub.changed((stub.header(".reloc", "VirtualAddress"), "<I", rsrc.VirtualAddress + 0x1000)),
           ["section .reloc", "starts in memory at 0x%X, inside section .rsrc" % (rsrc.VirtualAddress + 0x1000)])
    yield ("file cut inside the section table", stub.bytes[:stub.header(".rsrc", "VirtualAddress")],
           ["its headers end past the end of the file"])
    yield ("file cut inside the resource data", stub.bytes[:rsrc.PointerToRawData + 0x100],
           ["section .rsrc", "has its data in the file from %s" % rsrc_data,
            "past the end of the file at 0x%X" % (rsrc.PointerToRawData + 0x100)])
    yield ("more sections than the headers hold",
           stub.changed((stub.file_header + 2, "<H", 40)),
           ["the size of its headers (0x%X) does not cover its section table" % stub.headers_size])
    yield ("file alignment not a power of two", stub.changed((stub.optional + 36, "<I", 0x300)),
           ["its alignments", "file 0x300", "not powers of two"])
    # The root directory, made to list 4,000 types whose entries all lead
    # back to it: walked level by level that is 4,000 cubed resources, each
    # with data (the root's first fields read as a data entry).
    cycle = [(stub.root, "<I", rsrc.VirtualAddress), (stub.root + 4, "<I", 4),
             (stub.root + 12, "<H", 0), (stub.root + 14, "<H", 4000)]
    for i in range(4000):
        cycle += [(stub.root + 16 + 8 * i, "<I", 1), (stub.root + 20 + 8 * i, "<I", 0x80000000)]
    yield ("a resource directory that leads back to itself", stub.changed(*cycle),
           ["leads to the entry at 0x%X in the file a second time" % stub.root])
    yield ("two resources sharing one data entry",
           stub.changed((stub.language_entries[1] + 4, "<I", stub.data_entries[0] - stub.root)),
           ["leads to the entry at 0x%X in the file a second time" % stub.data_entries[0]])
    yield ("a type entry leading to data",
           stub.changed((stub.type_entry + 4, "<I",
                         struct.unpack_from("<I", stub.bytes, stub.type_entry + 4)[0] & 0x7FFFFFFF)),
           ["the entry at 0x%X in the file of the directory of types" % stub.type_entry,
            "leads to data where a directory must be"])
    yield ("a language entry leading to a directory",
           stub.changed((stub.language_entries[0] + 4, "<I", 0x80000000)),
           ["the entry at 0x%X in the file" % stub.language_entries[0], "a directory where data must be"])
    yield ("a directory with more entries than its section holds",
           stub.changed((stub.root + 12, "<H", 0xFFFF), (stub.root + 14, "<H", 0xFFFF)),
           ["the 131070 entries of the directory of types", "runs past the end of its resource section"])
    yield ("a name past the section",
           stub.changed((stub.named_entry, "<I", 0x80000000 | (rsrc.SizeOfRawData - 1))),
           ["the name of the entry at 0x%X" % stub.named_entry, "runs past the end of its resource section"])
    yield ("data past the end of the file",
           stub.changed((stub.data_entries[0] + 4, "<I", 0x7FFFFFFF)),
           ["2147483647 bytes at", "lie outside the data of its sections in the file"])
    first_rva = struct.unpack_from("<I", stub.bytes, stub.data_entries[0])[0]
    yield ("the data of two resources overlapping",
           stub.changed((stub.data_entries[1], "<I", first_rva + 2)),
           ["(at 0x%X) overlap those of" % (rsrc.PointerToRawData + first_rva + 2 - rsrc.VirtualAddress)])


def run(host_pack, stub_file, mission, out, memory=None):
    """The builder's run, None when it had to be stopped; `out` is removed
    first, so that each run is judged by what it leaves."""
    for stale in (out, out + ".part"):
        if os.path.exists(stale):
            os.remove(stale)

    def limit():
        if memory:
            resource.setrlimit(resource.RLIMIT_AS, (memory, memory))
    try:
        return subprocess.run([host_pack, "--stub", stub_file, mission, out], stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, universal_newlines=True, timeout=60, preexec_fn=limit)
    except subprocess.TimeoutExpired:
        return None


def refused(done, out, what, expected):
    if not check(done is not None, "%s: still running after 60 s" % what):
        return
    check(done.returncode == 1 and all(e in done.stdout for e in expected)
          and "no installer was written" in done.stdout,
          "%s: refused (1) with a message holding %r, got %d:\n%s" % (what, expected, done.returncode, done.stdout))
    check(not os.path.exists(out) and not os.path.exists(out + ".part"), "%s: no output file left" % what)


def directories_kept(stub, written):
    """The data directories other than the resources' that point at other
    bytes in `written` than in `stub` (read by pefile)."""
    before, after = pefile.PE(stub), pefile.PE(written)
    moved = []
    for i, (old, new) in enumerate(zip(before.OPTIONAL_HEADER.DATA_DIRECTORY, after.OPTIONAL_HEADER.DATA_DIRECTORY)):
        if i == 2 or not old.VirtualAddress:
            continue
        if before.get_data(old.VirtualAddress, old.Size) != after.get_data(new.VirtualAddress, new.Size):
            moved.append(old.name)
    before.close()
    after.close()
    return moved


def mission_with_maps(source, folder, maps):
    """A copy of the mission with a map line for each (file name, size in
    bytes) in `maps`, written as empty or sparse files."""
    shutil.copytree(source, folder)
    manifest = open(os.path.join(folder, "RCRES"), "rb").read().rstrip(b"\r\n")
    lines = []
    for i, (name, size) in enumerate(maps):
        with open(os.path.join(folder, name), "wb") as f:
            f.truncate(size)
        lines.append(b'Maps_%05d RT_RCDATA "%s"' % (i, name.encode()))
    with open(os.path.join(folder, "RCRES"), "wb") as f:
        f.write(manifest + b"\r\n" + b"\r\n".join(lines))


def main():
    host_pack, stub_path, mission = sys.argv[1:4]
    stub = Stub(stub_path)
    with tempfile.TemporaryDirectory(prefix="pack hostile ") as tmp:
        out = os.path.join(tmp, "Setup.exe")
        for control in [stub_path] + sys.argv[4:5]:
            done = run(host_pack, control, mission, out)
            if not check(done is not None and done.returncode == 0, "%s as built: accepted, got:\n%s" %
                         (control, done.stdout if done else "a hang")):
                return 1
            moved = directories_kept(control, out)
            check(not moved, "%s: the data directories %r point at other bytes in the output" % (control, moved))

        stub_file = os.path.join(tmp, "broken stub.exe")
        for what, program, expected in hostile_stubs(stub):
            with open(stub_file, "wb") as f:
                f.write(program)
            refused(run(host_pack, stub_file, mission, out), out, what, expected)

        # One directory lists at most 65,535 named entries: RCRES, the
        # mission's lines and these maps are 65,536 and more.
        many = os.path.join(tmp, "many")
        mission_with_maps(mission, many, [("m%05d.map" % i, 0) for i in range(65535)])
        refused(run(host_pack, stub_path, many, out), out, "65,535 maps and more under RT_RCDATA",
                ['the directory of names of the type "RT_RCDATA" has', "holds at most 65535 of each"])

        # 4.5 GiB of files, refused from their sizes before one is read: the
        # builder gets 1 GiB of address space, not enough to read one.
        large = os.path.join(tmp, "large")
        maps = [("big%d.map" % i, 3 << 29) for i in range(3)]
        mission_with_maps(mission, large, maps)
        done = run(host_pack, stub_path, large, out, memory=1 << 30)
        refused(done, out, "4.5 GiB of mission files", ["more than the 2147483648 (2 GiB) that one section"])
        taken = re.search(r"they take (\d+) bytes", done.stdout if done else "")
        check(taken and int(taken.group(1)) > sum(size for _, size in maps),
              "4.5 GiB of mission files: the message names all their bytes, got:\n%s" % (done.stdout if done else ""))

    for f in failures:
        print("FAIL:", f)
    if not failures:
        print("brunvald-pack: every broken program and oversized mission refused, nothing written")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
