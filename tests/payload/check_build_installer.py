#!/usr/bin/python3
"""Drives scripts/build-installer the way a mission maker would.

    check_build_installer.py BUILD_DIR STUB MISSION_DIR OUT_DIR FONT APP_MANIFEST [RUNNER]

STUB is the program without a mission that the installer is made from.

1. Copies the mission into a folder whose path has blanks and builds an
   installer from it into OUT_DIR (a path with blanks too); the result must
   pass check_installer.py against that mission, its resource section on a
   page in the file. With RUNNER (the Wine runner) the built program is also
   run and must exit 0 (used with the resource probe, which then checks its
   own lookups).
2. The same from a copy of STUB whose resource section starts off a page
   (unless STUB's file alignment is a page): the builder must put the
   installer's on one.
3. A copy whose manifest lists a missing file must be refused, naming the
   line, and must leave no installer and no folder behind.
4. An output in a folder that does not exist is refused, the folder named
   and not made (the output folder must exist, as for brunvald-pack.exe).
"""

import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))


from check_installer import move_resources_off_page


def main():
    build, stub, mission, out_dir, font, app_manifest = sys.argv[1:7]
    runner = sys.argv[7] if len(sys.argv) > 7 else None
    tool = os.path.join(ROOT, "scripts", "build-installer")
    failures = []
    name = os.path.basename(os.path.normpath(mission))

    with tempfile.TemporaryDirectory(prefix="mission maker ") as tmp:
        copy = os.path.join(tmp, "my missions", name)
        shutil.copytree(mission, copy)
        off_page = os.path.join(tmp, "stub off a page.exe")
        starts = [(stub, "")]
        if move_resources_off_page(stub, off_page):
            starts.append((off_page, " off page"))
        for start, label in starts:
            env = dict(os.environ, BRUNVALD_BUILD_DIR=build, BRUNVALD_INSTALLER_STUB=start)
            # The installer copies the running program into the game, whatever
            # name it was shipped under.
            out = os.path.join(out_dir, "built installers", name, "Setup %s%s.exe" % (name, label))
            if os.path.exists(out):
                os.remove(out)
            os.makedirs(os.path.dirname(out), exist_ok=True)
            proc = subprocess.run([tool, copy, out], env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                  universal_newlines=True)
            print(proc.stdout, end="")
            if proc.returncode != 0 or not os.path.isfile(out):
                failures.append("build-installer failed for %s from %s" % (copy, start))
                continue
            check = subprocess.run([sys.executable, os.path.join(HERE, "check_installer.py"), out, copy, font,
                                    app_manifest, "--resources-on-page"])
            if check.returncode:
                failures.append("the installer built from %s does not carry the mission as expected" % start)
            if runner:
                run = subprocess.run([runner, out])
                if run.returncode:
                    failures.append("the program built from %s exited with %d" % (start, run.returncode))

        env = dict(os.environ, BRUNVALD_BUILD_DIR=build, BRUNVALD_INSTALLER_STUB=stub)
        # A manifest naming a file that is not there: refused, nothing written,
        # also no folder for the output.
        broken = os.path.join(tmp, "broken")
        shutil.copytree(mission, broken)
        with open(os.path.join(broken, "RCRES"), "ab") as f:
            f.write(b'\r\nMaps_09 RT_RCDATA "Nowhere.map"')
        bad_folder = os.path.join(out_dir, "built installers", "broken")
        shutil.rmtree(bad_folder, ignore_errors=True)
        bad_out = os.path.join(bad_folder, "Setup broken.exe")
        proc = subprocess.run([tool, broken, bad_out], env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              universal_newlines=True)
        lines = open(os.path.join(mission, "RCRES"), "rb").read().count(b"\n") + 2
        if proc.returncode == 0 or os.path.exists(bad_out):
            failures.append("a manifest with a missing file was accepted")
        elif "RCRES:%d:" % lines not in proc.stdout or "Nowhere.map" not in proc.stdout:
            failures.append("the refusal does not name line %d and the file:\n%s" % (lines, proc.stdout))
        if os.path.exists(bad_folder):
            failures.append("a refused build left the output's folder behind")

        # A good mission into a folder that does not exist: refused as
        # brunvald-pack.exe refuses it, naming the folder, and nothing made.
        missing = os.path.join(tmp, "no such folder")
        proc = subprocess.run([tool, copy, os.path.join(missing, "Setup.exe")], env=env, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, universal_newlines=True)
        if proc.returncode == 0 or "the output folder %s does not exist" % missing not in proc.stdout:
            failures.append("an output in a missing folder was not refused as such:\n%s" % proc.stdout)
        if os.path.exists(missing):
            failures.append("the missing output folder was made")

    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
