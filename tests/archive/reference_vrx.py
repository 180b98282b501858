#!/usr/bin/env python3
"""A second, deliberately plain writer of VRX archives, used to check that the
vrx tool writes byte-identical archives.

    reference_vrx.py check VRX_TOOL WORK_DIR

writes sample files into WORK_DIR, archives them with `VRX_TOOL create` (packed
and stored) and with this script, and fails when any byte differs.
"""
import math
import os
import random
import struct
import subprocess
import sys

BLOCK_SIZE = 8192
SLOTS = 8192
MAX_DISTINCT = 200
MIN_COUNT = 3


def pack(data: bytes) -> bytes:
    out = bytearray()
    slot_left = [0] * SLOTS
    slot_right = [0] * SLOTS
    pos = 0
    while True:
        count = [0] * SLOTS

        def lookup(a, b):
            index = (a ^ (b << 5)) & (SLOTS - 1)
            for _ in range(SLOTS):
                if (slot_left[index] == a and slot_right[index] == b) or count[index] == 0:
                    slot_left[index] = a
                    slot_right[index] = b
                    return index
                index = (index + 1) & (SLOTS - 1)
            return None

        def inc(a, b):
            i = lookup(a, b)
            if i is not None and count[i] < 255:
                count[i] += 1

        def dec(a, b):
            i = lookup(a, b)
            if i is not None and count[i] > 1:
                count[i] -= 1

        left = list(range(256))
        right = [0] * 256
        used = [False] * 256
        buf = []
        distinct = 0
        while len(buf) < BLOCK_SIZE and distinct < MAX_DISTINCT and pos < len(data):
            b = data[pos]
            pos += 1
            if buf:
                inc(buf[-1], b)
            buf.append(b)
            if not used[b]:
                used[b] = True
                distinct += 1
        last = pos >= len(data)

        code = 256
        while True:
            code -= 1
            while code >= 0 and not (left[code] == code and not used[code]):
                code -= 1
            if code < 0:
                break
            best = 2
            lch = rch = 0
            for i in range(SLOTS):
                if count[i] > best:
                    best = count[i]
                    lch, rch = slot_left[i], slot_right[i]
            if best < MIN_COUNT:
                break
            new = []
            r = 0
            n = len(buf)
            while r < n:
                if r + 1 < n and buf[r] == lch and buf[r + 1] == rch:
                    if new:
                        dec(new[-1], lch)
                        inc(new[-1], code)
                    if r + 2 < n:
                        dec(rch, buf[r + 2])
                        inc(code, buf[r + 2])
                    new.append(code)
                    r += 2
                else:
                    new.append(buf[r])
                    r += 1
            buf = new
            left[code] = lch
            right[code] = rch
            i = lookup(lch, rch)
            if i is not None:
                count[i] = 1

        c = 0
        while c < 256:
            if left[c] == c:
                run = 1
                c += 1
                while run < 127 and c < 256 and left[c] == c:
                    run += 1
                    c += 1
                out.append(run + 127)
                if c == 256:
                    break
                extra = 0
            else:
                extra = 0
                c += 1
                while (extra < 127 and c < 256 and left[c] != c) or \
                        (extra < 125 and c < 254 and left[c + 1] != c + 1):
                    extra += 1
                    c += 1
                out.append(extra)
                c -= extra + 1
            for _ in range(extra + 1):
                out.append(left[c])
                if left[c] != c:
                    out.append(right[c])
                c += 1
        out += struct.pack("<I", len(buf))
        out += bytes(buf)
        if last:
            return bytes(out)


def archive(files, ids, compress: bool) -> bytes:
    header = struct.pack("<I", 1 if compress else 0) + "VRX0".encode("utf-16-le")
    header += struct.pack("<I", len(ids))
    header += bytes(260 - len(header))
    directory = bytearray()
    data = bytearray()
    data_pos = 260 + 524 * len(ids)
    for name, ident in zip(files, ids):
        with open(name, "rb") as f:
            source = f.read()
        stored = pack(source) if compress else source
        id_bytes = ident.encode("utf-16-le")
        directory += struct.pack("<III", data_pos, len(stored), len(source))
        directory += id_bytes + bytes(512 - len(id_bytes))
        data += stored
        data_pos += len(stored)
    return header + bytes(directory) + bytes(data)


def sample_files(work_dir):
    rng = random.Random(20261208)
    samples = {}
    text = (b"The quick brown fox jumps over the lazy dog. " * 40 +
            "いろはにほへと ちりぬるを わかよたれそ".encode("utf-8") * 30)
    samples["text.txt"] = text
    pcm = bytearray()
    phase = 0
    for n in range(6000):
        phase = (phase + 37 + (n % 11)) & 0xFFFF
        value = ((phase >> 6) - 512) * 20
        pcm += struct.pack("<h", value)
    samples["tone.pcm"] = bytes(pcm)
    samples["random.bin"] = bytes(rng.randrange(256) for _ in range(3000))
    samples["empty.bin"] = b""
    samples["exact.bin"] = bytes(rng.choice(b"abcdefgh") for _ in range(8192))
    samples["over.bin"] = bytes(rng.choice(b"abcd") for _ in range(8193))
    samples["all256.bin"] = bytes(range(256)) * 4
    samples["runs.bin"] = b"a" * 700 + b"ab" * 300 + b"abcabd" * 100
    samples["pcm8.bin"] = bytes(
        int(120 * math.exp(-4 * (n % 11025) / 22050) *
            math.sin(2 * math.pi * (261.63, 392.0)[n // 11025 % 2] * n / 22050)) & 0xFF
        for n in range(20000))
    words = ["wave", "archive", "entry", "packed", "block", "pair", "sound", "bank", "voice",
             "note", "the", "of", "and", "loaded", "from", "by", "each", "every"]
    samples["words.txt"] = " ".join(rng.choice(words) for _ in range(3000)).encode()[:12000]
    symbols = []
    for i in range(96):
        symbols.append(10 + i)
        for j in range(i + 1, 96):
            symbols += [10 + i, 10 + j]
    crafted = []
    for i, symbol in enumerate(symbols):
        if len(crafted) >= 8192:
            break
        if i > 0 and i % 80 == 0:
            crafted += [1, 2]
        crafted.append(symbol)
    samples["slots.bin"] = bytes(crafted[:8192])
    paths = []
    for name, content in samples.items():
        path = os.path.join(work_dir, name)
        with open(path, "wb") as f:
            f.write(content)
        paths.append(path)
    ids = ["Text.TXT", "トーン.pcm", "Ärger/ß", "empty", "𝄞 exact", "over", "Ωmega", "runs",
           "波形8", "words", "slots"]
    return paths, ids


def check(tool, work_dir):
    os.makedirs(work_dir, exist_ok=True)
    paths, ids = sample_files(work_dir)
    failures = 0
    for compress in (True, False):
        out = os.path.join(work_dir, "packed.vrx" if compress else "stored.vrx")
        args = [tool, "create", out] + ([] if compress else ["--store"])
        args += [f"{p}={i}" for p, i in zip(paths, ids)]
        subprocess.run(args, check=True)
        with open(out, "rb") as f:
            ours = f.read()
        expected = archive(paths, ids, compress)
        if ours != expected:
            first = next((i for i, (a, b) in enumerate(zip(ours, expected)) if a != b),
                         min(len(ours), len(expected)))
            print(f"{out}: differs from the reference at byte {first} "
                  f"(sizes {len(ours)} and {len(expected)})")
            failures += 1
        else:
            print(f"{out}: {len(ours)} bytes, identical")
    print(f"{2 - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "check":
        sys.exit(check(sys.argv[2], sys.argv[3]))
    print(__doc__)
    sys.exit(2)
