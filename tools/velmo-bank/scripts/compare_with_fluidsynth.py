#!/usr/bin/env python3
"""Plays the same notes through velmo-render (with a bank image) and through FluidSynth (with
the SoundFont the bank was built from) and compares audibility, pitch and loudness.

Standard library only. Needs `fluidsynth` on the PATH.

  compare_with_fluidsynth.py --render build/default/tools/velmo-render/velmo-render \
      --bank assets/SOUND1.bin [--sf2 /usr/share/sounds/sf2/FluidR3_GM.sf2] [--work DIR]

Notes: program p keys 36, 60, 69, 84 on channel 1, velocity 100, held 1 s; drum keys 35..81 on
channel 10. Pitch: fundamental of key 69 (programs 0..95) from the normalised autocorrelation
of 0.25..0.55 s, refined over many periods with parabolic interpolation. Level: RMS of key 60
over the first 0.4 s, both channels.
"""
import argparse
import array
import math
import os
import struct
import subprocess
import sys
import wave
from concurrent.futures import ThreadPoolExecutor

RATE = 22050


def midi_file(path, channel, program, key, tail_ticks=480):
    def vlq(n):
        out = [n & 0x7F]
        n >>= 7
        while n:
            out.insert(0, 0x80 | (n & 0x7F))
            n >>= 7
        return bytes(out)
    # 480 ticks per quarter at 120 bpm: 960 ticks per second.
    events = b""
    if program is not None:
        events += vlq(0) + bytes([0xC0 | channel, program])
    events += vlq(0) + bytes([0x90 | channel, key, 100])
    events += vlq(960) + bytes([0x80 | channel, key, 0])
    events += vlq(tail_ticks) + b"\xFF\x2F\x00"  # the song ends tail_ticks after the release
    track = b"MTrk" + struct.pack(">I", len(events)) + events
    header = b"MThd" + struct.pack(">IHHH", 6, 0, 1, 480)
    with open(path, "wb") as f:
        f.write(header + track)


def read_wav(path):
    with wave.open(path, "rb") as w:
        channels = w.getnchannels()
        data = array.array("h", w.readframes(w.getnframes()))
    if sys.byteorder == "big":
        data.byteswap()
    if channels == 1:
        return data, data
    return data[0::2], data[1::2]


def rms_db(left, right, start, count):
    total = 0.0
    n = 0
    for ch in (left, right):
        seg = ch[start:start + count]
        total += sum(v * v for v in seg)
        n += len(seg)
    if n == 0 or total == 0:
        return -200.0
    return 10 * math.log10(total / n / (32768.0 ** 2))


def autocorr(x, lag, n):
    a = x[0:n]
    b = x[lag:lag + n]
    num = sum(p * q for p, q in zip(a, b))
    den = math.sqrt(sum(p * p for p in a) * sum(q * q for q in b)) or 1.0
    return num / den


def analysis_window(left, right, start=int(0.25 * RATE), length=int(0.3 * RATE)):
    x = [l + r for l, r in zip(left[start:start + length + 700], right[start:start + length + 700])]
    if len(x) < length + 700 or max(abs(v) for v in x) < 50:
        return None
    return x


def first_period(x):
    """Shortest lag whose normalised autocorrelation is a local peak near the best one."""
    n = 2048
    lags = range(12, 600)
    r = {lag: autocorr(x, lag, n) for lag in lags}
    best = max(r.values())
    if best < 0.5:
        return None
    for lag in lags:
        if lag - 1 in r and lag + 1 in r and r[lag] >= r[lag - 1] and r[lag] >= r[lag + 1] \
                and r[lag] > 0.9 * best:
            return lag
    return None


def refine_period(x, period):
    """Refines a period on the largest multiple within 600 lags, by parabolic interpolation."""
    length = len(x) - 700
    m = max(1, int(600 // period))
    for _ in range(2):
        centre = round(m * period)
        vals = [autocorr(x, centre + d, length - 700) for d in (-1, 0, 1)]
        for _ in range(8):
            if vals[0] <= vals[1] and vals[2] <= vals[1]:
                break
            centre += -1 if vals[0] > vals[1] else 1
            vals = [autocorr(x, centre + d, length - 700) for d in (-1, 0, 1)]
        denom = vals[0] - 2 * vals[1] + vals[2]
        offset = 0.5 * (vals[0] - vals[2]) / denom if denom != 0 else 0.0
        period = (centre + offset) / m
    return period


def estimate_f0(left, right):
    x = analysis_window(left, right)
    if x is None:
        return None
    period = first_period(x)
    return RATE / refine_period(x, period) if period else None


def compare_pitch(velmo, fluid):
    """(velmo Hz, FluidSynth Hz, cents, own-estimate octave agreement): Velmo's period is
    refined starting from FluidSynth's, so both are measured on the same partial."""
    xv = analysis_window(*velmo)
    xf = analysis_window(*fluid)
    if xv is None or xf is None:
        # Short sounds: measure early, just after the attack.
        xv = analysis_window(*velmo, start=int(0.03 * RATE))
        xf = analysis_window(*fluid, start=int(0.03 * RATE))
    if xv is None or xf is None:
        return None, None, None, False
    pf = first_period(xf)
    pv_own = first_period(xv)
    if pf is None:
        return None, None, None, False
    pf = refine_period(xf, pf)
    pv = refine_period(xv, pf)
    agree = pv_own is not None and abs(1200 * math.log2(pv_own / pf)) < 600
    return RATE / pv, RATE / pf, 1200 * math.log2(pf / pv), agree


def render(args, mid, out_velmo, out_fluid):
    subprocess.run([args.render, "--bank", args.bank, mid, "-o", out_velmo], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if args.reuse_fluidsynth and os.path.exists(out_fluid):
        return
    subprocess.run(["fluidsynth", "-ni", "-q", "-F", out_fluid, "-r", str(RATE), "-R", "0", "-C", "0",
                    "-o", "synth.polyphony=18", "-T", "wav", args.sf2, mid], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--render", required=True)
    parser.add_argument("--bank", required=True)
    parser.add_argument("--sf2", default="/usr/share/sounds/sf2/FluidR3_GM.sf2")
    parser.add_argument("--work", default="/tmp/velmo-bank-compare")
    parser.add_argument("--programs", default="0-127")
    parser.add_argument("--reuse-fluidsynth", action="store_true",
                        help="keep FluidSynth renders already in the work folder")
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    lo, hi = (int(v) for v in args.programs.split("-"))

    jobs = []
    for p in range(lo, hi + 1):
        for key in (36, 60, 69, 84):
            jobs.append(("p%03d_k%d" % (p, key), 0, p, key))
    if lo == 0 and hi == 127:
        for key in range(35, 82):
            jobs.append(("drum_k%d" % key, 9, None, key))

    def run(job):
        name, channel, program, key = job
        mid = os.path.join(args.work, name + ".mid")
        midi_file(mid, channel, program, key)
        v = os.path.join(args.work, name + ".velmo.wav")
        f = os.path.join(args.work, name + ".fluid.wav")
        render(args, mid, v, f)
        return name, read_wav(v), read_wav(f)

    with ThreadPoolExecutor(max_workers=2) as pool:
        results = {name: (v, f) for name, v, f in pool.map(run, jobs)}

    silent = []
    levels = {}
    for name, (v, f) in sorted(results.items()):
        vdb = rms_db(v[0], v[1], 0, int(1.0 * RATE))
        fdb = rms_db(f[0], f[1], 0, int(1.0 * RATE))
        if fdb > -70 and vdb < -70:
            silent.append(name)
        if name.startswith("p") and name.endswith("_k60") and fdb > -70:
            levels[int(name[1:4])] = (rms_db(v[0], v[1], 0, int(0.4 * RATE)),
                                      rms_db(f[0], f[1], 0, int(0.4 * RATE)))
    print("notes audible in FluidSynth but silent here: %d %s" % (len(silent), " ".join(silent)))
    print("programs whose key 60 FluidSynth leaves silent (left out of the level figures): %s" %
          " ".join(str(p) for p in range(lo, hi + 1) if p not in levels))

    diffs = sorted(v - f for v, f in levels.values())
    offset = diffs[len(diffs) // 2]
    within = [p for p, (v, f) in levels.items() if abs(v - f - offset) <= 3.0]
    print("level offset (median velmo - fluidsynth): %.2f dB; within 3 dB: %d of %d" %
          (offset, len(within), len(levels)))
    worst = sorted(levels.items(), key=lambda kv: -abs(kv[1][0] - kv[1][1] - offset))
    print("largest level differences (program, dB after offset):",
          ", ".join("%d:%+.1f" % (p, v - f - offset) for p, (v, f) in worst[:12]))

    pitch = []
    octave_notes = []
    for p in range(max(lo, 0), min(hi, 95) + 1):
        name = "p%03d_k69" % p
        if name not in results:
            continue
        v, f = results[name]
        fv, ff, cents, agree = compare_pitch(v, f)
        if not agree and cents is not None:
            octave_notes.append(p)
        pitch.append((p, fv, ff, cents))
    good = [row for row in pitch if row[3] is not None and abs(row[3]) <= 5]
    print("pitch of key 69 within 5 cents: %d of %d" % (len(good), len(pitch)))
    print("programs whose own first period is not near FluidSynth's (octave check): %s" %
          " ".join(str(p) for p in octave_notes))
    bad = sorted(pitch, key=lambda row: -(abs(row[3]) if row[3] is not None else 1e9))
    for p, fv, ff, cents in bad[:8]:
        print("  program %3d: velmo %s Hz, fluidsynth %s Hz, %s cents" %
              (p, "%.2f" % fv if fv else "-", "%.2f" % ff if ff else "-",
               "%+.1f" % cents if cents is not None else "n/a"))
    with open(os.path.join(args.work, "table.tsv"), "w") as t:
        t.write("program\tvelmo_db\tfluid_db\tdiff_db\tvelmo_hz\tfluid_hz\tcents\n")
        pmap = {row[0]: row for row in pitch}
        for p, (v, f) in sorted(levels.items()):
            row = pmap.get(p, (p, None, None, None))
            t.write("%d\t%.2f\t%.2f\t%+.2f\t%s\t%s\t%s\n" % (
                p, v, f, v - f - offset, row[1] or "", row[2] or "", "" if row[3] is None else "%.2f" % row[3]))


if __name__ == "__main__":
    main()
