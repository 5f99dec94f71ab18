#!/usr/bin/python3
"""scripts/dist: the release folder for mission makers and its zip.

    check_dist.py OUT_DIR PACK_EXE STUB

Runs scripts/dist into OUT_DIR and reads the zip: the builder (the same bytes
as PACK_EXE, carrying STUB as its resource INSTALLER, read by pefile), its
README, the mission makers' guide and the example missions with their manifests,
every example that the guide and the README point to among them.
"""

import os
import re
import subprocess
import sys
import zipfile

import pefile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
# The examples in the zip and where they come from.
EXAMPLES = {"Aurelmark": os.path.join(ROOT, "payload", "mission", "Aurelmark"),
            "Nordhafen": os.path.join(ROOT, "tests", "missions", "Nordhafen")}


def main():
    out, pack_exe, stub = sys.argv[1:4]
    failures = []
    subprocess.run([os.path.join(ROOT, "scripts", "dist")], env=dict(os.environ, BRUNVALD_DIST_DIR=out), check=True,
                   stdin=subprocess.DEVNULL)
    with zipfile.ZipFile(os.path.join(out, "brunvald-pack.zip")) as z:
        names = set(z.namelist())
        wanted = {"brunvald-pack/brunvald-pack.exe": open(pack_exe, "rb").read(),
                  "brunvald-pack/README.txt": open(os.path.join(ROOT, "pack", "README.txt"), "rb").read(),
                  "brunvald-pack/mission-makers.md": open(os.path.join(ROOT, "docs", "mission-makers.md"), "rb").read()}
        for name, source in EXAMPLES.items():
            for f in os.listdir(source):
                wanted["brunvald-pack/example/%s/%s" % (name, f)] = open(os.path.join(source, f), "rb").read()
        # Every example the guide and the README point the maker to is there,
        # with its manifest.
        for text in ("brunvald-pack/README.txt", "brunvald-pack/mission-makers.md"):
            for pointed in set(re.findall(r"example\\(\w+)", z.read(text).decode("utf-8"))):
                if "brunvald-pack/example/%s/RCRES" % pointed not in names:
                    failures.append("%s points to example\\%s, which the zip lacks" % (text, pointed))
        for name, data in wanted.items():
            if name not in names:
                failures.append("the zip lacks %s" % name)
            elif z.read(name) != data:
                failures.append("%s in the zip differs from its source" % name)
        pe = pefile.PE(data=z.read("brunvald-pack/brunvald-pack.exe"))
        carried = None
        for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
            if t.id == 10:
                for n in t.directory.entries:
                    if n.name is not None and str(n.name) == "INSTALLER":
                        d = n.directory.entries[0].data.struct
                        carried = pe.get_data(d.OffsetToData, d.Size)
        if carried != open(stub, "rb").read():
            failures.append("brunvald-pack.exe does not carry the installer program without a mission")
    for f in failures:
        print("FAIL:", f)
    if not failures:
        print("dist: the builder, its README, the guide and the example missions")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
