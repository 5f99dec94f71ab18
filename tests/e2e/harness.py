"""Harness of the end-to-end tests: the shared Wine session, demo game and
driver (wine_session.py, also used by the benchmarks), and what the tests
check with: the expected result of an install worked out from the mission
folder, the progress bar and icons on screenshots, the common test case.
"""

import hashlib
import shutil
import unittest
from pathlib import Path

from wine_session import (  # noqa: F401  (the tests take these from here)
    APP_PATHS_KEY, BUILD, DRIVER, EXAMPLE_MISSION, GAME_FILES, INSTALLER, MAKER_KEY, ROOT, Driver, Game,
    coalesce_bands, make_writable, picture_pixels, poll, region_runs, run_driver, uninstall_key, wine)


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
# for the campaign folder. Whatever the key, a file already at the target is
# saved under its backup name first.
TARGET_FOLDERS = {"CampPak": "Campaigns", "CampSet": None, "CampMap": None, "CampMod": "Model",
                  "CampTR1": "Model", "CampTR2": "Model", "CampMsg": "Model", "CampEng": "",
                  "GaiaPic": "Data", "MainPic": "Data"}


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
        """The relative target path of an entry, or None for no file."""
        if "Maps" in key:
            return "Cities/" + file_name
        if key not in TARGET_FOLDERS:
            return None
        folder = TARGET_FOLDERS[key]
        folder = self.campaign if folder is None else folder
        return (folder + "/" if folder else "") + file_name

    def targets(self):
        """The relative target paths of every entry that places a file."""
        return [t for t in (self.target(k, f) for k, f in self.entries) if t]

    def backup(self, rel):
        """The backup name of the file at a relative target path."""
        folder, _, base = rel.rpartition("/")
        return (folder + "/" if folder else "") + self.marker + "-" + base

    def journal(self):
        """The install journal's place, relative to the game folder."""
        return "Data/Brunvald-%s.journal" % self.marker

    def expected_after_install(self, before, installer_sha):
        """The game folder's snapshot after a complete install over `before`.
        The journal's bytes are the native tests' business; here it must be
        there after an install and gone after the uninstall."""
        after = dict(before)
        after["Data/Brunvald.exe"] = installer_sha
        after[self.journal()] = ANY_CONTENT
        after[self.campaign + "/"] = ""
        for key, file_name in self.entries:
            rel = self.target(key, file_name)
            if rel is None:
                continue
            if rel in before:
                after.setdefault(self.backup(rel), before[rel])
            after[rel] = sha256(self.folder / file_name)
        return after

    def maker_values(self, build_text):
        return {"CampExists": ("REG_SZ", "1"), "CampMarker": ("REG_SZ", self.marker),
                "CampName": ("REG_SZ", self.name), "CampBuild": ("REG_SZ", build_text),
                "CampPicture": ("REG_SZ", "5.3.2.5"), "CampVersion": ("REG_SZ", "1.0.1.0")}

    def size_kb(self):
        """The bytes of the files the installer places, in whole KB rounded up."""
        placed = sum((self.folder / f).stat().st_size for k, f in self.entries if self.target(k, f))
        return (placed + 1023) // 1024

    def uninstall_values(self, game_folder, installer):
        """The entry in the list of installed programs, as `reg query` shows
        it, after an install by `installer` (its version is shown)."""
        folder = game_folder if game_folder.endswith("\\") else game_folder + "\\"
        return {"Publisher": ("REG_SZ", "\u00a9Vantorel"), "DisplayName": ("REG_SZ", self.display_name),
                "UninstallString": ("REG_SZ", '"' + folder + 'Data\\BrunVald.EXE" UNINSTALL'),
                "DisplayIcon": ("REG_SZ", folder + "Data\\Brunvald.exe"),
                "DisplayVersion": ("REG_SZ", file_version_text(installer)),
                "EstimatedSize": ("REG_DWORD", "0x%x" % self.size_kb()),
                "NoModify": ("REG_DWORD", "0x1"), "NoRepair": ("REG_DWORD", "0x1")}


class _AnyContent:
    """Stands in a snapshot for a file whose bytes a test does not fix."""

    def __eq__(self, other):
        return isinstance(other, str)

    def __ne__(self, other):
        return not self.__eq__(other)

    def __repr__(self):
        return "<any content>"


ANY_CONTENT = _AnyContent()


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
