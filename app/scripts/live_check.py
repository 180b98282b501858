#!/usr/bin/env python3
"""Drives the running window as a user would and measures what reaches the sound server.

Run inside live-session.sh, which starts Xvfb, a private PulseAudio with a null sink called
"velmo" and the window. The sink's monitor is recorded through parec; each chunk's arrival
time gives the recording's clock (the null sink runs on the system clock), so an input event
at time t maps to a frame of the recording.

  live_check.py clicks N OUT.json       N mouse clicks: click-to-sound latency
  live_check.py soak SECONDS OUT.json   random clicks, letter keys, program changes, a song
                                        (VELMO_ACTIONS=click,letters,program,song,stop,cancel:
                                        only those kinds; cancel: File > Open, then Escape;
                                        VELMO_TIMES=1 prints each action's duration)
  live_check.py song FILE.mid OUT.raw   plays a song from File > Open and keeps the recording
  live_check.py underruns LOG MARK STALLS   the server's underruns of the window's stream, and
                                        how many came with a stall of the whole machine
Common output: the recording's exact-zero gaps inside sound, and (soak) the window's memory.
"""
import ctypes
import json
import os
import random
import subprocess
import sys
import threading
import time

import numpy as np

RATE = 48000
THRESHOLD = 64  # onset: first sample above this after the event
KEY_Y = 100  # white keys' lower part (menu bar 18, panel 41, keyboard below)
LETTERS = "zxcvbnm,./sdghjl;"


class Recorder:
    """Records the sink's monitor; `frame_at(t)` maps a monotonic time to a frame."""

    def __init__(self):
        self.proc = subprocess.Popen(
            ["parec", "-d", "velmo.monitor", "--raw", "--format=s16le", f"--rate={RATE}",
             "--channels=2", "--latency-msec=5"], stdout=subprocess.PIPE, bufsize=0)
        self.chunks, self.frames, self.offset = [], 0, None
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        while True:
            data = self.proc.stdout.read(1024)
            if not data:
                return
            now = time.monotonic()
            self.chunks.append(data)
            self.frames += len(data) // 4
            # The earliest arrival bounds when frame 0 was rendered.
            start = now - self.frames / RATE
            self.offset = start if self.offset is None else min(self.offset, start)

    def frame_at(self, t):
        return int(round((t - self.offset) * RATE))

    def samples(self):
        raw = b"".join(self.chunks)
        return np.frombuffer(raw[: len(raw) // 4 * 4], dtype="<i2").reshape(-1, 2)

    def stop(self):
        self.proc.terminate()
        self.thread.join()


class Input:
    """Mouse and key events through the XTEST extension, flushed at once."""

    def __init__(self):
        self.x = ctypes.CDLL("libX11.so.6")
        self.t = ctypes.CDLL("libXtst.so.6")
        self.x.XOpenDisplay.restype = ctypes.c_void_p
        self.x.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x.XStringToKeysym.restype = ctypes.c_ulong
        self.d = ctypes.c_void_p(self.x.XOpenDisplay(None))
        if not self.d:
            sys.exit("no display")

    def _flush(self):
        self.x.XFlush(self.d)
        return time.monotonic()

    def move(self, x, y):
        self.t.XTestFakeMotionEvent(self.d, -1, x, y, 0)
        return self._flush()

    def button(self, down):
        self.t.XTestFakeButtonEvent(self.d, 1, int(down), 0)
        return self._flush()

    def keycode(self, name):
        return self.x.XKeysymToKeycode(self.d, self.x.XStringToKeysym(name.encode()))

    def key(self, code, down):
        self.t.XTestFakeKeyEvent(self.d, code, int(down), 0)
        return self._flush()


KEYSYMS = {",": "comma", ".": "period", "/": "slash", ";": "semicolon"}


def white_key_x(index):
    return 20 + 11 * index  # 11 px white keys from the left edge


def zero_gaps(samples, min_frames=24, edge=10, level=256):
    """Runs of exact-zero frames (both channels) that cut into sound: loud right before and
    right after the run. A note that ends decays to zero first, so it does not count."""
    silent = np.all(samples == 0, axis=1).astype(np.int8)
    edges = np.diff(np.concatenate(([0], silent, [0])))
    starts, ends = np.flatnonzero(edges == 1), np.flatnonzero(edges == -1)
    peak = np.abs(samples.astype(np.int32)).max(axis=1)
    gaps = []
    for s, e in zip(starts, ends):
        if e - s < min_frames or s < edge or e + edge > len(samples):
            continue
        if peak[s - edge : s].max() > level and peak[e : e + edge].max() > level:
            gaps.append({"at_s": round(s / RATE, 3), "ms": round((e - s) * 1000 / RATE, 2)})
    return gaps


def rss_kb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def loadavg():
    with open("/proc/loadavg") as f:
        return f.read().split()[:3]


def clicks(count, out):
    rec, inp = Recorder(), Input()
    time.sleep(2)
    events = []
    for i in range(count):
        inp.move(white_key_x(10 + (i * 7) % 40), KEY_Y)
        t = inp.button(True)
        time.sleep(0.25)
        inp.button(False)
        events.append(t)
        time.sleep(1.5)
    time.sleep(1)
    rec.stop()
    s = rec.samples()
    peak = np.abs(s.astype(np.int32)).max(axis=1)
    lat = []
    for t in events:
        f = rec.frame_at(t)
        if peak[max(f - 2400, 0) : f].max() > THRESHOLD:
            continue  # the last note still sounds: no clean onset
        hit = np.flatnonzero(peak[f : f + RATE] > THRESHOLD)
        if len(hit):
            lat.append(round(hit[0] * 1000 / RATE, 1))
    result = {"clicks": count, "measured": len(lat), "median_ms": float(np.median(lat)),
              "max_ms": max(lat), "min_ms": min(lat), "latencies_ms": lat,
              "zero_gaps": zero_gaps(s), "load": loadavg()}
    json.dump(result, open(out, "w"), indent=1)
    print(json.dumps({k: v for k, v in result.items() if k != "latencies_ms"}))


def focus_window():
    """Gives the window the keyboard, as a window manager would (there is none under Xvfb)."""
    subprocess.run(["xdotool", "search", "--name", "^Velmo ver", "windowfocus"], check=False)


def open_song(inp, path):
    focus_window()
    ctrl, o = inp.keycode("Control_L"), inp.keycode("o")
    inp.key(ctrl, True), inp.key(o, True), inp.key(o, False), inp.key(ctrl, False)
    for _ in range(100):  # the file dialog opens with the name field focused
        time.sleep(0.1)
        if subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Open MIDI File"],
                          capture_output=True).returncode == 0:
            break
    time.sleep(0.3)
    subprocess.run(["xdotool", "type", "--delay", "5", path], check=True)
    subprocess.run(["xdotool", "key", "Return"], check=True)
    time.sleep(0.5)
    # The dialog closes only on a file it accepted; one left open is closed and counted.
    still_open = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Open MIDI File"],
                                capture_output=True).returncode == 0
    if still_open:
        subprocess.run(["xdotool", "key", "Escape"], check=True)
        time.sleep(0.3)
    focus_window()
    return not still_open


def song(path, out):
    rec, inp = Recorder(), Input()
    time.sleep(2)
    open_song(inp, path)
    started = time.monotonic()
    while time.monotonic() - started < 900:  # until 3 s of silence after sound
        time.sleep(1)
        s = rec.samples()
        sounded = len(s) > 5 * RATE and np.abs(s[: -3 * RATE]).max() > THRESHOLD
        if not sounded and time.monotonic() - started > 20:
            sys.exit("the song does not sound")
        if sounded and np.abs(s[-3 * RATE :]).max() == 0:
            break
    rec.stop()
    s = rec.samples()
    s.tofile(out)
    print(json.dumps({"frames": len(s), "zero_gaps": zero_gaps(s), "load": loadavg()}))


def cancel_song_dialog(inp):
    """Opens File > Open and closes it with Escape: the dialog's cost without a song load."""
    focus_window()
    ctrl, o = inp.keycode("Control_L"), inp.keycode("o")
    inp.key(ctrl, True), inp.key(o, True), inp.key(o, False), inp.key(ctrl, False)
    for _ in range(100):
        time.sleep(0.1)
        if subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Open MIDI File"],
                          capture_output=True).returncode == 0:
            break
    time.sleep(0.3)
    subprocess.run(["xdotool", "key", "Escape"], check=True)
    time.sleep(0.5)
    focus_window()


# Each action kind's share of a random draw, in the order they are tried.
ACTION_SHARES = [("click", 0.45), ("letters", 0.35), ("program", 0.13), ("song", 0.04),
                 ("stop", 0.03)]


def soak(seconds, out, pid, song_path, kinds=None):
    rec, inp = Recorder(), Input()
    rng = random.Random(11)
    time.sleep(2)
    start = time.monotonic()
    shares = [(k, w) for k, w in ACTION_SHARES if kinds is None or k in kinds]
    if kinds and "cancel" in kinds:
        shares.append(("cancel", 0.04))
    total = sum(w for _, w in shares)
    rss, actions, times = [], {k: 0 for k, _ in shares}, []
    next_rss = start
    codes = [inp.keycode(KEYSYMS.get(c, c)) for c in LETTERS]
    focus_window()
    while time.monotonic() - start < seconds:
        if time.monotonic() >= next_rss:
            rss.append([round(time.monotonic() - start, 1), rss_kb(pid), loadavg()[0]])
            next_rss += 10
        began = time.monotonic()
        r, kind = rng.random() * total, shares[-1][0]
        for k, w in shares:
            if r < w:
                kind = k
                break
            r -= w
        if kind == "click":
            inp.move(white_key_x(rng.randrange(5, 60)), KEY_Y)
            inp.button(True)
            time.sleep(rng.uniform(0.05, 0.6))
            inp.button(False)
            actions["click"] += 1
        elif kind == "letters":
            held = rng.sample(codes, rng.randint(1, 3))
            for c in held:
                inp.key(c, True)
            time.sleep(rng.uniform(0.05, 0.5))
            for c in held:
                inp.key(c, False)
            actions["letters"] += 1
        elif kind == "program":
            inp.move(180, 39)  # the program list: open it, step, choose
            inp.button(True), inp.button(False)
            time.sleep(0.3)
            step = inp.keycode(rng.choice(["Down", "Up"]))
            for _ in range(rng.randint(1, 5)):
                inp.key(step, True), inp.key(step, False)
            ret = inp.keycode("Return")
            inp.key(ret, True), inp.key(ret, False)
            actions["program"] += 1
        elif kind == "song":
            if song_path:
                opened = open_song(inp, song_path)
                actions["song"] += 1
                actions["song_refused"] = actions.get("song_refused", 0) + (not opened)
        elif kind == "cancel":
            cancel_song_dialog(inp)
            actions["cancel"] += 1
        else:
            inp.move(462, 38)  # the player's Stop button
            inp.button(True), inp.button(False)
            actions["stop"] += 1
        times.append([kind, round(time.monotonic() - began, 2)])
        time.sleep(rng.uniform(0.05, 0.4))
    inp.move(462, 38)
    inp.button(True), inp.button(False)
    time.sleep(5)
    rss.append([round(time.monotonic() - start, 1), rss_kb(pid), loadavg()[0]])
    if os.environ.get("VELMO_TIMES"):
        print("action times:", json.dumps(times))
    rec.stop()
    s = rec.samples()
    tail = int(np.abs(s[-3 * RATE :].astype(np.int32)).max())
    result = {"seconds": seconds, "actions": actions, "frames": len(s),
              "zero_gaps": zero_gaps(s), "last_3s_peak": tail, "rss_kb": rss, "load": loadavg()}
    json.dump(result, open(out, "w"), indent=1)
    print(json.dumps({k: v for k, v in result.items() if k != "rss_kb"}))
    print("rss first/after 10 s/last:", rss[0][1], rss[1][1] if len(rss) > 1 else "-", rss[-1][1])


def underruns(log, mark, stalls):
    """Underrun lines of the stream "Velmo" in the server's log (times since the server
    started), put on the monotonic clock through the marker: the monotonic time at which the
    last pactl before the check connected (its "Created N" line). A stall whose end is within
    80 ms of an underrun is counted as its cause."""
    import re
    lines = open(log).read().splitlines()
    stamp = lambda line: float(re.match(r"\(\s*([\d.]+)", line).group(1))
    marker = [re.search(r'Freed (\d+) "pactl"', l).group(1) for l in lines if '"pactl"' in l][-1]
    created = [stamp(l) for l in lines if f"Created {marker} " in l]
    offset = float(open(mark).read().split()[1]) - created[0]
    times = [stamp(l) + offset for l in lines if re.search(r"(Implicit|Actual) underrun of 'Velmo'", l)]
    ends = [tuple(map(float, l.split())) for l in open(stalls) if len(l.split()) == 2]
    long = [e for e in ends if e[1] > 10]
    with_stall = sum(any(abs(t - e[0]) < 0.08 for e in long) for t in times)
    print(json.dumps({"underruns": len(times), "with_machine_stall": with_stall,
                      "processor_stalls_over_10ms": len(long),
                      "worst_stall_ms": max([e[1] for e in ends], default=0)}))


if __name__ == "__main__":
    mode = sys.argv[1]
    if mode == "clicks":
        clicks(int(sys.argv[2]), sys.argv[3])
    elif mode == "song":
        song(sys.argv[2], sys.argv[3])
    elif mode == "underruns":
        underruns(*sys.argv[2:5])
    elif mode == "soak":
        kinds = os.environ.get("VELMO_ACTIONS")
        soak(float(sys.argv[2]), sys.argv[3], int(os.environ["VELMO_PID"]),
             os.environ.get("VELMO_SONG", ""), kinds.split(",") if kinds else None)
