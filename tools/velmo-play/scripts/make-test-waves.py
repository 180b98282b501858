#!/usr/bin/env python3
"""Makes PCM WAVE files of every layout velmo-play must reproduce, for check-render.py.

usage: make-test-waves.py FOLDER

sox makes the signals (8/16-bit, mono/stereo, 8000..48000 Hz, plain 16-byte "fmt "); libsndfile
(through ctypes) rewrites some as extensible ("fmt " of 40 bytes) with a LIST/INFO chunk before
"data"; and a few are rewritten here with an 18-byte "fmt " and odd-sized chunks before "data".
"""
import ctypes
import os
import struct
import subprocess
import sys

RATES = [8000, 11025, 16000, 22050, 32000, 44100, 48000]

SF_FORMAT_WAVEX = 0x130000
SF_FORMAT_PCM_U8 = 0x0005
SF_FORMAT_PCM_16 = 0x0002
SFM_READ, SFM_WRITE = 0x10, 0x20
SF_STR_COMMENT = 0x05


class SfInfo(ctypes.Structure):
    _fields_ = [("frames", ctypes.c_int64), ("samplerate", ctypes.c_int),
                ("channels", ctypes.c_int), ("format", ctypes.c_int),
                ("sections", ctypes.c_int), ("seekable", ctypes.c_int)]


def rewrite_extensible(source, target, bits):
    sf = ctypes.CDLL("libsndfile.so.1")
    sf.sf_open.restype = ctypes.c_void_p
    sf.sf_open.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.POINTER(SfInfo)]
    sf.sf_read_short.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_int64]
    sf.sf_write_short.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_int64]
    sf.sf_set_string.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_char_p]
    sf.sf_close.argtypes = [ctypes.c_void_p]
    info = SfInfo()
    inp = sf.sf_open(source.encode(), SFM_READ, ctypes.byref(info))
    count = info.frames * info.channels
    buffer = (ctypes.c_short * count)()
    sf.sf_read_short(inp, buffer, count)
    sf.sf_close(inp)
    out_info = SfInfo(0, info.samplerate, info.channels,
                      SF_FORMAT_WAVEX | (SF_FORMAT_PCM_U8 if bits == 8 else SF_FORMAT_PCM_16), 0, 0)
    out = sf.sf_open(target.encode(), SFM_WRITE, ctypes.byref(out_info))
    if not out:
        raise RuntimeError("libsndfile cannot write " + target)
    sf.sf_set_string(out, SF_STR_COMMENT, b"made for the velmo-play render check")
    sf.sf_write_short(out, buffer, count)
    sf.sf_close(out)


def rewrite_fmt18_with_chunks(source, target):
    data = open(source, "rb").read()
    pos, chunks = 12, []
    while pos + 8 <= len(data):
        cid, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        chunks.append((cid, data[pos + 8:pos + 8 + size]))
        pos += 8 + size + (size & 1)
    body = b""
    for cid, chunk in chunks:
        if cid == b"fmt ":
            chunk = chunk[:16] + b"\0\0"
            body += b"fmt " + struct.pack("<I", 18) + chunk
            body += b"fact" + struct.pack("<I", 4) + struct.pack("<I", 0)
            body += b"junk" + struct.pack("<I", 3) + b"abc\0"  # odd size, pad byte
            continue
        body += cid + struct.pack("<I", len(chunk)) + chunk + (b"\0" if len(chunk) & 1 else b"")
    open(target, "wb").write(b"RIFF" + struct.pack("<I", 4 + len(body)) + b"WAVE" + body)


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for rate in RATES:
        for bits in (8, 16):
            for channels in (1, 2):
                name = os.path.join(folder, "plain_%d_%d_%d.wav" % (rate, bits, channels))
                signal = ["sine", "%d" % (rate // 17)] + (["sine", "%d" % (rate // 23)]
                                                          if channels == 2 else [])
                subprocess.run(["sox", "-n", "-r", str(rate), "-b", str(bits), "-c",
                                str(channels), name, "synth", "0.25"] + signal + ["vol", "0.9"],
                               check=True)
                rewrite_extensible(name, name.replace("plain_", "extensible_list_"), bits)
                rewrite_fmt18_with_chunks(name, name.replace("plain_", "fmt18_chunks_"))


if __name__ == "__main__":
    main()
