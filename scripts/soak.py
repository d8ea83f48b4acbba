#!/usr/bin/env python3
"""Soak test: vintrel-cli against a vintrel-sim stream with every kind of damage at once, for a
given number of minutes. scripts/soak.sh builds the programs and runs this; the "Soak test" section
of CONTRIBUTING.md says what is checked. Python 3 standard library only.

Two simulators run side by side on loopback ports the kernel picks, one for each load:
- `vintrel-cli record` in a loop: record a few seconds, stop, check the raw record, the counters
  and every WAV file against what the simulator sent, start again;
- one `vintrel-cli monitor` for the whole time, forwarding the raw stream to three TCP clients
  written here; its resident memory is sampled, and at the end its counters and the forwarded
  bytes are checked against what the simulator sent.
Every step has a time-out; every check that fails is listed and makes the exit status 1.
"""

import argparse
import hashlib
import os
import re
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import traceback
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import soak_frames as sf  # noqa: E402
import soak_record as sr  # noqa: E402

FORMAT = "8k4"  # 8000 samples/s, 4 ms frames: 250 frames/s of 522 bytes with five channels
FMT = {"block_samples": 32, "frames_per_second": 250, "rate": 8000}
# Periods in frames, prime so that the kinds meet now and then (a frame with a bad checksum and
# an unknown tag every 58 s); skipped frames stay further apart than the 125 frames within which
# four inconsistent frames would make the receiver reconnect by itself.
DAMAGE = ["--bad-checksum-every", "97", "--skip-frame-every", "331", "--garbage-every", "53",
          "--unknown-tag-every", "149"]
DROP_SECONDS = 3.7  # every connection is reset after this much stream, in the middle of a frame
RECORD_SEED, MONITOR_SEED = 11, 12
FORWARD_CLIENTS = 3
RSS_PERIOD = 5.0  # seconds between samples of the monitor's resident memory
RSS_WARMUP = 60.0  # the slope is fitted to the samples after this
RSS_LIMIT_KIB_PER_MIN = 64.0
START_TIMEOUT = 10.0
STOP_TIMEOUT = 30.0
RECORD_TIMEOUT_EXTRA = 60.0  # on top of the recording's own length
QUIET_SECONDS = 2.0  # the forwarded stream is complete once it has not grown for this long
STATUS_RE = re.compile(
    r"^frames (\d+)  checksum errors (\d+)  inconsistent (\d+)  reconnects (\d+)  link drops (\d+)")

# How the program's figures are compared; printed with the summary.
RULES = """\
How the figures are compared (the simulator's --log says, per connection, where in its stream the
bytes began, how many went out, how many of them a reset left untransmitted, and the damage of
the frames sent whole; the stream itself is generated again with --output - for the same options):
- Monitor. The forwarded bytes must be exactly the bytes the simulator delivered, connection after
  connection. Total frames = the frames sent whole (sent-frames), less those in untransmitted
  bytes, plus any frame the receiver took that is not a frame the simulator made; Checksum
  errors = the damaged frames sent whole (a bad checksum, an unknown tag or both count once),
  less and plus the same. Inconsistent frames = the jumps in the frame numbers after the
  receiver's first 251 frames (it does not check those): each skipped frame and each frame cut
  short by a drop makes one jump, neighbours make one jump together; the expected figure is
  counted over the frames received, from a fresh start of the receiver at every connection (its
  ring emptied, its first 251 frames unchecked). Every number between the first and last frame
  received must be received, skipped, cut short or in untransmitted bytes. Link drops count the
  connections lost (any reason but the monitor's own closing at the end), Reconnects the
  reconnections that succeeded. While the stream runs: one drop per connection that ended, one
  reconnect per connection the monitor made again. At the end: every connection was lost (the
  last one when the simulator was stopped), and every one but the first was made again; the
  attempts to reach the simulator after it was stopped failed and are no reconnects.
  Garbage has no counter: every frame after a burst must arrive. A connection the monitor closes
  itself while the stream runs fails a check of its own, with the bytes it never read: a TCP
  connection is closed only when the peer closes or resets it, or after 15 s without a byte.
- Record runs. The raw record must hold, byte for byte, every frame received from its first to
  its last frame except those with an unknown tag (left out by design); Recorded frames counts
  them too. Every number of that span must be recorded, skipped, cut short or left out. The recorder goes on receiving until it closes after the recording: its Total frames
  T must lie between the position of the last recorded frame and all frames sent to it, and its
  Checksum errors and Inconsistent frames must equal the counts over its first T frames, counted
  from a fresh start at every connection. A recording must last the seconds asked for; it goes on
  across the reconnections. Its Reconnects must be one less than its connections, its Link drops
  the same (one more when the simulator reset the last connection just before the end). The
  parse's fragments, checksum errors and frames, and every sample of every WAV file (read with
  Python's wave module), must be as predicted from the raw record's frames.
- Resident memory of the monitor: sampled every %d s from /proc; the least-squares slope of the
  samples after the first minute must stay at or below %.0f KiB/min.
- Crashes and hangs: every program must end with exit status 0 (not a signal) within its
  time-out: a recording within its length + %d s, every stop within %d s.""" % (
    RSS_PERIOD, RSS_LIMIT_KIB_PER_MIN, RECORD_TIMEOUT_EXTRA, STOP_TIMEOUT)


def stream_options(seed):
    return ["--format", FORMAT, "--seed", str(seed)] + DAMAGE


class Report:
    """Checks and figures, printed and written as the summary."""

    def __init__(self):
        self.lines = []
        self.failures = []
        self.checks = 0

    def line(self, text=""):
        self.lines.append(text)

    def check(self, name, ok, detail=""):
        self.checks += 1
        self.lines.append("  [%s] %s%s" % ("ok" if ok else "FAIL", name, ": " + detail if detail else ""))
        if not ok:
            self.failures.append(name + (": " + detail if detail else ""))
        return ok


def read_first_line(proc, timeout):
    """The first line of a child's standard output (bytes pipe), or None."""
    fd = proc.stdout.fileno()
    data = b""
    deadline = time.monotonic() + timeout
    while b"\n" not in data:
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([fd], [], [], left)[0]:
            return None
        more = os.read(fd, 1)
        if not more:
            return None
        data += more
    return data.decode(errors="replace").strip()


def stop_process(proc, timeout=STOP_TIMEOUT):
    """SIGTERM, then the exit status; SIGKILL and None when it does not end in time."""
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
    try:
        return proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
        return None


def exit_text(code):
    if code is None:
        return "did not end in time (killed)"
    if code < 0:
        return "ended by signal %s" % signal.Signals(-code).name
    return "exit status %d" % code


class Simulator:
    def __init__(self, sim, seed, folder, name):
        self.log = os.path.join(folder, name + ".log")
        self.err = open(os.path.join(folder, name + ".err"), "wb")
        self.proc = subprocess.Popen(
            [sim, "--listen", "127.0.0.1:0", "--drop-connection-after", str(DROP_SECONDS),
             "--drop-mid-frame", "--log", self.log] + stream_options(seed),
            stdout=subprocess.PIPE, stderr=self.err)
        line = read_first_line(self.proc, START_TIMEOUT) or ""
        if not line.startswith("listening on "):
            stop_process(self.proc)
            raise RuntimeError("%s did not start listening: %r" % (name, line))
        self.address = line[len("listening on "):]
        self.exit = None

    def connections(self):
        return sf.read_sim_log(self.log)

    def stop(self):
        self.exit = stop_process(self.proc)
        self.err.close()
        return self.exit


class Holder(threading.Thread):
    """Takes the monitor's simulator first, so that the monitor's stream begins only once the
    forwarding clients are connected: the simulator serves one client after another."""

    def __init__(self, address):
        super().__init__(daemon=True)
        host, port = address.rsplit(":", 1)
        self.sock = socket.create_connection((host, int(port)), timeout=START_TIMEOUT)
        self.release = threading.Event()
        self.released_at = None
        self.dropped = False

    def run(self):
        self.sock.settimeout(0.1)
        while not self.release.is_set():
            try:
                if not self.sock.recv(65536):
                    self.dropped = True
                    break
            except socket.timeout:
                continue
            except OSError:
                self.dropped = True
                break
        self.sock.close()


class ForwardClient(threading.Thread):
    """Reads the monitor's forwarded stream to its end: length, SHA-256, optionally a copy."""

    def __init__(self, port, copy_path=None):
        super().__init__(daemon=True)
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=START_TIMEOUT)
        self.copy_path = copy_path
        self.length = 0
        self.sha = hashlib.sha256()
        self.error = None

    def run(self):
        copy = open(self.copy_path, "wb") if self.copy_path else None
        self.sock.settimeout(None)
        try:
            while True:
                data = self.sock.recv(1 << 16)
                if not data:
                    break
                self.length += len(data)
                self.sha.update(data)
                if copy:
                    copy.write(data)
        except OSError as e:
            self.error = str(e)
        finally:
            self.sock.close()
            if copy:
                copy.close()


class Monitor:
    """vintrel-cli monitor with forwarding; its status lines are kept with their times."""

    def __init__(self, cli, address, folder):
        self.err = open(os.path.join(folder, "monitor.err"), "wb")
        self.out_path = os.path.join(folder, "monitor.out")
        self.proc = subprocess.Popen(
            [cli, "monitor", "--connect", address, "--format", FORMAT, "--forward", "127.0.0.1:0"],
            stdout=subprocess.PIPE, stderr=self.err)
        self.started = time.monotonic()
        line = read_first_line(self.proc, START_TIMEOUT) or ""
        m = re.match(r"forwarding on 127\.0\.0\.1:(\d+)$", line)
        if not m:
            stop_process(self.proc)
            raise RuntimeError("the monitor did not start forwarding: %r" % line)
        self.forward_port = int(m.group(1))
        self.lines = [(time.monotonic(), line)]
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()
        self.rss = []  # (seconds since start, KiB)
        self.load = []  # (time, one-minute load average of the machine)
        self.sampler = threading.Thread(target=self._sample, daemon=True)
        self.sampler.start()
        self.exit = None

    def _read(self):
        for raw in self.proc.stdout:
            self.lines.append((time.monotonic(), raw.decode(errors="replace").rstrip("\n")))

    def _sample(self):
        path = "/proc/%d/status" % self.proc.pid
        while self.proc.poll() is None:
            try:
                with open(path) as f:
                    for line in f:
                        if line.startswith("VmRSS:"):
                            self.rss.append((time.monotonic() - self.started, int(line.split()[1])))
                with open("/proc/loadavg") as f:
                    self.load.append((time.monotonic(), float(f.read().split()[0])))
            except OSError:
                break
            time.sleep(RSS_PERIOD)

    def load_near(self, when):
        """The highest one-minute load average sampled within 15 s of `when`."""
        return max([load for t, load in self.load if abs(t - when) <= 15] or [0.0])

    def status_before(self, when):
        """When the last live counters before `when` were printed, and they: frames, checksum
        errors, inconsistent frames, reconnects, link drops."""
        last = None
        for t, line in self.lines:
            m = STATUS_RE.match(line)
            if m and t < when:
                last = t, tuple(int(g) for g in m.groups())
        return last

    def stop(self):
        self.exit = stop_process(self.proc)
        self.reader.join(10)
        self.err.close()
        with open(self.out_path, "w") as f:
            f.write("\n".join(line for _, line in self.lines) + "\n")
        return self.exit

    def totals(self):
        out = {}
        for _, line in self.lines:
            key, sep, value = line.partition(":")
            if sep and value.strip().isdigit():
                out[key] = int(value)
        return out


def rss_slope(samples):
    """Least-squares slope in KiB per minute of the samples after the warm-up, and the samples used."""
    pts = [(t / 60.0, kib) for t, kib in samples if t >= RSS_WARMUP]
    if len(pts) < 3:
        return None, pts
    n = len(pts)
    mx = sum(t for t, _ in pts) / n
    my = sum(k for _, k in pts) / n
    sxx = sum((t - mx) ** 2 for t, _ in pts)
    sxy = sum((t - mx) * (k - my) for t, k in pts)
    return (sxy / sxx if sxx else 0.0), pts


class ModelTotals:
    """ReceiverModel figures added up over the receiver's fresh starts."""

    def __init__(self):
        self.frames = self.checksum_errors = self.inconsistent = self.breaks = 0
        self.auto_reconnects = self.starts = self.missing = 0

    def add(self, m):
        self.frames += m.frames
        self.checksum_errors += m.checksum_errors
        self.inconsistent += m.inconsistent
        self.breaks += m.breaks
        self.auto_reconnects += m.auto_reconnects
        self.starts += 1


class FrameInfo:
    """What the checks keep of a reference frame, without its bytes."""

    __slots__ = ("counter", "offset", "size", "damaged", "crc")

    def __init__(self, frame):
        self.counter, self.offset, self.size, self.damaged = (
            frame.counter, frame.offset, frame.size, frame.damaged)
        self.crc = zlib.crc32(frame.data)


def stream_reader(ref, start, end, piece=1 << 20):
    """read(n) over the reference stream's bytes from start to end."""
    state = {"at": start}

    def read(n):
        n = min(n, piece, end - state["at"])
        if n <= 0:
            return b""
        data = ref.read(state["at"], n)
        state["at"] += len(data)
        return data

    return read


def run_niced(fn, *args):
    """fn(*args) in a thread of low priority, so that the checks leave the processor to the
    programs under test (a Linux thread has a nice value of its own)."""
    result = {}

    def work():
        try:
            os.setpriority(os.PRIO_PROCESS, threading.get_native_id(), 15)
        except OSError:
            pass
        try:
            result["value"] = fn(*args)
        except Exception as e:  # noqa: BLE001 - handed to the caller
            result["error"] = e

    worker = threading.Thread(target=work)
    worker.start()
    worker.join()
    if "error" in result:
        raise result["error"]
    return result["value"]


def record_loop(args, sim, reference, folder, report, deadline):
    """Record runs until the deadline; returns the per-run results."""
    runs = []
    n = 0
    while time.monotonic() + args.record_seconds + 5 < deadline:
        if sim.proc.poll() is not None:
            runs.append(("after run%04d" % n, ["the record simulator ended: " + exit_text(sim.proc.returncode)], {}))
            break
        n += 1
        name = "run%04d" % n
        out_dir = os.path.join(folder, name)
        os.makedirs(out_dir)
        t0 = time.monotonic()
        proc = subprocess.Popen(
            [args.cli, "record", "--connect", sim.address, "--seconds", str(args.record_seconds),
             "--format", FORMAT, "--out", out_dir, "--keep-raw", "--no-stamp", "--base", name,
             "--dump", out_dir],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            out, err = proc.communicate(timeout=args.record_seconds + RECORD_TIMEOUT_EXTRA)
            code = proc.returncode
        except subprocess.TimeoutExpired:
            proc.kill()
            out, err = proc.communicate()
            code = None
        t1 = time.monotonic()
        out, err = out.decode(errors="replace"), err.decode(errors="replace")
        with open(os.path.join(out_dir, "record.out"), "w") as f:
            f.write(out)
        with open(os.path.join(out_dir, "record.err"), "w") as f:
            f.write(err)
        problems, fig = [], {}
        if code != 0:
            problems.append("vintrel-cli record: " + exit_text(code))
        # The simulator notes the end of the run's last connection when its next write fails.
        conns = []
        for _ in range(100):
            conns = [c for c in sim.connections()[0] if t0 <= c.t <= t1]
            if conns and all(c.ended for c in conns):
                break
            time.sleep(0.1)
        if not conns or not all(c.ended for c in conns):
            problems.append("the simulator's log has no finished connection for the run")
        elif code is not None and code >= 0:
            p, fig = run_niced(sr.check_record_run, args.record_seconds, conns, reference, out_dir, name, out, FMT)
            problems += p
        fig["connections"] = len(conns)
        fig["drops"] = sum(1 for c in conns if c.how == "dropped")
        fig["seconds"] = t1 - t0
        runs.append((name, problems, fig))
        verdict = "ok" if not problems else "FAIL: " + "; ".join(problems)
        print("  record %s: %s frames recorded, %d connection(s), %.1f s: %s" %
              (name, fig.get("recorded", "?"), len(conns), t1 - t0, verdict), flush=True)
        if not problems and not args.keep:
            shutil.rmtree(out_dir)
    return runs


def summarise_runs(runs, report):
    report.line("Record loop (vintrel-cli record, %d runs)" % len(runs))
    if not runs:
        report.check("record runs", False, "no run fitted in the time")
        return
    bad = [(name, p) for name, p, _ in runs if p]
    total = lambda key: sum(f.get(key, 0) for _, _, f in runs if isinstance(f.get(key, 0), int))  # noqa: E731
    pair = lambda key, i: sum(f[key][i] or 0 for _, _, f in runs if key in f)  # noqa: E731
    numbers = {}
    for _, _, f in runs:
        for k, v in f.get("numbers", {}).items():
            numbers[k] = numbers.get(k, 0) + v
    report.line("  frames recorded %d, WAV files checked %d, samples compared %d; %d connections, %d dropped; "
                "%d frames taken before a recording began" % (
                    total("recorded"), total("wav files"), total("samples compared"), total("connections"),
                    total("drops"), total("before recording")))
    report.line("  frames cut short at a drop and recorded whole (a bad checksum; garbage came before the "
                "next frame): %d" % total("cut frames recorded"))
    report.line("  frame numbers of the recorded spans: %d recorded, %d skipped by the simulator, %d cut "
                "short at a drop, %d in bytes never transmitted, %d unknown-tag frames (not recorded by "
                "design), %d missing" % (numbers.get("have", 0), numbers.get("skipped", 0),
                                          numbers.get("cut", 0), numbers.get("unsent", 0),
                                          numbers.get("not recorded", 0), numbers.get("missing", 0)))
    report.line("  live counters, program / expected: checksum errors %d / %d, inconsistent frames %d / %d"
                % (pair("checksum errors", 0), pair("checksum errors", 1), pair("inconsistent", 0),
                   pair("inconsistent", 1)))
    report.line("  parse, program / expected: fragments %d / %d, checksum errors %d / %d; frames the "
                "parser met as damage %d"
                % (pair("fragments", 0), pair("fragments", 1), pair("parse checksum errors", 0),
                   pair("parse checksum errors", 1), total("parse damage")))
    report.check("every record run: exit 0 in time; raw record = the frames sent; counters, parse and "
                 "all WAV files as expected", not bad,
                 "; ".join("%s: %s" % (name, " / ".join(p)) for name, p in bad[:5]))


def check_monitor(args, monitor, sim, clients, holder, copy_path, sim_stop_time, report):
    report.line("Monitor (vintrel-cli monitor --forward, three forwarding clients)")
    report.check("monitor ended on SIGTERM with exit status 0", monitor.exit == 0, exit_text(monitor.exit))
    conns, _ = sim.connections()
    mine = [c for c in conns if c.n >= 2]
    # Connections the monitor closed itself while the stream ran (the simulator ends them "gone"):
    # it gave the link up and reconnected.
    closed = [c for c in mine[:-1] if c.how == "gone"]
    report.check("the holder kept the simulator until the forwarding clients were connected",
                 not holder.dropped and bool(mine) and mine[0].t > holder.released_at,
                 "" if mine else "the monitor never connected")
    if not mine or not all(c.ended for c in mine):
        report.check("simulator log complete", False, "a connection of the monitor has no end line")
        return
    # The forwarding clients.
    lengths = [c.length for c in clients]
    hashes = [c.sha.hexdigest() for c in clients]
    errors = [c.error for c in clients if c.error]
    report.line("  forwarded: %d bytes to each client, SHA-256 %s" % (lengths[0], hashes[0][:16]))
    report.check("the three forwarding clients received the same bytes (length and SHA-256), without error",
                 len(set(lengths)) == 1 and len(set(hashes)) == 1 and not errors,
                 "lengths %s%s" % (lengths, ", errors %s" % errors if errors else ""))

    # What the simulator delivered to the monitor: each connection's bytes but those a reset left
    # untransmitted, one connection after the other. The forwarded bytes must be exactly that. Only
    # a connection the monitor closed itself while the stream ran may have been read in part: the
    # rest was delivered and never read, a loss reported below.
    reference = sf.ReferenceStream(args.sim, stream_options(MONITOR_SEED), args.reference_seconds)
    mismatch = None
    unread = {}  # connection number: bytes delivered that the monitor never read
    restarts = []  # forwarded offsets where the monitor started afresh: every new connection
    with open(copy_path, "rb") as f:
        for k, c in enumerate(mine):
            if k > 0:
                restarts.append(f.tell())
            at = 0
            while at < c.received:
                n = min(1 << 20, c.received - at)
                want = reference.read(c.offset + at, n)
                pos = f.tell()
                got = f.read(n)
                if got == want:
                    at += n
                    continue
                i = next((j for j in range(min(len(got), len(want))) if got[j] != want[j]),
                         min(len(got), len(want)))
                if c in closed:
                    # The next connection begins where its first bytes are found, at most a frame
                    # marker or so before the first difference: every frame begins alike.
                    head = reference.read(mine[k + 1].offset, min(256, mine[k + 1].received))
                    for j in range(i, max(-1, i - 256), -1):
                        f.seek(pos + j)
                        if f.read(len(head)) == head:
                            unread[c.n] = c.received - (at + j)
                            f.seek(pos + j)
                            break
                    else:
                        mismatch = "connection %d, byte %d of %d, and the next connection does not follow" % (
                            c.n, at + i, c.received)
                else:
                    mismatch = "connection %d, byte %d of %d (forwarded byte %d)" % (c.n, at + i, c.received, pos + i)
                break
            if mismatch:
                break
            if c.unsent and k + 1 < len(mine):
                # The simulator counts the bytes not yet transmitted just before its reset; some of
                # them may still go out in between. Those that arrived come before the next
                # connection's first bytes: they were delivered after all.
                late = reference.read(c.offset + c.received, c.unsent)
                head = reference.read(mine[k + 1].offset, min(256, mine[k + 1].received))
                pos = f.tell()
                got = f.read(len(late) + len(head))
                took = next((j for j in range(len(late), -1, -1)
                             if got[:j] == late[:j] and got[j:j + len(head)] == head), 0)
                c.unsent -= took
                f.seek(pos + took)
        extra = len(f.read(1 << 20)) if mismatch is None else 0
    reference.close()
    delivered = sum(c.received for c in mine) - sum(unread.values())
    report.line("  the simulator delivered %d bytes over %d connections (%d dropped, %d of them in "
                "mid-frame, %d bytes never transmitted)" % (
                    delivered, len(mine), sum(c.how == "dropped" for c in mine),
                    sum(1 for c in mine if c.how == "dropped" and c.cut), sum(c.unsent for c in mine)))
    report.check("forwarded bytes = the bytes the simulator delivered to the monitor, in order"
                 + (" (less %d bytes it never read)" % sum(unread.values()) if unread else ""),
                 mismatch is None and extra == 0 and lengths[0] == delivered,
                 mismatch or ("%d bytes forwarded, %d delivered" % (lengths[0], delivered)
                              if lengths[0] != delivered or extra else ""))

    # What the receiver should make of those bytes, and the frames the simulator generated. With
    # every connection the receiver starts afresh: its ring is emptied and its parsing thread new.
    model = ModelTotals()
    received = {}  # frame number: CRC-32 of the frame as received
    missing_numbers, prev = 0, None
    with open(copy_path, "rb") as f:
        bounds = [0] + restarts + [os.path.getsize(copy_path)]
        for a, b in zip(bounds, bounds[1:]):
            part = sf.ReceiverModel()
            f.seek(a)
            left = [b - a]

            def read(n, left=left):
                data = f.read(min(n, left[0]))
                left[0] -= len(data)
                return data

            for item in sf.scan(read, base=a):
                if isinstance(item, sf.Frame):
                    part.take(item)
                    received[item.counter] = zlib.crc32(item.data)
                    if prev is not None:
                        missing_numbers += max(0, ((item.counter - prev) & 0xFFFFFFFF) - 1)
                    prev = item.counter
            model.add(part)
    model.missing = missing_numbers
    reference = sf.ReferenceStream(args.sim, stream_options(MONITOR_SEED), args.reference_seconds)
    start, end = mine[0].offset, mine[-1].offset + mine[-1].bytes
    ref_frames = [FrameInfo(x) for x in sf.scan(stream_reader(reference, start, end), base=start)
                  if isinstance(x, sf.Frame)]
    reference.close()
    cut = sr.frames_not_sent_whole(mine, ref_frames)
    unsent = sr.frames_in_unsent(mine, ref_frames)
    never_read = set()
    for c in closed:
        lo_byte = c.offset + c.received - unread.get(c.n, 0)
        never_read.update(f.counter for f in ref_frames
                          if f.offset < c.offset + c.received and f.offset + f.size > lo_byte)
    lo, hi = min(received), max(received)
    # A frame cut short at a drop whose successor begins only after its stated length (garbage
    # came first) is taken whole, with a bad checksum: the receiver cannot tell it from a damaged
    # frame. Only frames equal to the frame the simulator made are counted as received.
    genuine = {f.counter for f in ref_frames if received.get(f.counter) == f.crc}
    stumps = len(received) - len(genuine)
    counts, missing = sr.classify_numbers(lo, hi, genuine, {f.counter for f in ref_frames}, cut, unsent, set(),
                                          never_read)
    report.check("connections the monitor gave up itself while the stream ran: %d" % len(closed), not closed,
                 "; ".join("it closed connection %d %.0f s into the run (load average up to %.1f) and "
                           "reconnected: %d bytes delivered were never read" % (
                               c.n, c.t_end - mine[0].t, monitor.load_near(c.t_end), unread.get(c.n, 0))
                           for c in closed))
    report.line("  frame numbers %d to %d: %d received, %d skipped by the simulator, %d cut short at a "
                "drop (or not sent to a peer gone), %d in bytes never transmitted, %d delivered but never "
                "read, %d missing" % (
                    lo, hi, counts["have"], counts["skipped"], counts["cut"], counts["unsent"],
                    counts["unread"], counts["missing"]))
    report.check("every frame the simulator sent whole reached the monitor", counts["missing"] == 0,
                 "missing %s" % missing if missing else "")

    # The counters.
    totals = monitor.totals()
    injected = {k: sum(c.sent[k] for c in mine) for k in sf.Connection.COUNT_KEYS}
    cuts = sum(1 for c in mine if c.cut)
    lost = counts["unsent"]
    report.line("  injected (simulator log, frames sent whole): %d frames, %d bad checksums, %d unknown "
                "tags, %d damaged (either or both), %d skipped, %d garbage bursts (%d bytes); %d frames "
                "cut short" % (injected["sent-frames"], injected["bad-checksums"], injected["unknown-tags"],
                               injected["damaged"], injected["skipped"], injected["garbage-bursts"],
                               injected["garbage-bytes"], cuts))
    status_time, live = monitor.status_before(sim_stop_time) or (None, (None,) * 5)

    def counter(name, program, expected, rule):
        if closed:
            # Giving a link up empties the receiver's ring: what it held is not in the forwarded
            # bytes' account, so the figures are shown, not compared.
            report.line("  %s: program %s, about %s expected (not compared after a link was given up)"
                        % (name, program, expected))
        else:
            report.check("%s: program %s, expected %s" % (name, program, expected), program == expected, rule)

    # Frames sent whole that could not be received: in untransmitted bytes, or never read.
    lost += counts["unread"]
    lost_damaged = sum(1 for f in ref_frames if (f.counter in unsent or f.counter in never_read) and f.damaged)
    want_frames = injected["sent-frames"] - lost + stumps
    want_damaged = injected["damaged"] - lost_damaged + stumps
    report.check("the simulator's log agrees with the stream received: %d frames = %d sent whole - %d "
                 "not received + %d cut short and taken whole, %d damaged = %d - %d + %d; %d missing numbers "
                 "= %d skipped + %d cut + %d not received - %d" % (
                     model.frames, injected["sent-frames"], lost, stumps, model.checksum_errors,
                     injected["damaged"], lost_damaged, stumps, model.missing, counts["skipped"], counts["cut"],
                     lost, stumps),
                 model.frames == want_frames and model.checksum_errors == want_damaged
                 and model.missing == counts["skipped"] + counts["cut"] + lost - stumps)
    counter("Total frames", totals.get("Total frames"), want_frames,
            "frames the simulator sent whole, less those in untransmitted bytes, plus frames cut short "
            "at a drop and taken whole (%d)" % stumps)
    counter("Checksum errors", totals.get("Checksum errors"), want_damaged,
            "damaged frames the simulator sent whole (a bad checksum, an unknown tag or both count "
            "once), less those in untransmitted bytes, plus frames cut short and taken whole (%d)" % stumps)
    counter("Inconsistent frames", totals.get("Inconsistent frames"), model.inconsistent,
            "%d jumps in the frame numbers received, less %d within the receiver's first 251 frames%s"
            % (model.breaks, model.breaks - model.inconsistent,
               " (after each of its %d starts)" % model.starts if model.starts > 1 else ""))
    # Each connection after the first was made again by the monitor, counted before it connects:
    # those accepted before the counters were printed, and perhaps the one accepted just after.
    made = sum(1 for c in mine[1:] if status_time is not None and c.t < status_time)
    straddles = any(status_time is not None and status_time <= c.t < status_time + 1.0 for c in mine[1:])
    want = "%d" % made + (" or %d" % (made + 1) if straddles else "")
    report.check("Reconnects while the stream ran: program %s, expected %s" % (live[3], want),
                 live[3] is not None and made <= live[3] <= made + straddles,
                 "one for each connection the simulator dropped and the monitor made again; the "
                 "automatic reconnect after four close inconsistent frames never triggers with these periods")
    # A drop is counted when the monitor notices the end, just after the simulator logs it.
    ended = sum(1 for c in mine if status_time is not None and c.t_end < status_time - 1.0)
    near = sum(1 for c in mine if status_time is not None and abs(c.t_end - status_time) <= 1.0)
    want = "%d" % ended + (" to %d" % (ended + near) if near else "")
    report.check("Link drops while the stream ran: program %s, expected %s" % (live[4], want),
                 live[4] is not None and ended <= live[4] <= ended + near,
                 "one for each connection that ended: dropped by the simulator or given up by the monitor")
    report.check("Reconnects at the end: program %s, expected %d" % (totals.get("Reconnects"), len(mine) - 1),
                 totals.get("Reconnects") == len(mine) - 1,
                 "every connection but the first was made again; the attempts after the simulator "
                 "was stopped failed and are not counted")
    report.check("Link drops at the end: program %s, expected %d" % (totals.get("Link drops"), len(mine)),
                 totals.get("Link drops") == len(mine),
                 "every connection was lost, the last one when the simulator was stopped; the "
                 "monitor's own closing is no drop")
    if "Frames not shown (window behind)" in totals:
        report.line("  frames not shown (window behind, not a loss): %d" % totals["Frames not shown (window behind)"])

    # Memory, and how busy the machine was (a starved receiver gives links up).
    loads = [load for _, load in monitor.load]
    if loads:
        report.line("  machine load average (1 min) while the monitor ran: mean %.1f, highest %.1f, on %d processors"
                    % (sum(loads) / len(loads), max(loads), os.cpu_count() or 0))
    slope, pts = rss_slope(monitor.rss)
    if slope is None:
        report.check("resident memory flat after the first minute", False, "too few samples (%d)" % len(pts))
    else:
        report.line("  resident memory: %d KiB at 1 min, %d KiB at the end, %d samples" %
                    (pts[0][1], pts[-1][1], len(monitor.rss)))
        report.check("resident memory flat after the first minute: least-squares slope %.1f KiB/min "
                     "(limit %.0f)" % (slope, RSS_LIMIT_KIB_PER_MIN), slope <= RSS_LIMIT_KIB_PER_MIN)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("minutes", nargs="?", type=float, default=30.0)
    ap.add_argument("--results", help="folder for the summary and the logs (default: a new temporary folder)")
    ap.add_argument("--build-dir", default=os.environ.get("VINTREL_BUILD_DIR", "build"))
    ap.add_argument("--record-seconds", type=int, default=8, help="length of each recording (default 8)")
    ap.add_argument("--keep", action="store_true", help="keep the runs' files and the forwarded copy")
    args = ap.parse_args()
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    build = os.path.join(root, args.build_dir)
    args.sim = os.path.join(build, "sim", "vintrel-sim")
    args.cli = os.path.join(build, "cli", "vintrel-cli")
    for prog in (args.sim, args.cli):
        if not os.access(prog, os.X_OK):
            sys.exit("soak: %s is missing (build first)" % prog)
    if args.minutes <= 0 or args.record_seconds < 2:
        sys.exit("soak: MINUTES above 0 and --record-seconds of 2 or more, please")
    args.reference_seconds = int(args.minutes * 60 * 2 + 600)
    results = os.path.abspath(args.results) if args.results else tempfile.mkdtemp(prefix="vintrel-soak-")
    os.makedirs(results, exist_ok=True)
    record_dir = os.path.join(results, "record")
    os.makedirs(record_dir, exist_ok=True)
    copy_path = os.path.join(results, "forwarded-1.bin")

    report = Report()
    began = time.monotonic()
    report.line("Vintrel soak test: %.1f min, results in %s" % (args.minutes, results))
    report.line("Stream: new protocol, \"%s\", five channels; damage: %s; connections reset every %.1f s "
                "of stream in the middle of a frame" % (FORMAT, " ".join(DAMAGE), DROP_SECONDS))
    report.line("Programs: %s, %s" % (args.cli, args.sim))
    print("soak: %.1f minutes, results in %s" % (args.minutes, results), flush=True)

    procs = []
    try:
        rec_sim = Simulator(args.sim, RECORD_SEED, results, "sim-record")
        procs.append(rec_sim.proc)
        mon_sim = Simulator(args.sim, MONITOR_SEED, results, "sim-monitor")
        procs.append(mon_sim.proc)
        holder = Holder(mon_sim.address)
        holder.start()
        for _ in range(50):
            if mon_sim.connections()[0]:
                break
            time.sleep(0.02)
        monitor = Monitor(args.cli, mon_sim.address, results)
        procs.append(monitor.proc)
        clients = [ForwardClient(monitor.forward_port, copy_path if i == 0 else None)
                   for i in range(FORWARD_CLIENTS)]
        for c in clients:
            c.start()
        time.sleep(0.6)  # the forwarding server accepts within 200 ms
        holder.released_at = time.monotonic()
        holder.release.set()
        holder.join(5)
        deadline = time.monotonic() + args.minutes * 60

        reference = sf.ReferenceStream(args.sim, stream_options(RECORD_SEED), args.reference_seconds)
        runs = record_loop(args, rec_sim, reference, record_dir, report, deadline)
        reference.close()
        while time.monotonic() < deadline:
            time.sleep(min(1.0, deadline - time.monotonic()))

        # The end: the monitor's target stops first, so that everything the monitor received is
        # forwarded before the monitor itself is stopped.
        sim_stop_time = time.monotonic()
        mon_sim.stop()
        quiet_since = time.monotonic()
        last = sum(c.length for c in clients)
        while time.monotonic() - quiet_since < QUIET_SECONDS and time.monotonic() - sim_stop_time < STOP_TIMEOUT:
            time.sleep(0.2)
            now = sum(c.length for c in clients)
            if now != last:
                last, quiet_since = now, time.monotonic()
        monitor.stop()
        for c in clients:
            c.join(STOP_TIMEOUT)
        rec_sim.stop()

        report.line()
        report.check("record simulator ended on SIGTERM with exit status 0", rec_sim.exit == 0, exit_text(rec_sim.exit))
        report.check("monitor simulator ended on SIGTERM with exit status 0", mon_sim.exit == 0, exit_text(mon_sim.exit))
        report.check("the forwarding clients saw the end of the stream", not any(c.is_alive() for c in clients))
        report.line()
        summarise_runs(runs, report)
        report.line()
        check_monitor(args, monitor, mon_sim, clients, holder, copy_path, sim_stop_time, report)
    except Exception as e:  # noqa: BLE001 - any failure of the harness is a failed soak
        traceback.print_exc()
        report.check("soak harness", False, "%s: %s" % (type(e).__name__, e))
    finally:
        for p in procs:
            if p.poll() is None:
                p.kill()
                p.wait()
        report.line()
        report.line(RULES)
        report.line()
        report.line("Took %.1f min. %s: %d checks, %d failed." % (
            (time.monotonic() - began) / 60, "PASS" if not report.failures else "FAIL", report.checks,
            len(report.failures)))
        for f in report.failures:
            report.line("  failed: " + f)
        text = "\n".join(report.lines) + "\n"
        with open(os.path.join(results, "soak-summary.txt"), "w") as f:
            f.write(text)
        print()
        print(text, end="")
        print("Summary written to %s" % os.path.join(results, "soak-summary.txt"))
        if not report.failures and not args.keep and os.path.exists(copy_path):
            os.remove(copy_path)
    sys.exit(1 if report.failures else 0)


if __name__ == "__main__":
    main()
