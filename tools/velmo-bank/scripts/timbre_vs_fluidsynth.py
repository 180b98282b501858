#!/usr/bin/python3
"""Compares the timbre and loudness envelope of the bank's notes with FluidSynth playing the
SoundFont the bank was built from. Needs numpy and scipy, and `fluidsynth` on the PATH.

  timbre_vs_fluidsynth.py --render build/default/tools/velmo-render/velmo-render \
      --bank assets/SOUND1.bin [--keys 60,36] [--sf2 FILE] [--work DIR] [--json OUT]

Each note: velocity 100, on at 0 s, off at 1.0 s, 2.0 s rendered, mono (L+R)/2; programs on
channel 1 at each key, drum keys 35..81 on channel 10.
- Spectral distance: Welch spectrum of 0.05..0.9 s (0..0.9 s for drums) summed into 24
  third-octave bands from 50 Hz to 10 kHz, each spectrum normalised to its own total and
  floored at -60 dB; the RMS of the band-by-band dB differences.
- Envelope: Pearson correlation of 10 ms RMS envelopes in dB over 0..2 s, each floored at its
  own peak minus 60 dB.
- Brightness: spectral centroid of the same spectra, as the ratio Velmo over FluidSynth.
- Level: RMS of the first 0.4 s (relative: the median difference is taken out).
Notes FluidSynth leaves silent are left out. FluidSynth renders are kept in the work folder.
"""
import argparse
import json
import os
import subprocess
import wave
from concurrent.futures import ThreadPoolExecutor

import numpy as np
from scipy.signal import welch

from compare_with_fluidsynth import midi_file as shared_midi_file

RATE = 22050
FRAMES = 2 * RATE
BAND_EDGES = 50.0 * (10000.0 / 50.0) ** (np.arange(25) / 24.0)


def midi_file(path, channel, program, key):
    # Key on at 0 s, off at 1 s, the song running on to 2 s.
    shared_midi_file(path, channel, program, key, tail_ticks=960)


def read_mono(path):
    with wave.open(path, "rb") as w:
        channels = w.getnchannels()
        data = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2").astype(np.float64)
    if channels == 2:
        data = (data[0::2] + data[1::2]) / 2
    out = np.zeros(FRAMES)
    n = min(FRAMES, len(data))
    out[:n] = data[:n]
    return out


def spectrum(x, start, end):
    return welch(x[int(start * RATE):int(end * RATE)], fs=RATE, nperseg=1024)


def centroid(x, start, end):
    f, p = spectrum(x, start, end)
    return float((f * p).sum() / p.sum()) if p.sum() > 0 else 0.0


def band_db(x, start, end):
    f, p = spectrum(x, start, end)
    bands = np.array([p[(f >= lo) & (f < hi)].sum() for lo, hi in zip(BAND_EDGES[:-1], BAND_EDGES[1:])])
    total = bands.sum()
    if total <= 0:
        return None
    return np.maximum(10 * np.log10(np.maximum(bands / total, 1e-30)), -60.0)


def envelope_db(x):
    hop = RATE // 100
    frames = x[:len(x) // hop * hop].reshape(-1, hop)
    db = 10 * np.log10(np.maximum((frames ** 2).mean(axis=1), 1e-12))
    return np.maximum(db, db.max() - 60.0)


def compare(velmo, fluid, drum):
    start = 0.0 if drum else 0.05
    bv, bf = band_db(velmo, start, 0.9), band_db(fluid, start, 0.9)
    distance = float(np.sqrt(np.mean((bv - bf) ** 2))) if bv is not None and bf is not None else 99.0
    ev, ef = envelope_db(velmo), envelope_db(fluid)
    if ev.std() == 0 or ef.std() == 0:
        corr = 1.0 if ev.std() == ef.std() else 0.0
    else:
        corr = float(np.corrcoef(ev, ef)[0, 1])
    level = lambda x: 10 * np.log10(max(np.mean(x[:int(0.4 * RATE)] ** 2), 1e-12))
    cf = centroid(fluid, start, 0.9)
    brightness = centroid(velmo, start, 0.9) / cf if cf > 0 else 1.0
    return distance, corr, level(velmo) - level(fluid), brightness


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--render", required=True)
    parser.add_argument("--bank", required=True)
    parser.add_argument("--sf2", default="/usr/share/sounds/sf2/FluidR3_GM.sf2")
    parser.add_argument("--work", default="/tmp/velmo-timbre")
    parser.add_argument("--keys", default="60")
    parser.add_argument("--no-drums", action="store_true")
    parser.add_argument("--programs", help="only these programs (comma-separated); no drums")
    parser.add_argument("--json", help="write every note's figures here")
    parser.add_argument("--jobs", type=int, default=2)
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)

    jobs = []
    programs = [int(p) for p in args.programs.split(",")] if args.programs else range(128)
    for key in (int(k) for k in args.keys.split(",")):
        jobs += [("p%03d_k%d" % (p, key), 0, p, key) for p in programs]
    if not args.no_drums and not args.programs:
        jobs += [("drum_k%d" % key, 9, None, key) for key in range(35, 82)]

    def run(job):
        name, channel, program, key = job
        mid = os.path.join(args.work, name + ".mid")
        if not os.path.exists(mid):
            midi_file(mid, channel, program, key)
        fluid = os.path.join(args.work, name + ".fluid.wav")
        if not os.path.exists(fluid):
            subprocess.run(["fluidsynth", "-ni", "-q", "-F", fluid, "-r", str(RATE), "-R", "0", "-C", "0",
                            "-o", "synth.polyphony=18", "-T", "wav", args.sf2, mid], check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        velmo = os.path.join(args.work, name + ".velmo.wav")
        subprocess.run([args.render, "--bank", args.bank, mid, "-o", velmo], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        v, f = read_mono(velmo), read_mono(fluid)
        fluid_rms = np.sqrt(np.mean(f[:RATE] ** 2))
        velmo_rms = np.sqrt(np.mean(v[:RATE] ** 2))
        if fluid_rms < 10 ** (-70 / 20) * 32768:
            return name, None
        d, c, lv, b = compare(v, f, channel == 9)
        return name, {"distance": d, "envelope": c, "level": lv, "brightness": b,
                      "audible": bool(velmo_rms >= 10 ** (-70 / 20) * 32768)}

    with ThreadPoolExecutor(max_workers=args.jobs) as pool:
        results = dict(pool.map(run, jobs))

    def summary(rows, label):
        if not rows:
            return
        d = np.array([r["distance"] for r in rows.values()])
        c = np.array([r["envelope"] for r in rows.values()])
        lv = np.array([r["level"] for r in rows.values()])
        b = np.array([r["brightness"] for r in rows.values()])
        lv -= np.median(lv)
        print("%-10s n=%3d  distance median %.2f p90 %.2f within3 %3d | envelope median %.4f p10 %.3f"
              " | brightness median %.2f p10 %.2f | level within 3 dB %3d | inaudible %d" % (
                  label, len(rows), np.median(d), np.percentile(d, 90), int((d <= 3).sum()),
                  np.median(c), np.percentile(c, 10), np.median(b), np.percentile(b, 10),
                  int((np.abs(lv) <= 3).sum()),
                  sum(1 for r in rows.values() if not r["audible"])))
        worst = sorted(rows.items(), key=lambda kv: -kv[1]["distance"])[:10]
        print("  worst distance: " + ", ".join("%s %.1f" % (n, r["distance"]) for n, r in worst))
        worst = sorted(rows.items(), key=lambda kv: kv[1]["envelope"])[:10]
        print("  worst envelope: " + ", ".join("%s %.2f" % (n, r["envelope"]) for n, r in worst))

    for key in (int(k) for k in args.keys.split(",")):
        rows = {n: r for n, r in results.items() if r and n.endswith("_k%d" % key) and n[0] == "p"}
        summary(rows, "key %d" % key)
    summary({n: r for n, r in results.items() if r and n.startswith("drum")}, "drums")
    if args.json:
        with open(args.json, "w") as f:
            json.dump(results, f, indent=1, sort_keys=True)


if __name__ == "__main__":
    main()
