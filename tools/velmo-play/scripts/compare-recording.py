#!/usr/bin/env python3
"""Finds a WAVE file's samples in a raw recording (s16le stereo) and compares them.

usage: compare-recording.py FILE.wav RECORDING.raw

The file is converted as check-render.py does (16-bit stereo), located in the recording by its
first non-silent frame, and compared sample for sample; prints the offset, how many samples
match exactly, and the largest difference.
"""
import struct
import sys

sys.path.insert(0, __file__.rsplit("/", 1)[0])
from importlib import import_module  # noqa: E402

read_pcm = import_module("check-render").read_pcm


def main():
    _, _, _, _, _, expected = read_pcm(sys.argv[1])
    raw = open(sys.argv[2], "rb").read()
    got = list(struct.unpack("<%dh" % (len(raw) // 2), raw[:len(raw) // 4 * 4]))
    first_expected = next(i for i, v in enumerate(expected) if v != 0) // 2 * 2
    first_got = next((i for i, v in enumerate(got) if v != 0), None)
    if first_got is None:
        print("%s: the recording is silent" % sys.argv[1])
        return 1
    first_got = first_got // 2 * 2
    offset = first_got - first_expected
    window = got[offset:offset + len(expected)]
    if len(window) < len(expected):
        print("recording ends %d samples early" % (len(expected) - len(window)))
        window += [0] * (len(expected) - len(window))
    same = sum(1 for a, b in zip(window, expected) if a == b)
    worst = max(abs(a - b) for a, b in zip(window, expected))
    rest = got[:offset] + got[offset + len(expected):]
    print("%s: found at frame %d of the recording; %d of %d samples identical, largest "
          "difference %d; largest sample outside it %d" % (
              sys.argv[1], offset // 2, same, len(expected), worst,
              max((abs(v) for v in rest), default=0)))
    return 0 if same == len(expected) else 1


if __name__ == "__main__":
    sys.exit(main())
