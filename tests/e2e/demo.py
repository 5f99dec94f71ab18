"""The demo behind scripts/demo: a demo game in the Wine prefix, the example
mission installed by pressing the button, and removed again through the
registered uninstall command (--uninstall).

  demo.py                 install (prepares the demo game when missing)
  demo.py --uninstall     remove it through Wine's list of installed programs
  demo.py --docs DIR      write the README's two screenshots into DIR

Without a display of the user's own the window opens on the private Xvfb
display and screenshots are left under build/.
"""

import json
import subprocess
import sys
import time
from pathlib import Path

import harness
from harness import MAKER_KEY, Driver, Game, Mission, uninstall_key

MISSION = Mission(harness.EXAMPLE_MISSION)
GAME_FOLDER = r"C:\Spiele\Kaiser"
DOWNLOAD = r"C:\users\Public\Downloads\Brunvald.exe"
OUT = harness.ROOT / "build"


def say(text):
    print("demo: " + text, flush=True)


def window_image(shot, client, runs=None):
    """The window cut from a screenshot; outside its region transparent."""
    from PIL import Image
    l, t = client[:2]
    im = shot.crop((l, t, l + 500, t + 425)).convert("RGBA")
    if runs is None:
        runs = harness.region_runs(harness.picture_pixels())
    mask = Image.new("L", im.size, 0)
    for rl, rt, rr, rb in runs:
        if rt < 425:
            mask.paste(255, (rl, rt, rr, rb))
    im.putalpha(mask)
    return im


def copy_installer(w):
    target = w.unix(DOWNLOAD)
    target.parent.mkdir(parents=True, exist_ok=True)
    target.write_bytes(harness.INSTALLER.read_bytes())
    return DOWNLOAD


def install(w, own_display):
    game = Game(w, folder=GAME_FOLDER)
    if w.reg_values(uninstall_key(MISSION.display_name)) is not None:
        say("the mission is already installed; run scripts/demo --uninstall first")
        return 1
    if not game.root.exists() or w.reg_values(harness.APP_PATHS_KEY) is None:
        game.create()
        say("prepared a demo game in %s (App Paths key, Data, Cities, Model, Campaigns)" % GAME_FOLDER)
    before = game.snapshot()
    (OUT / "demo-game-before.json").write_text(json.dumps(before, indent=1))
    exe = copy_installer(w)
    say("starting %s" % exe)
    options = ["run", "--timeout", "120", "--click", "Installieren", "--hold", "Abschlussmeldung"]
    if not own_display:
        options[3:3] = ["--wait-input"]
    d = Driver(w, options + [exe])
    try:
        shown = d.wait_for("main_visible", 60)
        if not own_display:
            d.wait_for("waiting", 10)
            window_image(w.grab_stable(), shown["client"]).save(OUT / "demo-window.png")
            say("window on screen; screenshot: build/demo-window.png")
            d.go_on()
        else:
            time.sleep(1.5)  # let the user see the window before the click
        say("pressed Installieren")
        box = d.wait_for("box", 60)["box"]
        if not own_display:
            w.grab().save(OUT / "demo-installed.png")
            say("closing message on screen; screenshot: build/demo-installed.png")
        else:
            time.sleep(1.5)
        d.go_on()
        report = d.report(60)
    finally:
        d.kill()
    for b in report["boxes"]:
        say("message box %r: %s" % (b["caption"], b["text"]))
    after = game.snapshot()
    added = sorted(set(after) - set(before))
    changed = sorted(k for k in before if k in after and after[k] != before[k])
    backups = [k for k in added if Path(k).name.startswith(MISSION.marker + "-")]
    say("exit code %s; %d files and folders added (%d backups of game files), %d game files replaced"
        % (report["exit_code"], len(added), len(backups), len(changed)))
    entry = w.reg_values(uninstall_key(MISSION.display_name)) or {}
    say("uninstall entry %r: %s" % (MISSION.display_name, entry.get("UninstallString", ("", "missing"))[1]))
    ok = report["exit_code"] == 0 and box["text"] == "Installation erfolgreich beendet!"
    return 0 if ok else 1


def uninstall(w):
    game = Game(w, folder=GAME_FOLDER)
    if w.reg_values(uninstall_key(MISSION.display_name)) is None:
        say("the mission is not installed (no uninstall entry)")
        return 1
    say("wine uninstaller --remove %r" % MISSION.display_name)
    d = Driver(w, ["watch", "--timeout", "90", "--click", "Deinstallieren", "Brunvald.exe"])
    try:
        d.wait_for("watching", 20)
        remover = w.popen(["uninstaller", "--remove", MISSION.display_name], stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        report = d.report(120)
        remover.wait(30)
    finally:
        d.kill()
    for b in report["boxes"]:
        say("message box %r: %s" % (b["caption"], b["text"]))
    data = game.path("Data")
    gone = harness.poll(lambda: not (data / "Brunvald.exe").exists() and not (data / "des.bat").exists(), 15)
    say("copy and des.bat removed: %s" % ("yes" if gone else "NO"))
    records = [k for k in (MAKER_KEY, uninstall_key(MISSION.display_name)) if w.reg_values(k) is not None]
    say("registry records left: %s" % (", ".join(records) or "none"))
    saved = OUT / "demo-game-before.json"
    same = None
    if saved.exists():
        same = game.snapshot() == json.loads(saved.read_text())
        say("game folder equals its state before the install: %s" % ("yes" if same else "NO"))
    ok = report["exit_code"] == 0 and gone and not records and same is not False
    return 0 if ok else 1


def docs(w, folder):
    """The README's screenshots: install mode, and the bar at about 40 %."""
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    game = Game(w, folder=GAME_FOLDER).create()
    runs = harness.region_runs(harness.picture_pixels())
    exe = copy_installer(w)
    d = Driver(w, ["run", "--timeout", "60", "--wait-input", "--click", "Installieren",
                   "--hold", "Abschlussmeldung", exe])
    try:
        shown = d.wait_for("main_visible", 60)
        origin = shown["client"][:2]
        d.wait_for("waiting", 10)
        window_image(w.grab_stable(), shown["client"], runs).save(folder / "window-install.png")
        d.go_on()
        d.wait_for("click", 10)
        best, seen = None, []
        target = round(414 * 0.40)
        for _ in range(40):
            shot = w.grab()
            if not harness.bar_visible(shot, origin):
                continue
            filled = harness.bar_filled(shot, origin)
            seen.append(filled)
            if best is None or abs(filled - target) < abs(best[0] - target):
                best = (filled, shot)
            if filled >= 414 or filled > target + 30:
                break
        window_image(best[1], shown["client"], runs).save(folder / "window-progress.png")
        say("bar at %.0f %% in window-progress.png (seen: %s)" % (best[0] * 100.0 / 414, seen))
        d.wait_for("box", 30)
        d.go_on()
        d.report(30)
    finally:
        d.kill()
    # Leave nothing behind in the prefix.
    w.reg_delete(MAKER_KEY)
    w.reg_delete(uninstall_key(MISSION.display_name))
    w.reg_delete(harness.APP_PATHS_KEY)
    game.remove_files()
    w.unix(DOWNLOAD).unlink(missing_ok=True)
    return 0


def main(argv):
    import os
    own_display = os.environ.get("BRUNVALD_USER_DISPLAY", "")
    w = harness.wine()
    if own_display and "--docs" not in argv:
        w.env["DISPLAY"] = own_display
        w.display = own_display
    if "--uninstall" in argv:
        return uninstall(w)
    if "--docs" in argv:
        return docs(w, argv[argv.index("--docs") + 1])
    return install(w, bool(own_display))


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
