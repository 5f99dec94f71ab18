#!/usr/bin/python3
"""Kill test: an install or an uninstall of the example mission, ended hard
at many moments of its run, never costs the game a file.

    tests/e2e/kill_test.py --kills 30 [--uninstall-kills 30] [--json FILE]
                                                         the full test
    python3 -m unittest kill_test.KillTest               a few kills (ctest)

The installs run on four games: one with all the files the mission
replaces, one without TreeImage.Index, one whose files hold exactly the
mission's bytes, and one that also holds files of the player's under the
names the mission writes (a map in Cities, a pak in Campaigns, a map and a
saved game in a campaign folder that was there before); the kills are
shared out among them, each game with a census of its own.

Each moment is one of two kinds, both chosen before the first kill:
- a call moment "FN:N": the installer runs under the test driver as its
  debugger and is ended while it stands on the first instruction of the Nth
  call of a file or registry function after the click on Installieren (the
  call never runs). The calls are listed by one traced run first (the census);
  the moments are spread evenly over that list, so they fall before, between
  and inside the file writes: after a game file was renamed to its backup
  name but before the mission's file was created, after it was created empty,
  between the pieces of the installer's own copy, between the two registry
  records and between the values of one record.
- a delay moment: the installer is ended that many milliseconds after the
  click, the delays spread evenly over the run's measured length (mostly the
  progress bar's pauses before the first file is written).

The end is TerminateProcess, called by the driver: no further instruction of
the installer runs, nothing is flushed or cleaned up, no error handler or
destructor gets a turn. That is what a player sees when the installer
crashes, when Task Manager ends it, or when Wine's process is killed;
what the installer had handed to the file system by then stays, the rest
never happens.

After each kill of an install: every file of the game (the player's
included) holds its original bytes under its own name or, for one at a
target of the mission, its backup name; the maker record is never there
without the uninstall entry. The install writes both registry records before
its first change to the game, so:
- with the uninstall entry there (its command written), the uninstall
  started from Wine's list of installed programs leaves the game folder byte
  for byte as it was before the install, with both records gone; every
  other such kill first runs a second install, which must complete, and
  then the uninstall from the list;
- without it (killed before the entry's command was written), the game is
  byte for byte as before apart from the installer's copy in Data (whole or
  cut) and an install journal that records no change; there is nothing to
  undo, and a second install and the uninstall from the list then leave the
  game as it was, with both records gone.

The uninstall is killed the same way, at call moments of its own census (on
the game with all its files, the one whose files equal the mission's and the
one with the player's files),
always including the moment between the two registry deletions. After each
kill the maker record is never left without the uninstall entry (that would
refuse every other mission of the maker and leave this one impossible to
remove); the same uninstall started again finishes, and the game folder is
byte for byte as before the install, with both records gone.
"""

import argparse
import json
import os
import shutil
import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import harness  # noqa: E402
from harness import Driver, MAKER_KEY, uninstall_key  # noqa: E402
from test_install import ENTRY_MISSING, EXAMPLE, INSTALLED, UNINSTALLED, RunCase  # noqa: E402

# The calls a moment may stand on. NtWriteFile also sees the pieces that
# CopyFileW writes of the installer's own copy; a NtWriteFile that belongs to
# a WriteFile just seen would repeat that WriteFile's moment and is left out.
MOMENT_FUNCTIONS = ("CopyFileW", "NtWriteFile", "MoveFileW", "MoveFileExW", "CreateFileW", "WriteFile",
                    "CreateDirectoryW", "RegCreateKeyExW", "RegSetValueExW")
# Those of the uninstall: the files removed and moved back, the campaign
# folder removed, the journal's replacements, the script, and the two
# registry deletions.
UNINSTALL_MOMENT_FUNCTIONS = ("DeleteFileW", "MoveFileW", "MoveFileExW", "RemoveDirectoryW", "CreateFileW",
                              "WriteFile", "RegDeleteKeyW", "RegDeleteKeyExW")
# The second registry deletion: killed on it, the first one is done.
BETWEEN_THE_DELETIONS = "RegDeleteKeyExW:2"

# The games the kills run on: keyword arguments of Game, whether the game's
# files are made equal to the mission's, and whether the player's files of
# the mission's names are added.
VARIANTS = {
    "all game files": ((), False, False),
    "no TreeImage.Index": (("Model/TreeImage.Index",), False, False),
    "files equal to the mission's": ((), True, False),
    "player's same-named files": ((), False, True),
}
_keys = dict(EXAMPLE.entries)
PLAYER_FILES = {"Cities/" + _keys["Maps_01"]: b"Karte des Spielers\r\n",
                "Campaigns/" + _keys["CampPak"]: b"pak des Spielers\r\n",
                EXAMPLE.campaign + "/" + _keys["CampMap"]: b"alte Kampagnenkarte\r\n",
                EXAMPLE.campaign + "/Spielstand 1.sav": b"Spielstand\r\n"}


def spread(items, count):
    """count items of the list at evenly spaced places, first and last
    included; all of them when there are no more than count."""
    if count >= len(items):
        return list(items)
    if count <= 0:
        return []
    if count == 1:
        return [items[len(items) // 2]]
    return [items[round(i * (len(items) - 1) / (count - 1))] for i in range(count)]


def describe(call):
    args = call.get("args", [])
    texts = [a.rsplit("\\", 2)[-2] + "\\" + a.rsplit("\\", 1)[-1] if isinstance(a, str) and "\\" in a else a
             for a in args]
    if call["function"] in ("WriteFile", "NtWriteFile"):
        return "%s of %d bytes" % (call["function"], args[-1])
    if call["function"] in ("RegCreateKeyExW",):
        return "RegCreateKeyExW %s" % args[1].rsplit("\\", 1)[-1]
    if call["function"] == "RegSetValueExW":
        return "RegSetValueExW %s" % args[1]
    if call["function"] == "CreateFileW":
        return "CreateFileW %s" % texts[0]
    return "%s %s" % (call["function"], " -> ".join(str(t) for t in texts))


class Moment:
    def __init__(self, kind, value, t, what):
        self.kind = kind      # "call" or "delay"
        self.value = value    # "FN:N" or milliseconds
        self.t = t            # ms after the click in the census run
        self.what = what

    def options(self):
        if self.kind == "call":
            return ["--kill-at", self.value]
        return ["--kill-after", str(self.value)]

    def name(self):
        return self.value if self.kind == "call" else "after %d ms" % self.value


class KillTest(RunCase):
    kills = int(os.environ.get("BRUNVALD_KILLS", "4"))
    uninstall_kills = int(os.environ.get("BRUNVALD_UNINSTALL_KILLS", "2"))
    only = []      # moments named on the command line ("FN:N" or delays in ms) replace the spread
    results = []   # one dict per kill, for the report of the full run
    census_info = {}

    # The census ------------------------------------------------------------
    def make_game(self, variant):
        omit, equal, player = VARIANTS[variant]
        game = self.game(omit=omit)
        if player:
            for rel, data in PLAYER_FILES.items():
                game.path(rel).parent.mkdir(parents=True, exist_ok=True)
                game.path(rel).write_bytes(data)
        if equal:
            for key, file_name in EXAMPLE.entries:
                target = EXAMPLE.target(key, file_name)
                if target and game.path(target).is_file():
                    shutil.copyfile(EXAMPLE.folder / file_name, game.path(target))
        return game

    def census(self, variant):
        """One traced install: its calls after the click and the run's length
        from the click to the closing message."""
        game = self.make_game(variant)
        exe = self.installer_copy()
        d = Driver(self.w, ["run", "--timeout", "60", "--trace-calls", "--click", "Installieren", exe])
        try:
            report = d.report(90)
        finally:
            d.kill()
        self.assertEqual(self.boxes(report), [INSTALLED])
        self.assertNotIn("not_watched", [e["event"] for e in d.events], "a watched function was not found")
        click = next(e["t"] for e in d.events if e["event"] == "click")
        box = next(e["t"] for e in d.events if e["event"] == "box")
        calls = [e for e in d.events if e["event"] == "call"]
        self.clean()
        del game
        return calls, click, box - click

    def candidates(self, calls, click, functions):
        candidates = []
        previous = None
        for call in calls:
            fn = call["function"]
            repeats_write = fn == "NtWriteFile" and previous is not None and previous["function"] == "WriteFile"
            previous = call
            if fn not in functions or repeats_write:
                continue
            candidates.append(Moment("call", "%s:%d" % (fn, call["n"]), call["t"] - click, describe(call)))
        return candidates

    def moments(self, calls, click, length, kills, with_delays):
        candidates = self.candidates(calls, click, MOMENT_FUNCTIONS)
        if self.only:
            named = [Moment("call", m, 0, m) if ":" in m else Moment("delay", int(m), int(m), "") for m in self.only]
            return named, candidates
        delays = max(1, kills // 4) if with_delays else 0
        by_delay = [Moment("delay", int(length * (i + 0.5) / delays), int(length * (i + 0.5) / delays), "")
                    for i in range(delays)]
        chosen = spread(candidates, kills) + by_delay
        return sorted(chosen, key=lambda m: m.t), candidates

    # One kill --------------------------------------------------------------
    def replaced(self, before):
        """{game file: its backup name} for the game files the mission replaces."""
        return {rel: EXAMPLE.backup(rel) for rel in EXAMPLE.targets() if rel in before}

    def check_after_kill(self, game, before):
        """Every game file with its original bytes under its own name, or,
        for one the mission replaces, under its backup name. Returns what was
        found for the record."""
        replaced = self.replaced(before)
        found = []
        for rel, digest in before.items():
            if rel.endswith("/"):
                self.assertTrue(game.path(rel).is_dir(), "folder %s gone" % rel)
                continue
            own = game.path(rel)
            own_digest = harness.sha256(own) if own.is_file() else None
            if rel not in replaced:
                self.assertEqual(own_digest, digest, "game file %s changed or lost" % rel)
                continue
            backup = game.path(replaced[rel])
            backup_digest = harness.sha256(backup) if backup.is_file() else None
            self.assertIn(digest, (own_digest, backup_digest),
                          "game file %s lost: own name %s, backup %s" % (
                              rel, "missing" if own_digest is None else "other bytes",
                              "missing" if backup_digest is None else "other bytes"))
            if backup_digest == digest and own_digest is None:
                found.append("%s only as backup" % rel.rsplit("/", 1)[-1])
            elif backup_digest == digest and own_digest is not None:
                size = own.stat().st_size
                mission = harness.sha256(EXAMPLE.folder / rel.rsplit("/", 1)[-1])
                if own_digest != mission:
                    found.append("%s partly written (%d bytes)" % (rel.rsplit("/", 1)[-1], size))
        copy = game.path("Data/Brunvald.exe")
        if copy.is_file() and copy.stat().st_size != self.installer.stat().st_size:
            found.append("installer copy partly written (%d bytes)" % copy.stat().st_size)
        records = [name for name, key in (("uninstall", uninstall_key(EXAMPLE.display_name)), ("maker", MAKER_KEY))
                   if self.w.reg_values(key) is not None]
        self.assertNotEqual(records, ["maker"], "the maker record is there without the uninstall entry")
        if records:
            maker = self.w.reg_values(MAKER_KEY)
            detail = ""
            if maker is not None and len(maker) < 6:  # a maker record left unfinished
                detail = " (maker values: %s)" % (",".join(sorted(maker)) or "none")
            found.append("records: %s%s" % ("+".join(records), detail))
        return found

    def assertNothingToUndo(self, game, before):
        """Killed before the records: the game as before, apart from the
        installer's copy in Data and a journal that records no change (or
        what its first store left aside)."""
        after = game.snapshot()
        for rel in ("Data/Brunvald.exe", EXAMPLE.journal() + ".new"):
            after.pop(rel, None)
        journal = game.path(EXAMPLE.journal())
        if after.pop(EXAMPLE.journal(), None) is not None:
            text = journal.read_bytes().decode("utf-16-le")
            self.assertTrue(text.endswith("\nend 0\n"), "a journal with records but no uninstall entry: %r" % text)
        self.assertEqual(after, before)

    def kill_once(self, moment, variant, rerun_first):
        self.clean()
        self.work.mkdir(parents=True, exist_ok=True)
        game = self.make_game(variant)
        before = game.snapshot()
        exe = self.installer_copy()
        d = Driver(self.w, ["run", "--timeout", "60"] + moment.options() + ["--click", "Installieren", exe])
        try:
            report = d.report(90)
        finally:
            d.kill()
        killed = next((e for e in d.events if e["event"] == "killed"), None)
        click = next((e["t"] for e in d.events if e["event"] == "click"), None)
        record = {"moment": moment.name(), "what": moment.what, "game": variant,
                  "killed": report.get("killed", False),
                  "killed_ms": None if killed is None or click is None else killed["t"] - click}
        if moment.kind == "call":
            self.assertTrue(record["killed"], "the call %s never came" % moment.value)
        self.assertFalse(report["timed_out"])
        record["found"] = self.check_after_kill(game, before)

        # The list offers the uninstall once the entry holds its command
        # (written after the name, and before the maker key).
        listed = "UninstallString" in (self.w.reg_values(uninstall_key(EXAMPLE.display_name)) or {})
        if not listed:
            self.assertNothingToUndo(game, before)
            record["found"].append("nothing to undo")
        if not listed or rerun_first:
            # A second install completes.
            report = self.install(exe)
            self.assertEqual(self.boxes(report), [INSTALLED], "rerun after %s" % moment.name())
            self.assertInstalled(game, before)
            record["rerun"] = True
        # The uninstall from the list puts everything back.
        self.uninstall_from_list(game)
        self.assertEqual(game.snapshot(), before)
        self.assertNoRecords()
        return record

    # One kill of the uninstall -------------------------------------------
    def installed_game(self, variant):
        self.clean()
        self.work.mkdir(parents=True, exist_ok=True)
        game = self.make_game(variant)
        before = game.snapshot()
        self.assertEqual(self.boxes(self.install(self.installer_copy())), [INSTALLED])
        return game, before

    def run_uninstall(self, game, options):
        d = Driver(self.w, ["run", "--timeout", "60"] + options +
                   ["--args", "UNINSTALL", "--click", "Deinstallieren", self.w.windows(game.path("Data/Brunvald.exe"))])
        try:
            report = d.report(90)
        finally:
            d.kill()
        return d, report

    def uninstall_census(self, variant):
        """One traced uninstall of a complete install: its calls after the click."""
        game, _ = self.installed_game(variant)
        d, report = self.run_uninstall(game, ["--trace-calls"])
        self.assertEqual(self.boxes(report), [UNINSTALLED])
        self.assertNotIn("not_watched", [e["event"] for e in d.events], "a watched function was not found")
        click = next(e["t"] for e in d.events if e["event"] == "click")
        calls = [e for e in d.events if e["event"] == "call"]
        self.clean()
        return self.candidates(calls, click, UNINSTALL_MOMENT_FUNCTIONS)

    def kill_uninstall_once(self, moment, variant, index):
        game, before = self.installed_game(variant)
        d, report = self.run_uninstall(game, moment.options())
        record = {"moment": moment.name(), "what": moment.what, "game": variant, "run": "uninstall",
                  "killed": report.get("killed", False)}
        self.assertTrue(record["killed"], "the call %s never came" % moment.value)
        self.assertFalse(report["timed_out"])
        maker = self.w.reg_values(MAKER_KEY)
        entry = self.w.reg_values(uninstall_key(EXAMPLE.display_name))
        self.assertFalse(maker is not None and entry is None, "the maker record is left without the uninstall entry")
        record["found"] = ["records: %s" % "+".join(n for n, v in (("uninstall", entry), ("maker", maker)) if v)] \
            if maker is not None or entry is not None else []
        # The same uninstall again finishes the job.
        _, report = self.run_uninstall(game, [])
        self.assertEndedCleanly(report)
        self.assertIn(self.boxes(report), ([UNINSTALLED], [ENTRY_MISSING, UNINSTALLED]))
        self.assertSelfRemoved(game.path("Data"))
        self.assertEqual(game.snapshot(), before)
        self.assertNoRecords()
        return record

    # The tests -----------------------------------------------------------------
    def run_kills(self, moments, kill):
        """Runs kill(moment, variant, index) for each (moment, variant), records
        the outcomes and fails at the first that does not pass."""
        for index, (moment, variant) in enumerate(moments):
            with self.subTest(moment=moment.name(), what=moment.what, game=variant):
                t0 = time.monotonic()
                try:
                    record = kill(moment, variant, index)
                    record["outcome"] = "pass"
                except Exception as error:  # noqa: BLE001 - every kind of failure is recorded
                    record = {"moment": moment.name(), "what": moment.what, "game": variant, "outcome": "FAIL",
                              "error": str(error).splitlines()[0][:300]}
                record["seconds"] = round(time.monotonic() - t0, 1)
                type(self).results.append(record)
                print("kill %-18s %-28s %-50s %s %s" % (record["moment"], variant, record["what"], record["outcome"],
                                                        "; ".join(record.get("found", [])) or record.get("error", "")),
                      file=sys.stderr, flush=True)
                if record["outcome"] != "pass":
                    self.fail(record["error"])

    def test_install_killed_at_spread_moments_loses_no_game_file(self):
        started = time.monotonic()
        per_variant = max(1, round(self.kills / len(VARIANTS)))
        chosen = []
        info = {}
        for index, variant in enumerate(VARIANTS):
            calls, click, length = self.census(variant)
            moments, candidates = self.moments(calls, click, length, per_variant, with_delays=index == 0)
            info[variant] = {"calls": len(calls), "candidates": len(candidates), "run_ms": length}
            chosen += [(m, variant) for m in moments]
            if not self.only:
                self.assertGreaterEqual(len(moments), min(per_variant, len(candidates)))
            if self.only:
                break
        type(self).census_info["install"] = info
        # Every other kill runs a second install before the uninstall.
        self.run_kills(chosen, lambda moment, variant, index: self.kill_once(moment, variant, index % 2 == 1))
        type(self).census_info["install"]["seconds"] = round(time.monotonic() - started, 1)

    def test_uninstall_killed_at_spread_moments_loses_no_game_file(self):
        if self.only:
            self.skipTest("moments named on the command line are install moments")
        started = time.monotonic()
        chosen = []
        info = {}
        # The short run (ctest) takes the game whose files equal the mission's
        # alone, where byte equality could mislead an uninstall.
        games = ("files equal to the mission's", "all game files", "player's same-named files")
        for variant in games if self.uninstall_kills >= 4 else games[:1]:
            candidates = self.uninstall_census(variant)
            names = [m.value for m in candidates]
            self.assertIn(BETWEEN_THE_DELETIONS, names, "no second registry deletion in the uninstall")
            moments = spread(candidates, max(1, round(self.uninstall_kills / len(games))))
            if BETWEEN_THE_DELETIONS not in [m.value for m in moments]:
                moments.append(candidates[names.index(BETWEEN_THE_DELETIONS)])
            info[variant] = {"candidates": len(candidates)}
            chosen += [(m, variant) for m in sorted(moments, key=lambda m: m.t)]
        type(self).census_info["uninstall"] = info
        self.run_kills(chosen, self.kill_uninstall_once)
        type(self).census_info["uninstall"]["seconds"] = round(time.monotonic() - started, 1)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--kills", type=int, default=30, help="number of install kill moments (default 30)")
    parser.add_argument("--uninstall-kills", type=int, default=30,
                        help="number of uninstall kill moments (default 30, the one between the registry "
                             "deletions always added)")
    parser.add_argument("--json", help="write every kill's moment and outcome to this file")
    parser.add_argument("--at", action="append", default=[], metavar="MOMENT",
                        help="kill only at this moment, FN:N or a delay in ms (repeatable); to replay a finding")
    args = parser.parse_args()
    KillTest.kills = args.kills
    KillTest.uninstall_kills = args.uninstall_kills
    KillTest.only = args.at
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(KillTest)
    outcome = unittest.TextTestRunner(verbosity=2).run(suite)
    summary = {"kills": len(KillTest.results), "census": KillTest.census_info, "results": KillTest.results,
               "passed": sum(1 for r in KillTest.results if r["outcome"] == "pass")}
    if args.json:
        Path(args.json).write_text(json.dumps(summary, indent=1, ensure_ascii=False))
    print("%d kills, %d passed, census %s" % (summary["kills"], summary["passed"], summary["census"]))
    return 0 if outcome.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
