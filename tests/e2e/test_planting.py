"""Proxy DLLs planted beside the installer under the names of system DLLs.

The installer runs elevated from a downloads folder, and its uninstalling copy
from the game's Data folder, where mod tools leave proxy DLLs. A system DLL
that the platform's own DLLs load by name after the program has started (a
delay-loaded import, a helper of the theme or the shell) would be looked for
beside the program. Here a stand-in DLL that leaves a marker file when loaded
is planted under every such name beside the running executable, and Wine is
told to prefer a DLL found there (as Windows does for DLLs that are not
KnownDLLs). A whole install and a whole uninstall must finish as usual with
none of them loaded, and so must a refusal, whose box is shown before the
program has loaded everything it preloads.
"""

import copy
import os
import shutil
import subprocess
import unittest
from pathlib import Path

import harness
from harness import Driver
from test_install import INSTALLED, UNINSTALLED, RunCase
from test_startup import NO_GAME

PLANTED = Path(os.environ.get("BRUNVALD_PLANTED_DLL",
                              harness.BUILD / "tests" / "win32" / "host" / "planted" / "version.dll"))
PLAIN_LOADER = Path(os.environ.get("BRUNVALD_PLAIN_LOADER",
                                   harness.BUILD / "tests" / "win32" / "host" / "brunvald_version_probe_bare.exe"))

# Loaded by name after the program's first line during a whole install and
# uninstall under Wine (seen with WINEDEBUG=+loaddll,+module), and loaded so
# on Windows by the window, theme, shell, COM and security functions (those
# that Wine has), and shell32 with its imports, which the program loads only
# at the end of an uninstall. version.dll is not here: Wine's own user32 imports it before
# the program's first line, which no program can prevent under Wine
# (host.dll_planting.version_dll_beside_the_program covers it).
LOADED_LATER = ["msimg32.dll", "uxtheme.dll", "ole32.dll", "combase.dll", "rpcrt4.dll", "dwmapi.dll",
                "oleacc.dll", "apphelp.dll", "userenv.dll", "propsys.dll", "setupapi.dll",
                "shell32.dll", "shlwapi.dll", "shcore.dll"]


def overrides():
    """Wine's defaults of the test session, and native-first for the names."""
    return "mscoree,mshtml=;" + ",".join(Path(n).stem for n in LOADED_LATER) + "=n,b"


class PlantedDlls(RunCase):
    def setUp(self):
        super().setUp()
        for needed in (PLANTED, PLAIN_LOADER):
            if not needed.is_file():
                self.skipTest("not built: %s" % needed)
        # The same Wine session, with native DLLs preferred for those names.
        self.planted_w = copy.copy(self.w)
        self.planted_w.env = dict(self.w.env, WINEDLLOVERRIDES=overrides())

    def plant(self, folder):
        for name in LOADED_LATER:
            shutil.copyfile(PLANTED, folder / name)

    def markers(self, folder):
        return sorted(p.name for p in folder.glob("*.loaded"))

    def check_control(self, folder):
        """A plain LoadLibraryW from that folder does load every planted DLL:
        otherwise a run without markers would prove nothing."""
        loader = folder / "plain_loader.exe"
        shutil.copyfile(PLAIN_LOADER, loader)
        done = subprocess.run(["wine", str(loader), "--plain"] + LOADED_LATER, env=self.planted_w.env,
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              timeout=120)
        self.assertEqual(self.markers(folder), sorted(n + ".loaded" for n in LOADED_LATER),
                         "control: a plain load did not pick up the planted DLLs (%r)" % done.stdout)
        for marker in folder.glob("*.loaded"):
            marker.unlink()
        loader.unlink()

    def run_planted(self, options, exe):
        d = Driver(self.planted_w, ["run", "--timeout", "90"] + options + [exe])
        try:
            return d.report(150)
        finally:
            d.kill()

    def test_install_and_uninstall_load_none_of_them(self):
        game = self.game()
        before = game.snapshot()
        exe = self.installer_copy()
        download = self.w.unix(exe).parent
        self.plant(download)
        self.check_control(download)

        report = self.run_planted(["--click", "Installieren"], exe)
        self.assertEqual(self.markers(download), [])
        self.assertEndedCleanly(report)
        self.assertEqual(self.boxes(report), [INSTALLED])

        data = game.path("Data")
        self.plant(data)
        report = self.run_planted(["--args", "UNINSTALL", "--click", "Deinstallieren"],
                                  self.w.windows(data / "Brunvald.exe"))
        self.assertEqual(self.markers(data), [])
        self.assertEndedCleanly(report)
        self.assertEqual(self.boxes(report), [UNINSTALLED])
        self.assertSelfRemoved(data)
        for name in LOADED_LATER:
            (data / name).unlink()
        self.assertEqual(game.snapshot(), before)
        self.assertNoRecords()

    def test_refusal_loads_none_of_them(self):
        exe = self.installer_copy()
        download = self.w.unix(exe).parent
        self.plant(download)
        report = self.run_planted([], exe)
        self.assertEqual(self.markers(download), [])
        self.assertEndedCleanly(report)
        self.assertEqual(self.boxes(report), [("Fehler", NO_GAME)])


if __name__ == "__main__":
    unittest.main()
