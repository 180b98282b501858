#!/usr/bin/env python3
"""Checks that `velmo-play --render` reproduces PCM WAVE files sample for sample.

usage: check-render.py VELMO_PLAY FILE.wav...

Each file is read here by a RIFF walk of its own (8/16-bit PCM, plain or extensible "fmt ",
any chunks before "data"), converted to the render's format (16-bit stereo: 8-bit samples
become (v - 128) * 256, mono goes to both sides), and compared with what velmo-play renders at
unity volume, centre pan and the file's own rate. Prints one line per file; exits 1 on any
difference.
"""
import os
import struct
import subprocess
import sys
import tempfile
import wave


def read_pcm(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[0:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise ValueError("not a RIFF WAVE file")
    pos, fmt, samples, chunks = 12, None, None, []
    while pos + 8 <= len(data):
        cid, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        body = data[pos + 8:pos + 8 + size]
        chunks.append("%s(%d)" % (cid.decode("latin-1").strip(), size))
        if cid == b"fmt ":
            fmt = body
        elif cid == b"data":
            samples = body
            break
        pos += 8 + size + (size & 1)
    tag, channels, rate, _, align, bits = struct.unpack("<HHIIHH", fmt[:16])
    if tag == 0xFFFE:
        tag = struct.unpack("<H", fmt[24:26])[0]
    if tag != 1 or bits not in (8, 16) or channels not in (1, 2):
        raise ValueError("not 8/16-bit mono/stereo PCM")
    frames = len(samples) // align
    if bits == 8:
        values = [(b - 128) * 256 for b in samples[:frames * align]]
    else:
        values = list(struct.unpack("<%dh" % (frames * channels), samples[:frames * align]))
    if channels == 1:
        values = [v for v in values for _ in (0, 1)]
    return rate, channels, bits, len(fmt), chunks, values


def read_render(path):
    with wave.open(path, "rb") as w:
        assert w.getsampwidth() == 2 and w.getnchannels() == 2
        raw = w.readframes(w.getnframes())
        return w.getframerate(), list(struct.unpack("<%dh" % (len(raw) // 2), raw))


def main():
    player, files = sys.argv[1], sys.argv[2:]
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        for path in files:
            try:
                rate, channels, bits, fmt_size, chunks, expected = read_pcm(path)
            except Exception as error:  # not a file this check covers
                print("SKIP %s: %s" % (path, error))
                continue
            out = os.path.join(folder, "out.wav")
            result = subprocess.run([player, "-q", "--render", out, path], capture_output=True,
                                    text=True)
            if result.returncode != 0:
                print("FAIL %s: velmo-play exited %d: %s" % (path, result.returncode,
                                                            result.stderr.strip()))
                failures += 1
                continue
            out_rate, got = read_render(out)
            same = out_rate == rate and got == expected
            where = ""
            if not same:
                first = next((i for i, (a, b) in enumerate(zip(got, expected)) if a != b),
                             min(len(got), len(expected)))
                where = " (rate %d, %d vs %d samples, first difference at sample %d)" % (
                    out_rate, len(got), len(expected), first)
                failures += 1
            print("%s %s: %d Hz, %d ch, %d bit, fmt %d bytes, %d frames, chunks %s%s" % (
                "OK  " if same else "FAIL", path, rate, channels, bits, fmt_size,
                len(expected) // 2, " ".join(chunks), where))
    print("%d of %d files differ" % (failures, len(files)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
