#!/usr/bin/python3
"""The stand-alone builder against the build: installers that brunvald-pack
makes from a mission folder carry, read by pefile (not our code), the same
resources as the installer that the CMake build makes from that folder, type
for type, name for name, language for language and byte for byte.

    check_pack.py HOST_PACK STUB [--wine RUNNER PACK_EXE] MISSION_DIR=REFERENCE_EXE...

- HOST_PACK (the build machine's brunvald-pack) makes each mission's
  installer from STUB, the installer program without a mission;
- with --wine, PACK_EXE (the Windows program, run under Wine through RUNNER)
  makes it from the program it carries (STUB): the same bytes as HOST_PACK's;
- an existing output is replaced by a successful run, and left as it was by a
  refused one; the output path may have blanks and umlauts.
"""

import os
import shutil
import subprocess
import sys
import tempfile

import pefile

from check_installer import resource_tree

failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
    return cond


def resources(path):
    """{(type, name, language): bytes} of the program's resources."""
    pe = pefile.PE(path)
    tree = resource_tree(pe)
    pe.close()
    return {(t, n, l): data for t, names in tree.items() for n, langs in names.items() for l, data in langs.items()}


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run_pack(runner, pack_exe, *args):
    return subprocess.run([runner, pack_exe] + [windows_path(a) for a in args], stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, universal_newlines=True, timeout=120)


def compare(made, reference, what):
    got, want = resources(made), resources(reference)
    check(sorted(got, key=str) == sorted(want, key=str), "%s: the same resources as the build's installer; "
          "extra %r, missing %r" % (what, sorted(set(got) - set(want), key=str)[:5],
                                    sorted(set(want) - set(got), key=str)[:5]))
    differing = [k for k in want if k in got and got[k] != want[k]]
    check(not differing, "%s: resources with other bytes than the build's: %r" % (what, differing[:5]))


def replaced_and_kept(make, mission, out, name):
    """A stale file at `out` is replaced by a good run and kept by a refused
    one (a copy of the mission without its manifest)."""
    with open(out, "wb") as f:
        f.write(b"old installer")
    done = make(mission, out)
    if not check(done.returncode == 0 and os.path.isfile(out),
                 "%s: brunvald-pack failed (%d):\n%s" % (name, done.returncode, done.stdout)):
        return False
    check(not os.path.exists(out + ".part"), "%s: the temporary file is gone" % name)
    broken = out + " broken mission"
    shutil.copytree(mission, broken)
    os.remove(os.path.join(broken, "RCRES"))
    before = open(out, "rb").read()
    done = make(broken, out)
    check(done.returncode != 0 and "Mission manifest missing" in done.stdout,
          "%s: a folder without RCRES refused with its message, got %d:\n%s" % (name, done.returncode, done.stdout))
    check(open(out, "rb").read() == before, "%s: a refused run left the existing output as it was" % name)
    return True


def main():
    host_pack, stub = sys.argv[1:3]
    rest = sys.argv[3:]
    runner = pack_exe = None
    if rest[:1] == ["--wine"]:
        runner, pack_exe, rest = rest[1], rest[2], rest[3:]
    pairs = [a.split("=", 1) for a in rest]

    def native(mission, out):
        return subprocess.run([host_pack, "--stub", stub, mission, out], stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, universal_newlines=True)

    def on_wine(mission, out):
        return run_pack(runner, pack_exe, mission, out)

    with tempfile.TemporaryDirectory(prefix="pack test ") as tmp:
        for mission, reference in pairs:
            name = os.path.basename(os.path.normpath(mission))
            out = os.path.join(tmp, "Installer f\u00fcr %s.exe" % name)
            if not replaced_and_kept(native, mission, out, name + " (build machine)"):
                continue
            compare(out, reference, "%s by the build machine's brunvald-pack" % name)
            if runner:
                on_windows = os.path.join(tmp, "Setup %s.exe" % name)
                if replaced_and_kept(on_wine, mission, on_windows, name + " (brunvald-pack.exe)"):
                    check(open(on_windows, "rb").read() == open(out, "rb").read(),
                          "%s: brunvald-pack.exe writes other bytes than the build machine's brunvald-pack" % name)
    for f in failures:
        print("FAIL:", f)
    if not failures:
        print("brunvald-pack: %d missions packed like the build's installers" % len(pairs))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
