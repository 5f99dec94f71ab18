"""The benchmarks behind scripts/bench, under the project's private Wine: the
installer's start-up, region, extraction, memory and size, each beside its
baselines and beside a peer (the same missions packed by NSIS), all measured
in the same run. This script measures and renders tables; what the figures
mean is written by hand in docs/benchmarks.md.

  run.py [--quick] [--only startup,region,extract,size] [--out FILE] [--render-only]

A complete run writes docs/benchmark-tables.md; --quick or --only write
build/bench/benchmark-tables.md unless --out says otherwise. Raw numbers:
build/bench/results.json (--render-only writes the tables again from it).
The exit code is 1 when a benchmark failed (its section says so), else 0.

Environment (set by scripts/bench):
  BRUNVALD_ROOT          the checkout
  BRUNVALD_BUILD_DIR     the build that runs (Brunvald.exe, the driver, the
                         region benchmark): win32, or win64 where the machine
                         runs no 32-bit code (BRUNVALD_WINDOWS_PRESET)
  BRUNVALD_SIZE_BUILD    the win32 build whose program's size is measured
  BRUNVALD_BENCH_TOOLS   the build of bench/ (the floors, bench-launch.exe,
                         bench-phases.exe)
  BRUNVALD_WINEPREFIX    the prefix (build/wine-bench)
  PYTHONPATH             tests/e2e, for wine_session

Nothing here asserts a time.
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

import wine_session as ws

ROOT = ws.ROOT
BUILD = Path(os.environ.get("BRUNVALD_BUILD_DIR", ROOT / "build" / "win32"))
SIZE_BUILD = Path(os.environ.get("BRUNVALD_SIZE_BUILD", ROOT / "build" / "win32"))
# The peer is built for the architecture of the programs that run beside it.
X86_64 = os.environ.get("BRUNVALD_WINDOWS_PRESET") == "win64"
TOOLS = Path(os.environ.get("BRUNVALD_BENCH_TOOLS", ROOT / "build" / "bench-tools"))
WORK = ROOT / "build" / "bench"  # big files stay here, never in the repository
GAME_FOLDER = r"C:\Spiele\Kaiser"
BENCH_DIR = r"C:\bench"
NSIS_DIR = ROOT / "bench" / "nsis"
EXAMPLE_DISPLAY_NAME = "Vantorel Mission : Aurelmark"

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
    for key in [ws.APP_PATHS_KEY, ws.MAKER_KEY] + \
               [ws.uninstall_key(n) for n in (EXAMPLE_DISPLAY_NAME, BIG_DISPLAY_NAME)]:
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
    nsis = subprocess.run(["makensis", "-VERSION"], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, universal_newlines=True).stdout.strip()
    commit = subprocess.run(["git", "-C", str(ROOT), "describe", "--always", "--dirty"], stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, universal_newlines=True).stdout.strip()
    prefix = Path(w.env.get("WINEPREFIX", ""))
    return {"commit": commit, "prefix": str(prefix.relative_to(ROOT)) if prefix.is_relative_to(ROOT) else str(prefix), "build": str(BUILD.relative_to(ROOT)) if BUILD.is_relative_to(ROOT) else str(BUILD),
            "cores": os.cpu_count(), "cpu": cpu, "wine": wine_version, "kernel": platform.release(),
            "memory_mb": mem, "load_before": load, "nsis": nsis, "x86_64": X86_64,
            "date": time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime())}


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
    picture = ws.picture_pixels()
    white = Image.new("RGBA", picture.size, (255, 255, 255, 255))
    Image.alpha_composite(white, picture).convert("RGB").save(folder / "picture.bmp")
    rects = ws.coalesce_bands(ws.region_runs(picture))
    (folder / "shape.txt").write_text("".join("%d %d %d %d\n" % r for r in rects))
    return True


def bench_startup(w, rounds, peer):
    """Brunvald.exe (install mode, against a demo game), the floors and the
    peer installer of the example mission, started in turn by bench-launch,
    which times each to its first visible top-level window with
    QueryPerformanceCounter and closes it (WM_CLOSE)."""
    bench = w.unix(BENCH_DIR)
    bench.mkdir(parents=True, exist_ok=True)
    for exe in ("bench-floor.exe", "bench-floor-controls.exe", "bench-floor-shaped.exe", "bench-floor-shell32.exe",
                "bench-floor-no-ime.exe", "bench-launch.exe", "bench-phases.exe"):
        if (TOOLS / exe).exists():
            shutil.copyfile(TOOLS / exe, bench / exe)
    shutil.copyfile(BUILD / "Brunvald.exe", bench / "Brunvald.exe")
    targets = ["installer=" + BENCH_DIR + r"\Brunvald.exe", "floor=" + BENCH_DIR + r"\bench-floor.exe",
               "controls=" + BENCH_DIR + r"\bench-floor-controls.exe"]
    if write_ready_shape(bench):
        targets.append("shaped=" + BENCH_DIR + r"\bench-floor-shaped.exe")
        targets.append("shell32=" + BENCH_DIR + r"\bench-floor-shell32.exe")
        targets.append("noime=" + BENCH_DIR + r"\bench-floor-no-ime.exe")
    if peer:
        shutil.copyfile(peer, bench / "peer-example.exe")
        targets.append("peer=" + BENCH_DIR + r"\peer-example.exe")
    clean_records(w)
    ws.Game(w, folder=GAME_FOLDER).create()  # install mode: the window opens

    out = bench / "startup.jsonl"
    say("start-up: %d rounds of Brunvald.exe, the floors and the peer, interleaved" % rounds)
    run_quiet(w, [bench / "bench-launch.exe", "--rounds", rounds, "--warmup", 2, "--out", BENCH_DIR + r"\startup.jsonl"]
              + targets, WORK / "startup.log", timeout=60 + rounds * 120)
    runs = [json.loads(line) for line in out.read_text().splitlines() if line.strip()]
    result = {"rounds": rounds, "errors": [r for r in runs if "error" in r]}
    # A run counts only when the expected window showed: a message box of a
    # refused start would be timed as well, and would be a different thing.
    expected = {"installer": "TMain", "peer": "#32770"}
    for r in runs:
        if "ms" in r and r.get("class") != expected.get(r.get("label"), "BenchFloor"):
            result["errors"].append({"label": r["label"], "error": "window of class %s instead" % r.get("class")})
    for label in ("installer", "floor", "controls", "shaped", "shell32", "noime", "peer"):
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
    ws.Game(w, folder=GAME_FOLDER).remove_files()
    clean_records(w)
    return result


# ---------------------------------------------------------------------------
# 2. Region
# ---------------------------------------------------------------------------
REGION_LINES = {
    "decode": r"decode PNG\s+([\d.]+) ms",
    "runs": r"row runs \(portable\)\s+([\d.]+) ms",
    "ours": r"runs \+ region from them\s+([\d.]+) ms",
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
    out.parent.mkdir(parents=True, exist_ok=True)  # the builder makes no folder
    env = dict(os.environ, BRUNVALD_BUILD_DIR=str(build))
    subprocess.run([str(ROOT / "scripts" / "build-installer"), str(mission), str(out)],
                   env=env, check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    return out


def make_peer(script, mission, name, target="", shown=False):
    """A peer installer: bench/nsis/<script> built by makensis with the
    mission folder (for TARGET, e.g. amd64-unicode; else NSIS's default
    x86-unicode; SHOWN: only the progress page, closed at the end), again
    only when the script or the mission is newer."""
    out = WORK / "peer" / name
    sources = [NSIS_DIR / script, NSIS_DIR / "records.nsh"] + [p for p in Path(mission).iterdir()]
    if out.exists() and out.stat().st_mtime > max(p.stat().st_mtime for p in sources):
        return out
    out.parent.mkdir(parents=True, exist_ok=True)
    say("peer: makensis %s (%s)" % (script, mission))
    subprocess.run(["makensis", "-V2", "-DMISSION=%s" % mission, "-DOUT=%s" % out]
                   + (["-DTARGET=%s" % target] if target else []) + (["-DSHOWN"] if shown else [])
                   + [str(NSIS_DIR / script)],
                   check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    return out


def peer_payload_bytes(script, mission):
    """What the peer carries for the mission: the files its script names."""
    names = re.findall(r'^\s*File "\$\{MISSION\}/([^"]+)"', (NSIS_DIR / script).read_text(), re.M)
    return sum((Path(mission) / n).stat().st_size for n in names)


def windows_program(pid):
    """The Windows program a Linux process runs under Wine, as the first
    word of its command line ("" for none)."""
    try:
        args = (Path("/proc/%d" % pid) / "cmdline").read_bytes().split(b"\0")
    except OSError:
        return ""
    return args[0].decode("utf-8", "replace") if args else ""


def unix_pid_of(windows_path):
    """The Linux process of a Windows program under Wine."""
    want = windows_path.lower()
    for entry in Path("/proc").iterdir():
        if entry.name.isdigit() and windows_program(int(entry.name)).lower() == want:
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
    d = ws.Driver(w, ["run", "--timeout", "300", "--click", "Installieren", "--hold", "Abschlussmeldung",
                           installer_win])
    peak_anon = 0
    samples = []
    try:
        started = d.wait_for("started", 120)
        shown = d.wait_for("main_visible", 240)
        pid = ws.poll(lambda: unix_pid_of(installer_win), 10, 0.01)
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
                raise ws.DriverError("the driver ended early: %s" % d.events)
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


def peer_install_once(w, peer_win, game, silent=True):
    """One install by the peer into the game folder (/D=...): silent (/S), or
    with its window, which starts on its progress page and closes itself; its
    memory is sampled from /proc while it runs (it pauses a second at the end,
    so the last samples see its peak)."""
    clean_records(w)
    game.create()
    settle()
    start = time.perf_counter()
    proc = w.popen([peer_win] + (["/S"] if silent else []) + ["/D=" + GAME_FOLDER], stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # `wine` execs Wine's loader, and the loader becomes the Windows process.
    hwm = anon = samples = 0
    while proc.poll() is None:
        st = proc_status(proc.pid)
        if st:
            samples += 1
            hwm = max(hwm, st.get("VmHWM", 0))
            anon = max(anon, st.get("RssAnon", 0))
        time.sleep(0.02)
    wall_ms = (time.perf_counter() - start) * 1000.0
    root = game.root
    first = root / "Campaigns" / (BIG_NAME + ".pak")
    last = root / "Cities" / BIG_FILES[-1]
    sizes_ok = all((root / "Cities" / f).is_file() and (root / "Cities" / f).stat().st_size == BIG_FILE_SIZE
                   for f in BIG_FILES) and first.is_file()
    span_ms = (last.stat().st_mtime_ns - first.stat().st_mtime_ns) / 1e6 if sizes_ok else 0.0
    return {
        "ok": proc.returncode == 0 and sizes_ok and (root / "Data" / "SCHW-uninstall.exe").is_file(),
        "exit_code": proc.returncode,
        "extract_ms": span_ms,
        "wall_ms": wall_ms,
        "vm_hwm_kb": hwm,
        "peak_anon_kb": anon,
        "samples": samples,
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


def bench_extract(w, rounds, peer, peer_shown=None):
    """Rounds of: the installer of the 200 MB mission (Installieren pressed
    by the driver), the peer's silent install of the same files and its
    install with its window (peer_shown), and the baselines (cp, native
    writes, a plain Windows program's writes), the order alternating."""
    mission = make_mission()
    installer = make_installer(mission, BUILD, "installer-200")
    folder = w.unix(BENCH_DIR) / "installer-200"
    folder.mkdir(parents=True, exist_ok=True)
    placed = folder / "Brunvald.exe"
    if not placed.exists() or placed.stat().st_size != installer.stat().st_size or \
            placed.stat().st_mtime < installer.stat().st_mtime:
        shutil.copyfile(installer, placed)
    installer_win = w.windows(placed)
    peer_win = None
    if peer:
        peer_placed = w.unix(BENCH_DIR) / "peer-200.exe"
        shutil.copyfile(peer, peer_placed)
        peer_win = w.windows(peer_placed)
    shown_win = None
    if peer_shown:
        shown_placed = w.unix(BENCH_DIR) / "peer-200-shown.exe"
        shutil.copyfile(peer_shown, shown_placed)
        shown_win = w.windows(shown_placed)
    game = ws.Game(w, folder=GAME_FOLDER)
    payload = sum((mission / f).stat().st_size for f in BIG_FILES) + sum(SMALL_FILES.values())
    bench = w.unix(BENCH_DIR)
    if (TOOLS / "bench-phases.exe").exists():
        shutil.copyfile(TOOLS / "bench-phases.exe", bench / "bench-phases.exe")

    say("extraction: %d rounds of install (Installieren), peer and cp, interleaved" % rounds)
    pause = measured_pause_ms(w)
    installs, peers, shown, cps, selfs = [], [], [], [], []
    writes = {PIECE_INSTALLER: [], PIECE_LARGE: []}
    wine_writes = {PIECE_INSTALLER: [], PIECE_LARGE: []}
    with_wine_writes = (bench / "bench-phases.exe").exists()
    data = {f: (mission / f).read_bytes() for f in BIG_FILES}
    install_once(w, installer_win, game)  # untimed: the installer's file in the cache
    if peer_win:
        peer_install_once(w, peer_win, game)

    def baselines():
        c, s = cp_once(mission, installer)
        cps.append(c)
        selfs.append(s)
        for piece in writes:
            writes[piece].append(native_writes_once(data, piece))
        for piece in wine_writes if with_wine_writes else ():
            wine_writes[piece].append(wine_writes_once(w, piece))

    for i in range(rounds):
        first_cp = i % 2 == 1
        if first_cp:
            baselines()
        r = install_once(w, installer_win, game, pause)
        installs.append(r)
        if peer_win:
            peers.append(peer_install_once(w, peer_win, game))
        if shown_win:
            shown.append(peer_install_once(w, shown_win, game, silent=False))
        if not first_cp:
            baselines()
        say("  round %d: extraction %.0f ms, peer %s, cp %.0f ms; VmHWM %d MB (peer %s), peak anon %d MB (peer %s)%s"
            % (i + 1, r["extract_ms"], "%.0f ms" % peers[-1]["extract_ms"] if peers else "-", cps[-1],
               r["vm_hwm_kb"] // 1024, "%d MB" % (peers[-1]["vm_hwm_kb"] // 1024) if peers else "-",
               r["peak_anon_kb"] // 1024, "%d MB" % (peers[-1]["peak_anon_kb"] // 1024) if peers else "-",
               "" if r["ok"] else " (install FAILED: %s)" % r["box"]))
    game.remove_files()
    clean_records(w)
    good = [r for r in installs if r["ok"]]
    good_peers = [r for r in peers if r["ok"]]
    good_shown = [r for r in shown if r["ok"]]
    result = {
        "rounds": rounds,
        "failed": len(installs) - len(good),
        "peer_failed": len(peers) - len(good_peers),
        "payload_bytes": payload,
        "installer_bytes": installer.stat().st_size,
        "peer_bytes": peer.stat().st_size if peer else 0,
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
        "peer_extract_ms": [r["extract_ms"] for r in good_peers],
        "peer_wall_ms": [r["wall_ms"] for r in good_peers],
        "peer_vm_hwm_mb": [r["vm_hwm_kb"] / 1024 for r in good_peers],
        "peer_peak_anon_mb": [r["peak_anon_kb"] / 1024 for r in good_peers],
        "peer_exit_codes": [r["exit_code"] for r in peers],
        "peer_shown_failed": len(shown) - len(good_shown),
        "peer_shown_extract_ms": [r["extract_ms"] for r in good_shown],
        "peer_shown_vm_hwm_mb": [r["vm_hwm_kb"] / 1024 for r in good_shown],
        "peer_shown_peak_anon_mb": [r["peak_anon_kb"] / 1024 for r in good_shown],
        "pauses_ms": nominal_pauses_ms(),
        "pause15_ms": pause,
        "filesystem": subprocess.run(["stat", "-f", "-c", "%T", str(WORK)], stdout=subprocess.PIPE,
                                     universal_newlines=True).stdout.strip() + " file system",
    }
    say("extraction: %.0f ms (peer %.0f ms) against cp %.0f ms; peak working set %.0f MB (peer %.0f MB) for %.0f MB"
        % (median(result["extract_ms"]), median(result["peer_extract_ms"]), median(cps),
           median(result["vm_hwm_mb"]), median(result["peer_vm_hwm_mb"]), payload / MB))
    return result


# ---------------------------------------------------------------------------
# 4. Size (bench/size.py for the installer; the peer's from its file)
# ---------------------------------------------------------------------------
def bench_size(peer):
    script = ROOT / "bench" / "size.py"
    done = subprocess.run([sys.executable, str(script), str(SIZE_BUILD)], stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=600)
    result = {"installer_text": done.stdout.decode(errors="replace").strip(), "exit_code": done.returncode,
              "error": (done.stderr or b"").decode(errors="replace")[-2000:]}
    m = re.search(r"\*\*overhead\*\* \(file size minus payload\) \| \*\*([\d,]+)\*\*", result["installer_text"])
    result["installer_overhead"] = int(m.group(1).replace(",", "")) if m else None
    if peer:
        mission = ws.EXAMPLE_MISSION
        carried = peer_payload_bytes("example.nsi", mission)
        result["peer_bytes"] = peer.stat().st_size
        result["peer_payload"] = carried
        result["peer_overhead"] = peer.stat().st_size - carried
    return result


# ---------------------------------------------------------------------------
# The tables
# ---------------------------------------------------------------------------
def ratio_cell(a, b):
    return "%.2f" % (a / b) if a and b else "-"


def section_machine(m, command):
    load = m["load_before"]
    after = m.get("load_after")
    return "\n".join([
        "# Benchmark tables",
        "",
        "Written by `%s` on %s from one run; what they mean is in docs/benchmarks.md. Medians of repeated runs; "
        "every ratio is of two figures of this run." % (command, m["date"]),
        "",
        "| | |",
        "|---|---|",
        "| commit | `%s` (build `%s`, MinSizeRel) |" % (m["commit"], m["build"]),
        "| machine | %d cores (%s), %d MB memory, Linux %s |" % (m["cores"], m["cpu"], m["memory_mb"], m["kernel"]),
        "| Wine | %s, prefix `%s`, own Xvfb display, German locale |" % (m["wine"], m.get("prefix", "")),
        "| programs that ran | %s |" % (
            "the x86-64 build of the same sources (`build/win64`) and the peer for amd64, under 64-bit Wine: "
            "this machine runs no 32-bit code" if m.get("x86_64") else "the 32-bit build and the 32-bit peer"),
        "| size | of the shipped 32-bit program (`build/win32`) and the 32-bit peer |",
        "| peer | NSIS %s (`makensis`, stubs of the Debian package) |" % (m.get("nsis") or "?"),
        "| load average before / after the run | %.2f %.2f %.2f / %s |" % (
            load[0], load[1], load[2], "%.2f %.2f %.2f" % tuple(after) if after else "-"),
        "",
    ])


def startup_row(name, r):
    if not r:
        return "| %s | not measured | | | |" % name
    return "| %s | %.1f | %s | %.1f | %s |" % (name, median(r["ms"]), spread(r["ms"]), median(r["created_ms"]),
                                              ", ".join(r["classes"]))


def paired(a, b):
    """Median of the per-round ratios (the runs of a round come back to back)."""
    if not a or not b or len(a["ms"]) != len(b["ms"]):
        return "-"
    return "%.2f" % median([x / y for x, y in zip(a["ms"], b["ms"])])


def section_startup(r):
    inst = r.get("installer")
    lines = [
        "## Start-up",
        "",
        "`bench-launch.exe` (bench/launch_timer.cpp): QueryPerformanceCounter, CreateProcessW, then EnumWindows "
        "every millisecond until a visible top-level window of the new process shows; WM_CLOSE. Interleaved "
        "round by round after 2 untimed warm-up runs each; %d timed rounds. The installer in install mode "
        "against a demo game; the peer is the example mission packed by NSIS (bench/nsis/example.nsi: plain "
        "window, folder page)." % r["rounds"],
        "",
        "| Program | Median to visible (ms) | Range (ms) | Median to window created, hidden (ms) | Window |",
        "|---|---:|---:|---:|---|",
        startup_row("floor: one window of the installer's size (`bench-floor.exe`)", r.get("floor")),
        startup_row("floor with three push buttons and the installer's application manifest "
                    "(`bench-floor-controls.exe`)", r.get("controls")),
        startup_row("... and with the window's picture and region made ready (`bench-floor-shaped.exe`)",
                    r.get("shaped")),
        startup_row("... and importing shell32.dll (`bench-floor-shell32.exe`)", r.get("shell32")),
        startup_row("the floor with picture and region, input method off (`bench-floor-no-ime.exe`)",
                    r.get("noime")),
        startup_row("**`Brunvald.exe`**", inst),
        startup_row("peer: NSIS installer of the example mission", r.get("peer")),
        "",
        "| Ratio | of the medians | median of per-round ratios | fastest runs |",
        "|---|---:|---:|---:|",
    ]
    for name, one, other in (("installer / floor", "installer", "floor"),
                             ("installer / floor with buttons, picture and region", "installer", "shaped"),
                             ("installer / peer", "installer", "peer"),
                             ("that floor importing shell32 / without", "shell32", "shaped"),
                             ("installer / that floor with its input method off", "installer", "noime"),
                             ("that floor with its input method off / on", "noime", "shaped")):
        a, b = r.get(one), r.get(other)
        lines.append("| %s | %s | %s | %s |" % (
            name, ratio_cell(median(a["ms"]), median(b["ms"])) if a and b else "-", paired(a, b),
            ratio_cell(min(a["ms"]), min(b["ms"])) if a and b else "-"))
    if r["errors"]:
        lines += ["", "Runs left out: %s." % "; ".join("%s: %s" % (e["label"], e["error"]) for e in r["errors"])]
    if r.get("phases"):
        lines += ["", "Steps measured one by one, each the first of its kind in a fresh process "
                  "(`bench-phases.exe`, bench/phases.cpp; median of %d processes):" % r["phases"]["processes"], "",
                  "| Step | Median (ms) |", "|---|---:|"]
        for name, values in r["phases"]["steps"].items():
            lines.append("| %s | %.2f |" % (name, median(values)))
    return "\n".join(lines) + "\n"


def section_region(r):
    lines = [
        "## Region",
        "",
        "`brunvald_region_benchmark.exe` (tests/win32/ui/region_benchmark.cpp), picture %s: medians of its own "
        "medians (51 rounds ours, 5 GetPixel) over %d runs." % (r["header"].replace("picture ", ""), r["repeats"]),
        "",
        "| Step | Median (ms) | Range over runs (ms) |",
        "|---|---:|---:|",
        "| decode the PNG | %.3f | %s |" % (median(r["decode"]), spread(r["decode"])),
        "| row runs alone (portable code) | %.3f | %s |" % (median(r["runs"]), spread(r["runs"])),
        "| **ours**: row runs + the region from them (ExtCreateRegion per 64 runs, CombineRgn) | %.3f | %s |" % (median(r["ours"]), spread(r["ours"])),
        "| GetPixel per pixel + CombineRgn per run | %.1f | %s |" % (median(r["slow"]), spread(r["slow"])),
        "| ratio GetPixel / ours | %.0f | |" % r["ratio"],
        "| both regions equal | %s | |" % ("yes" if r["same"] else "NO"),
    ]
    return "\n".join(lines) + "\n"


def section_extract(r):
    payload_mb = r["payload_bytes"] / MB
    cp = median(r["cp_ms"])
    ext = median(r["extract_ms"])
    peer = median(r["peer_extract_ms"]) if r["peer_extract_ms"] else None
    lines = [
        "## Extraction and memory",
        "",
        "The 200 MB mission (four maps of 50 MB of random bytes and three small files, `build/bench/mission-200`) "
        "as an installer of %.0f MB (`scripts/build-installer`) and as a peer of %.0f MB (bench/nsis/mission200.nsi, "
        "stored uncompressed); %d rounds, each: an install by pressing Installieren (driver), a silent install by "
        "the peer (`/S /D=...`), and the baselines, on a fresh demo game each time, `sync` and %.1f s before each. "
        "Time to write the files: from the last write of the campaign package to that of the fourth map (file "
        "times), for the installer less its four `Pause(15)` in that span (each %.2f ms as measured). %s. "
        "Failed runs left out: installer %d, peer %d."
        % (r["installer_bytes"] / MB, r["peer_bytes"] / MB, r["rounds"], SETTLE_S, r["pause15_ms"],
           r.get("filesystem", ""), r["failed"], r.get("peer_failed", 0)),
        "",
        "| Writing the four maps (200 MB) | Median | Range | / cp |",
        "|---|---:|---:|---:|",
        "| **installer** (span less pauses) | %.0f ms | %s | %s |" % (ext, spread(r["extract_ms"]), ratio_cell(ext, cp)),
        "| peer (span) | %s | %s | %s |" % ("%.0f ms" % peer if peer else "not measured",
                                           spread(r["peer_extract_ms"]), ratio_cell(peer, cp)),
        "| `cp --reflink=never` of the four files | %.0f ms | %s | 1.00 |" % (cp, spread(r["cp_ms"])),
        "| native writes from memory (Python, no Wine), 60 KiB pieces | %s | %s |" % (
            timing_cell(r.get("native_60k_ms")), ratio_cell(median(r.get("native_60k_ms")), cp)),
        "| ... 1 MiB pieces | %s | %s |" % (
            timing_cell(r.get("native_1m_ms")), ratio_cell(median(r.get("native_1m_ms")), cp)),
        "| plain Windows program under this Wine (`bench-phases --write`, WriteFile from memory), 60 KiB pieces "
        "| %s | %s |" % (timing_cell(r.get("wine_60k_ms")), ratio_cell(median(r.get("wine_60k_ms")), cp)),
        "| ... 1 MiB pieces | %s | %s |" % (
            timing_cell(r.get("wine_1m_ms")), ratio_cell(median(r.get("wine_1m_ms")), cp)),
        "",
        "| Ratio | Median |",
        "|---|---:|",
        "| installer / plain Windows program, 60 KiB pieces | %s |" % ratio_cell(ext, median(r.get("wine_60k_ms"))),
        "| installer / peer | %s |" % ratio_cell(ext, peer),
        "",
        "| Whole run | Median | Range |",
        "|---|---:|---:|",
        "| installer: click to closing message (pauses of %d ms included, and the copy of its %.0f MB file into "
        "the game's Data folder) | %.0f ms | %s |" % (r["pauses_ms"], r["installer_bytes"] / MB, median(r["wall_ms"]),
                                                    spread(r["wall_ms"])),
        "| `cp` of the installer file | %.0f ms | %s |" % (median(r["cp_self_ms"]), spread(r["cp_self_ms"])),
        "| peer: process start to end (its check of its own file, the files, the uninstaller, the records, "
        "a pause of 1 s) | %s |" % timing_cell(r.get("peer_wall_ms")),
        "",
        "Memory of the Windows process, from `/proc/<pid>/status` (sampled every 20 ms; VmHWM is the kernel's "
        "own peak counter):",
        "",
        "| %.0f MB payload, medians (range) | installer | peer, silent | peer with its window |" % payload_mb,
        "|---|---:|---:|---:|",
        "| peak resident memory (VmHWM: private and file-backed) | %s | %s | %s |" % (
            mb_cell(r["vm_hwm_mb"]), mb_cell(r["peer_vm_hwm_mb"]), mb_cell(r.get("peer_shown_vm_hwm_mb"))),
        "| peak private memory (RssAnon, sampled) | %s | %s | %s |" % (
            mb_cell(r["peak_anon_mb"]), mb_cell(r["peer_peak_anon_mb"]), mb_cell(r.get("peer_shown_peak_anon_mb"))),
        "| resident when the window appeared (VmRSS / RssAnon) | %.1f MB / %.1f MB | | |" % (
            median(r["rss_at_window_mb"]), median(r["anon_at_window_mb"])),
        "| start to window visible (driver, 16 ms ticks) | %.0f ms | | |" % median(r["to_window_ms"]),
        "| writing the four maps (span; the installer's less its pauses) | %.0f ms | %s | %s |" % (
            ext, ms_cell(r["peer_extract_ms"]), ms_cell(r.get("peer_shown_extract_ms"))),
        "",
        "Failed runs of the peer with its window, left out: %d." % r.get("peer_shown_failed", 0),
    ]
    return "\n".join(lines) + "\n"


def ms_cell(values):
    return "%.0f ms" % median(values) if values else "-"


def mb_cell(values):
    return "%.1f MB (%.1f-%.1f)" % (median(values), min(values), max(values)) if values else "-"


def section_size(r):
    lines = ["## Size", ""]
    if r.get("peer_overhead") is not None and r.get("installer_overhead") is not None:
        lines += [
            "| Example mission | file | payload | overhead (file minus payload) |",
            "|---|---:|---:|---:|",
            "| `Brunvald.exe` (payload: mission files, title font, window picture, button bitmaps, icons) "
            "| see below | see below | **{:,}** |".format(r["installer_overhead"]),
            "| peer (payload: the mission files its script carries) | {:,} | {:,} | **{:,}** |".format(
                r["peer_bytes"], r["peer_payload"], r["peer_overhead"]),
            "| installer minus peer | | | {:+,} |".format(r["installer_overhead"] - r["peer_overhead"]),
            "",
        ]
    if r["exit_code"] != 0:
        lines += ["`bench/size.py` failed (exit %d):" % r["exit_code"], "", "```", r["error"], "```", ""]
    text = r["installer_text"]
    # bench/size.py writes its own "## Size" heading: its tables go under ours.
    lines.append(text.replace("## Size\n", "### The installer in detail (`bench/size.py`)\n", 1))
    return "\n".join(lines) + "\n"


# ---------------------------------------------------------------------------
def leftover_processes():
    """Programs that an interrupted earlier run of this script left in the
    bench prefix: Windows programs under C:\\bench\\ whose WINEPREFIX is this
    prefix."""
    prefix = os.environ.get("BRUNVALD_WINEPREFIX", "").encode()
    found = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            env = (entry / "environ").read_bytes().split(b"\0")
        except OSError:
            continue
        if b"WINEPREFIX=" + prefix in env and \
                windows_program(int(entry.name)).lower().startswith(BENCH_DIR.lower() + "\\"):
            found.append(int(entry.name))
    return found


def failed_section(title, error):
    return "## %s\n\n**The benchmark failed in this run:** `%s`. See the output of `scripts/bench`.\n" % (
        title, error.replace("`", "'"))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--quick", action="store_true", help="fewer rounds (a check that it all runs)")
    parser.add_argument("--only", default="startup,region,extract,size")
    parser.add_argument("--out", default="", help="the tables (default: see above)")
    parser.add_argument("--render-only", action="store_true",
                        help="write the tables again from build/bench/results.json, measuring nothing")
    parser.add_argument("--command", default="scripts/bench")
    args = parser.parse_args()
    only = set(args.only.split(","))
    everything = only >= {"startup", "region", "extract", "size"} and not args.quick
    out = Path(args.out) if args.out else (
        ROOT / "docs" / "benchmark-tables.md" if everything or args.render_only else WORK / "benchmark-tables.md")
    WORK.mkdir(parents=True, exist_ok=True)
    rounds = {"startup": 5 if args.quick else 15, "region": 2 if args.quick else 7, "extract": 1 if args.quick else 7}

    if args.render_only:
        results = json.loads((WORK / "results.json").read_text())
        errors = results.pop("errors", {})
    else:
        for pid in leftover_processes():
            say("ending process %d left by an earlier run" % pid)
            try:
                os.kill(pid, 9)
            except OSError:
                pass
        w = ws.wine()
        results = {"machine": machine(w)}
        errors = {}

        def attempt(name, fn, *fn_args):
            # One benchmark that fails leaves the others to run; the tables say so.
            try:
                results[name] = fn(*fn_args)
            except Exception as error:  # noqa: BLE001 (reported, and the exit code says it)
                errors[name] = "%s: %s" % (type(error).__name__, str(error)[:500])
                say("%s FAILED: %s" % (name, errors[name]))

        peer_example = peer_200 = peer_200_shown = peer_size = None
        try:
            target = "amd64-unicode" if X86_64 else ""
            peer_example = make_peer("example.nsi", ws.EXAMPLE_MISSION, "example-%s.exe" % (target or "x86"), target)
            peer_size = make_peer("example.nsi", ws.EXAMPLE_MISSION, "example-x86.exe")
            if "extract" in only:
                peer_200 = make_peer("mission200.nsi", make_mission(), "mission200-%s.exe" % (target or "x86"),
                                     target)
                peer_200_shown = make_peer("mission200.nsi", make_mission(),
                                           "mission200-shown-%s.exe" % (target or "x86"), target, shown=True)
        except (OSError, subprocess.CalledProcessError) as error:
            errors["peer"] = "%s: %s" % (type(error).__name__, error)
            say("peer FAILED: %s" % errors["peer"])
        try:
            if "region" in only:
                attempt("region", bench_region, w, rounds["region"])
            if "startup" in only:
                attempt("startup", bench_startup, w, rounds["startup"], peer_example)
            if "extract" in only:
                attempt("extract", bench_extract, w, rounds["extract"], peer_200, peer_200_shown)
            if "size" in only:
                attempt("size", bench_size, peer_size)
        finally:
            results["machine"]["load_after"] = os.getloadavg()
            # A partial run keeps the complete run's numbers for --render-only.
            (WORK / ("results.json" if everything else "results-partial.json")).write_text(
                json.dumps(dict(results, errors=errors), indent=1, default=str))

    parts = [section_machine(results["machine"], args.command + (" --quick" if args.quick else ""))]
    for title, key, fn in (("Start-up", "startup", section_startup), ("Region", "region", section_region),
                           ("Extraction and memory", "extract", section_extract), ("Size", "size", section_size)):
        if key in errors:
            parts.append(failed_section(title, errors[key]))
        elif key in results:
            try:
                parts.append(fn(results[key]))
            except Exception as error:  # noqa: BLE001
                errors[key + "_tables"] = repr(error)
                parts.append(failed_section(title, "writing the tables: %r" % error))
    if "peer" in errors:
        parts.append("The peer could not be built: `%s`.\n" % errors["peer"])
    out.write_text("\n".join(parts))
    say("wrote %s" % out)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
