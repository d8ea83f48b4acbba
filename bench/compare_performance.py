#!/usr/bin/env python3
"""The figures of bench/performance.sh runs of two builds side by side.

Usage: bench/compare_performance.py BEFORE_DIR[,BEFORE_DIR...] AFTER_DIR[,AFTER_DIR...]

Each argument is one or more results folders (comma-separated) of the same build; a figure is the
median over them. Google Benchmark figures are the medians of their repetitions (CPU time per
iteration); the scripts' figures are wall-clock: the monitor's times real time, the record parse's
time and the window's longest timer gap. A change of more than 10 % for the worse is marked and
makes the exit status 1; the window's gap is shown but not judged: it is the worst of thousands of
ticks, set by whatever else ran in that moment, not by the build."""
import json
import pathlib
import re
import statistics
import sys

SCALE = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}


def figures(folder):
    """name -> (value, True when larger is better)."""
    d, out = pathlib.Path(folder), {}
    for bench in ("stream", "corr", "fft", "chart"):
        p = d / f"{bench}.json"
        if not p.exists():
            continue
        for b in json.loads(p.read_text())["benchmarks"]:
            kind = b.get("run_type", "iteration")
            if b.get("error_occurred") or (kind == "aggregate" and b.get("aggregate_name") != "median"):
                continue
            key = f"{bench}: {b.get('run_name', b['name'])}, CPU s"
            if kind == "iteration" and key in out:
                continue
            out[key] = (b["cpu_time"] * SCALE[b["time_unit"]], False)
    text = lambda name: (d / name).read_text() if (d / name).exists() else ""
    for fmt, x in re.findall(r'"([^"]+)".*?([\d.]+) x real time', text("monitor.txt")):
        out[f"monitor {fmt}, x real time"] = (float(x), True)
    m = re.search(r"vintrel-cli parse\s+([\d.]+) s", text("record.txt"))
    if m:
        out["record parse, s"] = (float(m[1]), False)
    m = re.search(r"longest gap between 10 ms ticks (\d+) ms", text("gui.txt"))
    if m:
        out["window: longest tick gap, ms"] = (float(m[1]), None)
    return out


def medians(folders):
    runs = [figures(f) for f in folders.split(",")]
    keys = [k for k in runs[0] if all(k in r for r in runs)]
    return {k: (statistics.median(r[k][0] for r in runs), runs[0][k][1]) for k in keys}


before, after = medians(sys.argv[1]), medians(sys.argv[2])
worse = 0
print(f"{'figure':52} {'before':>12} {'after':>12} {'change':>8}")
for k, (b, larger_better) in before.items():
    if k not in after or b == 0:
        continue
    a = after[k][0]
    change = 100 * (a / b - 1)
    bad = larger_better is not None and (-change if larger_better else change) > 10
    worse += bad
    print(f"{k:52} {b:12.4g} {a:12.4g} {change:+7.1f}%{'  WORSE' if bad else ''}")
print(f"{worse} figure(s) more than 10 % worse")
sys.exit(1 if worse else 0)
