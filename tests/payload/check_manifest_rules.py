#!/usr/bin/python3
"""Runs the build's manifest step (installer_rc.cmake with the checker the
build uses, brunvald-pack --check) on small mission folders and checks that
faulty manifests are refused with the offending line, and that good ones are
written into the resource script as they stand.

    check_manifest_rules.py CMAKE INSTALLER_RC_CMAKE CHECKER EXAMPLE_MISSION_DIR

Accepted manifests with a warning (a key the installer does not know, no
campaign) build with the warning shown; --check on a good one says OK with
its counts.

With --builder, the same table goes to the stand-alone builder, run under Wine:
each faulty folder refused with its message and no installer written, each
good one made into an installer that pefile finds the manifest's files in; an
output path that names one of the builder's inputs is refused, and so is one
in a folder that does not exist, which the builder does not make.

    check_manifest_rules.py --builder RUNNER PACK_EXE
"""

import os
import re
import subprocess
import sys
import tempfile

import pefile

from check_installer import resource_tree

GOOD = [
    'Maps_01 RT_RCDATA "CityAmk.map"',
    'CampPak RT_RCDATA "Testmark.pak"',
    'CampSet RT_RCDATA "Testmark.set"',
    'CampMap RT_RCDATA "TestmarkP.map"',
    'CampInI RT_RCDATA "TSTM.ini"',
]


def variant(replace=None, drop=None, add=None):
    lines = list(GOOD)
    if replace:
        lines[replace[0]] = replace[1]
    if drop is not None:
        del lines[drop]
    if add:
        lines.append(add)
    return "\r\n".join(lines).encode("ascii")


class Warns(list):
    """Accepted, with a warning holding each of these fragments."""


def long_name(length):
    return "N" * length


# (case, manifest bytes, expected: None for accepted without a warning, Warns([...]) for accepted with one,
# else fragments of the error)
CASES = [
    ("good manifest", variant(), None),
    ("lone LF breaks and a final break", "\n".join(GOOD).encode() + b"\n", None),
    ("empty line between statements", variant(add="") + b"\r\nCampMod RT_RCDATA \"Models.txt\"", None),
    ("CampSet name of four characters", variant(replace=(2, 'CampSet RT_RCDATA "S.et"')), None),
    ("file name with a blank", variant(replace=(0, 'Maps_01 RT_RCDATA "City Amk.map"')), None),
    ("no CampPak line", variant(drop=1), ["no CampPak line"]),
    ("no CampInI line", variant(drop=4), ["no CampInI line"]),
    ("CampSet name of three characters", variant(replace=(2, 'CampSet RT_RCDATA "set"')), ["RCRES:3:", "CampSet"]),
    ("CampSet name of one character", variant(replace=(2, 'CampSet RT_RCDATA "s"')), ["RCRES:3:", "CampSet"]),
    ("CampSet name empty", variant(replace=(2, 'CampSet RT_RCDATA ""')), ["RCRES:3:", "empty"]),
    ("listed file missing", variant(replace=(3, 'CampMap RT_RCDATA "Missing.map"')), ["RCRES:4:", "Missing.map"]),
    # Encodings an editor picks: named, with the line and the remedy.
    ("not ASCII: umlaut in a name", "\r\n".join([GOOD[0].replace("CityAmk", "M\u00fchle")] + GOOD[1:]).encode("utf-8"),
     ["RCRES:1:", "0xC3 in column 21 is not ASCII", 'line: Maps_01 RT_RCDATA "M\\xC3\\xBChle.map"']),
    ("UTF-8 with BOM", b"\xef\xbb\xbf" + variant(), ["RCRES:1:", "UTF-8 with BOM", "plain ASCII",
                                                       "line: \\xEF\\xBB\\xBFMaps_01 RT_RCDATA"]),
    ("UTF-16 with its mark", "\ufeff".encode("utf-16-le") + variant().decode().encode("utf-16-le"),
     ["RCRES: ", "UTF-16: save the manifest as plain ASCII"]),
    ("UTF-16 big-endian", "\ufeff".encode("utf-16-be") + variant().decode().encode("utf-16-be"),
     ["UTF-16: save the manifest as plain ASCII"]),
    ("UTF-16 without a mark", variant().decode().encode("utf-16-le"), ["UTF-16", "plain ASCII"]),
    ("not ASCII on a later line", variant() + b"\r\nGaiaPic RT_RCDATA \"Karte\xe4.jpg\"",
     ["RCRES:6:", "0xE4 in column 25 is not ASCII", "line: GaiaPic"]),
    ("NUL byte", variant() + b"\0", ["RCRES:5:", "NUL byte in column 29", "line: CampInI"]),
    # Which part of a statement is wrong.
    ("wrong type word", variant(replace=(3, 'CampMap RCDATA "TestmarkP.map"')),
     ["RCRES:4:", "not a statement", "must be RT_RCDATA, not \"RCDATA\""]),
    ("type word in lower case", variant(replace=(3, 'CampMap rt_rcdata "TestmarkP.map"')),
     ["RCRES:4:", "written rt_rcdata; write RT_RCDATA in capitals"]),
    ("blank after the closing quote", variant(replace=(3, 'CampMap RT_RCDATA "TestmarkP.map" ')),
     ["RCRES:4:", "not a statement", "a blank after the closing quote"]),
    ("tab after the closing quote", variant(replace=(3, 'CampMap RT_RCDATA "TestmarkP.map"\t')),
     ["RCRES:4:", "a tab after the closing quote"]),
    ("tab after the key", variant(replace=(3, 'CampMap\tRT_RCDATA "TestmarkP.map"')),
     ["RCRES:4:", "a tab after the key CampMap; write one blank"]),
    ("two blanks after the type word", variant(replace=(3, 'CampMap RT_RCDATA  "TestmarkP.map"')),
     ["RCRES:4:", "more than one blank after RT_RCDATA"]),
    ("file name without quotes", variant(replace=(3, 'CampMap RT_RCDATA TestmarkP.map')),
     ["RCRES:4:", "must be in double quotes"]),
    ("closing quote missing", variant(replace=(3, 'CampMap RT_RCDATA "TestmarkP.map')),
     ["RCRES:4:", "closing quote of the file name is missing"]),
    ("character in the key", variant(replace=(0, 'Maps-01 RT_RCDATA "CityAmk.map"')),
     ["RCRES:1:", "the key holds the character '-'"]),
    ("leading blank", variant(replace=(3, ' CampMap RT_RCDATA "TestmarkP.map"')),
     ["RCRES:4:", "not a statement", "begins with a blank"]),
    ("folder in a file name", variant(replace=(0, 'Maps_01 RT_RCDATA "..\\\\CityAmk.map"')),
     ["RCRES:1:", "bare name"]),
    ("CampPak inside another line's file name", variant(add='Maps_02 RT_RCDATA "CampPak.map"'),
     ["RCRES:6:", "CampPak"]),
    ("CampPak name without a mission name", variant(replace=(1, 'CampPak RT_RCDATA ".pak"')),
     ["RCRES:2:", "CampPak"]),
    ("CampInI name without a marker", variant(replace=(4, 'CampInI RT_RCDATA ".ini"')), ["RCRES:5:", "CampInI"]),
    ("same name twice in other case", variant(add='MAPS_01 RT_RCDATA "CityAmk.map"'), ["RCRES:6:", "twice"]),
    ("a line named RCRES", variant(add='RCRES RT_RCDATA "CityAmk.map"'), ["RCRES:6:", "RCRES"]),
    ("semicolon in a file name", variant(replace=(0, 'Maps_01 RT_RCDATA "City;Amk.map"')), None),
    # The map goes into the folder that the CampSet line makes.
    ("CampMap before CampSet", "\r\n".join([GOOD[0], GOOD[1], GOOD[3], GOOD[2], GOOD[4]]).encode(),
     ["RCRES:3:", "CampMap", "after the CampSet"]),
    ("CampMap without a CampSet line", variant(drop=2), ["RCRES:3:", "CampMap", "after the CampSet"]),
    ("CampSet folder only dots and blanks", variant(replace=(2, 'CampSet RT_RCDATA ". .set"')),
     ["RCRES:3:", "CampSet", "dots and blanks"]),
    ("lone CR breaks count as lines", "\r".join(GOOD[:2] + ["CampSet RT_RCDATA Testmark.set"] + GOOD[3:]).encode(),
     ["RCRES:3:", "not a statement"]),
    # A key in another letter case is carried and never installed.
    ("map key in lower case", variant(replace=(0, 'maps_01 RT_RCDATA "CityAmk.map"')),
     ["RCRES:1:", "the key maps_01 must be written Maps_01"]),
    ("Maps inside a key in capitals", variant(replace=(0, 'CITYMAPS RT_RCDATA "CityAmk.map"')),
     ["RCRES:1:", "must be written CITYMaps"]),
    ("CampSet in other case above CampMap", variant(replace=(2, 'Campset RT_RCDATA "Testmark.set"')),
     ["RCRES:3:", "the key Campset must be written CampSet"]),
    ("CampInI in other case", variant(replace=(4, 'CampIni RT_RCDATA "TSTM.ini"')),
     ["RCRES:5:", "must be written CampInI"]),
    ("CampTR1 in other case", variant(add='camptr1 RT_RCDATA "Models.txt"'), ["RCRES:6:", "must be written CampTR1"]),
    # Carried, but nothing done with it: the build goes on.
    ("unknown key", variant(add='Extra RT_RCDATA "Models.txt"'),
     Warns(["RCRES:6: warning: the installer does not know the key Extra", 'line: Extra RT_RCDATA "Models.txt"'])),
    ("no CampSet line", "\r\n".join([GOOD[0], GOOD[1], GOOD[4]]).encode(), Warns(["warning: no CampSet line"])),
    # "Vantorel Mission : " and the name make a registry key name of at most 255 characters.
    ("mission name of 236 characters", variant(replace=(1, 'CampPak RT_RCDATA "%s.pak"' % long_name(236))), None),
    ("mission name of 237 characters", variant(replace=(1, 'CampPak RT_RCDATA "%s.pak"' % long_name(237))),
     ["RCRES:2:", "too long", "256 characters", "shorten it by 1"]),
    # A file already at a mission file's name is kept as MARKER-name beside
    # it, whatever the key; the longest file name decides.
    ("backup name of 255 characters", variant(replace=(4, 'CampInI RT_RCDATA "%s.ini"' % long_name(236)),
                                              add='CampMod RT_RCDATA "BuildingModels.txt"'), None),
    ("backup name of 256 characters", variant(replace=(4, 'CampInI RT_RCDATA "%s.ini"' % long_name(237)),
                                              add='CampMod RT_RCDATA "BuildingModels.txt"'),
     ["RCRES:6:", "saved as %s-BuildingModels.txt, 256 characters" % long_name(237), "shorten the marker"]),
    ("file name of 256 characters", variant(add='Maps_02 RT_RCDATA "%s"' % long_name(256)),
     ["RCRES:6:", "has 256 characters; Windows allows 255"]),
    # Names that are no names of files on Windows.
    ("CampSet folder named after a device", variant(replace=(2, 'CampSet RT_RCDATA "CONset"')),
     ["RCRES:3:", "CampSet", "device name"]),
] + [
    # No Windows file name may hold them; the shell's delete of the campaign
    # folder would expand a wildcard.
    ("CampSet name with %r" % c, variant(replace=(2, 'CampSet RT_RCDATA "Test%smark.set"' % c)),
     ["RCRES:3:", "does not allow"]) for c in "*?<>|\t\x01\x1f"
] + [
    ("city map name with %r" % c, variant(replace=(0, 'Maps_01 RT_RCDATA "City%sAmk.map"' % c)),
     ["RCRES:1:", "does not allow"]) for c in "*?|"
]

DEVICE_NAMES = ["NUL.map", "CON.set", "COM1.jpg", "LPT1.txt", "nul", "Com1.tar.gz", "aux .map", "prn", "LPT9.x",
                "CONIN$.txt", "conout$"]
NOT_DEVICES = ["COM10.map", "COM0.map", "NULL.map", "CONSOLE.txt", "Com.map", "LPT.map", "xNUL.map"]
ENDING_WRONG = ["CityAmk.map.", "CityAmk.map ", "CityAmk.", "nul "]
CASES += [
    ("device name %r" % n, variant(add='Maps_02 RT_RCDATA "%s"' % n), ["RCRES:6:", "device name", "rename it"])
    for n in DEVICE_NAMES
] + [
    ("no device: %r" % n, variant(add='Maps_02 RT_RCDATA "%s"' % n), None) for n in NOT_DEVICES
] + [
    ("name ending in a dot or blank: %r" % n, variant(add='Maps_02 RT_RCDATA "%s"' % n),
     ["RCRES:6:", "ends in a dot or a blank"]) for n in ENDING_WRONG
]

FILES = ["CityAmk.map", "City Amk.map", "City;Amk.map", "Testmark.pak", "Testmark.set", "S.et", "set", "s",
         "TestmarkP.map", "TSTM.ini", "Models.txt", "CampPak.map", ".pak", ".ini", ". .set"]
# Present too, so that only the character rule can refuse them.
FILES += ["Test%smark.set" % c for c in "*?<>|\t\x01\x1f"] + ["City%sAmk.map" % c for c in "*?|"]
# Only the name rules may refuse these (the file system here holds any name).
FILES += DEVICE_NAMES + NOT_DEVICES + ENDING_WRONG + ["CONset"]
FILES += [long_name(236) + ".pak", long_name(236) + ".ini", long_name(237) + ".ini", "BuildingModels.txt"]


def flowing(text):
    """The text with every run of white space as one blank: CMake wraps the lines of its messages."""
    return " ".join(text.split())


def run(cmake, script, checker, folder):
    out = os.path.join(folder, "out.rc")
    proc = subprocess.run([cmake, "-DCHECKER=" + checker, "-DMISSION_DIR=" + folder, "-DOUTPUT=" + out, "-DFONT=/font.otf",
                           "-DAPP_MANIFEST=/app.manifest", "-P", script],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    rc = open(out, "rb").read() if os.path.exists(out) else None
    return proc.returncode, proc.stdout.decode("utf-8", "replace"), rc


def make_folder(tmp, i, manifest):
    folder = os.path.join(tmp, "m%02d" % i)
    os.makedirs(folder)
    for f in FILES:
        open(os.path.join(folder, f), "wb").write(b"x")
    open(os.path.join(folder, "RCRES"), "wb").write(manifest)
    return folder


def check_build(cmake, script, checker, example):
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        for i, (case, manifest, expected) in enumerate(CASES):
            folder = make_folder(tmp, i, manifest)
            code, output, rc = run(cmake, script, checker, folder)
            if expected is None or isinstance(expected, Warns):
                if code != 0 or rc is None:
                    failures.append("%s: refused:\n%s" % (case, output))
                    continue
                failures += warning_faults(case, expected and Warns(map(flowing, expected)), flowing(output))
                text = rc.decode("ascii")
                statements = [l for l in re.split(r"\r\n|\r|\n", manifest.decode("ascii")) if l]
                lang = text.index("LANGUAGE 7, 1")
                for s in statements:
                    if s not in text.splitlines() or text.index(s) < lang:
                        failures.append("%s: line not in the script as it stands after LANGUAGE 7, 1: %r" % (case, s))
                if "#include" in text:
                    failures.append("%s: the script includes a header" % case)
                if 'RCRES RT_RCDATA "%s/RCRES"' % folder not in text:
                    failures.append("%s: RCRES statement missing" % case)
                if 'TTF China "/font.otf"' not in text:
                    failures.append("%s: font statement missing (type China, name TTF)" % case)
            else:
                if code == 0:
                    failures.append("%s: accepted, expected a refusal mentioning %r" % (case, expected))
                    continue
                if rc is not None:
                    failures.append("%s: refused, but the resource script was written" % case)
                for fragment in expected:
                    if flowing(fragment) not in flowing(output):
                        failures.append("%s: message lacks %r:\n%s" % (case, fragment, output))
        # The check alone says what it accepted.
        folder = make_folder(tmp, len(CASES), variant())
        proc = subprocess.run([checker, "--check", folder], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        said = proc.stdout.decode("utf-8", "replace")
        if proc.returncode != 0 or "RCRES: OK: mission Testmark (marker TSTM), 5 files\n" not in said:
            failures.append("--check on a good mission does not say OK with the counts:\n" + said)
    # The committed example mission must pass the same check.
    with tempfile.TemporaryDirectory() as tmp:
        proc = subprocess.run([cmake, "-DCHECKER=" + checker, "-DMISSION_DIR=" + example,
                               "-DOUTPUT=" + os.path.join(tmp, "x.rc"),
                               "-DFONT=/f", "-DAPP_MANIFEST=/m", "-P", script],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if proc.returncode != 0:
            failures.append("example mission refused:\n" + proc.stdout.decode())
    return failures


def warning_faults(case, expected, output):
    """What is wrong with the warnings of an accepted manifest."""
    if expected is None:
        return ["%s: accepted with a warning, expected none:\n%s" % (case, output)] if "warning" in output else []
    return ["%s: the warning lacks %r:\n%s" % (case, f, output) for f in expected if f not in output]


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def run_builder(runner, pack_exe, folder, out):
    proc = subprocess.run([runner, pack_exe, windows_path(folder), windows_path(out)], stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
    return proc.returncode, proc.stdout.decode("utf-8", "replace")


def payload_of(exe):
    """{name: bytes} under the type named RT_RCDATA, read by pefile."""
    pe = pefile.PE(exe)
    payload = resource_tree(pe).get("RT_RCDATA", {})
    pe.close()
    return {name: langs.get(1031) for name, langs in payload.items()}


def check_builder(runner, pack_exe):
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        for i, (case, manifest, expected) in enumerate(CASES):
            folder = make_folder(tmp, i, manifest)
            out = os.path.join(tmp, "out%02d.exe" % i)
            code, output = run_builder(runner, pack_exe, folder, out)
            if expected is None or isinstance(expected, Warns):
                if code != 0 or not os.path.isfile(out):
                    failures.append("%s: refused by the builder:\n%s" % (case, output))
                    continue
                failures += warning_faults(case, expected, output)
                names = [l.split(" ", 1)[0].upper() for l in re.split(r"\r\n|\r|\n", manifest.decode("ascii")) if l]
                want = dict({n: b"x" for n in names}, RCRES=manifest)
                if payload_of(out) != want:
                    failures.append("%s: the installer does not carry the manifest and its files" % case)
            else:
                if code == 0:
                    failures.append("%s: accepted by the builder, expected a refusal mentioning %r" % (case, expected))
                if os.path.exists(out) or os.path.exists(out + ".part"):
                    failures.append("%s: refused, but a file was written" % case)
                for fragment in expected + ["no installer was written"]:
                    if fragment not in output:
                        failures.append("%s: the builder's message lacks %r:\n%s" % (case, fragment, output))

        # An output that is one of the inputs, in any spelling, is refused
        # and the input stays as it was.
        folder = make_folder(tmp, len(CASES), variant())
        manifest = os.path.join(folder, "RCRES")
        for case, out, path in [("the manifest", manifest, manifest),
                                ("the manifest in other letter case", os.path.join(folder, "rcres"), manifest),
                                ("a listed file", os.path.join(folder, ".", "TSTM.ini"),
                                 os.path.join(folder, "TSTM.ini")),
                                ("the builder itself", os.path.abspath(pack_exe), pack_exe)]:
            before = open(path, "rb").read()
            code, output = run_builder(runner, pack_exe, folder, out)
            if code == 0 or "is one of the inputs" not in output:
                failures.append("output is %s: not refused as an input:\n%s" % (case, output))
            if open(path, "rb").read() != before:
                failures.append("output is %s: the input was changed" % case)
        code, output = run_builder(runner, pack_exe, folder, folder)
        if code == 0 or "is a folder" not in output:
            failures.append("output is the mission folder: not refused:\n%s" % output)
        # The builder makes no folder: a missing one is named, and nothing is left.
        missing = os.path.join(tmp, "not made", "deeper")
        code, output = run_builder(runner, pack_exe, folder, os.path.join(missing, "Setup.exe"))
        if code == 0 or "the output folder %s does not exist" % windows_path(missing) not in output:
            failures.append("output in a missing folder: not refused as such:\n%s" % output)
        if os.path.exists(os.path.join(tmp, "not made")):
            failures.append("output in a missing folder: a folder was made")
    return failures


def main():
    if sys.argv[1] == "--builder":
        failures = check_builder(*sys.argv[2:4])
    else:
        failures = check_build(*sys.argv[1:5])
    for f in failures:
        print("FAIL:", f)
    if not failures:
        print("manifest rules: %d cases as expected" % len(CASES))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
