#!/usr/bin/env python3
"""Compares a song recorded at the sink with velmo-render's output of the same file.

  song_match.py RECORDING.raw RENDER.raw
RECORDING: 48000 Hz s16le stereo (live_check.py song); RENDER: velmo-render --raw (22050 Hz).
Both become loudness envelopes (RMS of 50 ms frames, in dB above a -60 dB floor). The one free
parameter is where the song starts in the recording (found by cross-correlation); the clocks
are taken as they are, not fitted. Prints the correlation, and for diagnosis the clock ratio a
fit would choose and the recording's exact-zero gaps inside sound.
"""
import json
import sys

import numpy as np

FRAME_S = 0.05


def envelope(raw, rate):
    x = np.fromfile(raw, dtype="<i2").reshape(-1, 2).astype(np.float64).mean(axis=1)
    n = int(rate * FRAME_S)
    frames = x[: len(x) // n * n].reshape(-1, n)
    rms = np.sqrt((frames ** 2).mean(axis=1)) / 32768
    return np.maximum(20 * np.log10(rms + 1e-9), -60) + 60


def start_lag(rec, ren):
    a, b = rec - rec.mean(), ren - ren.mean()
    c = np.correlate(a, b[: min(len(b), len(a))], mode="valid") if len(a) >= len(b) else None
    if c is None:
        return 0
    return int(np.argmax(c))


def correlation(rec, ren, lag, ratio=1.0):
    idx = np.arange(len(ren))
    at = lag + idx * ratio
    keep = at < len(rec) - 1
    r = np.interp(at[keep], np.arange(len(rec)), rec)
    return float(np.corrcoef(r, ren[keep])[0, 1])


def main():
    rec, ren = envelope(sys.argv[1], 48000), envelope(sys.argv[2], 22050)
    lag = start_lag(rec, ren)
    raw = correlation(rec, ren, lag)
    ratios = np.linspace(0.995, 1.005, 201)
    fits = [max(correlation(rec, ren, lag + d, q) for d in (-1, 0, 1)) for q in ratios]
    best = int(np.argmax(fits))
    print(json.dumps({"correlation": round(raw, 4), "start_s": round(lag * FRAME_S, 2),
                      "envelope_frames": len(ren),
                      "fitted_clock_ratio": round(float(ratios[best]), 5),
                      "fitted_correlation": round(fits[best], 4)}))
    return 0 if raw >= 0.95 else 1


if __name__ == "__main__":
    sys.exit(main())
