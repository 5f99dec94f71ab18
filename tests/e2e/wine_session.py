"""What the end-to-end tests and the benchmarks share: the project's private
Wine session (Xvfb display and wineserver, started once and reused), the
registry through Wine's reg, a demo game installation in drive C:, the test
driver, and the window's picture as Pillow reads it.

Everything runs in the Wine prefix that scripts/wine-env chooses
(BRUNVALD_WINEPREFIX, or build/wineprefix).

Paths:  BRUNVALD_ROOT (the checkout), BRUNVALD_INSTALLER (Brunvald.exe),
BRUNVALD_DRIVER (brunvald-driver.exe), BRUNVALD_BUILD_DIR (the win32 build).
The tests run with this folder as their working directory; scripts/bench puts
it on PYTHONPATH.
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
# The build whose programs run here: build/win32, or build/win64 where this
# machine runs Windows programs only as 64-bit ones (scripts/wine-env).
BUILD = Path(os.environ.get("BRUNVALD_BUILD_DIR", ROOT / "build" / os.environ.get("BRUNVALD_WINDOWS_PRESET", "win32")))
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
    """The environment of scripts/wine-env with its server and display up.

    With wow64, the session in which 32-bit programs run as on a 64-bit
    Windows (a 64-bit prefix; see scripts/wine-env); its registry calls go to
    the 32-bit view unless another view is named."""

    def __init__(self, wow64=False):
        script = 'BRUNVALD_ROOT="$1"; . "$1/scripts/wine-env"; wine_up || exit 1; env -0'
        env = dict(os.environ, BRUNVALD_WINE_WOW64="1" if wow64 else "")
        # A first set-up of the WOW64 prefix runs 32-bit programs, emulated
        # where this machine runs no 32-bit code: minutes, not seconds.
        done = subprocess.run(["bash", "-c", script, "wine-env", str(ROOT)], stdin=subprocess.DEVNULL, env=env,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=900 if wow64 else 300)
        if done.returncode != 0:
            raise RuntimeError("scripts/wine-env: wine_up failed: %s" % done.stderr.decode("utf-8", "replace"))
        out = done.stdout
        self.default_view = "32" if wow64 else None
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
    # view: "32" or "64" for that view of the registry (reg's /reg:32 and
    # /reg:64), None for the session's default.
    def reg(self, args, view=None, check=False):
        view = view or self.default_view
        return self.run(["reg"] + list(args) + (["/reg:" + view] if view else []), check=check)

    def reg_set(self, key, name, value, kind="REG_SZ", view=None):
        args = ["add", key, "/f", "/t", kind, "/d", value]
        args[2:2] = ["/ve"] if name is None else ["/v", name]
        self.reg(args, view, check=True)

    def reg_delete(self, key, view=None):
        self.reg(["delete", key, "/f"], view)

    def reg_values(self, key, view=None):
        """{name: (type, text)} of the key's values, or None without the key."""
        done = self.reg(["query", key], view)
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

    def reg_subkeys(self, key, view=None):
        done = self.reg(["query", key], view)
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


_sessions = {}


def wine(wow64=False):
    if wow64 not in _sessions:
        _sessions[wow64] = Wine(wow64)
    return _sessions[wow64]


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
