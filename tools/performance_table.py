#!/usr/bin/env python3
"""Turns a conduit_bench JSON run into the table of docs/performance.md."""
import json
import platform
import subprocess
import sys


def load(path):
    with open(path) as f:
        run = json.load(f)
    times, counters = {}, {}
    for b in run["benchmarks"]:
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
            continue
        name = b["run_name"] if "run_name" in b else b["name"]
        times[name] = b["real_time"]  # milliseconds: every benchmark runs in ms
        counters[name] = b
    return run, times, counters


def machine():
    cpu = "unknown CPU"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    mem = ""
    try:
        with open("/proc/meminfo") as f:
            kb = int(f.readline().split()[1])
            mem = f"{kb / 1048576:.0f} GiB"
    except (OSError, ValueError, IndexError):
        pass
    cores = subprocess.run(["nproc"], capture_output=True, text=True).stdout.strip()
    return f"{cpu}, {cores} cores, {mem} memory, Linux {platform.release()}"


def main():
    run, t, c = load(sys.argv[1])
    sizes = sorted({int(k.split("/")[1]) for k in t if k.startswith("LoadDbFromPc/")})
    rows = []

    def row(what, ours, peer, ratio, target, met):
        rows.append((what, ours, peer, ratio, target, "yes" if met else "**no**"))

    # The targets are set for the largest data sets; the smaller ones are in the
    # list of times below.
    for n in sizes[-1:]:
        ours = t.get(f"LoadDbFromPc/{n}/0")
        if ours is None:
            continue
        pugi = t.get(f"PugixmlParseWalk/{n}")
        read = t.get(f"ReadFile/{n}")
        write = t.get(f"RawWrite/{n}")
        save = t.get(f"SaveXml/{n}/0")
        write_disk = t.get(f"RawWriteDisk/{n}")
        save_disk = t.get(f"SaveXml/{n}/1")
        mb = c[f"LoadDbFromPc/{n}/0"]["file_bytes"] / 1e6
        tag = f"{n:,} elements ({mb:.0f} MB)"
        if pugi:
            r = pugi / ours
            row(f"load_db_from_pc vs pugixml parse+walk, {tag}", f"{ours:.0f} ms",
                f"{pugi:.0f} ms", f"{r:.2f}x faster", ">= 2.5x", r >= 2.5)
        if read:
            r = read / ours
            row(f"load_db_from_pc vs read(), {tag}", f"{ours:.0f} ms", f"{read:.0f} ms",
                f"{r:.2f} of its speed", ">= 0.5", r >= 0.5)
        nearly = t.get(f"LoadDbFromPc/{n}/1")
        if pugi and nearly:
            r = pugi / nearly
            row(f"load_db_from_pc, nearly sorted, vs pugixml parse+walk (sorted), {tag}",
                f"{nearly:.0f} ms", f"{pugi:.0f} ms", f"{r:.2f}x faster", ">= 2.5x", r >= 2.5)
        if write and save:
            r = write / save
            row(f"save_xml vs raw write, tmpfs, {tag}", f"{save:.0f} ms", f"{write:.0f} ms",
                f"{r:.2f} of its speed", ">= 0.5", r >= 0.5)
        if write_disk and save_disk:
            r = write_disk / save_disk
            where = "a disk" if c[f"SaveXml/{n}/1"].get("on_disk") else "tmpfs (no disk found)"
            row(f"save_xml vs raw write, both with fsync, on {where}, {tag}", f"{save_disk:.0f} ms",
                f"{write_disk:.0f} ms", f"{r:.2f} of its speed", ">= 0.5", r >= 0.5)
        for order, name in ((1, "nearly sorted"), (2, "random")):
            other = t.get(f"LoadDbFromPc/{n}/{order}")
            if other:
                r = other / ours
                row(f"load_db_from_pc, {name} vs sorted, {tag}", f"{other:.0f} ms",
                    f"{ours:.0f} ms", f"{r:.2f}x per element", "<= 1.3x", r <= 1.3)
        small = f"SyncDbs/{n}/{n // 1000}"
        large = f"SyncDbs/{n}/{n // 10}"
        if small in t and large in t:
            # Per element the merge handles: both lists, and each copy it makes.
            per_small = t[small] / (c[small]["elements"] + 2 * (n // 1000))
            per_large = t[large] / (c[large]["elements"] + 2 * (n // 10))
            r = per_large / per_small
            row(f"sync_dbs, {n // 10:,} vs {n // 1000:,} one-sided each side, {n:,}+{n:,}",
                f"{t[large]:.0f} ms", f"{t[small]:.0f} ms", f"{r:.2f}x per element", "<= 1.3x",
                r <= 1.3)
        hs = f"HotSync/{n}/{n // 10}"
        floor = f"HotSyncFloor/{n}/{n // 10}"
        if hs in t and floor in t:
            r = t[hs] / t[floor]
            row(f"two-way HotSync vs reading and writing both files raw, {n:,}+{n:,}",
                f"{t[hs]:.0f} ms", f"{t[floor]:.0f} ms", f"{r:.2f}x", "<= 3x", r <= 3)
            peak = c[hs]["peak_bytes"]
            xml = c[hs]["xml_bytes"]
            r = peak / xml
            row(f"peak memory of that HotSync vs elements.xml, {n:,}+{n:,}",
                f"{peak / 1e6:.0f} MB", f"{xml / 1e6:.0f} MB", f"{r:.2f}x", "<= 2.5x", r <= 2.5)

    fresh = ""
    if "FreshPages" in t:
        micros = t["FreshPages"] * 1000 / c["FreshPages"]["pages"]
        fresh = f" A fresh 4 KiB page costs {micros:.1f} µs here (FreshPages)."
        if "huge_pages" in c["FreshPages"]:
            asked = "asked" if c["FreshPages"]["huge_pages"] else "not asked"
            fresh += f" Huge pages are {asked} for (huge_pages_pay)."
    out = [f"Measured {run['context']['date'][:10]} on {machine()}.{fresh}", "",
           "| measure | ours | peer / floor / baseline | ratio | target | met |",
           "|---|---|---|---|---|---|"]
    out += ["| " + " | ".join(r) + " |" for r in rows]
    out += ["", "Every time (milliseconds, wall clock; median of the repetitions):", "",
            "| benchmark | ms |", "|---|---|"]
    out += [f"| {k} | {v:.1f} |" for k, v in t.items()]
    print("\n".join(out))


if __name__ == "__main__":
    main()
