"""Start-up driven from outside: the three refusals and the two modes.

A refusal must show exactly its German box (caption "Fehler", error icon), end
with exit code 0, and never show the window. Otherwise the window opens with
the button of the mode that the first argument selects, and "Beenden" ends the
program with exit code 0.
"""

import shutil
import subprocess
import unittest

import harness
from harness import APP_PATHS_KEY, MAKER_KEY, E2ECase, Driver, poll, run_driver

GAME_RUNNING = ("Das Spiel <Der erste Kaiser> ist noch aktiv. Bitte beenden Sie das Programm und starten "
                "Sie diese Deinstallationsroutine neu!")
NO_GAME = "Es konnte keine <Der erste Kaiser> Installation gefunden werden!"


def other_mission(name):
    return ("Aktuell ist eine andere Vantorel Mission installiert!\r\n\r\n\t< " + name + " >\r\n\r\n"
            "Diese muss erst deinstalliert werden, bevor Sie eine andere Mission installieren! Rufen Sie "
            "dazu das Deinstallationsprogramm von Windows auf und starten den Deinstallationsprozess.")


class StartupCase(E2ECase):
    def refused(self, args, text):
        """Runs the installer, holds its one box for a screenshot of the icon,
        and checks the refusal as a whole."""
        exe = self.installer_copy()
        options = ["run", "--timeout", "30", "--hold", "Fehler"]
        if args is not None:
            options += ["--args", args]
        d = Driver(self.w, options + [exe])
        try:
            box = d.wait_for("box", 20)["box"]
            shot = self.w.grab()
            d.go_on()
            report = d.report(30)
        finally:
            d.kill()
        self.assertEndedCleanly(report)
        self.assertOneBox(report, "Fehler", text)
        self.assertEqual(box["buttons"], ["OK"])
        self.assertEqual(harness.classify_icon(shot, box["icon_rect"]), "error")
        self.assertFalse(report["main_ever_visible"], "the window showed before the refusal")
        main = [w for w in report["windows"] if w["class"] == "TMain"]
        self.assertTrue(all(not w["ever_visible"] for w in main), report["windows"])


class GameRunning(StartupCase):
    """A process named like the game in other letters refuses start-up."""

    def start_dummy_game(self):
        dummy = self.work / "Spiel" / "eMpErOr.EXE"
        dummy.parent.mkdir(parents=True)
        shutil.copyfile(harness.DRIVER, dummy)
        ready = self.work / "dummy-ready"
        proc = self.w.popen([str(dummy), "sleep", "120", self.w.windows(ready)], stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def stop():
            proc.kill()
            proc.wait()
        self.addCleanup(stop)
        self.assertTrue(poll(ready.exists, 20), "the dummy game did not start")

    def test_refuses_in_both_modes_with_and_without_game_folder(self):
        self.start_dummy_game()
        # (game registered, first argument): the running game is checked
        # first, so only its message shows even when no game is registered.
        for registered, args in [(True, None), (True, "UNINSTALL"), (False, None)]:
            with self.subTest(registered=registered, args=args):
                if registered:
                    self.game()
                else:
                    self.w.reg_delete(APP_PATHS_KEY)
                self.refused(args, GAME_RUNNING)


class NoGame(StartupCase):
    def test_missing_key_and_empty_path_refuse(self):
        for case in ["no key", "empty Path"]:
            with self.subTest(case=case):
                self.w.reg_delete(APP_PATHS_KEY)
                if case == "empty Path":
                    self.w.reg_set(APP_PATHS_KEY, "Path", "")
                self.refused(None, NO_GAME)


class OtherMission(StartupCase):
    def test_other_marker_refuses_in_both_modes(self):
        self.game()
        # (CampMarker, CampName, first argument, name shown)
        cases = [
            ("ALTM", "Altmark", None, "Altmark"),
            ("ALTM", "Altmark", "UNINSTALL", "Altmark"),
            ("ALTM", None, None, ""),
            (None, None, None, ""),                 # the key alone, no values
            ("armk", "Aurelmark", None, "Aurelmark"),  # the marker compares case-sensitively
        ]
        for marker, name, args, shown in cases:
            with self.subTest(marker=marker, name=name, args=args):
                self.w.reg_delete(MAKER_KEY)
                self.w.run(["reg", "add", MAKER_KEY, "/f"], check=True)
                if marker is not None:
                    self.w.reg_set(MAKER_KEY, "CampMarker", marker)
                if name is not None:
                    self.w.reg_set(MAKER_KEY, "CampName", name)
                self.refused(args, other_mission(shown))


class Modes(E2ECase):
    """The first argument, split by the program's rules, picks the button."""

    def test_argument_selects_the_button_and_beenden_ends(self):
        self.game()
        cases = [
            (None, "Installieren"),
            ("uninstall", "Installieren"),
            ("UNINSTALLX", "Installieren"),
            ("UNINSTAL", "Installieren"),
            ("UNINSTALL", "Deinstallieren"),
            ('"UNINSTALL"', "Deinstallieren"),
            ('""  UNINSTALL', "Deinstallieren"),   # an empty pair of quotes is skipped
            ("UNINSTALL more", "Deinstallieren"),
            ('UN"INSTALL"', "Deinstallieren"),     # quotes inside an argument are dropped
        ]
        exe = self.installer_copy()
        for args, button in cases:
            with self.subTest(args=args):
                options = ["--click", "Beenden"] + (["--args", args] if args is not None else [])
                report = run_driver(self.w, exe, *options, timeout=30)
                self.assertEndedCleanly(report)
                self.assertEqual(report["boxes"], [])
                self.assertTrue(report["main_ever_visible"])
                self.assertEqual(report["actions_done"], 1, "Beenden was not there to press")
                visible = sorted(c["text"] for c in report["main"]["children"] if c["visible"])
                self.assertEqual(visible, sorted([button, "Beenden"]))

    def test_same_marker_recorded_passes_in_both_modes(self):
        self.game()
        self.w.reg_set(MAKER_KEY, "CampMarker", "ARMK")
        self.w.reg_set(MAKER_KEY, "CampName", "Aurelmark")
        exe = self.installer_copy()
        for args, button in [(None, "Installieren"), ("UNINSTALL", "Deinstallieren")]:
            with self.subTest(args=args):
                options = ["--click", "Beenden"] + (["--args", args] if args else [])
                report = run_driver(self.w, exe, *options, timeout=30)
                self.assertEndedCleanly(report)
                self.assertEqual(report["boxes"], [])
                visible = [c["text"] for c in report["main"]["children"] if c["visible"]]
                self.assertIn(button, visible)
        # Start-up only reads the record.
        self.assertEqual(self.w.reg_values(MAKER_KEY),
                         {"CampMarker": ("REG_SZ", "ARMK"), "CampName": ("REG_SZ", "Aurelmark")})


if __name__ == "__main__":
    unittest.main()
