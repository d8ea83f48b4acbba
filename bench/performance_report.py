#!/usr/bin/env python3
"""docs/performance.md from the results folder of bench/performance.sh.

Usage: bench/performance_report.py RESULTS_DIR   (prints markdown on standard output)

Every ratio is computed from figures of the same run. Google Benchmark figures are the CPU time of
the benchmark thread (one core), the median of the repetitions in a full run; MB means 10^6 bytes,
MiB 2^20 bytes. A step that failed or left no output shows as "not measured", never as a number.
"""
import json
import pathlib
import re
import sys

LINK = 1.2e6  # bytes a second: the fastest link (FTDI at 12 Mbaud, 10 bits a byte)
FRAMES_PER_SECOND = {"8k4": 250, "16k2": 500, "16k4": 250, "16k16": 62.5, "8k16": 62.5,
                     "24k1.33": 750, "24k2.67": 375}
CAPTIONS = {"8k4": "8 Ksps, 4 ms", "16k2": "16 Ksps, 2 ms", "16k4": "16 Ksps, 4 ms",
            "16k16": "16 Ksps, 16 ms", "8k16": "8 Ksps, 16 ms", "24k1.33": "24 Ksps, 1.33ms",
            "24k2.67": "24 Ksps, 2.67ms"}
SHORT = {v: k for k, v in CAPTIONS.items()}
FASTEST = "24k1.33"
HEADER = ("| Figure (this run) | Peer or limit (same run) | Ratio | Target |\n"
          "|---|---|---|---|")

res = pathlib.Path(sys.argv[1])
out = []
summary = []  # (what, ours, peer, ratio, target) for the table at the top


def emit(line=""):
    out.append(line)


def num(x, digits=0):
    """1234567.8 -> '1 234 568' (digits after the point as asked)."""
    return f"{x:,.{digits}f}".replace(",", " ")


def met(ok):
    return "**met**" if ok else "**not met**"


def text(name):
    p = res / name
    return p.read_text() if p.exists() else None


def gbench(name):
    """Google Benchmark results by run name: cpu seconds per iteration, the counters, and the
    coefficient of variation of the CPU time when the run was repeated (the median is taken then)."""
    p = res / f"{name}.json"
    if not p.exists():
        return None
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
    runs, cv = {}, {}
    for b in json.loads(p.read_text())["benchmarks"]:
        key = b.get("run_name", b["name"])
        if b.get("error_occurred"):
            runs[key] = {"error": b.get("error_message", "error")}
            continue
        kind = b.get("run_type", "iteration")
        if kind == "aggregate" and b.get("aggregate_name") == "cv":
            cv[key] = b["cpu_time"]  # a fraction, whatever the unit says
            continue
        if kind == "aggregate" and b.get("aggregate_name") != "median":
            continue
        if kind == "iteration" and key in runs:
            continue  # repetitions without aggregates: the first one stands
        b["cpu_s"] = b["cpu_time"] * scale[b["time_unit"]]
        runs[key] = b
    for key, c in cv.items():
        if key in runs and "error" not in runs[key]:
            runs[key]["cv"] = c
    return runs


def ok(r):
    return r is not None and "error" not in r


def spread(runs, names):
    """A sentence on the repetitions behind a table, from the largest coefficient of variation."""
    cvs = [runs[n]["cv"] for n in names if ok(runs.get(n)) and "cv" in runs[n]]
    if not cvs:
        return "One run of each benchmark (quick mode), no repetitions."
    reps = settings.get("repetitions", "?")
    return (f"Medians of {reps} repetitions in random order; the largest coefficient of variation in this "
            f"table is {max(cvs) * 100:.1f} %.")


def missing(what, name):
    failed = text(f"{name}.failed.txt")
    emit(f"_{what}: not measured in this run{' (' + failed.strip() + ')' if failed else ''}._")
    emit()


def stream_core():
    emit("## Frame stream core")
    emit()
    runs = gbench("stream")
    if not runs or not ok(runs.get("BM_Memcpy32MB")):
        return missing("vintrel_bench", "stream")
    names = [("BM_SyncDecodeNew24k1_33", "new", "24k1.33"), ("BM_SyncDecodeNew8k4", "new", "8k4"),
             ("BM_SyncDecodeNew16k16", "new", "16k16"), ("BM_SyncDecodeOld8k4", "old", "8k4"),
             ("BM_SyncDecodeOld16k16", "old", "16k16")]
    emit("Synchronisation plus decoding of 32 MB streams from the simulator (five channels) read one frame "
         "length at a time, as the transport thread reads them, through the receive ring, the start-point "
         "search, the frame checks and the decoding into the 48 frame buffers (`vintrel_bench`); next to it "
         "a memcpy of the same 32 MB, the least any parser has to do with the bytes, and the link's 1.2 MB/s. "
         "CPU time of one core. " + spread(runs, [n for n, _, _ in names] + ["BM_Memcpy32MB"]))
    emit()
    emit(HEADER)
    memcpy = runs["BM_Memcpy32MB"]["bytes_per_second"] / 1e6
    for bm, protocol, fmt in names:
        r = runs.get(bm)
        if not ok(r):
            emit(f"| {protocol} protocol, \"{CAPTIONS[fmt]}\": not measured ({r['error'] if r else 'not run'}) | | | |")
            continue
        mbs = r["bytes_per_second"] / 1e6
        emit(f"| Sync + decode, {protocol} protocol, \"{CAPTIONS[fmt]}\": **{num(mbs)} MB/s** "
             f"({num(r['frames/s'])} frames/s) | memcpy {num(memcpy)} MB/s; link {LINK / 1e6} MB/s "
             f"| {mbs / memcpy * 100:.1f} % of memcpy ({memcpy / mbs:.0f}x its time); {num(mbs * 1e6 / LINK)}x the link "
             f"| ≥ 300 MB/s on one core (250x the link): {met(mbs >= 300)} |")
        if bm == "BM_SyncDecodeNew24k1_33":
            summary.append((f"Sync + decode, new protocol, \"{CAPTIONS[fmt]}\" (one core)", f"{num(mbs)} MB/s",
                            f"memcpy {num(memcpy)} MB/s; link 1.2 MB/s",
                            f"{mbs / memcpy * 100:.1f} % of memcpy; {num(mbs * 1e6 / LINK)}x the link",
                            f"≥ 300 MB/s: {met(mbs >= 300)}"))
    emit()
    emit("A frame is checked and decoded word by word (the checksum over every word, each chunk's tag looked "
         "up and its samples referred to in place), so the parser touches each byte several times where "
         "memcpy moves it once; what matters for the program is the margin over the link.")
    emit()


def rates():
    """bytes a second of each format from the simulator's output, by (protocol, short name)."""
    t = text("rates.txt")
    r = {}
    for line in (t or "").splitlines():
        protocol, fmt, seconds, size = line.split()
        r[(protocol, fmt)] = int(size) / float(seconds)
    return r


def live_stream():
    emit("## Live stream")
    emit()
    rate = rates()
    if rate:
        emit("What each format puts on the link (the simulator's output for 10 s, five channels), next to the "
             "fastest link's 1.2 MB/s:")
        emit()
        emit("| Format | Frames/s | New protocol, bytes/s | Share of the link | Old protocol, bytes/s | Share of the link |")
        emit("|---|---|---|---|---|---|")
        for fmt, fps in FRAMES_PER_SECOND.items():
            cells = []
            for protocol in ("new", "old"):
                b = rate.get((protocol, fmt))
                cells += [num(b), f"{b / LINK * 100:.1f} %"] if b else ["-", "-"]
            emit(f"| \"{CAPTIONS[fmt]}\" | {fps:g} | " + " | ".join(cells) + " |")
        emit()
    t = text("monitor.txt")
    pat = re.compile(r'"(?P<fmt>[^"]+)", 5 channels: (?P<got>\d+)/(?P<sent>\d+) frames, lost (?P<lost>-?\d+), '
                     r'checksum errors (?P<cs>\d+), inconsistent (?P<inc>\d+); (?P<rate>[\d,]+) frames/s = '
                     r'(?P<x>[\d.]+) x real time; CPU (?P<cpu>[\d.]+) ms per second of stream')
    found = [m.groupdict() for m in pat.finditer(t or "")]
    timed_out = "failed: exit 124" in (t or "")
    if timed_out:
        done = ", ".join(f"\"{m['fmt']}\"" for m in found) or "no format"
        emit(f"_bench/monitor_throughput.sh was cut off after 120 s with {done} measured: the monitor was still "
             "waiting for frames. A link silent for more than 32 ms is given up and reconnected (as designed), and "
             "the simulator serves only the first connection (`--once`), so a stall of the simulator that long on a "
             "busy machine loses the rest of the stream._")
        emit()
        if not any(SHORT.get(m["fmt"]) == FASTEST for m in found):
            summary.append((f"Live monitor over TCP, \"{CAPTIONS[FASTEST]}\"", "cut off after 120 s, frames lost",
                            f"real time {FRAMES_PER_SECOND[FASTEST]} frames/s", "-", "**not measured**"))
    if not found:
        return None if timed_out else missing("bench/monitor_throughput.sh", "monitor")
    emit(f"`vintrel-cli monitor` (transport thread, parsing thread and the engine's message loop) against "
         f"`vintrel-sim --as-fast-as-possible` over loopback TCP, {settings['monitor_seconds']} s of stream with "
         "five channels per format (`bench/monitor_throughput.sh`). The simulator and the monitor share the "
         "machine's two cores, so the frame rate is a floor on what the monitor takes, not its ceiling; the CPU "
         "time is the monitor process's own (user + system) per second of stream carried.")
    emit()
    emit(HEADER)
    b = rate.get(("new", FASTEST))
    if b:
        emit(f"| Stream of the fastest format \"{CAPTIONS[FASTEST]}\", five channels: **{num(b / 1e6, 3)} MB/s** "
             f"| link {LINK / 1e6} MB/s | {b / LINK * 100:.1f} % of the link | fits the link: {met(b <= LINK)} |")
    for m in found:
        fmt = SHORT.get(m["fmt"], m["fmt"])
        fps = FRAMES_PER_SECOND.get(fmt, 0)
        got, sent, lost, cs, inc = (int(m[k]) for k in ("got", "sent", "lost", "cs", "inc"))
        frames_s = float(m["rate"].replace(",", ""))
        x = frames_s / fps
        cap = f"\"{m['fmt']}\""
        emit(f"| Monitor, {cap}: **{num(frames_s)} frames/s** | real time {fps:g} frames/s "
             f"| {num(x)}x real time | ≥ 20x real time: {met(x >= 20)} |")
        b = rate.get(("new", fmt))
        if b:
            bytes_s = frames_s * b / fps
            emit(f"| Monitor, {cap}, in bytes: **{num(bytes_s / 1e6, 1)} MB/s** | link {LINK / 1e6} MB/s "
                 f"| {num(bytes_s / LINK)}x the link | - |")
        whole = lost == 0 and inc == 0 and cs == 0 and got == sent
        emit(f"| Monitor, {cap}: **{num(got)} of {num(sent)} frames**, {lost} lost, {cs} checksum errors, "
             f"{inc} inconsistent | frames sent | {got / sent * 100:.1f} % received "
             f"| none lost or damaged: {met(whole)} |")
        cpu = float(m["cpu"])
        emit(f"| Monitor, {cap}: **{cpu:.2f} ms CPU per second of stream** | one core in real time, 1 000 ms "
             f"| {cpu / 10:.2f} % of a core | - |")
        if fmt == FASTEST:
            summary.append((f"Live monitor over TCP, {cap}", f"{num(frames_s)} frames/s; {num(got)} of {num(sent)} frames",
                            f"real time {fps:g} frames/s", f"{num(x)}x real time",
                            f"≥ 20x real time, none lost: {met(x >= 20 and whole)}"))
    emit()


def recording():
    emit("## Recording")
    emit()
    t = text("record.txt")
    head = re.search(r'record: (\d+) MiB, new protocol, "([^"]+)", five channels; the parse wrote (\d+) MiB', t or "")
    times = dict(re.findall(r"^\s+(vintrel-cli parse|sox raw -> wav|cp \(disk limit\))\s+([\d.]+) s", t or "", re.M))
    if not head or len(times) < 3:
        return missing("bench/record_parse_throughput.sh", "record")
    mib, fmt, written = int(head[1]), head[2], int(head[3])
    parse, sox, cp = (float(times[k]) for k in ("vintrel-cli parse", "sox raw -> wav", "cp (disk limit)"))
    status = re.search(r"parse status:\s*(.*)", t)
    size_mb = mib * 1048576 / 1e6
    reps = settings["record_reps"]
    emit(f"`vintrel-cli parse` of a {mib} MiB new-protocol record (\"{CAPTIONS.get(fmt, fmt)}\", five channels) "
         f"into {written} MiB of WAV files (17 files, each as long as a channel: the five raw channels, their "
         "amplitudes, the MIPS load, noise detection, VAD and AGC gain), next to sox converting the "
         "same file as 16-bit raw audio into one WAV file and `cp` of the record, each timed until its output is "
         f"flushed to disk (`bench/record_parse_throughput.sh`; {'best of ' + str(reps) + ' runs' if reps > 1 else 'one run'} "
         "each, interleaved; the record itself is in the page cache for all three)."
         + (f" Parse status: \"{status[1].strip()}\"." if status else ""))
    emit()
    emit(HEADER)
    emit(f"| Parse: **{parse:.3f} s** ({num(size_mb / parse)} MB/s of record) | sox on the same bytes {sox:.3f} s "
         f"({num(size_mb / sox)} MB/s) | {sox / parse:.2f}x the speed of sox | faster than sox: {met(parse < sox)} |")
    emit(f"| Parse, bytes written: **{num(written * 1.048576 / parse)} MB/s** of WAV | sox {num(size_mb / sox)} MB/s "
         f"of WAV (one file the size of the record) | {written * 1.048576 / parse / (size_mb / sox):.2f}x the rate of sox | - |")
    emit(f"| Parse: **{parse:.3f} s** | `cp` of the record {cp:.3f} s ({num(size_mb / cp)} MB/s, the disk) "
         f"| {parse / cp:.2f}x the time of cp | within 3x of cp: {met(parse <= 3 * cp)} |")
    emit(f"| Parse: **{num(size_mb / parse)} MB/s** of record | link {LINK / 1e6} MB/s | {num(size_mb / parse * 1e6 / LINK)}x the link "
         f"(an hour of link-rate stream parses in {3600 * LINK / (size_mb * 1e6 / parse):.0f} s) | - |")
    emit()
    per_written = written * 1.048576 / parse / (size_mb / sox)
    emit(f"The parse writes {written / mib:.1f} bytes of WAV for every byte of record where sox writes one: per byte "
         f"of record it runs at {sox / parse:.2f}x the speed of sox, per byte written at {per_written:.2f}x.")
    emit()
    summary.append((f"Record parse to WAV, {mib} MiB", f"{parse:.3f} s ({num(size_mb / parse)} MB/s)",
                    f"sox {sox:.3f} s; cp {cp:.3f} s",
                    f"{sox / parse:.2f}x the speed of sox; {parse / cp:.2f}x the time of cp",
                    f"faster than sox: {met(parse < sox)}; within 3x of cp: {met(parse <= 3 * cp)}"))


def monitoring():
    emit("## Monitoring")
    emit()
    runs = gbench("chart")
    if not runs:
        missing("vintrel_chart_bench", "chart")
    else:
        second = [("BM_DrawOneSecond/1/0", "level charts, rate 1"), ("BM_DrawOneSecond/4/0", "level charts, rate 4"),
                  ("BM_DrawOneSecond/1/256", "256-point spectra, rate 1"),
                  ("BM_DrawOneSecond/1/2048", "2048-point spectra, rate 1")]
        others = ["BM_DrawBatchOf24/1", "BM_DrawBatchOf24/4", "BM_SpectrumColumn2048x5"]
        emit(f"Drawing at the fastest format \"{CAPTIONS[FASTEST]}\" (750 frames a second, 32 samples a channel) onto "
             "the five channel charts and the MIPS chart, offscreen, with the parsing thread's share of feeding the "
             "spectrum queues (`vintrel_chart_bench`); next to the limit, one core for one second. \"Rate\" is the "
             "rate slider position (1: a column every frame; 4: the default). The 256-point spectra cost more than "
             "the 2048-point ones because they draw eight times as many columns. CPU time of one core. "
             + spread(runs, [b for b, _ in second] + others))
        emit()
        emit(HEADER)
        worst = None
        for bm, what in second:
            r = runs.get(bm)
            if not ok(r):
                emit(f"| One second of frames, {what}: not measured ({r['error'] if r else 'not run'}) | | | |")
                continue
            ms = r["cpu_s"] * 1e3
            if worst is None or ms > worst[0]:
                worst = (ms, what)
            emit(f"| All drawing of one second of frames (750), {what}: **{ms:.1f} ms** | one core in real time, "
                 f"1 000 ms | {ms / 10:.1f} % of a core | < 100 ms of one core: {met(ms < 100)} |")
        for bm, what in (("BM_DrawBatchOf24/1", "rate 1"), ("BM_DrawBatchOf24/4", "rate 4")):
            r = runs.get(bm)
            if ok(r):
                us = r["cpu_s"] * 1e6
                emit(f"| One batch of 24 frames on the six charts, {what}: **{num(us)} µs** | the 24 frames last 32 ms "
                     f"| {us / 320:.1f} % of their time | - |")
        r = runs.get("BM_SpectrumColumn2048x5")
        if ok(r):
            us = r["cpu_s"] * 1e6
            # Each block of 2048 samples (64 frames, 85.3 ms) is transformed twice, once from each queue.
            emit(f"| One 2048-point spectrum column on five channels: **{num(us)} µs** | two columns per 2048 samples, "
                 f"85.3 ms of stream | {2 * us / 85333 * 100:.2f} % of a core | - |")
        emit()
        if worst:
            summary.append((f"Chart drawing, one second at \"{CAPTIONS[FASTEST]}\", worst case ({worst[1]})",
                            f"{worst[0]:.1f} ms", "one core, 1 000 ms", f"{worst[0] / 10:.1f} % of a core",
                            f"< 100 ms: {met(worst[0] < 100)}"))
    runs = gbench("fft")
    if not runs:
        return missing("vintrel_fft_bench", "fft")
    lengths = (256, 512, 1024, 2048)
    emit("The spectrum's transform (`TdspFFT::FFT` without the window, single precision, iterative radix 2) for "
         "the lengths the window offers, next to FFTW's complex transform of the same length in single precision "
         "(`fftwf`, out of place, FFTW_MEASURE) and, for reference, FFTW's real-input transform (`vintrel_fft_bench`). "
         "FFTW's plans use the vector units this CPU offers (chosen when planning); the program is built for plain "
         "x86-64. The last column "
         "puts the difference in terms of the stream: at 24 kHz the window transforms at most 2 x 5 x 24 000 / N "
         "blocks a second (every block twice, five channels). CPU time of one core. "
         + spread(runs, [f"{b}/{n}" for b in ("DspFft", "FftwfComplex", "FftwfReal") for n in lengths]))
    emit()
    emit("| Figure (this run) | Peer (same run) | Ratio | Per second of 24 kHz stream |")
    emit("|---|---|---|---|")
    for n in lengths:
        mine, peer, real = (runs.get(f"{b}/{n}") for b in ("DspFft", "FftwfComplex", "FftwfReal"))
        if not ok(mine) or not ok(peer):
            emit(f"| TdspFFT, {n} points: not measured | | | |")
            continue
        x = mine["cpu_s"] / peer["cpu_s"]
        r2c = f"; real-input {real['cpu_s'] * 1e6:.2f} µs" if ok(real) else ""
        per_second = 2 * 5 * 24000 / n
        emit(f"| TdspFFT, {n} points: **{mine['cpu_s'] * 1e6:.2f} µs** | FFTW complex {peer['cpu_s'] * 1e6:.2f} µs{r2c} "
             f"| {x:.1f}x the time of FFTW | {mine['cpu_s'] * per_second * 1e3:.2f} ms (FFTW "
             f"{peer['cpu_s'] * per_second * 1e3:.2f} ms) of 1 000 ms |")
        if n == 2048:
            summary.append(("Spectrum FFT, 2048 points (single precision)", f"{mine['cpu_s'] * 1e6:.2f} µs",
                            f"FFTW {peer['cpu_s'] * 1e6:.2f} µs", f"{x:.1f}x the time of FFTW", "none set"))
    emit()


def delay():
    emit("## Delay estimation")
    emit()
    runs = gbench("corr")
    if not runs:
        return missing("vintrel_corr_bench", "corr")
    lengths = (8192, 16384, 32768)
    emit("`corr_state` of libQuendel.so (double precision: the history unrolled, one N-point complex transform of "
         "both signals packed together, the cross-spectrum, one N/2-point transform and the peak search) for the "
         "delay window's three history lengths, next to FFTW computing two complex transforms of "
         "the same length in double precision, in place, FFTW_MEASURE (`vintrel_corr_bench`). CPU time of one core "
         "per call. " + spread(runs, [f"{b}/{n}" for b in ("CorrState", "FftwTwoTransforms") for n in lengths]))
    emit()
    emit(HEADER)
    for n in lengths:
        mine, peer = runs.get(f"CorrState/{n}"), runs.get(f"FftwTwoTransforms/{n}")
        if not ok(mine) or not ok(peer):
            emit(f"| corr_state N = {n}: not measured | | | |")
            continue
        x = mine["cpu_s"] / peer["cpu_s"]
        emit(f"| `corr_state`, N = {n}: **{num(mine['cpu_s'] * 1e6)} µs** | FFTW two transforms {num(peer['cpu_s'] * 1e6)} µs "
             f"| {x:.2f}x the time of FFTW | within 3x FFTW: {met(x <= 3)} |")
        if n == 32768:
            summary.append(("Delay correlator `corr_state`, N = 32768", f"{num(mine['cpu_s'] * 1e6)} µs",
                            f"FFTW two transforms {num(peer['cpu_s'] * 1e6)} µs", f"{x:.2f}x the time of FFTW",
                            f"within 3x FFTW: {met(x <= 3)}"))
    emit()


def application():
    emit("## Application (window)")
    emit()
    t = text("gui.txt")
    m = re.search(r"seconds (\d+), longest gap between 10 ms ticks (\d+) ms, frames counted (\d+) \(about (\d+) expected\), "
                  r"inconsistent (\d+), frames not drawn (\d+)", t or "")
    if not m:
        return missing("bench/gui_responsiveness.sh", "gui")
    seconds, gap, counted, expected, inc, undrawn = (int(x) for x in m.groups())
    emit(f"The main window (offscreen) against the simulator at \"{CAPTIONS[FASTEST]}\" in real time, five channels, "
         f"spectrum on with 2048 points, for {seconds} s (`bench/gui_responsiveness.sh`): the longest gap between the "
         "ticks of a 10 ms timer after the first second (what a gap has beyond 10 ms, the window thread spent on "
         "drawing, messages or waiting for a core), and the frame counters. Wall-clock time, with the simulator on "
         "the same cores.")
    emit()
    emit(HEADER)
    emit(f"| Longest gap between 10 ms timer ticks: **{gap} ms** | the tick period, 10 ms (the least possible gap) "
         f"| {gap / 10:.1f}x the tick | never blocked longer than 50 ms: {met(gap <= 50)} |")
    # The frame label moves every 64 frames, and the first frames wait for the connection.
    whole = inc == 0 and undrawn == 0 and counted >= 0.98 * expected
    emit(f"| Frames counted: **{num(counted)}**, {inc} inconsistent, {undrawn} not drawn | about {num(expected)} sent "
         f"in {seconds} s at 750 frames/s | {counted / expected * 100:.1f} % (the label moves every 64 frames) "
         f"| no frame lost or left undrawn: {met(whole)} |")
    emit()
    summary.append((f"Window responsiveness at \"{CAPTIONS[FASTEST]}\", spectrum on", f"longest tick gap {gap} ms",
                    "timer period 10 ms", f"{gap / 10:.1f}x the tick",
                    f"≤ 50 ms, no frame lost: {met(gap <= 50 and whole)}"))


def machine_info():
    t = text("machine.txt") or ""
    return dict(line.split(": ", 1) for line in t.splitlines() if ": " in line)


def loads():
    rows = []
    for line in (text("load.txt") or "").splitlines():
        parts = line.split("|")
        rows.append((parts[0], [float(x) for x in parts[1].split()], int(parts[2]) if len(parts) > 2 else None,
                     int(parts[3]) if len(parts) > 3 and parts[3] else None))
    return rows


def machine(info):
    emit("## Machine and load of this run")
    emit()
    for k in ("date", "mode", "commit", "nproc", "cpu", "cpu details", "memory", "kernel", "build dir", "build type",
              "compiler", "sox", "fftw", "google benchmark", "scratch filesystem", "other processes at the start"):
        if k in info:
            emit(f"- {k}: {info[k]}")
    before, after = ((text(f"uptime-{w}.txt") or "").strip() for w in ("before", "after"))
    emit(f"- `uptime` before: `{before}`")
    emit(f"- `uptime` after: `{after}`")
    rows = loads()
    if rows:
        emit()
        sampled = any(b is not None for *_, b in rows)
        emit("Before each step, the 1-minute load average (which includes this run's own benchmarks)"
             + (" and the CPU that other processes used over half a second while nothing of this run was running:"
                if sampled else ":"))
        emit()
        emit("| Step | Load average at its start |" + (" Other processes at its start |" if sampled else "") + " Duration |")
        emit("|---|---|" + ("---|" if sampled else "") + "---|")
        for i, (name, avg, t0, busy) in enumerate(rows):
            t1 = rows[i + 1][2] if i + 1 < len(rows) else None
            cell = (f" {'-' if busy is None else f'{busy} % of a core'} |" if sampled else "")
            emit(f"| {name} | {avg[0]:.2f} |{cell} {f'{t1 - t0} s' if t0 is not None and t1 is not None else '-'} |")
        cores = int(info.get("nproc", "1"))
        busiest = max((b for *_, b in rows if b is not None), default=None)
        one = max(a[0] for _, a, _, _ in rows)
        if busiest is not None and busiest >= 20:
            why = (f"other jobs used up to {busiest} % of a core between the steps (the 1-minute load average "
                   f"reached {one:.2f})")
        elif busiest is None and one >= 0.5 * cores:
            why = f"the 1-minute load average reached {one:.2f}, this run's own benchmarks included"
        else:
            why = None
        if why:
            emit()
            emit(f"**The machine was not quiet:** it has {cores} cores, and {why}. Wall-clock figures (the monitor, the record parse, sox, cp and the window's "
                 "timer gaps) are the most affected; Google Benchmark figures are CPU time of the benchmark thread, "
                 "but share caches and memory bandwidth with the other jobs, and the repetitions' spread shows how "
                 "much they moved.")
    emit()


def reproduce(info):
    build_dir = settings.get("build_dir", "build-perf")
    emit("## How to reproduce")
    emit()
    emit("```sh")
    lines = [("scripts/install-deps.sh", "the Debian packages, sox and libfftw3-dev among them"),
             (f"VINTREL_BUILD_DIR={build_dir} scripts/build.sh", "RelWithDebInfo (-O2 -g)"),
             (f"VINTREL_BUILD_DIR={build_dir} bench/performance.sh --doc", "the full run (about 4 minutes); rewrites this file"),
             (f"VINTREL_BUILD_DIR={build_dir} bench/performance.sh --quick", f"smoke test (under a minute), results in {build_dir}/performance"),
             ("bench/compare_builds.sh --full BUILD_BEFORE BUILD_AFTER", "two builds' full runs in turn, every figure side by side")]
    width = max(len(c) for c, _ in lines)
    for c, why in lines:
        emit(f"{c:{width}}  # {why}")
    emit("```")
    emit()
    cmds = (text("commands.txt") or "").strip()
    if cmds:
        emit("The commands the run consisted of, each runnable on its own from the top of the repository:")
        emit()
        emit("```sh")
        emit(cmds)
        emit("```")
        emit()


settings = json.loads((res / "settings.json").read_text()) if (res / "settings.json").exists() else {
    "monitor_seconds": "?", "record_reps": 1}
info = machine_info()

stream_core()
live_stream()
recording()
monitoring()
delay()
application()
body, out = out, []

emit("# Performance")
emit()
mode = info.get("mode", "?")
emit(f"Figures of one {'full' if mode == 'full' else mode} run of `bench/performance.sh` on "
     f"{info.get('date', 'an unknown date')}: {info.get('nproc', '?')} cores of an {info.get('cpu', 'unknown CPU')}"
     f"{' (' + info['cpu details'] + ')' if 'cpu details' in info else ''}, {info.get('compiler', 'unknown compiler')}, "
     f"{info.get('build type', '?')} build. Every figure stands next to its peer or physical limit measured in the "
     "same run: memcpy and `cp` for parsing, sox for WAV conversion, FFTW for the transforms, the link's 1.2 MB/s "
     "(FTDI at 12 Mbaud) and the real-time frame rate for the stream. The targets are the project's own; "
     "\"not met\" is reported as measured. The machine section at the end gives the load during the run.")
emit()
if mode != "full":
    emit("**Quick mode: short benchmark times, no repetitions, a small record. Smoke test only, not figures to quote.**")
    emit()
emit("## Summary")
emit()
emit("| What | Vintrel | Peer or limit | Ratio | Target |")
emit("|---|---|---|---|---|")
for row in summary:
    emit("| " + " | ".join(row) + " |")
emit()
head, out = out, []
reproduce(info)
machine(info)
emit("## Reading the figures")
emit()
emit("- Google Benchmark figures are CPU time of the benchmark thread; the scripts' figures (monitor, record "
     "parse, sox, cp, window) are wall-clock time.")
emit("- MB is 10^6 bytes and MiB 2^20 bytes; µs and ms are per call or per second of stream as stated.")
emit("- Debian's Google Benchmark prints \"Library was built as DEBUG\": that is the measuring loop of the library, "
     "not the code measured, which is built RelWithDebInfo.")
emit("- The raw outputs (JSON of every benchmark, the scripts' text) stay in the results folder next to this "
     "document's copy.")
print("\n".join(head + body + out).rstrip() + "\n")
