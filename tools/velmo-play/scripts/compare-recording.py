#!/usr/bin/env python3
"""Finds a WAVE file's samples in a raw recording (s16le stereo) and compares them.

usage: compare-recording.py FILE.wav RECORDING.raw

The file is converted as check-render.py does (16-bit stereo) and located in the recording by
the first 256-frame block of sound found there exactly; from there on the two are compared
sample for sample. Prints the offset, any part of the file that was played before the
recording began, how many samples match, and the largest difference; exits 1 unless every
recorded sample matches.
"""
import struct
import sys
from importlib import import_module

sys.path.insert(0, __file__.rsplit("/", 1)[0])
read_pcm = import_module("check-render").read_pcm

BLOCK = 256  # frames


def main():
    expected = read_pcm(sys.argv[1])[5]
    raw = open(sys.argv[2], "rb").read()
    raw = raw[:len(raw) // 4 * 4]
    got = list(struct.unpack("<%dh" % (len(raw) // 2), raw))
    packed = struct.pack("<%dh" % len(expected), *expected)
    offset = None
    for frame in range(0, len(expected) // 2 - BLOCK, BLOCK):
        block = packed[frame * 4:(frame + BLOCK) * 4]
        if block.count(0) == len(block):
            continue
        at = raw.find(block)
        while at >= 0 and at % 4:
            at = raw.find(block, at + 1)
        if at >= 0:
            offset = at // 4 - frame  # recording frame of the file's frame 0
            break
    if offset is None:
        print("%s: not found in the recording" % sys.argv[1])
        return 1
    skipped = max(0, -offset)  # file frames played before the recording began
    window = got[2 * (offset + skipped):2 * (offset + len(expected) // 2)]
    wanted = expected[2 * skipped:2 * skipped + len(window)]
    same = sum(1 for a, b in zip(window, wanted) if a == b)
    worst = max((abs(a - b) for a, b in zip(window, wanted)), default=0)
    print("%s: at frame %d of the recording%s; %d of %d samples identical%s, largest difference %d"
          % (sys.argv[1], offset,
             " (its first %d frames were played before the recording began)" % skipped
             if skipped else "",
             same, len(wanted),
             "" if len(wanted) == len(expected) - 2 * skipped else
             " (the recording ends %d frames early)" % ((len(expected) - 2 * skipped - len(wanted)) // 2),
             worst))
    return 0 if same == len(wanted) == len(expected) - 2 * skipped else 1


if __name__ == "__main__":
    sys.exit(main())
