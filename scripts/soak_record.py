"""Checks of one `vintrel-cli record` run for the soak test: the raw record against the frames the
simulator sent, the recorder's counters against what it was sent, and every WAV file, read with
Python's wave module, against the frames of the raw record.

The WAV files are predicted from the record parser's rules as the README and the parser's own
comments state them: from the first frame, each chunk goes into the file of its tag (samples of
a raw chunk; the value of a four-word chunk repeated for the length of a sample block, MIPS scaled
to 32767 of its maximum); a frame that lacks a chunk gets a block of silence in that file; a
break in the frame numbers adds 250 blocks of silence to every file and starts a new fragment; a
frame with a tag outside the record's tag set is damage: what came before the tag stays, the
files are aligned, and the parse goes on at the next frame without looking at the numbers. The
tag set is learned from the frame one second into the record.
"""

import array
import os
import wave

import soak_frames as sf

GAP_BLOCKS = 250
DIAG_NAMES = ("ND_TX", "ND_RX", "VAD_TX", "VAD_RX", "NRG_TX", "NRG_RX", "AGCG_TXOUT", "AGCG_RXOUT")


def tag_name(tag):
    """The channel part of a WAV file's name for a tag ("Raw_TXIN1", "Ampl_RXOUT1", "VAD_TX1", "MIPS")."""
    if tag == sf.TAG_MIPS:
        return "MIPS"
    low = tag & 0xFF
    bit = low.bit_length() - 1 if low and low & (low - 1) == 0 else -1
    hi = tag >> 8
    if 0x11 <= hi <= 0x18:
        return "%s%d" % (DIAG_NAMES[hi - 0x11], bit + 1)
    if tag <= 0x08FF:
        prefix, raw = "Raw_", tag
    elif 0x0900 <= tag <= 0x10FE:
        prefix, raw = "Ampl_", tag - 0x0800
    elif 0x1900 <= tag <= 0x20FE:
        prefix, raw = "Clip_", tag - 0x1800
    else:
        return None
    group = raw >> 8
    if 1 <= group <= 4:
        return "%sTXIN%d" % (prefix, (group - 1) * 8 + bit + 1)
    names = {5: "RXIN", 6: "TXOUT", 7: "RXOUT"}
    return "%s%s%d" % (prefix, names.get(group, "REF"), bit + 1)


def _words(frame):
    return array.array("H", frame.data)


def _s16(w):
    return w - 0x10000 if w & 0x8000 else w


def _trunc_div(a, b):
    q = abs(a) // abs(b)
    return q if (a >= 0) == (b > 0) else -q


def record_tags(frame):
    """The tags the parser makes files for, learned from one frame; None for a frame it refuses."""
    w = _words(frame)
    last = len(w) - 1
    tags, i = [], 8
    while i < last:
        tag = w[i]
        if tag >> 8 <= 0x20:
            low = tag & 0xFF
            if tag < 0x100 or bin(low).count("1") != 1:
                return None
            if tag not in tags:
                tags.append(tag)
            i += 4 + (w[i + 1] if tag < 0x900 else 0)
        elif tag == sf.TAG_TARGET_INFO:
            i += 4
        elif tag == sf.TAG_MIPS:
            if tag not in tags:
                tags.append(tag)
            i += 4
        elif tag == sf.TAG_PROFILE:
            i += w[i + 1] + 4
        else:
            return None
    return tags


class ParseModel:
    """The WAV files (samples per tag), fragments, checksum errors and frames the parser should
    produce from the frames of a raw record."""

    def __init__(self, frames, block_samples, frames_per_second):
        self.tags = None
        self.samples = {}
        self.fragments = 0
        self.checksum_errors = 0
        self.frames = 0
        self.damaged = []  # numbers of frames the parser meets as damage
        self.gaps = 0
        if len(frames) <= frames_per_second:
            return
        self.tags = record_tags(frames[frames_per_second])
        if not self.tags:
            return
        files = {tag: array.array("h") for tag in self.tags}
        counts = {tag: 0 for tag in self.tags}
        datalen = 0  # samples of the last raw chunk
        fragment_frames = 0
        for k, frame in enumerate(frames):
            w = _words(frame)
            cs_at = len(w) - 1
            damage = False
            c = 8
            while c < cs_at:
                tag = w[c]
                if tag == sf.TAG_PROFILE:
                    c += w[c + 1] + 4
                    continue
                if tag == sf.TAG_TARGET_INFO:
                    c += 4
                    continue
                if tag not in files:
                    damage = True
                    break
                if tag < 0x8FF:
                    n = w[c + 1]
                    files[tag].extend(_s16(x) for x in w[c + 4:c + 4 + n])
                    datalen = n
                    c += 4 + n
                else:
                    w1, v = _s16(w[c + 1]), _s16(w[c + 2])
                    value = _trunc_div(v * 32767, w1) if tag == sf.TAG_MIPS and w1 > 0 else v
                    if datalen == 0:
                        datalen = block_samples
                    files[tag].extend([value] * datalen)
                    c += 4
                counts[tag] += 1
            if not damage and not frame.checksum_ok:
                self.checksum_errors += 1
            ahead = max(counts.values())
            for tag in files:
                while counts[tag] < ahead:
                    files[tag].extend([0] * datalen)
                    counts[tag] += 1
            if damage:
                self.damaged.append(frame.counter)
                if k + 1 == len(frames) and fragment_frames == 0:
                    self.fragments -= 1  # no next frame: the fragment counts only if it has frames
                continue  # on at the next marker, without a look at the numbers
            fragment_frames += 1
            if k + 1 < len(frames) and frames[k + 1].counter != (frame.counter + 1) & 0xFFFFFFFF:
                self.fragments += 1
                self.gaps += 1
                fragment_frames = 0
                for tag in files:
                    files[tag].extend([0] * (GAP_BLOCKS * datalen))
        self.fragments += 1
        self.frames = max(counts.values())
        self.samples = files


def read_wav(path):
    """(sample rate, samples) of a 16-bit mono WAV file, read with the wave module."""
    with wave.open(path, "rb") as w:
        if w.getnchannels() != 1 or w.getsampwidth() != 2:
            raise ValueError("%s: %d channels of %d bytes, not 16-bit mono" %
                             (path, w.getnchannels(), w.getsampwidth()))
        data = array.array("h", w.readframes(w.getnframes()))
        return w.getframerate(), data


def compare_wav_files(model, folder, base, sample_rate):
    """Problems found comparing the WAV files of a record with the model (empty: all equal),
    and the number of samples compared."""
    problems, compared, lengths = [], 0, set()
    expected_names = set()
    for tag in model.tags or []:
        name = "%s-%s.wav" % (base, tag_name(tag))
        expected_names.add(name)
        path = os.path.join(folder, name)
        if not os.path.exists(path):
            problems.append("%s is missing" % name)
            continue
        try:
            rate, got = read_wav(path)
        except (OSError, EOFError, ValueError, wave.Error) as e:
            problems.append("%s cannot be read: %s" % (name, e))
            continue
        want = model.samples[tag]
        lengths.add(len(got))
        compared += len(got)
        if rate != sample_rate:
            problems.append("%s: %d samples/s, not %d" % (name, rate, sample_rate))
        if got != want:
            first = next((i for i in range(min(len(got), len(want))) if got[i] != want[i]),
                         min(len(got), len(want)))
            problems.append("%s: %d samples, %d expected; first difference at sample %d" %
                            (name, len(got), len(want), first))
    extra = sorted(n for n in os.listdir(folder)
                   if n.endswith(".wav") and n.startswith(base + "-") and n not in expected_names)
    if extra:
        problems.append("WAV files without a tag in the record: " + ", ".join(extra))
    if len(lengths) > 1:
        problems.append("the WAV files differ in length: %s samples" % sorted(lengths))
    return problems, compared


def parse_record_output(text):
    """The figures `vintrel-cli record` prints: the live counters first, then the parse's."""
    live, parse = {}, {}
    status = None
    in_parse = False
    for line in text.splitlines():
        if line.startswith("Inconsistencies (fragments):"):
            in_parse = True
        if ":" in line and not line.startswith(" "):
            key, _, value = line.partition(":")
            value = value.strip()
            if value.lstrip("-").isdigit():
                (parse if in_parse else live)[key] = int(value)
                continue
        if "consistent fragment(s)" in line:
            status = line.strip()
            words = status.split()
            parse["fragments"] = int(words[0])
            parse["valid frames"] = int(words[words.index("total") + 1].replace("valid", ""))
    return live, parse, status


def classify_numbers(lo, hi, have, reference, cut, lost_unsent, not_recorded, unread=frozenset()):
    """Counts of what became of every frame number from lo to hi: 'have' (in the set looked at),
    'skipped' (never sent), 'cut' (cut short at a dropped connection), 'unsent' (in bytes never
    transmitted before a reset), 'not recorded' (an unknown tag: left out by design), 'unread'
    (delivered on a connection the receiver gave up itself, and never read), and 'missing' (sent
    whole and not there: a loss), with the first few missing numbers."""
    counts = {"have": 0, "skipped": 0, "cut": 0, "unsent": 0, "not recorded": 0, "unread": 0, "missing": 0}
    missing = []
    for n in range(lo, hi + 1):
        if n in have:
            counts["have"] += 1
        elif n not in reference:
            counts["skipped"] += 1
        elif n in cut:
            counts["cut"] += 1
        elif n in lost_unsent:
            counts["unsent"] += 1
        elif n in not_recorded:
            counts["not recorded"] += 1
        elif n in unread:
            counts["unread"] += 1
        else:
            counts["missing"] += 1
            if len(missing) < 10:
                missing.append(n)
    return counts, missing


def frames_not_sent_whole(conns, ref_frames):
    """Numbers of the frames generated for a connection that did not all go out: the frame cut
    short when a connection was dropped in mid-frame, or the frame whose write found the peer gone."""
    out = set()
    by_number = {f.counter: f for f in ref_frames}
    for c in conns:
        for n in range(c.frame, c.frame + c.frames):
            f = by_number.get(n)
            if f is not None and f.offset + f.size > c.offset + c.bytes:
                out.add(n)
    return out


def frames_in_unsent(conns, ref_frames):
    """Numbers of the reference frames that lie (in part) in bytes a reset left untransmitted."""
    lost = set()
    for c in conns:
        if c.unsent:
            lo, hi = c.offset + c.received, c.offset + c.bytes
            lost.update(f.counter for f in ref_frames if f.offset < hi and f.offset + f.size > lo)
    return lost


def settle_unsent(conns, ref_bytes, start, dump):
    """The simulator counts the bytes not yet transmitted just before it resets a connection; some
    of them may still go out in between. `dump` holds every byte the receiver read, in order: the
    bytes of the reset connection found there before the next connection's first bytes arrived
    after all, and are moved from unsent to received. `ref_bytes` is the stream from `start` on."""
    pos = 0
    for k, c in enumerate(conns):
        body = ref_bytes[c.offset - start:c.offset - start + c.received]
        if dump[pos:pos + len(body)] != body:
            return  # the dump does not follow the log: leave the log as it is
        pos += len(body)
        if c.unsent and k + 1 < len(conns):
            late = ref_bytes[c.offset - start + c.received:c.offset - start + c.bytes]
            nxt = conns[k + 1]
            head = ref_bytes[nxt.offset - start:nxt.offset - start + min(256, nxt.received)]
            took = next((j for j in range(len(late), -1, -1)
                         if dump[pos:pos + j] == late[:j] and dump[pos + j:pos + j + len(head)] == head), 0)
            c.unsent -= took
            pos += took


def check_record_run(seconds, conns, reference, folder, base, output, fmt):
    """Checks one finished record run of `seconds`. `conns`: its connections from the simulator's log;
    `reference`: the simulator's stream; `output`: the program's standard output. Returns
    (problems, figures)."""
    problems, fig = [], {}
    live, parse, status = parse_record_output(output)
    fig["status"] = status
    start = conns[0].offset
    end = conns[-1].offset + conns[-1].bytes
    ref_bytes = reference.read(start, end - start)
    if len(ref_bytes) != end - start:
        return ["the reference stream ended early"], fig
    dump_path = os.path.join(folder, "ROtemp.$$$.bin")
    if os.path.exists(dump_path):
        with open(dump_path, "rb") as f:
            settle_unsent(conns, ref_bytes, start, f.read())
    ref_frames = [x for x in sf.scan_bytes(ref_bytes, start) if isinstance(x, sf.Frame)]
    # The receiver starts afresh on every connection (its ring emptied, its parsing thread new):
    # each connection's bytes are scanned on their own, and a frame cut short at a drop is lost.
    segments = [[x for x in sf.scan_bytes(ref_bytes[c.offset - start:c.offset - start + c.received])
                 if isinstance(x, sf.Frame)] for c in conns]
    rx = [f for seg in segments for f in seg]
    index = {f.counter: i for i, f in enumerate(rx)}

    raw_path = os.path.join(folder, "temp.$$$")
    if not os.path.exists(raw_path):
        return problems + ["the raw record temp.$$$ was not kept"], fig
    raw_items = list(sf.scan_file(raw_path))
    raw = [x for x in raw_items if isinstance(x, sf.Frame)]
    fig["recorded"] = len(raw)
    if len(raw) != len(raw_items) or any(f.garbage_before for f in raw):
        problems.append("the raw record holds bytes that are not whole frames")
    if not raw:
        return problems + ["the raw record is empty"], fig
    first, last = index.get(raw[0].counter), index.get(raw[-1].counter)
    if first is None or last is None:
        return problems + ["the raw record's frames %d..%d were not sent in this run" %
                           (raw[0].counter, raw[-1].counter)], fig
    window = rx[first:last + 1]
    expected_raw = [f for f in window if f.recorded]
    fig["before recording"] = first
    if [f.data for f in raw] != [f.data for f in expected_raw]:
        diff = next((i for i, (a, b) in enumerate(zip(raw, expected_raw)) if a.data != b.data),
                    min(len(raw), len(expected_raw)))
        problems.append("raw record: %d frames, %d expected between frames %d and %d; first "
                        "difference at record frame %d" % (len(raw), len(expected_raw),
                                                           raw[0].counter, raw[-1].counter, diff))

    # Frame numbers of the recorded span: each one recorded, or why not. A frame recorded that
    # is not the frame the simulator made counts as cut.
    cut = frames_not_sent_whole(conns, ref_frames)
    made = {f.counter: f.data for f in ref_frames}
    genuine = {f.counter for f in raw if made.get(f.counter) == f.data}
    fig["cut frames recorded"] = len(raw) - len(genuine)
    counts, missing = classify_numbers(
        raw[0].counter, raw[-1].counter, genuine,
        {f.counter for f in ref_frames}, cut, frames_in_unsent(conns, ref_frames),
        {f.counter for f in window if not f.recorded})
    fig["numbers"] = counts
    if counts["missing"]:
        problems.append("%d frames sent whole were not recorded, first numbers %s" %
                        (counts["missing"], missing))

    # The recorder's counters. "Recorded frames" counts the frames handed over while recording,
    # the unknown-tag frames left out of the raw record included.
    adjacent = 0
    for side in (rx[last + 1:], rx[first - 1::-1] if first else []):
        for f in side:
            if f.recorded:
                break
            adjacent += 1
    handed = live.get("Recorded frames", -1)
    if not len(window) <= handed <= len(window) + adjacent:
        problems.append("Recorded frames: %d, expected %d" % (handed, len(window)))
    if live.get("Recorded, sec") != seconds:
        problems.append("the recording ended after %s of %d s (a recording ends with its connection)"
                        % (live.get("Recorded, sec"), seconds))
    # Every connection after the first was made again by the recorder, and every one before the
    # last was lost (reset by the simulator, or given up). The last ends with the recorder's own
    # closing, no drop, unless the simulator reset it just before.
    drops_lo = len(conns) - 1
    drops_hi = drops_lo + (conns[-1].how == "dropped")
    if live.get("Reconnects") != len(conns) - 1:
        problems.append("Reconnects: %s, expected %d" % (live.get("Reconnects"), len(conns) - 1))
    if not drops_lo <= live.get("Link drops", -1) <= drops_hi:
        problems.append("Link drops: %s, expected %d%s" % (live.get("Link drops"), drops_lo,
                                                           " or %d" % drops_hi if drops_hi > drops_lo else ""))
    gave_up = [c.n for c in conns[:-1] if c.how == "gone"]
    if gave_up:
        problems.append("the recorder closed connection(s) %s itself while the target was sending" % gave_up)
    if live.get("Frames lost from the raw record", 0):
        problems.append("Frames lost from the raw record: %d" % live["Frames lost from the raw record"])
    # Total frames, checksum errors and inconsistent frames run on until the connection closes:
    # the recorder took the first T frames of what it was sent, T being its own total; the other
    # two counters must be what those T frames hold.
    # After the recorder closed a link itself (a failure already) it may not have read all that
    # was sent on it: these figures cannot be predicted from the bytes sent.
    total = live.get("Total frames", -1)
    fig["total frames"] = total
    if gave_up:
        pass
    elif not last + 1 <= total <= len(rx):
        problems.append("Total frames: %d, expected %d to %d (the frames sent up to the end of "
                        "the recording, and all frames sent)" % (total, last + 1, len(rx)))
    else:
        checksum_errors = inconsistent = 0
        left = total
        for seg in segments:  # one fresh start of the receiver each
            model = sf.ReceiverModel()
            for f in seg[:left]:
                model.take(f)
            left -= min(left, len(seg))
            checksum_errors += model.checksum_errors
            inconsistent += model.inconsistent
        fig["checksum errors"] = (live.get("Checksum errors"), checksum_errors)
        fig["inconsistent"] = (live.get("Inconsistent frames"), inconsistent)
        if live.get("Checksum errors") != checksum_errors:
            problems.append("Checksum errors: %s, expected %d" % (live.get("Checksum errors"), checksum_errors))
        if live.get("Inconsistent frames") != inconsistent:
            problems.append("Inconsistent frames: %s, expected %d" % (live.get("Inconsistent frames"),
                                                                      inconsistent))

    # The parse of the record and its WAV files.
    pm = ParseModel(raw, fmt["block_samples"], fmt["frames_per_second"])
    if pm.tags is None:
        if len(raw) > fmt["frames_per_second"]:
            problems.append("the parser's tag frame (one second in) is refused: no WAV files expected")
        elif not gave_up:
            problems.append("a record of less than a second: the parser refuses it")
        return problems, fig
    fig["fragments"] = (parse.get("fragments"), pm.fragments)
    fig["parse checksum errors"] = (parse.get("Checksum errors (if verified)", 0), pm.checksum_errors)
    fig["parse damage"] = len(pm.damaged)
    if parse.get("fragments") != pm.fragments:
        problems.append("parse: %s fragments, expected %d" % (parse.get("fragments"), pm.fragments))
    if parse.get("Checksum errors (if verified)", 0) != pm.checksum_errors:
        problems.append("parse: %d checksum errors, expected %d" %
                        (parse.get("Checksum errors (if verified)", 0), pm.checksum_errors))
    if parse.get("valid frames") != pm.frames:
        problems.append("parse: %s frames, expected %d" % (parse.get("valid frames"), pm.frames))
    wav_problems, compared = compare_wav_files(pm, folder, base, fmt["rate"])
    problems += wav_problems
    fig["wav files"] = len(pm.tags)
    fig["samples compared"] = compared
    return problems, fig
