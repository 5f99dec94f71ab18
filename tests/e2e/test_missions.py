"""An installer that a mission maker makes for another mission folder with
the stand-alone builder (brunvald-pack.exe on tests/missions/Nordhafen, under
Wine, saved under a name of the maker's choosing) shows its own title and
installs, records and removes its own files."""

import unittest

import harness
from harness import MAKER_KEY, Driver, Mission, uninstall_key
from test_install import INSTALLED, RunCase, EXAMPLE
from test_startup import other_mission

NORDHAFEN = Mission(harness.ROOT / "tests" / "missions" / "Nordhafen")
TITLE_AREA = (96, 291, 96 + 305 + 2, 293 + 50)  # both title labels, client coordinates
PACK = harness.BUILD / "pack" / "brunvald-pack.exe"


def build_nordhafen(w):
    out = harness.BUILD / "tests" / "e2e" / "nordhafen" / "Nordhafen Setup.exe"
    out.parent.mkdir(parents=True, exist_ok=True)
    if out.exists():
        out.unlink()
    w.run([w.windows(PACK), w.windows(NORDHAFEN.folder), w.windows(out)], check=True, timeout=120)
    return out


class SecondMission(RunCase):
    mission = NORDHAFEN

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        if not PACK.is_file():
            raise unittest.SkipTest("not built: %s" % PACK)
        cls.installer = build_nordhafen(cls.w)

    def window_shot(self, exe):
        """The window's client area on screen, waiting in install mode."""
        d = Driver(self.w, ["run", "--timeout", "40", "--wait-input", "--click", "Beenden", exe])
        try:
            shown = d.wait_for("main_visible", 30)
            d.wait_for("waiting", 10)
            shot = self.w.grab_stable()
            d.go_on()
            self.assertEndedCleanly(d.report(30))
        finally:
            d.kill()
        l, t = shown["client"][:2]
        return shot.crop((l, t, l + 500, t + 425))

    def test_own_title_files_records_and_removal(self):
        game = self.game()
        own = self.installer_copy(name="Nordhafen Setup.exe", source=self.installer)
        example = self.installer_copy(source=harness.INSTALLER, folder=self.work / "example")

        # The same window with another title: the pictures differ only where
        # the title labels are drawn.
        mine, theirs = self.window_shot(own), self.window_shot(example)
        title_differs = mine.crop(TITLE_AREA).tobytes() != theirs.crop(TITLE_AREA).tobytes()
        self.assertTrue(title_differs, "both installers show the same title")
        for im in (mine, theirs):
            im.paste((0, 0, 0), TITLE_AREA)
        self.assertEqual(mine.tobytes(), theirs.tobytes())

        before = game.snapshot()
        report = self.install(own)
        self.assertEndedCleanly(report)
        self.assertEqual(self.boxes(report), [INSTALLED])
        self.assertInstalled(game, before)

        # Now the example mission's installer meets another mission's record.
        report = harness.run_driver(self.w, example, timeout=30)
        self.assertEqual(self.boxes(report), [("Fehler", other_mission(NORDHAFEN.name))])
        self.assertFalse(report["main_ever_visible"])

        self.uninstall_from_list(game)
        self.assertEqual(game.snapshot(), before)
        self.assertNoRecords()


if __name__ == "__main__":
    unittest.main()
