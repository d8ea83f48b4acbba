#!/usr/bin/env python3
"""Writes the fuzzers' seed corpora into fuzz/corpus/ from vintrel-sim output.

Usage: fuzz/make_seeds.py SIM   (SIM: the vintrel-sim program of a build)

Streams and records are short pieces of real simulator output in both protocols, both byte
orders and several formats, with and without damage; the frame decoder gets single frames cut
out of them. The text targets get typical and borderline texts.
"""
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")
FORMATS = ["8k4", "16k2", "16k4", "16k16", "8k16", "24k1.33", "24k2.67"]
DAMAGE = ["--bad-checksum-every", "3", "--skip-frame-every", "5", "--garbage-every", "4",
          "--unknown-tag-every", "6"]

# (protocol, format, big-endian, damaged, seconds)
STREAMS = [
    ("new", "8k4", False, False, 0.04),
    ("new", "8k4", False, True, 0.06),
    ("new", "24k1.33", True, False, 0.02),
    ("new", "16k16", False, True, 0.05),
    ("old", "8k4", False, False, 0.04),
    ("old", "16k2", True, False, 0.02),
    ("old", "24k2.67", False, True, 0.03),
]


def sim_bytes(sim, work, protocol, fmt, big, damaged, seconds, channels=5):
    out = os.path.join(work, "s.raw")
    cmd = [sim, "--output", out, "--protocol", protocol, "--format", fmt, "--seconds", str(seconds),
           "--channels", str(channels)]
    if big:
        cmd.append("--big-endian")
    if damaged:
        # Checksums and unknown tags exist in the new protocol only.
        cmd += DAMAGE if protocol == "new" else ["--skip-frame-every", "5", "--garbage-every", "4"]
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
    with open(out, "rb") as f:
        return f.read()


def write(target, name, data):
    d = os.path.join(CORPUS, target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


def frames(data, protocol, big):
    """Cuts whole frames out of an undamaged stream at its markers."""
    if protocol == "new":
        marker = b"\xff\xff\xff\xff\xee\xee\xee\xee"
    else:
        marker = b"\x7f\xfe\x80\x01" if big else b"\xfe\x7f\x01\x80"
    starts = []
    i = data.find(marker)
    while i >= 0:
        starts.append(i)
        i = data.find(marker, i + 2)
    return [data[a:b] for a, b in zip(starts, starts[1:])]


def main():
    sim = sys.argv[1]
    shutil.rmtree(CORPUS, ignore_errors=True)
    work = tempfile.mkdtemp()
    try:
        for n, (protocol, fmt, big, damaged, seconds) in enumerate(STREAMS):
            data = sim_bytes(sim, work, protocol, fmt, big, damaged, seconds)
            fi = FORMATS.index(fmt)
            tag = f"{protocol}-{fmt}{'-be' if big else ''}{'-damaged' if damaged else ''}"
            # Stream: options (format, byte order), then 16 read sizes, then the bytes.
            options = fi | (0x10 if big else 0)
            sizes = [1, 7, 64, 0x80 | 2, 200 & 0x7F, 3, 0x80 | 1, 33] * 2 if n % 2 else [0x80 | 8] * 16
            write("stream", tag, bytes([options]) + bytes(sizes) + data)
            # Record: options (protocol, format), then the record, little-endian records only as
            # the program's records are.
            if not big:
                write("record_parser", tag, bytes([(1 if protocol == "old" else 0) | fi << 1]) + data)
            # Single frames of the undamaged streams.
            if not damaged:
                for k, fr in enumerate(frames(data, protocol, big)[:3]):
                    options = (1 if protocol == "old" else 0) | (2 if big else 0) | fi << 3
                    mask = 31 if protocol == "old" else 0
                    write("frame_decoder", f"{tag}-{k}", bytes([options, k, mask & 0xFF, mask >> 8]) + fr)
        # Generated records checked against their frame numbering, with either gap fill: a
        # sample count, then a numbering step and a channel set a frame.
        steps = bytes((k * 37) & 0xFF for k in range(90))
        write("record_parser", "generated-marker", bytes([0x40, 7]) + steps)
        write("record_parser", "generated-exact", bytes([0x60, 20]) + steps)
        # A profile needs many frames: a longer new-protocol stream gives the decoder the chunks.
        data = sim_bytes(sim, work, "new", "16k16", False, False, 1.0, channels=1)
        for k, fr in enumerate(frames(data, "new", False)[:64:8]):
            write("frame_decoder", f"new-16k16-1ch-{k}", bytes([3 << 3, 0, 0, 0]) + fr)
    finally:
        shutil.rmtree(work)

    config = "\r\n".join([
        "VintrelV5.27k coniguration", "", "File Name Formation", "  *Base* name = bench",
        "  Include Time *Stamp* = Yes", "", "Data and File Formats", "  Sampling Rate, *Ksps* = 16",
        "  Frame duration, *ms* = 2", "  Write *stereo* TX or RX+TX1 input = No",
        "  *Delete* temp record after parsing or deletion = Yes", "", "Communication",
        "  *Transport* = TCP/IP", "  *IPAdrPort* = 127.0.0.1:9090", "  Virtual Serial *COMPort* = /dev/ttyUSB0",
        "  Use *FTDI* ports only = No", "  UART rate, *bps* = 12000000", "  *Endian* = Little", "",
        "Listening", "  *Audio* device = None", "", "Visualization", "  Diagram *rate* = 4",
        "  *VAD* or ND = ND", "  *Voice* threshold = 0.50", "  Paint *noise/voice* = voice",
        "  *FFT_length* for spectrum = 256", "", "Data checking options", "  Verify frame *checksum* = yes",
        "  *autoreconnect* after inconsistent frames = 3", "", "Channels selection", "  *Lock* selection = no",
        "  *Selected* channels = Raw_TXIN1 Raw_RXOUT1 Raw_TXOUT1 Ampl_RXIN1 None", ""])
    write("config_file", "full", config.encode())
    write("config_file", "odd", b"  *ksps* = 24\n  *ms* = 1.33\n*bps*=abc\nno keyword here\n  *rate* = 9\n"
          b"  *selected* channels = Raw_TXIN99 Ampl_x  None\n  *comport* = COM7\n")

    for k, name in enumerate(["Raw_TXIN1", "Raw_RXOUT3", "Ampl_TXOUT2", "Ampl_RXIN1", "Raw_TXIN2",
                              "None", "Raw_TXIN", "Raw_TXIN+7", "Ampl_RXOUT-1", "VAD_TX3", "MIPS",
                              "Raw_TXIN65536", " Raw_TXIN1 "]):
        write("tag_name", f"name{k:02d}", name.encode())

    for k, text in enumerate(["127.0.0.1:9090", " 10.0.0.1 : 80 ", "192.168.1.20:65535", "1.2.3:4",
                              "a.b.c.d:x", "256.0.0.1:1", "1.2.3.4:65536", "1.2.3.4", "::1:80",
                              "1.2.3.4:-0", "01.002.3.4:+7"]):
        write("ip_address", f"addr{k:02d}", text.encode())


if __name__ == "__main__":
    main()
