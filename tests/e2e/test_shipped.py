"""The shipped 32-bit program end to end, as on a player's 64-bit Windows.

It runs in a 64-bit prefix (scripts/wine-env with BRUNVALD_WINE_WOW64=1), so
it sees what a 32-bit program sees there: its registry writes under SOFTWARE
go to the 32-bit view, where the game's own 32-bit setup put its App Paths key
and where the list of installed programs also looks, and its self-removal
script runs in the 32-bit command interpreter. The test reads and writes the
registry with Wine's 64-bit reg, naming the view.

Where this machine runs no 32-bit code, every 32-bit process (the installer,
the command interpreter of its script) runs under qemu's i386 emulator and
takes tens of seconds to start; the test driver is then the x86-64 one, which
finds the emulated program's windows through the same wine server. The waits
are long for that reason, not because the program is slow.

Paths: BRUNVALD_INSTALLER (the win32 build's Brunvald.exe) and
BRUNVALD_DRIVER (a driver that runs in that prefix).
"""

import unittest
from pathlib import Path

import harness
from harness import APP_PATHS_KEY, MAKER_KEY, run_driver, uninstall_key
from test_install import INSTALLED, RunCase
from test_startup import NO_GAME


def machine_of(exe):
    """The PE file's machine: 0x14c for i386, 0x8664 for x86-64."""
    import pefile
    return pefile.PE(str(exe), fast_load=True).FILE_HEADER.Machine


class ShippedProgram(RunCase):
    patience = 10

    @classmethod
    def setUpClass(cls):
        for needed in (harness.INSTALLER, harness.DRIVER):
            if not Path(needed).is_file():
                raise unittest.SkipTest("not built: %s" % needed)
        if machine_of(harness.INSTALLER) != 0x14C:
            raise AssertionError("%s is not the 32-bit program" % harness.INSTALLER)
        # Without the emulator, where it is needed, wine-env's wine_up fails
        # and says so; that message is the test's failure.
        cls.w = harness.wine(wow64=True)

    def clean(self):
        super().clean()
        for key in [APP_PATHS_KEY, MAKER_KEY, uninstall_key(self.mission.display_name)]:
            self.w.reg_delete(key, view="64")

    def assertNoRecordsIn64BitView(self):
        self.assertIsNone(self.w.reg_values(MAKER_KEY, view="64"))
        self.assertIsNone(self.w.reg_values(uninstall_key(self.mission.display_name), view="64"))

    def test_refusal_install_and_uninstall_from_the_list(self):
        exe = self.installer_copy()
        with self.subTest("no game"):
            report = run_driver(self.w, exe, timeout=60 * self.patience)
            self.assertEndedCleanly(report)
            self.assertOneBox(report, "Fehler", NO_GAME)
            self.assertFalse(report["main_ever_visible"])

        # The game as its 32-bit setup leaves it on a 64-bit Windows: its App
        # Paths key written in the 32-bit view. (Wine keeps App Paths as one
        # key that both views show, so where it is read from is not shown
        # here; the records below are kept apart by view.)
        game = self.game()
        self.assertEqual(self.w.reg_values(APP_PATHS_KEY), {"Path": ("REG_SZ", game.path_value)})
        before = game.snapshot()

        report = self.install(exe)
        self.assertEndedCleanly(report)
        self.assertEqual(self.boxes(report), [INSTALLED])
        self.assertInstalled(game, before)  # records read in the 32-bit view
        self.assertNoRecordsIn64BitView()

        self.uninstall_from_list(game)  # also: the copy and des.bat are gone
        self.assertEqual(game.snapshot(), before)
        self.assertNoRecords()
        self.assertNoRecordsIn64BitView()


if __name__ == "__main__":
    unittest.main()
