"""Harness of the end-to-end tests: the private Wine session, a demo game
installation in drive C:, the registry, the test driver and screenshots.

Everything runs in the Wine prefix that scripts/wine-env chooses
(BRUNVALD_WINEPREFIX, or build/wineprefix). One Wine session (Xvfb display and
wineserver) is started once and reused by every test.

Paths:  BRUNVALD_ROOT (the checkout), BRUNVALD_INSTALLER (Brunvald.exe),
BRUNVALD_DRIVER (brunvald-driver.exe), BRUNVALD_BUILD_DIR (the win32 build).
"""

import hashlib
import json
import os
import queue
import shutil
import subprocess
import threading
import time
from pathlib import Path, PureWindowsPath

ROOT = Path(os.environ.get("BRUNVALD_ROOT", Path(__file__).resolve().parents[2]))
BUILD = Path(os.environ.get("BRUNVALD_BUILD_DIR", ROOT / "build" / "win32"))
INSTALLER = Path(os.environ.get("BRUNVALD_INSTALLER", BUILD / "Brunvald.exe"))
DRIVER = Path(os.environ.get("BRUNVALD_DRIVER", BUILD / "tests" / "e2e" / "driver" / "brunvald-driver.exe"))
EXAMPLE_MISSION = ROOT / "payload" / "mission" / "Aurelmark"
PICTURE = ROOT / "ui" / "assets" / "picture.png"

HKLM_CV = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion"
APP_PATHS_KEY = HKLM_CV + r"\App Paths\Emperor.exe"
MAKER_KEY = HKLM_CV + r"\Vantorel"
UNINSTALL_ROOT = HKLM_CV + r"\Uninstall"


def uninstall_key(display_name):
    return UNINSTALL_ROOT + "\\" + display_name


# ---------------------------------------------------------------------------
# The Wine session
# ---------------------------------------------------------------------------
class Wine:
    """The environment of scripts/wine-env with its server and display up."""

    def __init__(self):
        script = 'BRUNVALD_ROOT="$1"; . "$1/scripts/wine-env"; wine_up; env -0'
        out = subprocess.run(["bash", "-c", script, "wine-env", str(ROOT)], stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=True, timeout=300).stdout
        self.env = dict(item.split("=", 1) for item in out.decode().split("\0") if "=" in item)
        self.prefix = Path(self.env["WINEPREFIX"])
        self.drive_c = self.prefix / "drive_c"
        self.display = self.env.get("DISPLAY", "")

    # Paths ----------------------------------------------------------------
    def unix(self, windows_path):
        """C:\\a\\b -> <prefix>/drive_c/a/b; Z:\\x -> /x."""
        p = PureWindowsPath(windows_path)
        drive = p.drive.upper()
        parts = p.parts[1:]
        if drive == "C:":
            return self.drive_c.joinpath(*parts)
        if drive == "Z:":
            return Path("/").joinpath(*parts)
        raise ValueError("no Unix path for %s" % windows_path)

    def windows(self, unix_path):
        unix_path = Path(unix_path).resolve()
        try:
            rel = unix_path.relative_to(self.drive_c.resolve())
            return "C:\\" + "\\".join(rel.parts)
        except ValueError:
            return "Z:" + str(unix_path).replace("/", "\\")

    # Processes ------------------------------------------------------------
    def run(self, args, timeout=60, check=False):
        """A Windows console tool; its output is in the OEM code page (850)."""
        done = subprocess.run(["wine"] + list(args), env=self.env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
        done.out = done.stdout.decode("cp850", "replace")
        done.err = done.stderr.decode("cp850", "replace")
        if check and done.returncode != 0:
            raise RuntimeError("wine %s failed (%d): %s%s" % (args, done.returncode, done.out, done.err))
        return done

    def popen(self, args, **kwargs):
        return subprocess.Popen(["wine"] + list(args), env=self.env, **kwargs)

    # Registry -------------------------------------------------------------
    def reg_set(self, key, name, value, kind="REG_SZ"):
        args = ["reg", "add", key, "/f", "/t", kind, "/d", value]
        args[3:3] = ["/ve"] if name is None else ["/v", name]
        self.run(args, check=True)

    def reg_delete(self, key):
        self.run(["reg", "delete", key, "/f"])

    def reg_values(self, key):
        """{name: (type, text)} of the key's values, or None without the key."""
        done = self.run(["reg", "query", key])
        if done.returncode != 0:
            return None
        values = {}
        for line in done.out.splitlines():
            if not line.startswith("    "):
                continue
            parts = line[4:].split("    ", 2)
            if len(parts) >= 2 and parts[1].startswith("REG_"):
                values[parts[0]] = (parts[1], parts[2] if len(parts) > 2 else "")
        return values

    def reg_subkeys(self, key):
        done = self.run(["reg", "query", key])
        prefix = key.replace("HKLM", "HKEY_LOCAL_MACHINE", 1) + "\\"
        return [line[len(prefix):] for line in done.out.splitlines() if line.startswith(prefix)]

    # Screen ---------------------------------------------------------------
    def grab(self):
        """The whole Xvfb screen as a Pillow RGB image."""
        from PIL import Image
        import io
        png = subprocess.run(["import", "-window", "root", "png:-"], env=self.env, stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=True, timeout=30).stdout
        return Image.open(io.BytesIO(png)).convert("RGB")

    def grab_stable(self, timeout=5.0):
        """Screenshots until two in a row are equal (painting has settled)."""
        last = self.grab()
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            shot = self.grab()
            if shot.tobytes() == last.tobytes():
                return shot
            last = shot
        return last


_wine = None


def wine():
    global _wine
    if _wine is None:
        _wine = Wine()
    return _wine


# ---------------------------------------------------------------------------
# The demo game
# ---------------------------------------------------------------------------
# The game's own files that the example and the test missions replace or sit
# beside, each with content of its own ("game original" bytes).
GAME_FILES = [
    "Emperor.exe",
    "EmperorText.eng",
    "Data/China_FE_MainMenu.jpg",
    "Data/China_MapOfChina01.jpg",
    "Data/Emperor.ico",
    "Cities/Beijing.map",
    "Model/EmperorBuildingModels.txt",
    "Model/EmperorMessages.txt",
    "Model/TreeImage.Index",
    "Model/ResetTreeImage.Index",
    "Campaigns/Original.pak",
    "Campaigns/Original/Original.set",
]
GAME_FOLDERS = ["Data", "Cities", "Model", "Campaigns"]


def game_original(rel):
    return ("game original %s\r\n" % rel).encode("ascii") * 16


class Game:
    """A demo installation of the game in drive C: with its App Paths key."""

    def __init__(self, w, folder=r"C:\Spiele\Kaiser", omit=(), path_value=None):
        self.w = w
        self.folder = folder.rstrip("\\")
        self.root = w.unix(self.folder)
        self.omit = set(omit)
        self.path_value = self.folder if path_value is None else path_value

    def create(self):
        self.remove_files()
        for sub in GAME_FOLDERS:
            (self.root / sub).mkdir(parents=True, exist_ok=True)
        for rel in GAME_FILES:
            if rel in self.omit:
                continue
            target = self.root / rel
            target.parent.mkdir(parents=True, exist_ok=True)
            target.write_bytes(game_original(rel))
        self.w.reg_set(APP_PATHS_KEY, "Path", self.path_value)
        return self

    def remove_files(self):
        if self.root.exists():
            make_writable(self.root)
            shutil.rmtree(self.root)
        # Leave no empty parent made for the game (C:\Spiele).
        parent = self.root.parent
        if parent != self.w.drive_c and parent.exists() and not any(parent.iterdir()):
            parent.rmdir()

    def path(self, rel):
        return self.root / rel

    def snapshot(self):
        """{relative path: sha256} of every file, and "dir/" for every folder."""
        result = {}
        for p in sorted(self.root.rglob("*")):
            rel = p.relative_to(self.root).as_posix()
            result[rel + "/" if p.is_dir() else rel] = (
                "" if p.is_dir() else hashlib.sha256(p.read_bytes()).hexdigest())
        return result


def make_writable(root):
    for p in [root] + list(Path(root).rglob("*")):
        try:
            p.chmod(0o755 if p.is_dir() else 0o644)
        except OSError:
            pass


def sha256(path):
    return hashlib.sha256(Path(path).read_bytes()).hexdigest()


def read_manifest(mission_dir):
    """[(resourceName, fileName)] of the mission's RCRES, read by its own rule."""
    text = (Path(mission_dir) / "RCRES").read_bytes().decode("ascii")
    entries = []
    for line in text.replace("\r\n", "\n").split("\n"):
        name, rest = line.split(" ", 1)
        entries.append((name, rest.split('"')[1]))
    return entries


# ---------------------------------------------------------------------------
# The test driver
# ---------------------------------------------------------------------------
class DriverError(AssertionError):
    pass


class Driver:
    """brunvald-driver running under Wine, its events read as they come."""

    def __init__(self, w, args):
        self.w = w
        self.events = []
        self._queue = queue.Queue()
        self.proc = w.popen([str(DRIVER)] + list(args), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL)
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        for raw in self.proc.stdout:
            try:
                item = json.loads(raw.decode("utf-8"))
            except ValueError:
                continue
            self._queue.put(item)
        self._queue.put(None)

    def next_event(self, timeout):
        try:
            item = self._queue.get(timeout=timeout)
        except queue.Empty:
            raise DriverError("no event from the driver within %.1f s; so far: %s" % (timeout, self.events))
        if item is None:
            raise DriverError("the driver ended early; events: %s" % self.events)
        self.events.append(item)
        return item

    def wait_for(self, name, timeout=30.0, **fields):
        """The next event of that name (whose fields match, when given)."""
        end = time.monotonic() + timeout
        while True:
            item = self.next_event(max(0.05, end - time.monotonic()))
            if item.get("event") == name and all(item.get(k) == v for k, v in fields.items()):
                return item
            if time.monotonic() > end:
                raise DriverError("no %s event; events: %s" % (name, self.events))

    def go_on(self):
        """Releases a held box or a --wait-input action."""
        self.proc.stdin.write(b"\n")
        self.proc.stdin.flush()

    def report(self, timeout=60.0):
        item = self.wait_for("report", timeout)
        self.proc.wait(timeout=10)
        return item

    def kill(self):
        """Ends the driver if it still runs and closes its pipes."""
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self._reader.join(timeout=5)
        for pipe in (self.proc.stdin, self.proc.stdout):
            try:
                pipe.close()
            except OSError:
                pass


def run_driver(w, exe_windows_path, *options, timeout=40):
    """Runs EXE through the driver to its end and returns the report."""
    d = Driver(w, ["run", "--timeout", str(timeout)] + list(options) + [exe_windows_path])
    try:
        return d.report(timeout + 20)
    finally:
        d.kill()


# ---------------------------------------------------------------------------
# Waiting without blind sleeps
# ---------------------------------------------------------------------------
def poll(condition, timeout=10.0, interval=0.05):
    """Calls condition until it returns something true; returns that or None."""
    end = time.monotonic() + timeout
    while True:
        value = condition()
        if value or time.monotonic() > end:
            return value
        time.sleep(interval)


# ---------------------------------------------------------------------------
# Pictures, read with Pillow (not our decoder)
# ---------------------------------------------------------------------------
def picture_pixels(path=PICTURE):
    from PIL import Image
    im = Image.open(path)
    im.load()
    return im.convert("RGBA")


def region_runs(im):
    """The one-row runs of pixels that differ from the key colour after the
    picture is composited over white; the key colour is the composited
    bottom-left pixel. [(left, top, right, bottom)] in row order."""
    w, h = im.size
    px = im.load()

    def over_white(p):
        r, g, b, a = p
        return tuple((255 * (255 - a) + c * a + 127) // 255 for c in (r, g, b))

    key = over_white(px[0, h - 1])
    runs = []
    for y in range(h):
        start = None
        for x in range(w):
            inside = over_white(px[x, y]) != key
            if inside and start is None:
                start = x
            elif not inside and start is not None:
                runs.append((start, y, x, y + 1))
                start = None
        if start is not None:
            runs.append((start, y, w, y + 1))
    return runs


def coalesce_bands(runs):
    """The rectangles a Windows region holds for these one-row runs: rows next
    to each other with exactly the same spans form one band."""
    rows = {}
    for l, t, r, b in runs:
        rows.setdefault(t, []).append((l, r))
    bands = []  # [top, bottom, spans]
    for y in sorted(rows):
        spans = rows[y]
        if bands and bands[-1][1] == y and bands[-1][2] == spans:
            bands[-1][1] = y + 1
        else:
            bands.append([y, y + 1, spans])
    return [(l, top, r, bottom) for top, bottom, spans in bands for l, r in spans]


def pixel_count(rects):
    return sum((r - l) * (b - t) for l, t, r, b in rects)


def classify_icon(shot, rect):
    """Kind of a message box icon seen on screen. Wine draws the error icon as
    a red disc (about RGB(246, 71, 71)), the exclamation icon as an orange
    triangle (RGB(245, 121, 0) and lighter) and the information icon in blue.
    The stock icon handles cannot be compared across processes under Wine, so
    the screen decides."""
    l, t, r, b = rect
    if r <= l or b <= t:
        return "none"
    counts = {"error": 0, "exclamation": 0, "information": 0}
    for y in range(t, b):
        for x in range(l, r):
            pr, pg, pb = shot.getpixel((x, y))
            if pr > 150 and pg < 110 and pb < 110 and abs(pg - pb) <= 25:
                counts["error"] += 1
            elif pr > 180 and pg >= 100 and pb < 110 and pg - pb >= 50:
                counts["exclamation"] += 1
            elif pb > 150 and pr < 100:
                counts["information"] += 1
    kind = max(counts, key=counts.get)
    return kind if counts[kind] > (r - l) * (b - t) // 10 else "unknown"


# ---------------------------------------------------------------------------
# The common base of the test cases
# ---------------------------------------------------------------------------
import unittest  # noqa: E402

KNOWN_DISPLAY_NAMES = ["Vantorel Mission : Aurelmark", "Vantorel Mission : Nordhafen"]
WORK = r"C:\e2e"


class E2ECase(unittest.TestCase):
    """Starts from a clean prefix (no game, no records, no work folder) and
    leaves it clean, whatever the test did."""

    @classmethod
    def setUpClass(cls):
        for needed in (INSTALLER, DRIVER):
            if not Path(needed).is_file():
                raise unittest.SkipTest("not built: %s" % needed)
        cls.w = wine()

    def setUp(self):
        self.clean()
        self.addCleanup(self.clean)
        self.work = self.w.unix(WORK) / self.id().rsplit(".", 2)[-1][:40]
        self.work.mkdir(parents=True, exist_ok=True)

    def clean(self):
        for key in [APP_PATHS_KEY, MAKER_KEY] + [uninstall_key(n) for n in KNOWN_DISPLAY_NAMES]:
            self.w.reg_delete(key)
        work = self.w.unix(WORK)
        if work.exists():
            make_writable(work)
            shutil.rmtree(work)
        spiele = self.w.unix(r"C:\Spiele")
        if spiele.exists():
            make_writable(spiele)
            shutil.rmtree(spiele)

    # Helpers --------------------------------------------------------------
    def installer_copy(self, name="Brunvald.exe", source=INSTALLER, folder=None):
        """A copy of the installer to run: the uninstall deletes the running
        executable, so the build's own file is never started."""
        folder = Path(folder) if folder else self.work / "download"
        folder.mkdir(parents=True, exist_ok=True)
        target = folder / name
        shutil.copyfile(source, target)
        return self.w.windows(target)

    def game(self, **kwargs):
        return Game(self.w, **kwargs).create()

    def assertOneBox(self, report, caption, text):
        boxes = [(b["caption"], b["text"]) for b in report["boxes"]]
        self.assertEqual(boxes, [(caption, text)])

    def assertEndedCleanly(self, report):
        self.assertFalse(report["timed_out"], report)
        self.assertEqual(report["exit_code"], 0)


# ---------------------------------------------------------------------------
# What an install should leave, worked out from the mission folder alone
# ---------------------------------------------------------------------------
# Where each manifest key puts its file, relative to the game folder; None
# for the campaign folder. Keys whose game file is saved under a backup name
# first are in BACKED_UP.
TARGET_FOLDERS = {"CampPak": "Campaigns", "CampSet": None, "CampMap": None, "CampMod": "Model",
                  "CampTR1": "Model", "CampTR2": "Model", "CampMsg": "Model", "CampEng": "",
                  "GaiaPic": "Data", "MainPic": "Data"}
BACKED_UP = {"CampMod", "CampTR1", "CampTR2", "CampMsg", "CampEng", "GaiaPic", "MainPic"}


class Mission:
    def __init__(self, folder):
        self.folder = Path(folder)
        self.entries = read_manifest(self.folder)
        keys = dict(self.entries)
        self.name = keys["CampPak"][:-4]
        self.marker = keys["CampInI"][:-4]
        self.display_name = "Vantorel Mission : " + self.name
        # The set file's name less its extension, a trailing dot dropped by
        # the file system: Campaigns\Aurelmark.
        self.campaign = "Campaigns/" + keys["CampSet"][:-3].rstrip(".")

    def target(self, key, file_name):
        """(relative target path, backed up?) or None for no file."""
        if "Maps" in key:
            return "Cities/" + file_name, False
        if key not in TARGET_FOLDERS:
            return None
        folder = TARGET_FOLDERS[key]
        folder = self.campaign if folder is None else folder
        return (folder + "/" if folder else "") + file_name, key in BACKED_UP

    def expected_after_install(self, before, installer_sha):
        """The game folder's snapshot after a complete install over `before`."""
        after = dict(before)
        after["Data/Brunvald.exe"] = installer_sha
        after[self.campaign + "/"] = ""
        for key, file_name in self.entries:
            target = self.target(key, file_name)
            if target is None:
                continue
            rel, backed_up = target
            if backed_up and rel in before:
                folder, _, base = rel.rpartition("/")
                backup = (folder + "/" if folder else "") + self.marker + "-" + base
                after.setdefault(backup, before[rel])
            after[rel] = sha256(self.folder / file_name)
        return after

    def maker_values(self, build_text):
        return {"CampExists": ("REG_SZ", "1"), "CampMarker": ("REG_SZ", self.marker),
                "CampName": ("REG_SZ", self.name), "CampBuild": ("REG_SZ", build_text),
                "CampPicture": ("REG_SZ", "5.3.2.5"), "CampVersion": ("REG_SZ", "1.0.1.0")}

    def uninstall_values(self, game_folder):
        folder = game_folder if game_folder.endswith("\\") else game_folder + "\\"
        return {"Publisher": ("REG_SZ", "\u00a9Vantorel"), "DisplayName": ("REG_SZ", self.display_name),
                "UninstallString": ("REG_SZ", '"' + folder + 'Data\\BrunVald.EXE" UNINSTALL')}


def file_version_text(exe):
    """The fixed file version of an executable, read with pefile."""
    import pefile
    pe = pefile.PE(str(exe), fast_load=True)
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    info = pe.VS_FIXEDFILEINFO[0]
    return "%d.%d.%d.%d" % (info.FileVersionMS >> 16, info.FileVersionMS & 0xFFFF,
                            info.FileVersionLS >> 16, info.FileVersionLS & 0xFFFF)


# ---------------------------------------------------------------------------
# The progress bar on screen
# ---------------------------------------------------------------------------
BAR_LEFT, BAR_TOP, BAR_WIDTH, BAR_HEIGHT = 41, 348, 416, 8
BAR_BACK = (82, 40, 8)


def bar_columns(shot, client_origin):
    """The 414 interior columns of the bar, sampled in its middle row."""
    ox, oy = client_origin
    y = oy + BAR_TOP + BAR_HEIGHT // 2
    return [shot.getpixel((ox + BAR_LEFT + 1 + i, y)) for i in range(BAR_WIDTH - 2)]


def bar_filled(shot, client_origin):
    """How many interior columns, from the left, are not the unfilled brown."""
    filled = 0
    for colour in bar_columns(shot, client_origin):
        if colour == BAR_BACK:
            break
        filled += 1
    return filled


def bar_visible(shot, client_origin):
    """The bar's status frame is on screen: its top row is one colour (the
    button shadow) and its bottom row another (the button highlight). The
    wood of the picture beneath a hidden bar is never that even."""
    ox, oy = client_origin
    top = {shot.getpixel((ox + BAR_LEFT + x, oy + BAR_TOP)) for x in range(BAR_WIDTH - 1)}
    bottom = {shot.getpixel((ox + BAR_LEFT + x, oy + BAR_TOP + BAR_HEIGHT - 1)) for x in range(BAR_WIDTH)}
    return len(top) == 1 and len(bottom) == 1 and top != bottom
