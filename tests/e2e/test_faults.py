"""Faults under Wine: what the player sees and what is left of the game when
the machine works against the installer.

Each case checks the German box (exact text, the platform's own wording for
the system error), the exit code 0, and that every game file the mission
replaces is still there with the game's bytes: under its own name, or under
its backup name where the run had already saved it. Where the fault can be
taken away, the same installer is run again and must complete, and the
uninstall from Wine's list must bring the game folder back byte for byte.

Faults made on the Unix side: size-limited and read-only tmpfs mounts (the
tests run as root, and Wine as root ignores file modes, so a mount is what
really refuses a write). Without the right to mount, those cases are skipped;
the native tests cover the same failures against the fake host.
"""

import json
import os
import shutil
import subprocess
import time
import unittest
from pathlib import Path

import harness
from harness import APP_PATHS_KEY, MAKER_KEY, E2ECase, Driver, Mission, uninstall_key
from test_install import INSTALLED, UNINSTALLED, RunCase

COPY_FAILED = ("Fehler", "Das Programm konnte nicht installiert werden!(3647 Unbekannter Fehler)")
NO_GAME = ("Fehler", "Es konnte keine <Der erste Kaiser> Installation gefunden werden!")
TITLE = "Brunvald"  # the error box's caption: the program's file name, cut at its first "."

ERROR_PATH_NOT_FOUND = 3
ERROR_ACCESS_DENIED = 5
ERROR_SHARING_VIOLATION = 32

EXAMPLE = Mission(harness.EXAMPLE_MISSION)
# The game's files that the example mission replaces (saved under a backup
# name first), relative to the game folder.
REPLACED = [rel for rel in EXAMPLE.targets() if rel in harness.GAME_FILES]


def error_box_text(message):
    """The error box appends a full stop when the last character sorts after "."."""
    return message + "." if message and message[-1] > "." else message


_system_texts = {}


def system_text(w, code):
    """The platform's own text for an error code, as Wine's FormatMessageW
    gives it (line break at the end dropped), read by the test driver."""
    if code not in _system_texts:
        done = subprocess.run(["wine", str(harness.DRIVER), "message", str(code)], env=w.env,
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              timeout=60, check=True)
        item = json.loads(done.stdout.decode("utf-8").splitlines()[-1])
        _system_texts[code] = item["text"].rstrip("\r\n ")
    return _system_texts[code]


def cannot_create(w, windows_path, code):
    return (TITLE, error_box_text('Datei "%s" kann nicht erstellt werden. %s' % (windows_path, system_text(w, code))))


def not_saved(windows_path, backup):
    return (TITLE, 'Die Datei "%s" konnte nicht als "%s" gesichert werden und wurde daher nicht ersetzt. Die '
                   'Installation wurde abgebrochen; \u00fcber "Deinstallieren" in der Systemsteuerung kann alles '
                   "r\u00fcckg\u00e4ngig gemacht werden." % (windows_path, backup))


def not_restored(windows_path):
    return (TITLE, 'Die Datei "%s" des Spiels konnte nicht wiederhergestellt werden, da die Datei der Mission an '
                   "ihrer Stelle nicht entfernt werden kann. Bitte schlie\u00dfen Sie alle Programme, die sie "
                   "verwenden, und klicken Sie erneut auf Deinstallieren." % windows_path)


class TmpfsMount:
    """A tmpfs of a fixed size mounted on a folder, optionally made read-only."""

    def __init__(self, where, size):
        self.where = Path(where)
        self.where.mkdir(parents=True, exist_ok=True)
        done = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%d,mode=0755" % size, "tmpfs", str(self.where)],
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if done.returncode != 0:
            raise unittest.SkipTest("cannot mount a tmpfs here (%s)" % done.stdout.decode(errors="replace").strip())
        self.mounted = True

    def remount(self, mode):
        subprocess.run(["mount", "-o", "remount," + mode, str(self.where)], check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)

    def free_bytes(self):
        st = os.statvfs(self.where)
        return st.f_bavail * st.f_frsize

    def unmount(self):
        if not self.mounted:
            return
        self.mounted = False
        for _ in range(50):
            if subprocess.run(["umount", str(self.where)], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode == 0:
                return
            time.sleep(0.1)
        subprocess.run(["umount", "-l", str(self.where)], stdin=subprocess.DEVNULL)


PAGE = 4096


def pages(size):
    return (size + PAGE - 1) // PAGE


class FaultCase(RunCase):
    def mount(self, where, size):
        m = TmpfsMount(where, size)
        self.addCleanup(m.unmount)   # runs before the prefix is cleaned
        # Never empty, so that nothing takes the mount point for a leftover
        # folder to remove.
        (m.where / "platte.txt").write_bytes(b"tmpfs\r\n")
        return m

    def start_install(self, exe, rerun=True, timeout=90):
        """The installer with Installieren pressed; its error box is held until
        go_on(). With rerun, Installieren is pressed again once the box is
        gone; without, Beenden ends the program."""
        options = ["run", "--timeout", str(timeout), "--hold", TITLE, "--click", "Installieren",
                   "--after-box", TITLE, "--click", "Installieren" if rerun else "Beenden", exe]
        d = Driver(self.w, options)
        self.addCleanup(d.kill)
        return d

    def hold(self, path):
        """Another program keeps the file open without sharing; returns the
        function that lets go of it."""
        ready = self.work / ("held-" + path.name)
        proc = self.w.popen([str(harness.DRIVER), "hold", self.w.windows(path), "300", self.w.windows(ready)],
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def release():
            if proc.poll() is None:
                proc.kill()
                proc.wait()
        self.addCleanup(release)
        self.assertTrue(harness.poll(ready.exists, 20), "the holder did not open %s" % path)
        return release

    def uninstall_blocked_then_retried(self, game, before, blocked_file, unblock, check_blocked):
        """Uninstalls from the game's copy: the run must stop naming the game
        file it could not bring back, keep the records and the program (and
        pass check_blocked); once unblock() frees the way, a second press of
        Deinstallieren must finish and leave the game as it was before."""
        exe = self.w.windows(game.path("Data/Brunvald.exe"))
        d = Driver(self.w, ["run", "--timeout", "90", "--args", "UNINSTALL", "--hold", TITLE,
                            "--click", "Deinstallieren", "--after-box", TITLE, "--click", "Deinstallieren", exe])
        self.addCleanup(d.kill)
        error = self.held_error(d)
        self.assertEqual((error["caption"], error["text"]), not_restored(blocked_file))
        check_blocked()
        self.assertEqual(self.w.reg_values(uninstall_key(EXAMPLE.display_name)),
                         EXAMPLE.uninstall_values(game.path_value, self.installer))
        self.assertIsNotNone(self.w.reg_values(MAKER_KEY))
        self.assertTrue(game.path("Data/Brunvald.exe").is_file())
        unblock()
        d.go_on()
        report = d.report(90)
        self.assertEndedCleanly(report)
        self.assertEqual(self.boxes(report), [(error["caption"], error["text"]), UNINSTALLED])
        self.assertSelfRemoved(game.path("Data"))
        self.assertEqual(game.snapshot(), before)
        self.assertNoRecords()

    def install_with_failed_copy(self, game, before):
        """Installieren while the installer cannot be copied into Data: the
        copy's message, and the run stops right there; no game file, journal
        or record is touched (what a failed copy left of itself aside), and
        the window waits for Beenden."""
        d = Driver(self.w, ["run", "--timeout", "90", "--click", "Installieren", "--after-box", "Fehler",
                            "--click", "Beenden", self.installer_copy()])
        self.addCleanup(d.kill)
        report = d.report(60)
        self.assertEndedCleanly(report)
        self.assertEqual(self.boxes(report), [COPY_FAILED])
        self.assertEqual(report["actions_done"], 3, "Beenden was not pressed")
        after = game.snapshot()
        after.pop("Data/Brunvald.exe", None)
        self.assertEqual(after, before)
        self.assertNoRecords()
        d.kill()

    def assertWayBack(self, game):
        """The records an install writes before its first change to the
        game: the list of installed programs offers the uninstall."""
        self.assertEqual(self.w.reg_values(uninstall_key(EXAMPLE.display_name)),
                         EXAMPLE.uninstall_values(game.path_value, self.installer))
        self.assertEqual(self.w.reg_values(MAKER_KEY), EXAMPLE.maker_values(harness.file_version_text(self.installer)))

    def held_error(self, d, timeout=60):
        while True:
            item = d.wait_for("box", timeout)
            if item["box"]["caption"] == TITLE:
                return item["box"]

    def assertGameKept(self, game, before, saved=()):
        """Every replaced game file holds the game's bytes: under its backup
        name for those in `saved`, under its own name for the others."""
        for rel in REPLACED:
            if rel not in before:
                continue
            backup = EXAMPLE.backup(rel)
            where = backup if rel in saved else rel
            with self.subTest(file=rel):
                self.assertTrue(game.path(where).is_file(), "%s is missing" % where)
                self.assertEqual(harness.sha256(game.path(where)), before[rel], where)
                if rel not in saved:
                    self.assertFalse(game.path(backup).exists(), "%s was moved" % rel)

    def finish_and_check(self, d, game, before, boxes_before):
        """After the held error: the rerun completes; the game folder and the
        records are those of an install; the uninstall restores the game."""
        d.go_on()
        report = d.report(90)
        self.assertEndedCleanly(report)
        self.assertEqual(self.boxes(report), boxes_before + [INSTALLED])
        self.assertInstalled(game, before)
        self.uninstall_from_list(game)
        self.assertEqual(game.snapshot(), before)
        self.assertNoRecords()


class LockedTarget(FaultCase):
    """A game file held open by another program without sharing."""

    def test_locked_game_file_stops_the_run_and_keeps_the_file(self):
        game = self.game()
        before = game.snapshot()
        locked = "Data/China_MapOfChina01.jpg"   # the second entry; the first is written
        release = self.hold(game.path(locked))
        d = self.start_install(self.installer_copy())
        error = self.held_error(d)
        self.assertEqual((error["caption"], error["text"]),
                         not_saved(r"C:\Spiele\Kaiser\Data\China_MapOfChina01.jpg",
                                   r"C:\Spiele\Kaiser\Data\ARMK-China_MapOfChina01.jpg"))
        # The first entry's game file went to its backup; the locked one was
        # neither moved nor touched; nothing later was.
        self.assertGameKept(game, before, saved={"Data/China_FE_MainMenu.jpg"})
        self.assertWayBack(game)
        release()
        self.finish_and_check(d, game, before, [(error["caption"], error["text"])])


class FailedInstall(FaultCase):
    """A folder where the campaign map must go: the write of the map fails
    after several game files were saved and mission files written."""

    def blocked_game(self):
        game = self.game()
        blocked = EXAMPLE.campaign + "/" + dict(EXAMPLE.entries)["CampMap"]
        game.path(blocked).mkdir(parents=True)
        return game, blocked

    def check_error(self, d, game, before, blocked):
        error = self.held_error(d)
        self.assertEqual((error["caption"], error["text"]),
                         cannot_create(self.w, "C:\\Spiele\\Kaiser\\" + blocked.replace("/", "\\"),
                                       ERROR_ACCESS_DENIED))
        # The game's files up to the failing entry are kept under their
        # backup names, those after it are untouched.
        self.assertGameKept(game, before, saved={"Data/China_FE_MainMenu.jpg", "Data/China_MapOfChina01.jpg"})
        self.assertWayBack(game)
        return error

    def test_left_after_the_error_the_list_takes_the_game_back(self):
        game, blocked = self.blocked_game()
        before = game.snapshot()
        d = self.start_install(self.installer_copy(), rerun=False)
        error = self.check_error(d, game, before, blocked)
        d.go_on()
        report = d.report(60)
        self.assertEndedCleanly(report)
        self.assertEqual(self.boxes(report), [(error["caption"], error["text"])])
        self.assertEqual(report["actions_done"], 3, "Beenden was not pressed")
        d.kill()
        self.uninstall_from_list(game)
        self.assertEqual(game.snapshot(), before)
        self.assertNoRecords()

    def test_rerun_once_the_way_is_clear_completes(self):
        game, blocked = self.blocked_game()
        before = game.snapshot()
        d = self.start_install(self.installer_copy())
        error = self.check_error(d, game, before, blocked)
        game.path(blocked).rmdir()
        del before[blocked + "/"]
        self.finish_and_check(d, game, before, [(error["caption"], error["text"])])


class LockedAtUninstall(FaultCase):
    """The mission's file in place of a game file held open while the
    uninstall runs: the game's file cannot come back, so the run names the
    file instead of reporting success, keeps the records and the program, and
    a second press of Deinstallieren finishes once the file is free."""

    def test_locked_mission_file_keeps_the_way_back(self):
        game = self.game()
        before = game.snapshot()
        self.assertEqual(self.boxes(self.install(self.installer_copy())), [INSTALLED])
        release = self.hold(game.path("EmperorText.eng"))
        # The game's text is safe under its backup name meanwhile.
        backup = game.path(EXAMPLE.marker + "-EmperorText.eng")
        self.uninstall_blocked_then_retried(
            game, before, r"C:\Spiele\Kaiser\EmperorText.eng", release,
            lambda: self.assertEqual(harness.sha256(backup), before["EmperorText.eng"]))


class MissingSubfolder(FaultCase):
    """A game without one of its folders: nothing creates it, the first entry
    aimed at it stops the run, the game's other files are kept, and the
    uninstall from the list undoes what the run did."""

    def test_each_missing_folder(self):
        # (folder removed, first target inside it, copy of the installer fails,
        #  game files saved before the stop)
        cases = [
            ("Data", r"Data\China_FE_MainMenu.jpg", True, set()),
            ("Cities", r"Cities\ChengduAmk.map", False, {"Data/China_FE_MainMenu.jpg", "Data/China_MapOfChina01.jpg"}),
            ("Campaigns", r"Campaigns\Aurelmark.pak", False,
             {"Data/China_FE_MainMenu.jpg", "Data/China_MapOfChina01.jpg"}),
        ]
        for folder, target, copy_fails, saved in cases:
            with self.subTest(folder=folder):
                self.clean()
                game = self.game()
                shutil.rmtree(game.path(folder))
                before = game.snapshot()
                if copy_fails:
                    self.install_with_failed_copy(game, before)
                    self.assertFalse(game.path(folder).exists(), "the run made the missing folder")
                    continue
                d = self.start_install(self.installer_copy(), rerun=False)
                error = self.held_error(d)
                self.assertEqual((error["caption"], error["text"]),
                                 cannot_create(self.w, "C:\\Spiele\\Kaiser\\" + target, ERROR_PATH_NOT_FOUND))
                self.assertFalse(game.path(folder).exists(), "the run made the missing folder")
                self.assertGameKept(game, before, saved=saved)
                d.go_on()
                report = d.report(60)
                self.assertEndedCleanly(report)
                expected = ([COPY_FAILED] if copy_fails else []) + [(error["caption"], error["text"])]
                self.assertEqual(self.boxes(report), expected)
                self.assertEqual(report["actions_done"], 3, "Beenden was not pressed")
                d.kill()
                # The player leaves it there: the list's entry takes the game
                # back to what it was.
                self.assertWayBack(game)
                self.uninstall_from_list(game)
                self.assertEqual(game.snapshot(), before)
                self.assertNoRecords()


class ReadOnlyGameFolder(FaultCase):
    """The game on a file system mounted read-only: nothing can be written,
    not even by Wine running as root."""

    def test_read_only_mount(self):
        mount = self.mount(self.w.unix(r"C:\Spiele"), 4 << 20)
        game = self.game()
        before = game.snapshot()
        mount.remount("ro")
        self.install_with_failed_copy(game, before)

    def test_uninstall_from_a_folder_that_became_read_only(self):
        # Nothing can be removed or renamed back: the run names the first
        # saved game file it could not restore (the tree images come first)
        # instead of reporting success, and keeps the records and itself.
        mount = self.mount(self.w.unix(r"C:\Spiele"), 4 << 20)
        game = self.game()
        before = game.snapshot()
        self.assertEqual(self.boxes(self.install(self.installer_copy())), [INSTALLED])
        installed = game.snapshot()
        mount.remount("ro")
        self.uninstall_blocked_then_retried(
            game, before, r"C:\Spiele\Kaiser\Model\ResetTreeImage.Index", lambda: mount.remount("rw"),
            lambda: self.assertEqual(game.snapshot(), installed))


class MakerRecordUnwritable(FaultCase):
    """The maker's key, made after start-up, lets everyone read and delete it
    but refuses full access: the record cannot be written."""

    def test_unwritable_maker_key(self):
        game = self.game()
        before = game.snapshot()
        options = ["run", "--timeout", "90", "--hold", TITLE, "--wait-input", "--click", "Installieren",
                   "--after-box", TITLE, "--click", "Beenden", self.installer_copy()]
        d = Driver(self.w, options)
        self.addCleanup(d.kill)
        d.wait_for("waiting", 30)
        denied = self.w.run([str(harness.DRIVER), "deny-key", MAKER_KEY.split("\\", 1)[1]])
        self.assertEqual(denied.returncode, 0, denied.out)
        d.go_on()
        error = self.held_error(d)
        self.assertEqual((error["caption"], error["text"]),
                         (TITLE, "Fehler beim Setzen der Daten f\u00fcr 'CampExists'"))
        # The records come before the first change to the game: the uninstall
        # entry is written, and the game holds nothing new but the
        # installer's copy and the journal.
        expected = dict(before, **{"Data/Brunvald.exe": harness.sha256(self.installer),
                                   EXAMPLE.journal(): harness.ANY_CONTENT})
        self.assertEqual(game.snapshot(), expected)
        self.assertEqual(self.w.reg_values(uninstall_key(EXAMPLE.display_name)),
                         EXAMPLE.uninstall_values(game.path_value, self.installer))
        self.assertEqual(self.w.reg_values(MAKER_KEY), {})
        d.go_on()
        report = d.report(60)
        self.assertEndedCleanly(report)
        self.assertEqual(self.boxes(report), [(error["caption"], error["text"])])
        # With the key gone the entry in the list takes the game back.
        self.w.reg_delete(MAKER_KEY)
        self.uninstall_from_list(game)
        self.assertEqual(game.snapshot(), before)
        self.assertNoRecords()


class DiskFull(FaultCase):
    """The game on a small tmpfs, with a filler file leaving just so much
    room that the run's writing stops at a chosen file. The rerun after the
    filler is gone completes."""

    def test_disk_full_at_each_kind_of_file(self):
        exe_pages = pages(harness.INSTALLER.stat().st_size)
        sizes = {f: (EXAMPLE.folder / f).stat().st_size for k, f in EXAMPLE.entries}
        order = [(k, f) for k, f in EXAMPLE.entries if EXAMPLE.target(k, f)]

        def room_before(file_name):
            """Pages the run writes before that file: the copy, the install
            journal (one page, and one more only while it is replaced; the
            registry records lie outside the game), then the entries."""
            total = exe_pages + 1
            for k, f in order:
                if f == file_name:
                    return total
                total += pages(sizes[f])
            raise AssertionError(file_name)

        # (case, pages left, file the write stops at, copy of the installer
        #  fails, game files saved before the stop). A failed copy ends the
        # run before any game file is touched.
        half_gaia = pages(sizes["China_MapOfChina01.jpg"]) // 2
        cases = [
            ("installer copy", exe_pages - 1, r"Data\China_FE_MainMenu.jpg", True, set()),
            ("second picture, half written", room_before("China_MapOfChina01.jpg") + half_gaia,
             r"Data\China_MapOfChina01.jpg", False, {"Data/China_FE_MainMenu.jpg"}),
            ("last game file, nothing written", room_before("EmperorText.eng"), "EmperorText.eng", False,
             {"Data/China_FE_MainMenu.jpg", "Data/China_MapOfChina01.jpg", "Model/EmperorBuildingModels.txt",
              "Model/TreeImage.Index", "Model/ResetTreeImage.Index"}),
        ]
        mount = None
        for case, room, stop, copy_fails, saved in cases:
            with self.subTest(case=case):
                if mount:
                    mount.unmount()
                self.clean()
                mount = self.mount(self.w.unix(r"C:\Spiele"), 8 << 20)
                game = self.game()
                before = game.snapshot()
                filler = game.root.parent / "filler"
                filler.write_bytes(b"\0" * (mount.free_bytes() - room * PAGE))
                self.assertEqual(mount.free_bytes(), room * PAGE)
                if copy_fails:
                    # The run stops at the copy; with room again, a new start
                    # installs and the uninstall restores the game.
                    self.install_with_failed_copy(game, before)
                    filler.unlink()
                    self.assertEqual(self.boxes(self.install(self.installer_copy())), [INSTALLED])
                    self.assertInstalled(game, before)
                    self.uninstall_from_list(game)
                    self.assertEqual(game.snapshot(), before)
                    self.assertNoRecords()
                    continue
                d = self.start_install(self.installer_copy())
                error = self.held_error(d)
                self.assertEqual((error["caption"], error["text"]), (TITLE, "Stream-Schreibfehler."))
                # The file the write broke off in is the game's again.
                stopped = stop.replace("\\", "/")
                self.assertEqual(harness.sha256(game.path(stopped)), before[stopped])
                self.assertGameKept(game, before, saved=saved)
                self.assertWayBack(game)
                filler.unlink()
                self.finish_and_check(d, game, before, [(error["caption"], error["text"])])
                d.kill()


class SelfRemovalFolderNotWritable(FaultCase):
    """The uninstaller started from a read-only folder: the mission is removed,
    the script that would delete the executable cannot be written, the error
    says so instead of the closing message, and the window stays until
    Beenden."""

    def test_read_only_program_folder(self):
        game = self.game()
        before = game.snapshot()
        report = self.install(self.installer_copy())
        self.assertEqual(self.boxes(report), [INSTALLED])
        folder = self.work / "nur-lesen"
        mount = self.mount(folder, 4 << 20)
        exe = self.installer_copy(folder=folder)
        mount.remount("ro")
        d = Driver(self.w, ["run", "--timeout", "60", "--args", "UNINSTALL", "--click", "Deinstallieren",
                            "--after-box", TITLE, "--click", "Beenden", exe])
        self.addCleanup(d.kill)
        report = d.report(90)
        self.assertEndedCleanly(report)
        script = exe.rsplit("\\", 1)[0] + "\\des.bat"
        # The script comes before the closing message, which its error
        # replaces.
        self.assertEqual(self.boxes(report), [cannot_create(self.w, script, ERROR_ACCESS_DENIED)])
        self.assertEqual(report["actions_done"], 3, "Beenden was not pressed: the window did not stay")
        self.assertTrue((folder / "Brunvald.exe").is_file())
        self.assertFalse((folder / "des.bat").exists())
        # The mission is gone; the copy in Data stays, as the uninstaller
        # that ran was another file.
        after = dict(before)
        after["Data/Brunvald.exe"] = harness.sha256(self.installer)
        self.assertEqual(game.snapshot(), after)
        self.assertNoRecords()


class BadRegistryData(E2ECase):
    """Start-up over values of the wrong type or content: each gives its box,
    nothing crashes, the exit code is 0. A type error is reported in the error
    box and the window then opens with the action buttons disabled; an empty
    value means no game and refuses before the window shows."""

    TYPE_ERROR = "Ung\u00fcltiger Datentyp f\u00fcr '%s'"

    def start(self, args=None):
        options = ["--click", "Beenden"] + (["--args", args] if args else [])
        report = harness.run_driver(self.w, self.installer_copy(), *options, timeout=30)
        self.assertEndedCleanly(report)
        return report

    def assertRunsDisabled(self, report):
        self.assertTrue(report["main_ever_visible"])
        self.assertEqual(report["actions_done"], 1, "Beenden was not there to press")
        actions = [c for c in report["main"]["children"] if c["text"] in ("Installieren", "Deinstallieren")]
        self.assertTrue(actions)
        self.assertFalse(any(c["visible"] and c["enabled"] for c in actions), actions)

    def test_values_of_the_wrong_type(self):
        # (key, value, reg type, data, first argument, box, window opens)
        type_error = lambda name: (TITLE, self.TYPE_ERROR % name)  # noqa: E731
        cases = [
            (APP_PATHS_KEY, "Path", "REG_DWORD", "7", None, type_error("Path"), True),
            (APP_PATHS_KEY, "Path", "REG_BINARY", "433a5c", None, type_error("Path"), True),
            (APP_PATHS_KEY, "Path", "REG_MULTI_SZ", r"C:\Spiele\Kaiser", None, type_error("Path"), True),
            # No bytes at all read as empty text: no game, whatever the type.
            (APP_PATHS_KEY, "Path", "REG_BINARY", "", None, NO_GAME, False),
            (MAKER_KEY, "CampMarker", "REG_DWORD", "1", None, type_error("CampMarker"), True),
            (MAKER_KEY, "CampMarker", "REG_BINARY", "41524d4b", "UNINSTALL", type_error("CampMarker"), True),
        ]
        for key, name, kind, data, args, box, opens in cases:
            with self.subTest(name=name, kind=kind, data=data):
                self.clean()
                self.game()
                self.w.reg_set(key, name, data, kind)
                report = self.start(args)
                self.assertOneBox(report, *box)
                if opens:
                    self.assertRunsDisabled(report)
                else:
                    self.assertFalse(report["main_ever_visible"], "the window showed before the refusal")

    def test_expandable_marker_text_is_text(self):
        self.game()
        self.w.reg_set(MAKER_KEY, "CampMarker", "ARMK", "REG_EXPAND_SZ")
        report = self.start()
        self.assertEqual(report["boxes"], [])
        visible = sorted(c["text"] for c in report["main"]["children"] if c["visible"] and c["enabled"])
        self.assertEqual(visible, ["Beenden", "Installieren"])

    def test_path_naming_a_missing_folder(self):
        # Start-up does not look at the folder; the run cannot copy the
        # installer into its Data folder, stops there and creates nothing.
        self.w.reg_set(APP_PATHS_KEY, "Path", r"C:\Spiele\Fehlt")
        report = harness.run_driver(self.w, self.installer_copy(), "--click", "Installieren",
                                    "--after-box", "Fehler", "--click", "Beenden", timeout=60)
        self.assertEndedCleanly(report)
        self.assertEqual([(b["caption"], b["text"]) for b in report["boxes"]], [COPY_FAILED])
        self.assertEqual(report["actions_done"], 3, "Beenden was not pressed")
        self.assertFalse(self.w.unix(r"C:\Spiele").exists(), "the run made folders for a missing game")
        self.assertIsNone(self.w.reg_values(MAKER_KEY))


if __name__ == "__main__":
    unittest.main()
