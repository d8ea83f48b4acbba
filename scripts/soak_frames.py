"""New-protocol frames read straight from stream bytes, for the soak test's checks.

Written from the frame layout (stream/FrameLayout.h, sim/FrameEncoder.h), not from the
receiver's code: a frame is the marker FFFF FFFF EEEE EEEE, the 32-bit counter (words 4-5), its
length in bytes (word 6), a reserved word, chunks from word 8 on, and the checksum word, which
is the exclusive-or of every word before it. Little-endian words only (the simulator's default).

Three rules of the receiver that the README states are followed, so that the frames found here
are the frames the receiver should find:
- a marker whose length word cannot be a frame (below 18 bytes, or odd) is not a frame start;
- a frame that fails its checksum and contains the start of another frame was cut short: the
  stump is dropped and the next frame taken. The other frame may start anywhere behind the
  stump's first byte, its marker and length word may run past the stump's stated length;
- a frame with a tag the decoder cannot take (see bad_tag) is counted with the checksum errors
  (once, whatever else is wrong with it) and is not written to the raw record, whatever its
  checksum.
"""

import struct
import subprocess

MARKER = b"\xff\xff\xff\xff\xee\xee\xee\xee"
HEADER_BYTES = 16
LENGTH_END = 14  # bytes from a marker's start up to the end of its length word
MIN_FRAME_BYTES = 18

TAG_TARGET_INFO = 0x8001
TAG_MIPS = 0x8002
TAG_PROFILE = 0x8003
UNREPORTED_FRAMES = 250  # the receiver checks frame numbers only after this many frames


def xor_words(data, end=None):
    """Exclusive-or of the little-endian 16-bit words of data[:end] (an even number of bytes)."""
    if end is None:
        end = len(data)
    value = int.from_bytes(data[:end], "little")
    words = end // 2
    # Folding the number in halves at a word boundary keeps the exclusive-or of its words.
    while words > 1:
        half = (words + 1) // 2
        value = (value & ((1 << (16 * half)) - 1)) ^ (value >> (16 * half))
        words = half
    return value & 0xFFFF


def checksum_ok(frame):
    return xor_words(frame, len(frame) - 2) == struct.unpack_from("<H", frame, len(frame) - 2)[0]


def frame_counter(frame):
    lo, hi = struct.unpack_from("<HH", frame, 8)
    return lo | hi << 16


def frame_length_at(buf, at):
    return buf[at + 12] | buf[at + 13] << 8


def plausible_length(length):
    return length >= MIN_FRAME_BYTES and length % 2 == 0


def bad_tag(frame):
    """True when the receiver's decoder meets a chunk it cannot take, walking from word 8 to the
    checksum word: a raw or amplitude tag (below 0x1100) whose low byte has not exactly one bit
    set, a chunk that runs into the checksum word, or a tag above 0x7FFF other than target
    information, MIPS and profile. A tag from 0x2100 to 0x7FFF ends the walk without a fault, and
    so does a raw-sample chunk (0x0100-0x08FF) that runs into the checksum word: it is taken
    bounded to the frame and counted as malformed."""
    w = struct.unpack_from("<%dH" % (len(frame) // 2), frame)
    last = len(w) - 1
    i = 8
    while i < last:
        tag, length = w[i], w[i + 1]
        if tag < 0x0900 or tag == TAG_PROFILE:
            size = 4 + length
        elif tag <= 0x20FF or tag in (TAG_TARGET_INFO, TAG_MIPS):
            size = 4
        else:
            size = 0
        fits = size == 0 or i + size <= last
        if tag < 0x1100:
            low = tag & 0xFF
            if low == 0 or low & (low - 1):
                return True
            if not fits:
                return not 0x0100 <= tag <= 0x08FF
        elif not fits:
            return True
        elif tag <= 0x7FFF and not 0x11 <= tag >> 8 <= 0x20:
            return False
        elif tag > 0x7FFF and tag not in (TAG_TARGET_INFO, TAG_MIPS, TAG_PROFILE):
            return True
        i += size
    return False


class Frame:
    """One frame found in a stream. garbage_before counts the bytes skipped between the end of
    the previous frame (or stump) and this frame's marker."""

    __slots__ = ("offset", "data", "garbage_before", "_checksum_ok", "_bad_tag")

    def __init__(self, offset, data, garbage_before, good=None):
        self.offset = offset
        self.data = data
        self.garbage_before = garbage_before
        self._checksum_ok = good
        self._bad_tag = None

    @property
    def counter(self):
        return frame_counter(self.data)

    @property
    def size(self):
        return len(self.data)

    @property
    def checksum_ok(self):
        if self._checksum_ok is None:
            self._checksum_ok = checksum_ok(self.data)
        return self._checksum_ok

    @property
    def bad_tag(self):
        if self._bad_tag is None:
            self._bad_tag = bad_tag(self.data)
        return self._bad_tag

    @property
    def damaged(self):
        """Counted by the receiver as a checksum error (a bad checksum, a bad tag or both)."""
        return not self.checksum_ok or self.bad_tag

    @property
    def recorded(self):
        """Written to the raw record: every frame without a bad tag."""
        return not self.bad_tag


class Stump:
    """The start of a frame that was cut short by the start of another one."""

    __slots__ = ("offset", "data", "garbage_before")

    def __init__(self, offset, data, garbage_before):
        self.offset = offset
        self.data = data
        self.garbage_before = garbage_before


class Tail:
    """Bytes at the end of the stream that do not make a whole frame."""

    __slots__ = ("offset", "size")

    def __init__(self, offset, size):
        self.offset = offset
        self.size = size


class NeedMore(Exception):
    """The bytes there are do not decide yet."""


def _inner_frame_start(buf, start, length, at_end):
    """Offset in buf of a frame start behind buf[start] and before buf[start + length], or -1.
    The candidate's marker and length word may run past `length`; NeedMore when they have not
    all arrived yet (at_end: nothing more comes, so no frame can start there)."""
    end = start + length
    at = start + 1
    while True:
        found = buf.find(MARKER, at, min(end - 1 + len(MARKER), len(buf)))
        if found < 0:
            break
        if len(buf) - found >= LENGTH_END:
            if plausible_length(frame_length_at(buf, found)):
                return found
        elif not at_end:
            raise NeedMore
        at = found + 1
    # A marker begun in the last bytes there are.
    for p in range(max(at, len(buf) - len(MARKER) + 1), min(end, len(buf))):
        if buf[p:] == MARKER[:len(buf) - p] and not at_end:
            raise NeedMore
    return -1


def scan(read, chunk_bytes=1 << 20, base=0):
    """Frames, stumps and the tail of a byte stream, in stream order. `read(n)` returns up to n
    bytes, b"" at the end (a file's or pipe's read); `base` is the offset of the first byte."""
    buf = bytearray()
    pos = 0  # next byte of buf to look at
    garbage = 0
    eof = False

    def fill():
        nonlocal buf, base, pos, eof
        if pos > chunk_bytes:
            del buf[:pos]
            base += pos
            pos = 0
        more = read(chunk_bytes)
        if more:
            buf += more
        else:
            eof = True

    while True:
        at = buf.find(MARKER, pos)
        if at < 0 or at + HEADER_BYTES > len(buf):
            if eof:
                break
            if at < 0:
                # Keep what could be the beginning of a marker.
                keep = max(pos, len(buf) - len(MARKER) + 1)
                garbage += keep - pos
                pos = keep
            fill()
            continue
        length = frame_length_at(buf, at)
        if not plausible_length(length):
            garbage += at + 1 - pos
            pos = at + 1
            continue
        if at + length > len(buf):
            if eof:
                break
            fill()
            continue
        garbage += at - pos
        frame = bytes(buf[at:at + length])
        good = checksum_ok(frame)
        if not good:
            try:
                inner = _inner_frame_start(buf, at, length, eof)
            except NeedMore:
                garbage -= at - pos
                fill()
                continue
            if inner >= 0:
                yield Stump(base + at, bytes(buf[at:inner]), garbage)
                garbage = 0
                pos = inner
                continue
        yield Frame(base + at, frame, garbage, good)
        garbage = 0
        pos = at + length
    if len(buf) > pos or garbage:
        yield Tail(base + pos - garbage, len(buf) - pos + garbage)


def scan_bytes(data, base=0):
    """scan() of bytes held in memory."""
    view = memoryview(data)
    state = {"at": 0}

    def read(n):
        chunk = view[state["at"]:state["at"] + n]
        state["at"] += len(chunk)
        return bytes(chunk)

    return scan(read, base=base)


def scan_file(path):
    with open(path, "rb") as f:
        yield from scan(f.read)


def read_frames(path):
    """Every whole frame of a file, for files that hold nothing else (a raw record)."""
    return [item for item in scan_file(path) if isinstance(item, Frame)]


class ReceiverModel:
    """What the receiver should count over the frames it takes, in order, from one start of
    its parsing thread: every frame; checksum errors (a bad checksum, an unknown tag or both,
    once per frame); inconsistent frames (a frame whose number is not one more than the
    previous frame's, in the low 16 bits, counted only after the first 251 frames); and the
    automatic reconnects that a run of more than three inconsistent frames, each within 125
    frames of the one before, would make."""

    CLOSE_RUN_FRAMES = 125
    RUN_THRESHOLD = 3

    def __init__(self):
        self.frames = 0
        self.checksum_errors = 0
        self.inconsistent = 0
        self.breaks = 0  # every jump in the numbers, the first 251 frames included
        self.auto_reconnects = 0
        self.prev = 0
        self._run = 0
        self._first_faulty = 0

    def take(self, frame):
        counter = frame.counter
        if self.frames > 0 and (counter - self.prev) & 0xFFFFFFFF != 1:
            self.breaks += 1
        if self.frames > UNREPORTED_FRAMES and ((counter - self.prev) & 0xFFFF) > 1:
            self.inconsistent += 1
            delta = self.frames - self._first_faulty if self._run > 0 else 0
            self._first_faulty = self.frames
            if delta > self.CLOSE_RUN_FRAMES:
                self._run = 0
            self._run += 1
            if self._run > self.RUN_THRESHOLD:
                self._run = 0
                self.auto_reconnects += 1
        self.prev = counter
        self.frames += 1
        if frame.damaged:
            self.checksum_errors += 1


class ReferenceStream:
    """The simulator's own stream for the same options, generated as it is read: the bytes a
    --listen simulator with the same seed and damage sends, at their offsets in the stream (with
    --drop-connection-after the stream goes on across connections, so one reference covers
    them all). Read forwards only: bytes before the last offset asked for are let go."""

    def __init__(self, sim, stream_options, seconds):
        self.proc = subprocess.Popen(
            [sim, "--output", "-", "--seconds", str(seconds)] + list(stream_options),
            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self._buf = bytearray()
        self._base = 0

    def read(self, offset, size):
        """size bytes from stream offset `offset` (fewer at the end of the stream)."""
        if offset < self._base:
            raise ValueError("reference offset %d was already let go" % offset)
        drop = offset - self._base
        if drop <= len(self._buf):
            del self._buf[:drop]
        else:
            skip = drop - len(self._buf)
            self._buf.clear()
            while skip > 0:
                more = self.proc.stdout.read(min(skip, 1 << 20))
                if not more:
                    break
                skip -= len(more)
        self._base = offset
        while len(self._buf) < size:
            more = self.proc.stdout.read(max(1 << 20, size - len(self._buf)))
            if not more:
                break
            self._buf += more
        return bytes(self._buf[:size])

    def close(self):
        """Stops the generator and returns its summary line (standard error)."""
        self.proc.stdout.close()
        try:
            self.proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        return self.proc.stderr.read().decode(errors="replace").strip()


class Connection:
    """One connection as the simulator's --log tells it: `connect` and `end` lines merged.
    offset: where its bytes begin in the generated stream; bytes: how many went out; cut: how
    many of those belong to a frame that went out only in part (the last one); unsent: bytes
    that were never transmitted when a dropped connection was reset, so never received;
    frame: the number of the first frame generated for it; sent: the damage of the frames sent
    whole (sent-frames, bad-checksums, skipped, garbage-bursts, garbage-bytes, unknown-tags,
    damaged)."""

    COUNT_KEYS = ("sent-frames", "bad-checksums", "skipped", "garbage-bursts", "garbage-bytes",
                  "unknown-tags", "damaged")

    def __init__(self, fields):
        self.n = int(fields["n"])
        self.t = float(fields["t"])
        self.peer = fields["peer"]
        self.frame = int(fields["frame"])
        self.offset = int(fields["offset"])
        self.ended = False
        self.t_end = None
        self.frames = self.bytes = self.cut = self.unacked = self.unsent = 0
        self.how = None
        self.sent = {}

    def end(self, fields):
        self.ended = True
        self.t_end = float(fields["t"])
        for key in ("frames", "bytes", "cut", "unacked", "unsent"):
            setattr(self, key, int(fields[key]))
        self.how = fields["how"]
        self.sent = {key: int(fields[key]) for key in self.COUNT_KEYS}

    @property
    def received(self):
        """Bytes the peer got: all that went out but what was never transmitted."""
        return self.bytes - self.unsent


def read_sim_log(path):
    """The connections of a simulator log, in order, and its total line's fields (or None)."""
    conns, total = {}, None
    try:
        with open(path) as f:
            lines = f.read().splitlines()
    except FileNotFoundError:
        return [], None
    for line in lines:
        words = line.split()
        if not words:
            continue
        fields = dict(w.split("=", 1) for w in words[1:] if "=" in w)
        if words[0] == "connect":
            conns[int(fields["n"])] = Connection(fields)
        elif words[0] == "end" and int(fields["n"]) in conns:
            conns[int(fields["n"])].end(fields)
        elif words[0] == "total":
            total = fields
    return [conns[n] for n in sorted(conns)], total
