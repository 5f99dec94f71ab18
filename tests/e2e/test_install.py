"""Install and uninstall runs of the real installer under Wine, on a demo game
made by the test, with the uninstall started the way a player starts it: from
Wine's list of installed programs.

The game folder is compared byte for byte with what the install must leave
(worked out from the mission folder and the game's state before) and, after
the uninstall, with its state before the install.
"""

import json
import os
import shutil
import subprocess
import unittest

import harness
from harness import MAKER_KEY, E2ECase, Driver, Mission, poll, uninstall_key

INSTALLED = ("Abschlussmeldung", "Installation erfolgreich beendet!")
UNINSTALLED = ("Abschlussmeldung", "Deinstallation erfolgreich beendet!")
ENTRY_MISSING = ("Fehler", "Die Mission wurde erfolgreich deinstalliert, nur der Registryeintrag konnte "
                 "nichtentfernt werden. Sie k\u00f6nnen den Eintrag auch seperat l\u00f6schen.")

EXAMPLE = Mission(harness.EXAMPLE_MISSION)


class RunCase(E2ECase):
    mission = EXAMPLE
    installer = harness.INSTALLER
    # How many times longer than usual each wait may last (an emulated
    # program starts in tens of seconds).
    patience = 1

    def boxes(self, report):
        return [(b["caption"], b["text"]) for b in report["boxes"]]

    def install(self, exe, check_bar=False):
        """Presses Installieren and answers every box; with check_bar, the
        bar is looked at on screen while the closing message is open."""
        p = self.patience
        options = ["run", "--timeout", str(60 * p), "--click", "Installieren"]
        if check_bar:
            options += ["--hold", "Abschlussmeldung"]
        d = Driver(self.w, options + [exe])
        try:
            if check_bar:
                shown = d.wait_for("main_visible", 30 * p)
                box = d.wait_for("box", 40 * p)["box"]
                shot = self.w.grab()
                d.go_on()
                self.check_full_bar(shot, shown["client"][:2])
                self.assertEqual(harness.classify_icon(shot, box["icon_rect"]), "exclamation")
            return d.report(60 * p)
        finally:
            d.kill()

    def check_full_bar(self, shot, origin):
        self.assertTrue(harness.bar_visible(shot, origin), "no bar frame on screen")
        columns = harness.bar_columns(shot, origin)
        self.assertEqual(harness.bar_filled(shot, origin), 414, "the bar is not full on screen")
        # Maroon at the left, nearly gold at the right, every channel growing.
        for channel, start, stop in [(0, 128, 248), (1, 0, 207), (2, 0, 44)]:
            values = [c[channel] for c in columns]
            self.assertLessEqual(abs(values[0] - start), 2, columns[:3])
            self.assertLessEqual(abs(values[-1] - stop), 2, columns[-3:])
            self.assertEqual(values, sorted(values))

    def uninstall_from_list(self, game):
        """Wine's uninstaller runs the registered command; the driver finds the
        window it opens, presses Deinstallieren and answers the boxes."""
        listed = self.w.run(["uninstaller", "--list"]).out
        self.assertIn(self.mission.display_name, listed)
        p = self.patience
        d = Driver(self.w, ["watch", "--timeout", str(60 * p), "--click", "Deinstallieren", "Brunvald.exe"])
        try:
            d.wait_for("watching", 20 * p)
            remover = self.w.popen(["uninstaller", "--remove", self.mission.display_name],
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            report = d.report(90 * p)
            remover.wait(30 * p)
        finally:
            d.kill()
        self.assertEndedCleanly(report)
        self.assertEqual(self.boxes(report), [UNINSTALLED])
        self.assertSelfRemoved(game.path("Data"))
        return report

    def assertSelfRemoved(self, folder, exe_name="Brunvald.exe"):
        gone = poll(lambda: not (folder / exe_name).exists() and not (folder / "des.bat").exists(),
                    15 * self.patience)
        self.assertTrue(gone, "left behind: %s" % sorted(p.name for p in folder.iterdir()))

    def assertInstalled(self, game, before):
        installer_sha = harness.sha256(self.installer)
        self.assertEqual(game.snapshot(), self.mission.expected_after_install(before, installer_sha))
        ini = [k for k, f in self.mission.entries if k == "CampInI"]
        self.assertTrue(ini)
        self.assertFalse(list(game.root.rglob(dict(self.mission.entries)["CampInI"])), "the ini was written")
        self.assertEqual(self.w.reg_values(MAKER_KEY),
                         self.mission.maker_values(harness.file_version_text(self.installer)))
        self.assertEqual(self.w.reg_values(uninstall_key(self.mission.display_name)),
                         self.mission.uninstall_values(game.path_value, self.installer))

    def assertNoRecords(self):
        self.assertIsNone(self.w.reg_values(MAKER_KEY))
        self.assertIsNone(self.w.reg_values(uninstall_key(self.mission.display_name)))

    def round_trip(self, game, exe, check_bar=False):
        """Installs, checks the game folder and records, removes the mission
        from the list and checks that the game folder is as it was."""
        before = game.snapshot()
        report = self.install(exe, check_bar=check_bar)
        self.assertEndedCleanly(report)
        self.assertEqual(self.boxes(report), [INSTALLED])
        self.assertInstalled(game, before)
        self.uninstall_from_list(game)
        self.assertEqual(game.snapshot(), before)
        self.assertNoRecords()


class FreshInstallAndUninstall(RunCase):
    def test_install_then_uninstall_from_the_list(self):
        # (game folder, "Path" value as the game's setup wrote it)
        cases = [
            (r"C:\Spiele\Kaiser", r"C:\Spiele\Kaiser"),
            ("C:\\Spiele\\Kaiser \u00c4", "C:\\Spiele\\Kaiser \u00c4\\"),
        ]
        for folder, path_value in cases:
            with self.subTest(folder=folder):
                self.clean()
                game = self.game(folder=folder, path_value=path_value)
                self.round_trip(game, self.installer_copy(), check_bar=True)


class TreeImages(RunCase):
    def test_every_combination_of_the_game_tree_image_files_comes_back(self):
        cases = {
            "both": (),
            "neither": ("Model/TreeImage.Index", "Model/ResetTreeImage.Index"),
            "only TreeImage": ("Model/ResetTreeImage.Index",),
            "only ResetTreeImage": ("Model/TreeImage.Index",),
        }
        for case, omit in cases.items():
            with self.subTest(case=case):
                self.clean()
                self.round_trip(self.game(omit=omit), self.installer_copy())


class Reinstall(RunCase):
    def test_second_install_keeps_the_game_backups(self):
        game = self.game()
        before = game.snapshot()
        exe = self.installer_copy()
        for attempt in (1, 2):
            report = self.install(exe)
            self.assertEqual(self.boxes(report), [INSTALLED], "install %d" % attempt)
            self.assertInstalled(game, before)
        self.uninstall_from_list(game)
        self.assertEqual(game.snapshot(), before)
        self.assertNoRecords()

    def test_second_install_on_a_game_without_tree_images_leaves_no_mission_file(self):
        # The second install used to save the first one's TreeImage.Index
        # (and ResetTreeImage.Index) under the backup name; the uninstall then
        # "restored" the mission's files into the game for good.
        cases = {
            "no TreeImage.Index": ("Model/TreeImage.Index",),
            "neither tree image": ("Model/TreeImage.Index", "Model/ResetTreeImage.Index"),
        }
        for case, omit in cases.items():
            with self.subTest(case=case):
                self.clean()
                game = self.game(omit=omit)
                before = game.snapshot()
                exe = self.installer_copy()
                for attempt in (1, 2):
                    self.assertEqual(self.boxes(self.install(exe)), [INSTALLED], "install %d" % attempt)
                    self.assertInstalled(game, before)
                self.uninstall_from_list(game)
                self.assertEqual(game.snapshot(), before)
                self.assertNoRecords()

    def test_installer_saved_under_another_name_registers_a_working_uninstall(self):
        self.round_trip(self.game(), self.installer_copy(name="Brunvald (1).exe"))


class UninstallEdges(RunCase):
    def run_uninstall(self, exe):
        d = Driver(self.w, ["run", "--timeout", "60", "--args", "UNINSTALL", "--click", "Deinstallieren", exe])
        try:
            return d.report(90)
        finally:
            d.kill()

    def test_entry_removed_by_hand(self):
        game = self.game()
        before = game.snapshot()
        self.install(self.installer_copy())
        self.w.reg_delete(uninstall_key(self.mission.display_name))
        report = self.run_uninstall(self.w.windows(game.path("Data/Brunvald.exe")))
        self.assertEndedCleanly(report)
        self.assertEqual(self.boxes(report), [ENTRY_MISSING, UNINSTALLED])
        self.assertSelfRemoved(game.path("Data"))
        self.assertEqual(game.snapshot(), before)
        self.assertNoRecords()

    def test_nothing_installed_touches_no_game_file(self):
        game = self.game()
        stamps = {p: (p.stat().st_mtime_ns, harness.sha256(p)) for p in game.root.rglob("*") if p.is_file()}
        before = game.snapshot()
        exe = self.installer_copy()
        report = self.run_uninstall(exe)
        self.assertEndedCleanly(report)
        self.assertEqual(self.boxes(report), [ENTRY_MISSING, UNINSTALLED])
        self.assertEqual(game.snapshot(), before)
        self.assertEqual({p: (p.stat().st_mtime_ns, harness.sha256(p)) for p in stamps}, stamps)
        # The script removes the executable that ran, here the download.
        self.assertSelfRemoved(self.w.unix(exe).parent)
        self.assertNoRecords()


    def test_never_installed_mission_leaves_game_files_equal_to_its_own(self):
        # A game file byte for byte equal to the mission's is still the
        # game's: without a journal or a record of the mission, none goes.
        game = self.game()
        for key, file_name in self.mission.entries:
            target = self.mission.target(key, file_name)
            if target and game.path(target).is_file():
                shutil.copyfile(self.mission.folder / file_name, game.path(target))
        before = game.snapshot()
        report = self.run_uninstall(self.installer_copy())
        self.assertEndedCleanly(report)
        self.assertEqual(self.boxes(report), [ENTRY_MISSING, UNINSTALLED])
        self.assertEqual(game.snapshot(), before)
        self.assertNoRecords()


class PlayerFiles(RunCase):
    """Files of the player's where the mission writes or works: each is
    saved first, whatever its key, and the uninstall never takes one."""

    def test_same_named_files_come_back(self):
        # A map of the player's in Cities, a pak in Campaigns, and in a
        # campaign folder that was there before: a read-only map of the
        # mission's name and a saved game.
        game = self.game()
        keys = dict(self.mission.entries)
        campaign = self.mission.campaign + "/"
        own = {"Cities/" + keys["Maps_01"]: b"Karte des Spielers\r\n",
               "Campaigns/" + keys["CampPak"]: b"pak des Spielers\r\n",
               campaign + keys["CampMap"]: b"alte Kampagnenkarte\r\n",
               campaign + "Spielstand 1.sav": b"Spielstand\r\n"}
        for rel, data in own.items():
            game.path(rel).parent.mkdir(parents=True, exist_ok=True)
            game.path(rel).write_bytes(data)
        os.chmod(game.path(campaign + keys["CampMap"]), 0o444)
        self.round_trip(game, self.installer_copy())

    def test_saved_game_in_the_campaign_folder_stays_with_the_folder(self):
        # The install made the campaign folder; the player saved a game in it.
        game = self.game()
        before = game.snapshot()
        self.assertEqual(self.boxes(self.install(self.installer_copy())), [INSTALLED])
        self.assertInstalled(game, before)
        saved = self.mission.campaign + "/Spielstand 1.sav"
        game.path(saved).write_bytes(b"Spielstand\r\n")
        self.uninstall_from_list(game)
        expected = dict(before, **{self.mission.campaign + "/": "", saved: harness.sha256(game.path(saved))})
        self.assertEqual(game.snapshot(), expected)
        self.assertNoRecords()


class MovedGame(RunCase):
    """The journal names the files relative to the game folder: wherever the
    game is at the uninstall, and however App Paths spells its folder, every
    change is undone."""

    def uninstall_copy(self, game):
        """Deinstallieren in the copy in the game's Data folder, started with
        UNINSTALL as the uninstall entry starts it."""
        exe = self.w.windows(game.path("Data/Brunvald.exe"))
        d = Driver(self.w, ["run", "--timeout", "60", "--args", "UNINSTALL", "--click", "Deinstallieren", exe])
        try:
            report = d.report(90)
        finally:
            d.kill()
        self.assertEndedCleanly(report)
        self.assertEqual(self.boxes(report), [UNINSTALLED])
        self.assertSelfRemoved(game.path("Data"))

    def test_uninstall_from_the_copy_at_the_new_place(self):
        game = self.game()
        before = game.snapshot()
        self.assertEqual(self.boxes(self.install(self.installer_copy())), [INSTALLED])
        self.assertInstalled(game, before)
        moved = harness.Game(self.w, folder=r"C:\Spiele\Kaiser Gold")
        shutil.move(str(game.root), str(moved.root))
        self.w.reg_set(harness.APP_PATHS_KEY, "Path", moved.folder)
        self.uninstall_copy(moved)
        self.assertFalse(game.root.exists())
        self.assertEqual(moved.snapshot(), before)
        self.assertNoRecords()

    def short_path(self, windows_path):
        done = self.w.run([str(harness.DRIVER), "short-path", windows_path])
        item = json.loads(done.out.splitlines()[-1])
        self.assertTrue(item["path"], "no short form of %s (error %d)" % (windows_path, item["error"]))
        self.assertNotEqual(item["path"].lower(), windows_path.lower(), "the short form is the long one")
        return item["path"]

    def test_app_paths_in_another_spelling_at_the_uninstall(self):
        folder = "C:\\Spiele\\Der erste Kaiser \u00c4"
        spellings = {
            "short name": lambda: self.short_path(folder),
            "trailing dot": lambda: folder + ".",
            "other letter case": lambda: folder.upper().replace("\u00c4", "\u00e4"),
        }
        for case, spelling in spellings.items():
            with self.subTest(case=case):
                self.clean()
                game = self.game(folder=folder)
                before = game.snapshot()
                self.assertEqual(self.boxes(self.install(self.installer_copy())), [INSTALLED])
                self.w.reg_set(harness.APP_PATHS_KEY, "Path", spelling())
                self.uninstall_from_list(game)
                self.assertEqual(game.snapshot(), before)
                self.assertNoRecords()


if __name__ == "__main__":
    unittest.main()
