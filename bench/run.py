"""The benchmarks behind scripts/bench: start-up, region and extraction under
the project's private Wine, each a median of repeated runs against a baseline
measured in the same run, written as Markdown to docs/benchmarks.md.

  run.py [--quick] [--only startup,region,extract,size] [--out FILE]
         [--no-aligned] [--render-only]

--only writes its sections to build/bench/benchmarks.md unless --out says
otherwise: docs/benchmarks.md is only replaced by a run of everything.
--render-only writes the document again from build/bench/results.json (the
last complete run) without measuring. The exit code is 1 when a benchmark
failed (its section says so), else 0.

Environment (set by scripts/bench):
  BRUNVALD_ROOT          the checkout
  BRUNVALD_BUILD_DIR     the win32 build (Brunvald.exe, the driver, the region
                         benchmark)
  BRUNVALD_BENCH_TOOLS   the build of bench/ (the floors, bench-launch.exe,
                         bench-phases.exe)
  BRUNVALD_BENCH_ALIGNED a build of the program linked with page-aligned
                         sections, measured beside the real one (optional)
  BRUNVALD_WINEPREFIX    the prefix (build/wine-bench)

Nothing here asserts a time: a missed target is written into the document
with what was measured about its cause.
"""

import argparse
import json
import os
import platform
import queue
import re
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(os.environ.get("BRUNVALD_ROOT", Path(__file__).resolve().parents[1]))
sys.path.insert(0, str(ROOT / "tests" / "e2e"))

import harness  # noqa: E402  (the e2e tests' Wine session, demo game and driver)

BUILD = Path(os.environ.get("BRUNVALD_BUILD_DIR", ROOT / "build" / "win32"))
TOOLS = Path(os.environ.get("BRUNVALD_BENCH_TOOLS", ROOT / "build" / "bench-tools"))
WORK = ROOT / "build" / "bench"  # big files stay here, never in the repository
GAME_FOLDER = r"C:\Spiele\Kaiser"
BENCH_DIR = r"C:\bench"

MB = 1024 * 1024


def say(text):
    print("bench: " + text, flush=True)


def median(values):
    return statistics.median(values) if values else float("nan")


def spread(values):
    """min-max of the values, as text."""
    return "%.1f-%.1f" % (min(values), max(values)) if values else "-"


def timing_cell(values):
    """The median and range columns of a table row, for a baseline that may
    not have been measured."""
    return "%.0f ms | %s" % (median(values), spread(values)) if values else "not measured |"


def run_quiet(w, args, out_file, timeout):
    """A Windows program whose output goes to a file: Wine's long-lived
    processes may inherit what the program is given, and a pipe would hold
    this script until they exit."""
    with open(out_file, "wb") as out:
        done = subprocess.run(["wine"] + [str(a) for a in args], env=w.env, stdin=subprocess.DEVNULL,
                              stdout=out, stderr=subprocess.DEVNULL, timeout=timeout)
    return done.returncode


def clean_records(w):
    for key in [harness.APP_PATHS_KEY, harness.MAKER_KEY] + \
               [harness.uninstall_key(n) for n in harness.KNOWN_DISPLAY_NAMES + [BIG_DISPLAY_NAME]]:
        w.reg_delete(key)


# ---------------------------------------------------------------------------
# The machine
# ---------------------------------------------------------------------------
def machine(w):
    cpu = "unknown CPU"
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    wine_version = subprocess.run(["wine", "--version"], env=w.env, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout.decode().strip()
    load = os.getloadavg()
    mem = 0
    try:
        for line in Path("/proc/meminfo").read_text().splitlines():
            if line.startswith("MemTotal:"):
                mem = int(line.split()[1]) // 1024
    except OSError:
        pass
    commit = subprocess.run(["git", "-C", str(ROOT), "describe", "--always", "--dirty"], stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, universal_newlines=True).stdout.strip()
    return {"commit": commit, "build": str(BUILD.relative_to(ROOT)) if BUILD.is_relative_to(ROOT) else str(BUILD),
            "cores": os.cpu_count(), "cpu": cpu, "wine": wine_version, "kernel": platform.release(),
            "memory_mb": mem, "load_before": load, "date": time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime())}


# ---------------------------------------------------------------------------
# 1. Start-up
# ---------------------------------------------------------------------------
def write_ready_shape(folder):
    """picture.bmp and shape.txt for bench-floor-shaped.exe, read from the
    committed picture with Pillow: the picture over white as a plain bitmap,
    and the rectangles of its region as Windows keeps them."""
    try:
        from PIL import Image
    except ImportError:
        return False
    picture = harness.picture_pixels()
    white = Image.new("RGBA", picture.size, (255, 255, 255, 255))
    Image.alpha_composite(white, picture).convert("RGB").save(folder / "picture.bmp")
    rects = harness.coalesce_bands(harness.region_runs(picture))
    (folder / "shape.txt").write_text("".join("%d %d %d %d\n" % r for r in rects))
    return True


def bench_startup(w, rounds, aligned_build=None):
    """Brunvald.exe (install mode, against a demo game) and the floor program,
    started in turn by bench-launch, which times each to its first visible
    top-level window with QueryPerformanceCounter and closes it (WM_CLOSE)."""
    bench = w.unix(BENCH_DIR)
    bench.mkdir(parents=True, exist_ok=True)
    for exe in ("bench-floor.exe", "bench-floor-controls.exe", "bench-floor-shaped.exe", "bench-launch.exe",
                "bench-phases.exe"):
        if (TOOLS / exe).exists():
            shutil.copyfile(TOOLS / exe, bench / exe)
    shutil.copyfile(BUILD / "Brunvald.exe", bench / "Brunvald.exe")
    targets = ["installer=" + BENCH_DIR + r"\Brunvald.exe", "floor=" + BENCH_DIR + r"\bench-floor.exe",
               "controls=" + BENCH_DIR + r"\bench-floor-controls.exe"]
    if write_ready_shape(bench):
        targets.append("shaped=" + BENCH_DIR + r"\bench-floor-shaped.exe")
    if aligned_build:
        (bench / "aligned").mkdir(exist_ok=True)
        shutil.copyfile(aligned_build / "Brunvald.exe", bench / "aligned" / "Brunvald.exe")
        targets.append("aligned=" + BENCH_DIR + r"\aligned\Brunvald.exe")
    clean_records(w)
    harness.Game(w, folder=GAME_FOLDER).create()  # install mode: the window opens

    out = bench / "startup.jsonl"
    say("start-up: %d rounds of Brunvald.exe against the floor, interleaved" % rounds)
    run_quiet(w, [bench / "bench-launch.exe", "--rounds", rounds, "--warmup", 2, "--out", BENCH_DIR + r"\startup.jsonl"]
              + targets, WORK / "startup.log", timeout=60 + rounds * 120)
    runs = [json.loads(line) for line in out.read_text().splitlines() if line.strip()]
    result = {"rounds": rounds, "errors": [r for r in runs if "error" in r]}
    # A run counts only when the expected window showed: a message box of a
    # refused start would be timed as well, and would be a different thing.
    expected = {"installer": "TMain", "aligned": "TMain"}
    for r in runs:
        if "ms" in r and r.get("class") != expected.get(r.get("label"), "BenchFloor"):
            result["errors"].append({"label": r["label"], "error": "window of class %s instead" % r.get("class")})
    for label in ("installer", "floor", "controls", "shaped", "aligned"):
        ok = [r for r in runs if r.get("label") == label and "ms" in r
              and r.get("class") == expected.get(label, "BenchFloor")]
        if not ok:
            continue
        result[label] = {
            "ms": [r["ms"] for r in ok],
            "created_ms": [r["created_ms"] for r in ok],
            "classes": sorted({r["class"] for r in ok}),
            "sizes": sorted({tuple(r["size"]) for r in ok}),
            "not_closed": sum(1 for r in ok if not r["closed"]),
        }
    inst, floor = result["installer"], result["floor"]
    result["ratio"] = median(inst["ms"]) / median(floor["ms"])

    # The steps the floor does not have, each the first of its kind in a
    # fresh process.
    if (bench / "bench-phases.exe").exists():
        shutil.copyfile(ROOT / "payload" / "font" / "DancingScript-Regular.otf", bench / "title.otf")
        phases_out = bench / "phases.jsonl"
        if phases_out.exists():
            phases_out.unlink()
        processes = max(5, rounds // 2)
        say("start-up: %d runs of bench-phases" % processes)
        for _ in range(processes):
            run_quiet(w, [bench / "bench-phases.exe", BENCH_DIR + r"\title.otf", BENCH_DIR + r"\phases.jsonl"],
                      WORK / "phases.log", timeout=120)
        lines = [json.loads(x) for x in phases_out.read_text().splitlines() if x.strip()] if phases_out.exists() else []
        names = {"font_system": "first font of the process created, measured and drawn (Tahoma)",
                 "title_font": "title font registered from memory and a title drawn with it",
                 "processes": "snapshot of the running processes, walked",
                 "registry": "App Paths key and its Path read, maker key looked up"}
        result["phases"] = {"processes": len(lines),
                            "steps": {names[k]: [x[k] for x in lines] for k in names}} if lines else None
    say("start-up: installer %.1f ms, floor %.1f ms, ratio %.2f"
        % (median(inst["ms"]), median(floor["ms"]), result["ratio"]))
    harness.Game(w, folder=GAME_FOLDER).remove_files()
    clean_records(w)
    return result


# ---------------------------------------------------------------------------
# 2. Region
# ---------------------------------------------------------------------------
REGION_LINES = {
    "decode": r"decode PNG\s+([\d.]+) ms",
    "runs": r"row runs \(portable\)\s+([\d.]+) ms",
    "ours": r"runs \+ one ExtCreateRegion\s+([\d.]+) ms",
    "slow": r"GetPixel \+ CombineRgn per run\s+([\d.]+) ms",
}


def bench_region(w, repeats):
    """brunvald_region_benchmark (its own medians over 51 and 5 rounds in one
    process) run several times; the median of its medians."""
    exe = BUILD / "tests" / "win32" / "ui" / "brunvald_region_benchmark.exe"
    say("region: %d runs of %s" % (repeats, exe.name))
    result = {"repeats": repeats, "same": True, "header": ""}
    for key in REGION_LINES:
        result[key] = []
    for i in range(repeats):
        log = WORK / ("region-%d.txt" % i)
        code = run_quiet(w, [exe], log, timeout=300)
        text = log.read_text(errors="replace")
        result["header"] = text.splitlines()[0] if text else ""
        result["same"] = result["same"] and code == 0 and "same region                        yes" in text
        for key, pattern in REGION_LINES.items():
            m = re.search(pattern, text)
            if m:
                result[key].append(float(m.group(1)))
    result["ratio"] = median(result["slow"]) / median(result["ours"])
    say("region: ours %.2f ms, GetPixel/CombineRgn %.1f ms, ratio %.0f"
        % (median(result["ours"]), median(result["slow"]), result["ratio"]))
    return result


# ---------------------------------------------------------------------------
# 3. Extraction
# ---------------------------------------------------------------------------
# The synthetic mission: a small campaign package first (its file's last write
# marks where the big files begin), four big city maps of random bytes, then
# the set file and the marker. The order decides what the timing below sees.
BIG_NAME = "Schwerland"
BIG_DISPLAY_NAME = "Vantorel Mission : " + BIG_NAME
BIG_FILES = ["Schwer%d.map" % i for i in range(1, 5)]
BIG_FILE_SIZE = 50 * MB
SMALL_FILES = {BIG_NAME + ".pak": 4096, BIG_NAME + ".set": 2048, "SCHW.ini": 64}
MANIFEST = ['CampPak RT_RCDATA "%s.pak"' % BIG_NAME] + \
           ['Maps_%02d RT_RCDATA "%s"' % (i + 1, f) for i, f in enumerate(BIG_FILES)] + \
           ['CampSet RT_RCDATA "%s.set"' % BIG_NAME, 'CampInI RT_RCDATA "SCHW.ini"']

# The install's fixed pauses (the progress sweep): before the first entry the
# bar sweeps 0..100 percent, one Pause(15) per percent; before every later
# entry it stands at 100 and pauses once; after the records Pause(300).
SWEEP_PAUSE_MS = 15
FIRST_SWEEP_PAUSES = 101
FINAL_PAUSE_MS = 300
SETTLE_S = 1.5


def nominal_pauses_ms():
    return (FIRST_SWEEP_PAUSES + len(MANIFEST) - 1) * SWEEP_PAUSE_MS + FINAL_PAUSE_MS


def make_mission():
    """The mission folder under build/bench (made once; random bytes do not
    compress, so neither the resource compiler nor a file system can shrink
    them)."""
    folder = WORK / "mission-200"
    sizes = dict(SMALL_FILES, **{f: BIG_FILE_SIZE for f in BIG_FILES})
    ready = folder / ".complete"
    if ready.exists() and all((folder / n).is_file() and (folder / n).stat().st_size == s for n, s in sizes.items()):
        return folder
    say("extraction: writing a mission of %d MB of random bytes to %s" % (sum(sizes.values()) // MB, folder))
    folder.mkdir(parents=True, exist_ok=True)
    for name, size in sizes.items():
        with open(folder / name, "wb") as f:
            left = size
            while left:
                piece = min(left, 4 * MB)
                f.write(os.urandom(piece))
                left -= piece
    (folder / "RCRES").write_bytes("\r\n".join(MANIFEST).encode("ascii"))
    ready.touch()
    return folder


def make_installer(mission, build, name):
    """The mission built into an installer with scripts/build-installer (again
    only when the program or the mission is newer than the last one)."""
    out = WORK / name / "Brunvald.exe"
    newest = max([(build / "Brunvald.exe").stat().st_mtime] + [p.stat().st_mtime for p in mission.iterdir()])
    if out.exists() and out.stat().st_mtime > newest:
        return out
    say("extraction: scripts/build-installer %s %s" % (mission, out))
    env = dict(os.environ, BRUNVALD_BUILD_DIR=str(build))
    subprocess.run([sys.executable, str(ROOT / "scripts" / "build-installer"), str(mission), str(out)],
                   env=env, check=True, stdout=subprocess.DEVNULL)
    return out


def unix_pid_of(windows_path):
    """The Linux process of a Windows program under Wine: its command line
    starts with the program's Windows path."""
    want = windows_path.lower().encode()
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            cmd = (entry / "cmdline").read_bytes()
        except OSError:
            continue
        if cmd.lower().startswith(want):
            return int(entry.name)
    return None


def proc_status(pid):
    """VmHWM, VmRSS, RssAnon, RssFile, VmPeak of a process, in KiB."""
    values = {}
    try:
        for line in Path("/proc/%d/status" % pid).read_text().splitlines():
            name, _, rest = line.partition(":")
            if name in ("VmHWM", "VmRSS", "RssAnon", "RssFile", "VmPeak"):
                values[name] = int(rest.split()[0])
    except (OSError, ValueError):
        pass
    return values


def measured_pause_ms(w):
    """How long the install's Sleep(15) really lasts under this Wine (median
    of 21, bench-phases --pause); the nominal 15 ms when it cannot be run."""
    bench = w.unix(BENCH_DIR)
    bench.mkdir(parents=True, exist_ok=True)
    if not (TOOLS / "bench-phases.exe").exists():
        return float(SWEEP_PAUSE_MS)
    shutil.copyfile(TOOLS / "bench-phases.exe", bench / "bench-phases.exe")
    out = bench / "pause.jsonl"
    if out.exists():
        out.unlink()
    run_quiet(w, [bench / "bench-phases.exe", "--pause", SWEEP_PAUSE_MS, BENCH_DIR + r"\pause.jsonl"],
              WORK / "pause.log", timeout=60)
    try:
        return float(json.loads(out.read_text().splitlines()[0])["median_ms"])
    except (OSError, ValueError, IndexError, KeyError):
        return float(SWEEP_PAUSE_MS)


def install_once(w, installer_win, game, pause_ms=SWEEP_PAUSE_MS):
    """One install by the button; returns its timings and memory."""
    clean_records(w)
    game.create()
    settle()
    d = harness.Driver(w, ["run", "--timeout", "300", "--click", "Installieren", "--hold", "Abschlussmeldung",
                           installer_win])
    peak_anon = 0
    samples = []
    try:
        started = d.wait_for("started", 120)
        shown = d.wait_for("main_visible", 240)
        pid = harness.poll(lambda: unix_pid_of(installer_win), 10, 0.01)
        at_window = proc_status(pid) if pid else {}
        d.wait_for("click", 30)
        clicked = time.time()
        # Sampled while the install runs: the private (anonymous) part of the
        # resident memory has no peak counter of its own.
        while True:
            try:
                item = d._queue.get(timeout=0.02)  # the driver's events, as they come
            except queue.Empty:
                item = False
            if pid:
                st = proc_status(pid)
                if st:
                    samples.append(st)
                    peak_anon = max(peak_anon, st.get("RssAnon", 0))
            if item is None:
                raise harness.DriverError("the driver ended early: %s" % d.events)
            if item:
                d.events.append(item)
                if item.get("event") == "box":
                    break
        boxed = time.time()
        final = proc_status(pid) if pid else {}
        box = d.events[-1]["box"]
        d.go_on()
        report = d.report(60)
    finally:
        d.kill()
    root = game.root
    first = root / "Campaigns" / (BIG_NAME + ".pak")
    last = root / "Cities" / BIG_FILES[-1]
    sizes_ok = all((root / "Cities" / f).stat().st_size == BIG_FILE_SIZE for f in BIG_FILES)
    span_ms = (last.stat().st_mtime_ns - first.stat().st_mtime_ns) / 1e6
    between = len(BIG_FILES) * pause_ms  # one Pause(15) before each big file
    return {
        "ok": box["text"] == "Installation erfolgreich beendet!" and report["exit_code"] == 0 and sizes_ok,
        "box": box["text"],
        "span_ms": span_ms,
        "extract_ms": span_ms - between,
        "wall_ms": (boxed - clicked) * 1000.0,
        "vm_hwm_kb": final.get("VmHWM", 0),
        "vm_peak_kb": final.get("VmPeak", 0),
        "peak_anon_kb": max(peak_anon, final.get("RssAnon", 0)),
        "rss_at_window_kb": at_window.get("VmRSS", 0),
        "anon_at_window_kb": at_window.get("RssAnon", 0),
        "samples": len(samples),
        "to_window_ms": shown["t"] - started["t"],  # the driver's tick count: 10-16 ms steps
        "started_pid": started.get("pid"),
    }


def settle():
    """Written data to the disk, then a pause: right after a sync that wrote
    much, new writes were seen to take several times longer here. The
    install's extraction starts well over a second after its sync (the window,
    the first progress sweep), so cp gets the same pause."""
    subprocess.run(["sync"])
    time.sleep(SETTLE_S)


def native_writes_once(data, piece):
    """The four files written natively from memory in pieces of `piece`
    bytes, as the installer writes them (one write call per piece, no
    reading): what the write pattern itself costs, without Wine."""
    target = WORK / "write-target"
    shutil.rmtree(target, ignore_errors=True)
    target.mkdir(parents=True)
    settle()
    start = time.perf_counter()
    for name, content in data.items():
        view = memoryview(content)
        fd = os.open(str(target / name), os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
        try:
            for offset in range(0, len(view), piece):
                os.write(fd, view[offset:offset + piece])
        finally:
            os.close(fd)
    ms = (time.perf_counter() - start) * 1000.0
    shutil.rmtree(target, ignore_errors=True)
    return ms


def wine_writes_once(w, piece):
    """The same amount written by a plain Windows program under this Wine
    (bench-phases --write: WriteFile from memory, files created like the
    installer's) in pieces of `piece` bytes: the write path of Wine alone."""
    bench = w.unix(BENCH_DIR)
    folder = bench / "write"
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    out = bench / "writes.jsonl"
    if out.exists():
        out.unlink()
    settle()
    run_quiet(w, [bench / "bench-phases.exe", "--write", BENCH_DIR + r"\write", piece, BENCH_DIR + r"\writes.jsonl"],
              WORK / "writes.log", timeout=300)
    shutil.rmtree(folder, ignore_errors=True)
    return float(json.loads(out.read_text().splitlines()[0])["ms"])


def cp_once(mission, installer):
    """cp of the same four files (and of the installer, the baseline of the
    install's copy of itself) on the same disk, each on a settled disk."""
    target = WORK / "cp-target"
    shutil.rmtree(target, ignore_errors=True)
    target.mkdir(parents=True)
    settle()
    # --reflink=never: the data must really be copied, also on a file system
    # that could share the blocks.
    start = time.perf_counter()
    subprocess.run(["cp", "--reflink=never"] + [str(mission / f) for f in BIG_FILES] + [str(target)], check=True)
    files_ms = (time.perf_counter() - start) * 1000.0
    settle()
    start = time.perf_counter()
    subprocess.run(["cp", "--reflink=never", str(installer), str(target / "Brunvald.exe")], check=True)
    self_ms = (time.perf_counter() - start) * 1000.0
    shutil.rmtree(target, ignore_errors=True)
    return files_ms, self_ms


# The installer writes a file in pieces of this size (kExtractPieceSize in
# host/win32/win32_host.h); the native baseline writes the same way, and once
# with pieces of 1 MiB.
PIECE_INSTALLER = 61440
PIECE_LARGE = 1024 * 1024


def bench_extract(w, rounds, build, name, with_writes=True):
    mission = make_mission()
    installer = make_installer(mission, build, name)
    folder = w.unix(BENCH_DIR) / name
    folder.mkdir(parents=True, exist_ok=True)
    placed = folder / "Brunvald.exe"
    if not placed.exists() or placed.stat().st_size != installer.stat().st_size or \
            placed.stat().st_mtime < installer.stat().st_mtime:
        shutil.copyfile(installer, placed)
    installer_win = w.windows(placed)
    game = harness.Game(w, folder=GAME_FOLDER)
    payload = sum((mission / f).stat().st_size for f in BIG_FILES) + sum(SMALL_FILES.values())

    say("extraction: %d rounds of install (Installieren) and cp, interleaved (%s)" % (rounds, name))
    pause = measured_pause_ms(w)
    installs, cps, selfs = [], [], []
    writes = {PIECE_INSTALLER: [], PIECE_LARGE: []}
    wine_writes = {PIECE_INSTALLER: [], PIECE_LARGE: []}
    with_wine_writes = with_writes and (w.unix(BENCH_DIR) / "bench-phases.exe").exists()
    data = {f: (mission / f).read_bytes() for f in BIG_FILES} if with_writes else {}
    install_once(w, installer_win, game)  # untimed: the installer's file in the cache

    def baselines():
        c, s = cp_once(mission, installer)
        cps.append(c)
        selfs.append(s)
        for piece in writes if with_writes else ():
            writes[piece].append(native_writes_once(data, piece))
        for piece in wine_writes if with_wine_writes else ():
            wine_writes[piece].append(wine_writes_once(w, piece))

    for i in range(rounds):
        first_cp = i % 2 == 1
        if first_cp:
            baselines()
        r = install_once(w, installer_win, game, pause)
        installs.append(r)
        if not first_cp:
            baselines()
        say("  round %d: extraction %.0f ms (span %.0f), cp %.0f ms, wall %.0f ms, VmHWM %d MB, peak anon %d MB%s"
            % (i + 1, r["extract_ms"], r["span_ms"], cps[-1], r["wall_ms"], r["vm_hwm_kb"] // 1024,
               r["peak_anon_kb"] // 1024, "" if r["ok"] else " (install FAILED: %s)" % r["box"]))
    game.remove_files()
    clean_records(w)
    good = [r for r in installs if r["ok"]]
    result = {
        "rounds": rounds,
        "failed": len(installs) - len(good),
        "payload_bytes": payload,
        "installer_bytes": installer.stat().st_size,
        "extract_ms": [r["extract_ms"] for r in good],
        "span_ms": [r["span_ms"] for r in good],
        "wall_ms": [r["wall_ms"] for r in good],
        "cp_ms": cps,
        "cp_self_ms": selfs,
        "native_60k_ms": writes[PIECE_INSTALLER],
        "native_1m_ms": writes[PIECE_LARGE],
        "wine_60k_ms": wine_writes[PIECE_INSTALLER],
        "wine_1m_ms": wine_writes[PIECE_LARGE],
        "vm_hwm_mb": [r["vm_hwm_kb"] / 1024 for r in good],
        "peak_anon_mb": [r["peak_anon_kb"] / 1024 for r in good],
        "rss_at_window_mb": [r["rss_at_window_kb"] / 1024 for r in good],
        "anon_at_window_mb": [r["anon_at_window_kb"] / 1024 for r in good],
        "to_window_ms": [r["to_window_ms"] for r in good],
        "pauses_ms": nominal_pauses_ms(),
        "pause15_ms": pause,
        "filesystem": subprocess.run(["stat", "-f", "-c", "%T", str(WORK)], stdout=subprocess.PIPE,
                                     universal_newlines=True).stdout.strip() + " file system",
    }
    result["ratio"] = median(result["extract_ms"]) / median(cps)
    say("extraction: %.0f ms against cp %.0f ms, ratio %.2f; peak working set %.0f MB for %.0f MB"
        % (median(result["extract_ms"]), median(cps), result["ratio"], median(result["vm_hwm_mb"]), payload / MB))
    return result


# ---------------------------------------------------------------------------
# 4. Size (bench/size.py, written separately)
# ---------------------------------------------------------------------------
def bench_size():
    script = ROOT / "bench" / "size.py"
    if not script.is_file():
        return None
    done = subprocess.run([sys.executable, str(script), str(BUILD)], stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=600)
    if done.returncode != 0:
        return "## Size\n\n`bench/size.py %s` failed (exit %d):\n\n```\n%s\n```\n" % (
            BUILD, done.returncode, (done.stderr or done.stdout).decode(errors="replace")[-2000:])
    return done.stdout.decode(errors="replace").strip() + "\n"


# ---------------------------------------------------------------------------
# The document
# ---------------------------------------------------------------------------
def verdict(met):
    return "**met**" if met else "**missed**"


def section_machine(m, command):
    return "\n".join([
        "# Benchmarks",
        "",
        "Written by `%s` on %s. Every figure is the median of repeated runs, set against a "
        "baseline measured in the same run, in the same Wine session. No test asserts a time; "
        "this document is the only place the numbers go." % (command, m["date"]),
        "",
        "**Machine:** %d cores (%s), %d MB memory, Linux %s, %s (32-bit prefix `build/wine-bench`, "
        "own Xvfb display, German locale). Load average before the run: %.2f / %.2f / %.2f%s."
        % (m["cores"], m["cpu"], m["memory_mb"], m["kernel"], m["wine"], *m["load_before"],
           " (the machine was busy with other jobs: the times are noisier and longer than on a quiet one)"
           if m["load_before"][0] > 0.5 * (m["cores"] or 1) else ""),
        "",
        "**Programs:** commit `%s`, built in `%s` (`cmake --preset win32`, MinSizeRel).\n" % (m["commit"], m["build"]),
        "**Reproduce:** `scripts/bench` (all), `scripts/bench --only startup,region,extract,size`, "
        "`scripts/bench --quick` (fewer rounds). Raw numbers of the last complete run: `build/bench/results.json` "
        "(`bench/run.py --render-only` writes this document from them again).",
        "",
    ])


def section_startup(r, aligned):
    inst, floor = r["installer"], r["floor"]
    target = 1.2
    met = r["ratio"] <= target
    lines = [
        "## Start-up",
        "",
        "From process start to the window being visible: `bench-launch.exe` (bench/launch_timer.cpp) "
        "takes a QueryPerformanceCounter reading, calls CreateProcessW, and polls EnumWindows every "
        "millisecond for a visible top-level window of the new process; then it posts WM_CLOSE and waits "
        "for the process to end. The same code times `Brunvald.exe` (install mode, against a demo game "
        "with its App Paths key, as in `scripts/demo`) and the floor `bench-floor.exe` "
        "(bench/floor_window.cpp: one class, one popup window of the installer window's size, "
        "500 x 425, the same styles, nothing else), interleaved round by round after %d untimed warm-up "
        "runs each. Two more steps from the floor towards the installer show what the platform charges "
        "before any of the installer's own work: the floor with three push buttons, linked with the "
        "installer's application manifest (visual-style common controls); and that with the window's "
        "picture (a plain bitmap file) and region (its rectangles from a text file) made ready beforehand, "
        "the region set before the window is shown and the picture painted, as the installer does. Both "
        "files are written from the committed picture with Pillow." % 2,
        "",
        "| Program | Median to visible (ms) | Range (ms) | Median to window created, hidden (ms) | Window seen |",
        "|---|---:|---:|---:|---|",
        "| floor (`bench-floor.exe`) | %.1f | %s | %.1f | %s %s |" % (
            median(floor["ms"]), spread(floor["ms"]), median(floor["created_ms"]),
            ", ".join(floor["classes"]), ", ".join("%dx%d" % tuple(s) for s in floor["sizes"])),
        "| the floor with three push buttons and the installer's application manifest "
        "(`bench-floor-controls.exe`) | %s |" % (
            "%.1f | %s | %.1f | %s" % (median(r["controls"]["ms"]), spread(r["controls"]["ms"]),
                                      median(r["controls"]["created_ms"]), ", ".join(r["controls"]["classes"]))
            if "controls" in r else "not measured | | |"),
        "| ... and with the window's picture and region made ready beforehand, nothing decoded or computed "
        "(`bench-floor-shaped.exe`) | %s |" % (
            "%.1f | %s | %.1f | %s" % (median(r["shaped"]["ms"]), spread(r["shaped"]["ms"]),
                                      median(r["shaped"]["created_ms"]), ", ".join(r["shaped"]["classes"]))
            if "shaped" in r else "not measured | | |"),
        "| `Brunvald.exe` | %.1f | %s | %.1f | %s %s |" % (
            median(inst["ms"]), spread(inst["ms"]), median(inst["created_ms"]),
            ", ".join(inst["classes"]), ", ".join("%dx%d" % tuple(s) for s in inst["sizes"])),
    ]
    if aligned:
        lines.append("| `Brunvald.exe` linked with page-aligned sections (see Extraction) | %.1f | %s | %.1f | %s |" % (
            median(aligned["ms"]), spread(aligned["ms"]), median(aligned["created_ms"]), ", ".join(aligned["classes"])))
    lines += [
        "",
        "%d timed runs each. **Ratio %.2f** of the medians (target at most %.1f): %s." % (
            len(inst["ms"]), r["ratio"], target, verdict(met)),
    ]
    # Two readings that other jobs on the machine disturb less: each round
    # runs the programs back to back, so its own ratio shares the round's load;
    # and the fastest run of each is the least disturbed one.
    if len(inst["ms"]) == len(floor["ms"]) and inst["ms"]:
        paired = median([a / b for a, b in zip(inst["ms"], floor["ms"])])
        lines.append("")
        lines.append("Less disturbed by other jobs: the median of the per-round ratios (each round starts the "
                     "programs back to back) is %.2f; the fastest run of each gives %.1f ms against %.1f ms, "
                     "ratio %.2f." % (paired, min(inst["ms"]), min(floor["ms"]), min(inst["ms"]) / min(floor["ms"])))
    if r["errors"]:
        lines.append("Runs that failed: %s." % "; ".join("%s: %s" % (e["label"], e["error"]) for e in r["errors"]))
    extra = median(inst["ms"]) - median(floor["ms"])
    before = median(inst["created_ms"]) - median(floor["created_ms"])
    after = (median(inst["ms"]) - median(inst["created_ms"])) - (median(floor["ms"]) - median(floor["created_ms"]))
    lines += [
        "",
        "Where the installer's extra %.1f ms go (medians): %.1f ms before its main window exists (the "
        "program's own start: its window class and icon, the picture's decode, the window font), %.1f ms "
        "between creating the hidden window and showing it (the three image buttons, the start-up checks: "
        "running processes, registry, manifest; the title font; then the region and the first paint)."
        % (extra, before, after),
    ]
    if "phases" in r and r["phases"]:
        lines += ["", "Parts of it measured one by one, each the first call in a fresh process "
                  "(`bench-phases.exe`, bench/phases.cpp; median of %d processes):" % r["phases"]["processes"], "",
                  "| Step | Median (ms) |", "|---|---:|"]
        for name, values in r["phases"]["steps"].items():
            lines.append("| %s | %.2f |" % (name, median(values)))
    if "region_decode" in r:
        lines.append("")
        lines.append("From the region benchmark below: decoding the picture takes %.2f ms, building the "
                     "region %.2f ms." % (r["region_decode"], r["region_ours"]))
    if not met:
        lines += ["", "**Cause and what would meet it:** %s" % r.get("cause", "see the split above.")]
    return "\n".join(lines) + "\n"


def section_region(r):
    met = median(r["ours"]) < 5.0
    lines = [
        "## Region",
        "",
        "`brunvald_region_benchmark.exe` (tests/win32/ui/region_benchmark.cpp) builds the window's region "
        "from the committed picture (%s) both ways in one process: ours (the row runs in memory, handed "
        "to one ExtCreateRegion) and the per-pixel GetPixel with one CombineRgn per run. It prints the "
        "median of 51 rounds (ours) and 5 rounds (GetPixel), checks that both regions are equal, and "
        "was run %d times under Wine; the table gives the medians of those medians." % (
            r["header"].replace("picture ", ""), r["repeats"]),
        "",
        "| Step | Median (ms) | Range over runs (ms) |",
        "|---|---:|---:|",
        "| decode the PNG (not part of the comparison) | %.3f | %s |" % (median(r["decode"]), spread(r["decode"])),
        "| row runs alone (portable code) | %.3f | %s |" % (median(r["runs"]), spread(r["runs"])),
        "| **ours**: row runs + one ExtCreateRegion | %.3f | %s |" % (median(r["ours"]), spread(r["ours"])),
        "| GetPixel per pixel + CombineRgn per run | %.1f | %s |" % (median(r["slow"]), spread(r["slow"])),
        "",
        "**Ratio %.0f x** faster; both regions equal: %s. Ours under 5 ms: %s (%.2f ms)." % (
            r["ratio"], "yes" if r["same"] else "NO", verdict(met), median(r["ours"])),
    ]
    return "\n".join(lines) + "\n"


def section_extract(r, aligned):
    target = 1.2
    met_time = r["ratio"] <= target
    payload_mb = r["payload_bytes"] / MB
    hwm = median(r["vm_hwm_mb"])
    met_mem = hwm < payload_mb / 2
    lines = [
        "## Extraction",
        "",
        "A synthetic mission of %.0f MB (four city maps of 50 MB of random bytes, so nothing compresses, "
        "and three small files), made under `build/bench/mission-200` and built into an installer of %.0f MB "
        "with `scripts/build-installer`. Each round installs it into a fresh demo game by pressing "
        "Installieren (the test driver) and copies the same four files with `cp` into a folder on the same "
        "disk (`build/`, %s; `cp --reflink=never`, so the data is really copied); the order alternates, one "
        "untimed install first. Before each install and each cp: `sync` and a pause of %.1f s (on this virtual "
        "machine writes right after a large sync were seen to take several times longer; the install's "
        "extraction begins well over a second after its start anyway)."
        % (payload_mb, r["installer_bytes"] / MB, r.get("filesystem", ""), SETTLE_S),
        "",
        "**Method.** The install's progress pauses are fixed: a sweep of 101 `Pause(15)` before the first "
        "file, one `Pause(15)` before every later file, `Pause(300)` at the end (%d ms in all for this "
        "manifest). They are left out by timing only the extraction span from the files themselves: the "
        "manifest puts the small campaign package first and the four big maps right after it, so the span "
        "runs from the last write of the package (its mtime) to the last write of the fourth map, less the "
        "four `Pause(15)` that fall inside it, each as long as a `Sleep(15)` measured under this Wine "
        "(median %.2f ms, so %.1f ms in all). The kernel's file times have a granularity of a few "
        "milliseconds." % (r["pauses_ms"], r.get("pause15_ms", 15.0), 4 * r.get("pause15_ms", 15.0)),
        "",
        "| | Median | Range |",
        "|---|---:|---:|",
        "| extraction of the four files by the installer (span less the four pauses) | %.0f ms | %s |" % (
            median(r["extract_ms"]), spread(r["extract_ms"])),
        "| `cp` of the same four files | %.0f ms | %s |" % (median(r["cp_ms"]), spread(r["cp_ms"])),
        "| the same four files written natively from memory (Python `os.write`, no Wine) in 60 KiB pieces, "
        "as the installer writes them | %s |" % (
            timing_cell(r.get("native_60k_ms"))),
        "| ... in 1 MiB pieces | %s |" % (
            timing_cell(r.get("native_1m_ms"))),
        "| the same amount written by a plain Windows program under this Wine (`bench-phases --write`: "
        "WriteFile from memory) in 60 KiB pieces | %s |" % (
            timing_cell(r.get("wine_60k_ms"))),
        "| ... in 1 MiB pieces | %s |" % (
            timing_cell(r.get("wine_1m_ms"))),
        "| the whole install, click to closing message (pauses included) | %.0f ms | %s |" % (
            median(r["wall_ms"]), spread(r["wall_ms"])),
        "| of which the fixed pauses (nominal) | %d ms | |" % r["pauses_ms"],
        "| of which the rest: copying the %.0f MB installer into the game's Data folder, the other files, "
        "records | %.0f ms | |" % (r["installer_bytes"] / MB, median(r["wall_ms"]) - r["pauses_ms"] - median(r["extract_ms"])),
        "| `cp` of the installer file (baseline of that self-copy) | %.0f ms | %s |" % (
            median(r["cp_self_ms"]), spread(r["cp_self_ms"])),
        "",
        "**Ratio %.2f** against `cp` (target within %.1f): %s. %d rounds%s." % (
            r["ratio"], target, verdict(met_time), r["rounds"],
            "" if not r["failed"] else ", %d installs FAILED and are left out" % r["failed"]),
        "" if len(r["extract_ms"]) != len(r["cp_ms"]) else
        "Round by round (each install beside its own cp) the ratio runs from %.2f to %.2f; %d of %d rounds "
        "are above %.1f. The spans are short (about a tenth of a second), so other jobs on the machine move "
        "them much; a quiet machine decides." % (
            min(a / b for a, b in zip(r["extract_ms"], r["cp_ms"])),
            max(a / b for a, b in zip(r["extract_ms"], r["cp_ms"])),
            sum(1 for a, b in zip(r["extract_ms"], r["cp_ms"]) if a / b > target), len(r["cp_ms"]), target),
        "",
        "**Memory.** Sampled from `/proc/<pid>/status` of the installer's Wine process (every 20 ms while "
        "it runs, and its peak counter while the closing message is held open):",
        "",
        "| | Median |",
        "|---|---:|",
        "| payload (the mission's files) | %.0f MB |" % payload_mb,
        "| peak working set (VmHWM: peak resident memory) | %.0f MB |" % hwm,
        "| peak private memory (RssAnon, sampled) | %.0f MB |" % median(r["peak_anon_mb"]),
        "| resident when the window appeared (VmRSS / RssAnon) | %.0f MB / %.0f MB |" % (
            median(r["rss_at_window_mb"]), median(r["anon_at_window_mb"])),
        "| start of this installer to its window visible (driver, 16 ms ticks) | %.0f ms |" % median(r["to_window_ms"]),
        "",
        "Peak working set well under the payload: %s." % verdict(met_mem),
    ]
    if aligned:
        lines += [
            "",
            "**The same installer linked with page-aligned sections** (`-Wl,--file-alignment,4096`, a build "
            "of its own under `build/bench-aligned`, the same mission, %d rounds):" % aligned["rounds"],
            "",
            "| | Median |",
            "|---|---:|",
            "| extraction (span less pauses) / `cp` | %.0f ms / %.0f ms, ratio %.2f |" % (
                median(aligned["extract_ms"]), median(aligned["cp_ms"]), aligned["ratio"]),
            "| peak working set (VmHWM) | %.0f MB |" % median(aligned["vm_hwm_mb"]),
            "| peak private memory (RssAnon) | %.0f MB |" % median(aligned["peak_anon_mb"]),
            "| resident when the window appeared (VmRSS / RssAnon) | %.0f MB / %.0f MB |" % (
                median(aligned["rss_at_window_mb"]), median(aligned["anon_at_window_mb"])),
            "| start to window visible | %.0f ms |" % median(aligned["to_window_ms"]),
        ]
    if not met_time:
        lines += ["", "**Cause of the time missed, and what would meet it:** " + extract_time_cause(r)]
    if not met_mem:
        lines += ["", "**Cause of the memory missed, and what would meet it:** " + r.get("cause", "")]
    return "\n".join(lines) + "\n"


def startup_cause(st):
    """What the measurements say about a start-up above its target."""
    floor = median(st["floor"]["ms"])
    inst = median(st["installer"]["ms"])
    extra = inst - floor
    budget = 0.2 * floor
    text = ("the floor takes %.1f ms, so 1.2 times the floor leaves %.1f ms for everything the installer does "
            "beyond opening a window; it spends %.1f ms more." % (floor, budget, extra))
    shaped = "shaped" in st
    own = extra
    if "controls" in st:
        controls = median(st["controls"]["ms"]) - floor
        own = extra - controls
        text += (" Of that, %.1f ms are the platform's price for the visual-style buttons (the floor with three "
                 "push buttons and the installer's manifest; Wine loads the version 6 common controls for "
                 "them)." % controls)
    if shaped:
        ready = median(st["shaped"]["ms"])
        own = inst - ready
        text += (" With the picture and the region made ready beforehand as well, the floor takes %.1f ms, "
                 "%.2f times the plain floor: %s. The installer's own work is the remaining %.1f ms."
                 % (ready, ready / floor,
                    "even an installer that decoded and computed nothing would miss the target under Wine"
                    if ready > 1.2 * floor else "the platform's part alone fits the target", own))
    parts = []
    if "region_decode" in st:
        parts.append(("decoding the picture (PNG, Adam7)", st["region_decode"]))
        # The ready-made floor builds its region from rectangles too: only
        # finding the row runs is the installer's alone then.
        if shaped and "region_runs" in st:
            parts.append(("finding the region's row runs", st["region_runs"]))
        elif not shaped:
            parts.append(("building the region", st["region_ours"]))
    steps = (st.get("phases") or {}).get("steps", {})
    for name, values in steps.items():
        parts.append((name, median(values)))
    parts.sort(key=lambda p: -p[1])
    known = sum(v for _, v in parts)
    text += (" Measured one by one: %s; together %.1f ms of the %.1f ms. The rest could not be run apart: %s, "
             "and the noise of the other jobs on this machine."
             % ("; ".join("%s %.1f ms" % p for p in parts), known, own,
                "the image buttons' bitmaps and their drawing, the title labels in the embedded font, reading "
                "the manifest" if shaped else
                "the image buttons and the labels, setting the region on the window, the first paint of the "
                "500 x 425 picture with the title"))
    shaped_misses = "shaped" in st and median(st["shaped"]["ms"]) > 1.2 * floor
    if shaped_misses:
        text += (" What would meet it: nothing in the installer's own code alone. Under Wine, a window of this "
                 "shape with three visual-style buttons costs the platform more than the target allows before "
                 "the installer does anything of its own; the target could be met only by a window that the "
                 "platform shows more cheaply (without the visual-style buttons, the shaped region or the "
                 "full-size picture, each of which changes the window's look), or on a platform whose window "
                 "start costs less than Wine's X11 driver.")
    else:
        text += " What would meet it:"
    text += (" The installer's own share would shrink (not tried here; these are changes to the window and "
             "start-up code) by decoding the picture on a second thread started at the first line of "
             "wWinMain, overlapping its decode%s with the platform's work on the main thread (window class, "
             "icon, fonts, the display connection) instead of adding to it; building the region from the "
             "decoded pixels could go with it. The checks (process snapshot, registry) must come before the "
             "window is shown and cost little. Rerun this benchmark to judge such a change."
             % (" (%.1f ms)" % st["region_decode"] if "region_decode" in st else ""))
    if "aligned" in st:
        text += (" The build linked with page-aligned sections starts in %.1f ms (median): the section alignment "
                 "plays no part for the small example mission." % median(st["aligned"]["ms"]))
    return text


def extract_time_cause(ex):
    ext, cp = median(ex["extract_ms"]), median(ex["cp_ms"])
    text = ("`cp --reflink=never` reads and writes each file through its own buffer in pieces of 128 KiB "
            "(read and write calls, seen with strace on this machine), while the installer hands the data from "
            "its memory to WriteFile in pieces of 60 KiB, one call per piece, about %d calls for this payload, "
            "each going through Wine's file layer before it reaches the kernel."
            % (ex["payload_bytes"] // PIECE_INSTALLER))
    if ex.get("native_60k_ms") and ex.get("native_1m_ms"):
        n60, n1m = median(ex["native_60k_ms"]), median(ex["native_1m_ms"])
        text += (" Written natively from memory in the same 60 KiB pieces, the files take %.0f ms (%.2f times "
                 "cp), in 1 MiB pieces %.0f ms (%.2f times cp)." % (n60, n60 / cp, n1m, n1m / cp))
    if ex.get("wine_60k_ms") and ex.get("wine_1m_ms"):
        w60, w1m = median(ex["wine_60k_ms"]), median(ex["wine_1m_ms"])
        text += (" A plain Windows program that only writes the same amount from memory under this Wine takes "
                 "%.0f ms in 60 KiB pieces (%.2f times cp) and %.0f ms in 1 MiB pieces (%.2f times cp); the "
                 "installer takes %.0f ms." % (w60, w60 / cp, w1m, w1m / cp, ext))
        if w1m <= 1.2 * cp:
            text += (" What would meet it: larger pieces (1 MiB instead of 60 KiB; the piece size is "
                     "kExtractPieceSize in host/win32/win32_host.h), measured above with the plain program; "
                     "the installer's code itself adds %.0f ms to the plain program's 60 KiB writes."
                     % (ext - w60))
        else:
            text += (" So the time goes to Wine's write path, not to the installer (which differs by %+.0f ms "
                     "from the plain program's 60 KiB writes): even 1 MiB pieces stay above 1.2 times cp under Wine. "
                     "What would meet it: nothing in the installer; only a platform whose write path is as cheap "
                     "as the kernel's own (natively the same writes take %s)." % (
                         ext - w60, "%.0f ms" % median(ex["native_60k_ms"]) if ex.get("native_60k_ms") else "less"))
    text += (" The four pauses inside the span are subtracted as measured; the kernel's coarse file times "
             "add a few milliseconds either way.")
    return text


def extract_cause(ex, aligned, startup=None):
    text = ("Wine maps a program's sections straight from its file only when each starts on a page boundary "
            "in the file. The linker's default file alignment is 512 bytes, so Wine's loader reads every "
            "section, the %.0f MB resource section included, into private memory when the process starts: "
            "%.0f MB of private (anonymous) memory are resident when the window appears, before the button is "
            "pressed, and the start of this installer to its window takes %.0f ms (%s). The extraction itself "
            "copies nothing to the heap: it writes each file from the resource's memory in pieces of 60 KB."
            % (ex["installer_bytes"] / MB, median(ex["anon_at_window_mb"]), median(ex["to_window_ms"]),
               "timed by the driver; the example mission's installer takes %.0f ms in the start-up benchmark"
               % median(startup["installer"]["ms"])
               if startup and "installer" in startup else "the example mission's installer: see Start-up"))
    if aligned:
        text += (" Measured with the same program linked with `-Wl,--file-alignment,4096`: peak private memory "
                 "%.0f MB, resident at the window %.0f MB. Its peak working set is still %.0f MB, because the "
                 "pages of the mapped file that were read to write the files count as resident until the "
                 "system takes them back (clean file pages, dropped first when memory runs short; Windows "
                 "counts an image's touched pages in the working set too)."
                 % (median(aligned["peak_anon_mb"]), median(aligned["rss_at_window_mb"]),
                    median(aligned["vm_hwm_mb"])))
    text += (" What would meet it: link the installer with `-Wl,--file-alignment,4096` (page-aligned "
             "sections; the program grows by the padding of its sections, %s, which counts against the 200 KB "
             "overhead of the Size target), which removes the private copy under Wine (on Windows the image "
             "is mapped either way); and, for a working set well under the payload even counting file pages, "
             "write each "
             "file from the installer's own file (ReadFile of the resource's range, piece by piece, into "
             "one 60 KB buffer) instead of touching the mapped resource, so that the payload passes through "
             "the file cache and never through the process's memory."
             % ("%+d bytes for the example mission" % ex["aligned_size_delta"]
                if ex.get("aligned_size_delta") is not None else "a few KB"))
    return text


SIZE_PLACEHOLDER = """## Size

*Not measured yet:* `bench/size.py` is not in the repository. Once it is, `scripts/bench` puts
its "## Size" section here (the executable's overhead without the embedded mission files, font and
window assets; target at most 200 KB).
"""


# ---------------------------------------------------------------------------
def leftover_processes():
    """Programs that an interrupted earlier run of this script left in the
    bench prefix: processes whose command line starts with C:\\bench\\ and
    whose WINEPREFIX is this prefix."""
    prefix = os.environ.get("BRUNVALD_WINEPREFIX", "").encode()
    found = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            cmd = (entry / "cmdline").read_bytes()
            env = (entry / "environ").read_bytes().split(b"\0")
        except OSError:
            continue
        if cmd.lower().startswith(BENCH_DIR.lower().encode() + b"\\") and b"WINEPREFIX=" + prefix in env:
            found.append(int(entry.name))
    return found


def failed_section(title, error):
    return "## %s\n\n**The benchmark failed in this run:** `%s`. See the output of `scripts/bench`.\n" % (
        title, error.replace("`", "'"))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--quick", action="store_true", help="fewer rounds (a check that it all runs)")
    parser.add_argument("--only", default="startup,region,extract,size")
    parser.add_argument("--out", default="",
                        help="the document (default docs/benchmarks.md; with --only build/bench/benchmarks.md, "
                             "so a partial run never replaces the full document)")
    parser.add_argument("--aligned-build", default=os.environ.get("BRUNVALD_BENCH_ALIGNED", ""),
                        help="a win32 build linked with page-aligned sections, measured beside the real one")
    parser.add_argument("--no-aligned", action="store_true", help="leave the page-aligned variant out")
    parser.add_argument("--render-only", action="store_true",
                        help="write the document again from build/bench/results.json, measuring nothing")
    parser.add_argument("--command", default="scripts/bench")
    args = parser.parse_args()
    only = set(args.only.split(","))
    everything = only >= {"startup", "region", "extract", "size"}
    out = Path(args.out) if args.out else (ROOT / "docs" / "benchmarks.md" if everything else WORK / "benchmarks.md")
    WORK.mkdir(parents=True, exist_ok=True)
    rounds = {"startup": 5 if args.quick else 15, "region": 2 if args.quick else 7,
              "extract": 1 if args.quick else 7, "aligned": 1 if args.quick else 3}

    if args.render_only:
        results = json.loads((WORK / "results.json").read_text())
        errors = results.pop("errors", {})
        m = results["machine"]
        only = {k for k in ("startup", "region", "extract") if k in results or k in errors} | (only & {"size"})
    else:
        for pid in leftover_processes():
            say("ending process %d left by an earlier run" % pid)
            try:
                os.kill(pid, 9)
            except OSError:
                pass
        w = harness.wine()
        m = machine(w)
        results = {"machine": m}
        errors = {}
    aligned_build = Path(args.aligned_build) if args.aligned_build and not args.no_aligned else None
    if aligned_build and not (aligned_build / "Brunvald.exe").is_file():
        aligned_build = None

    def attempt(name, fn, *fn_args):
        # One benchmark that fails leaves the others to run; the document says so.
        try:
            results[name] = fn(*fn_args)
        except Exception as error:  # noqa: BLE001 (reported, and the exit code says it)
            errors[name] = "%s: %s" % (type(error).__name__, str(error)[:500])
            say("%s FAILED: %s" % (name, errors[name]))

    if not args.render_only:
        try:
            if "region" in only:
                attempt("region", bench_region, w, rounds["region"])
            if "startup" in only:
                attempt("startup", bench_startup, w, rounds["startup"], aligned_build)
            if "extract" in only:
                attempt("extract", bench_extract, w, rounds["extract"], BUILD, "installer-200")
                if aligned_build:
                    attempt("extract_aligned", bench_extract, w, rounds["aligned"], aligned_build,
                            "installer-200-aligned")
        finally:
            # A partial run keeps the complete run's numbers for --render-only.
            (WORK / ("results.json" if everything else "results-partial.json")).write_text(
                json.dumps(dict(results, errors=errors), indent=1, default=str))

    parts = [section_machine(m, args.command + (" --quick" if args.quick else ""))]

    def render(title, key, fn):
        if key in errors:
            parts.append(failed_section(title, errors[key]))
            return
        if key not in results:
            return
        try:
            parts.append(fn())
        except Exception as error:  # noqa: BLE001
            errors[key + "_document"] = repr(error)
            parts.append(failed_section(title, "writing the section: %r" % error))

    def startup_text():
        st = results["startup"]
        if "region" in results:
            st["region_decode"] = median(results["region"]["decode"])
            st["region_ours"] = median(results["region"]["ours"])
            st["region_runs"] = median(results["region"]["runs"])
        st["cause"] = startup_cause(st)
        return section_startup(st, st.get("aligned"))

    def extract_text():
        ex = results["extract"]
        if aligned_build:
            ex["aligned_size_delta"] = ((aligned_build / "Brunvald.exe").stat().st_size
                                        - (BUILD / "Brunvald.exe").stat().st_size)
        ex["cause"] = extract_cause(ex, results.get("extract_aligned"), results.get("startup"))
        text = section_extract(ex, results.get("extract_aligned"))
        if "extract_aligned" in errors:
            text += "\nThe variant with page-aligned sections failed in this run: `%s`.\n" % errors["extract_aligned"]
        return text

    render("Start-up", "startup", startup_text)
    render("Region", "region", lambda: section_region(results["region"]))
    render("Extraction", "extract", extract_text)
    if "size" in only:
        size = bench_size()
        parts.append(size if size else SIZE_PLACEHOLDER)
        if not size:
            say("size: bench/size.py is missing; a placeholder is written")
    out.write_text("\n".join(parts))
    say("wrote %s" % out)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
