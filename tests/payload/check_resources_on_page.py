#!/usr/bin/python3
"""The build's step that puts a program's resource section on a page in its
file (brunvald-resources-on-page), on a program where it is not.

    check_resources_on_page.py TOOL PROGRAM [RUNNER]

A copy of PROGRAM (linked with a file alignment of 512) gets its resource
section moved off a page; TOOL run on it must

- put the resource section on a page in the file;
- keep every section's bytes and place in memory, and every resource (read
  by pefile, not our code); a section's size in the file may only grow to a
  multiple of the file alignment, with zeros;
- leave a valid checksum;
- leave the file as it is when run again.

With RUNNER (the Wine runner) the result is run and must exit 0: PROGRAM is
the resource probe, which checks its own resources through the loader.
"""

import os
import subprocess
import sys
import tempfile

import pefile

from check_installer import move_resources_off_page, resource_section, resource_tree

failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
    return cond


def sections(path):
    """{name: (place in memory, size in memory, bytes in the file)}"""
    pe = pefile.PE(path, fast_load=True)
    data = open(path, "rb").read()
    return {s.Name: (s.VirtualAddress, s.Misc_VirtualSize, data[s.PointerToRawData:s.PointerToRawData + s.SizeOfRawData])
            for s in pe.sections}


def same_sections(before, after, file_alignment):
    if sorted(before) != sorted(after):
        return False
    for name, (rva, size, data) in before.items():
        new_rva, new_size, new_data = after[name]
        padded = -(-len(data) // file_alignment) * file_alignment
        if (new_rva, new_size) != (rva, size) or len(new_data) not in (len(data), padded):
            return False
        if new_data != data + bytes(len(new_data) - len(data)):
            return False
    return True


def main():
    tool, program = sys.argv[1:3]
    runner = sys.argv[3] if len(sys.argv) > 3 else None
    with tempfile.TemporaryDirectory(prefix="resources on page ") as tmp:
        moved = os.path.join(tmp, "program.exe")
        if not check(move_resources_off_page(program, moved), "%s has a file alignment below a page" % program):
            return 1
        before = sections(moved)
        proc = subprocess.run([tool, moved])
        check(proc.returncode == 0, "%s ended with %d" % (tool, proc.returncode))

        pe = pefile.PE(moved)
        section = resource_section(pe)
        check(section.PointerToRawData % 4096 == 0,
              "the resource section starts on a page in the file, got offset 0x%x" % section.PointerToRawData)
        check(same_sections(before, sections(moved), pe.OPTIONAL_HEADER.FileAlignment),
              "every section keeps its bytes and its place in memory")
        check(resource_tree(pe) == resource_tree(pefile.PE(program)), "the same resources as the program")
        check(pe.verify_checksum(), "the checksum matches the file")
        pe.close()

        placed = open(moved, "rb").read()
        proc = subprocess.run([tool, moved])
        check(proc.returncode == 0 and open(moved, "rb").read() == placed, "a second run leaves the file as it is")

        if runner:
            run = subprocess.run([runner, moved])
            check(run.returncode == 0, "the program exited with %d" % run.returncode)

    for f in failures:
        print("FAIL:", f)
    if not failures:
        print("%s: resources moved onto a page, everything else as it was" % os.path.basename(program))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
