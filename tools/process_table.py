#!/usr/bin/env python3
"""Times whole processes (hotsync convert and sync against their peers) and
prints the "Whole processes" table of docs/performance.md.

    process_table.py BUILD DATA_DIR RUNS

BUILD holds hotsync and bench/{make_dataset,parse_walk_process,read_write_floor,conduit_bench};
the data sets are made in DATA_DIR once. Each figure is the median of RUNS runs
of the process, wall clock and peak resident memory as /usr/bin/time gives them.
"""
import os
import platform
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import json

build, data, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
# Seconds of rest before each timed run. On a virtual machine, memory a
# process frees goes back to the host within a few seconds, and the next
# process to take it pays for it afresh; within those seconds it is had
# cheaply. Each run starts rested, as a HotSync after idle does, so that none
# is timed on what the run before it freed.
try:
    SETTLE = float(os.environ.get("QV_PROCESS_SETTLE", "5"))
except ValueError:
    SETTLE = -1
if not SETTLE >= 0:
    sys.exit("QV_PROCESS_SETTLE: seconds of rest before each run, 0 or more")
# hotsync asks glibc for its heap in huge pages (hotsync/memory_policy.h). The
# floors and peers run as plain programs do, and once more asking the same, so
# that the table shows what the pages are worth to them too.
HUGE = dict(os.environ, GLIBC_TUNABLES="glibc.malloc.hugetlb=1")
huge_floors = []
tool = lambda name: os.path.join(build, name)


def timed_together(argvs, prepare=None, env=None):
    """Median wall seconds and median peak KB of RUNS runs of each argv. The
    commands take turns, each round starting with the next, so that each meets
    the machine as the others do: what a fresh page costs here drifts within
    minutes. Each run starts after SETTLE seconds of rest."""
    walls, peaks = [[] for _ in argvs], [[] for _ in argvs]
    for r in range(runs):
        for k in [(r + i) % len(argvs) for i in range(len(argvs))]:
            argv = argvs[k]
            if prepare:
                prepare()
            time.sleep(SETTLE)
            with tempfile.NamedTemporaryFile("r") as out:
                subprocess.run(["/usr/bin/time", "-f", "%e %M", "-o", out.name] + argv,
                               check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               env=env)
                wall, peak = out.read().split()[-2:]
            walls[k].append(float(wall))
            peaks[k].append(int(peak))
    return [(statistics.median(w), statistics.median(p)) for w, p in zip(walls, peaks)]


def timed(argv, prepare=None, env=None):
    """Median wall seconds and median peak KB of RUNS runs of argv."""
    return timed_together([argv], prepare, env)[0]


def dataset(name, argv, options=()):
    path = os.path.join(data, name)
    if not os.path.exists(os.path.join(path, "done")):
        shutil.rmtree(path, ignore_errors=True)
        subprocess.run([tool("bench/make_dataset")] + argv + [path] + list(options), check=True)
        open(os.path.join(path, "done"), "w").close()
    return path


def fresh_page_micros():
    """What a fresh 4 KiB page costs now (conduit_bench's FreshPages, median of 3),
    and whether huge pages pay then."""
    out = subprocess.run([tool("bench/conduit_bench"), "--benchmark_filter=^FreshPages$",
                          "--benchmark_repetitions=3", "--benchmark_format=json"],
                         check=True, capture_output=True, text=True).stdout
    for b in json.loads(out)["benchmarks"]:
        if b.get("aggregate_name") == "median":
            pays = b.get("huge_pages")
            return b["real_time"] * 1000 / b["pages"], None if pays is None else bool(pays)
    return float("nan"), None


rows = []
fresh_before, huge_before = fresh_page_micros()


def row(measure, ours, peer, ratio, target, met):
    verdict = "" if met == "" else "yes" if met else "no"
    rows.append(f"| {measure} | {ours} | {peer} | {ratio} | {target} | {verdict} |")


os.makedirs(data, exist_ok=True)
for n in (200000, 1000000):
    src = os.path.join(dataset(f"process-{n}", [str(n), "nearly"]), "elements.xml")
    mb = os.path.getsize(src) / 1e6
    peer, _ = timed([tool("bench/parse_walk_process"), src])
    huge_peer, _ = timed([tool("bench/parse_walk_process"), src], env=HUGE)
    huge_floors.append(f"pugixml {n:,} elements {huge_peer * 1000:.0f} ms")
    for dest in ("out.pdb", "out.xml"):
        target = os.path.join(data, dest)
        ours, _ = timed([tool("hotsync"), "convert", src, target])
        os.remove(target)
        ratio = ours / peer
        row(f"`hotsync convert` elements.xml -> {dest[4:]} vs pugixml parse+walk process, "
            f"{n:,} elements ({mb:.0f} MB)", f"{ours * 1000:.0f} ms", f"{peer * 1000:.0f} ms",
            f"{ratio:.2f}x its time", "<= 0.6x", ratio <= 0.6)

pair = dataset("process-pair-1000000", ["1000000", "nearly"], ["--pair", "100000"])
xml_bytes = os.path.getsize(os.path.join(pair, "desktop", "elements.xml"))
work = os.path.join(data, "process-work")


def fresh_pair():
    shutil.rmtree(work, ignore_errors=True)
    shutil.copytree(pair, work)


def sync(*extra):
    return [tool("hotsync"), "sync", "--handheld", f"{work}/handheld", "--desktop",
            f"{work}/desktop", "--registry", f"{work}/registry.reg"] + list(extra)


(floor, _), (bare, bare_peak), (full, full_peak), (unsaved, _) = timed_together(
    [[tool("bench/read_write_floor"), f"{work}/desktop/elements.xml",
      f"{work}/handheld/QVelements.pdb"], sync("--no-report", "--keep", "0"), sync(),
     sync("--keep", "0")],
    fresh_pair)
huge_floor, _ = timed([tool("bench/read_write_floor"), f"{work}/desktop/elements.xml",
                      f"{work}/handheld/QVelements.pdb"], fresh_pair, HUGE)
huge_floors.append(f"reading and writing both files {huge_floor * 1000:.0f} ms")
shutil.rmtree(work, ignore_errors=True)
size = "1,000,000+1,000,000"
row(f"`hotsync sync --no-report --keep 0` vs reading and writing both files (process), {size}",
    f"{bare * 1000:.0f} ms", f"{floor * 1000:.0f} ms", f"{bare / floor:.2f}x", "<= 3x",
    bare / floor <= 3)
row(f"`hotsync sync` (report, backup, base) vs reading and writing both files (process), {size}",
    f"{full * 1000:.0f} ms", f"{floor * 1000:.0f} ms", f"{full / floor:.2f}x", "<= 3x",
    full / floor <= 3)
row(f"`hotsync sync` vs `sync --no-report --keep 0`, {size}", f"{full * 1000:.0f} ms",
    f"{bare * 1000:.0f} ms", f"{full / bare:.2f}x", "<= 1.3x", full / bare <= 1.3)
row(f"`hotsync sync --keep 0` (the report and base without the backup) vs `sync --no-report "
    f"--keep 0`, {size}", f"{unsaved * 1000:.0f} ms", f"{bare * 1000:.0f} ms",
    f"{unsaved / bare:.2f}x", "", "")
for what, peak in (("`sync --no-report --keep 0`", bare_peak), ("`hotsync sync`", full_peak)):
    ratio = peak * 1024 / xml_bytes
    row(f"peak memory of {what} vs elements.xml, {size}", f"{peak / 1024:.0f} MB",
        f"{xml_bytes / 1e6:.0f} MB", f"{ratio:.2f}x", "<= 2.5x", ratio <= 2.5)

cats = dataset("process-pair-categories", ["10000", "nearly"], ["--pair", "--categories", "65535"])
pair, work = cats, os.path.join(data, "process-work-categories")
many, _ = timed(sync(), fresh_pair)
shutil.rmtree(work, ignore_errors=True)
row("`hotsync sync` (report, backup, base), 65,535 categories, 10,000+10,000 elements",
    f"{many * 1000:.0f} ms", "", "", "< 1000 ms", many < 1)

fresh_after, huge_after = fresh_page_micros()
answer = lambda pays: "not told" if pays is None else "yes" if pays else "no"
print(f"Measured on Linux {platform.release()}, {os.cpu_count()} cores, data on "
      f"{subprocess.run(['stat', '-f', '-c', '%T', data], capture_output=True, text=True).stdout.strip()}; "
      f"medians of {runs} runs, each after {SETTLE:g} s of rest. A fresh 4 KiB page cost {fresh_before:.1f} µs before the runs "
      f"and {fresh_after:.1f} µs after them (FreshPages). hotsync takes its heap in huge "
      f"pages where they pay (huge_pages_pay: {answer(huge_before)} before the runs, "
      f"{answer(huge_after)} after them); the peers and floors below never ask: "
      f"asking, they took {', '.join(huge_floors)}.\n")
print("| measure | ours | peer / floor / baseline | ratio | target | met |")
print("|---|---|---|---|---|---|")
print("\n".join(rows))
