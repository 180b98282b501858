#!/usr/bin/env python3
"""Whole-process CPU time of velmo-render against FluidSynth on real MIDI files.

Each file is rendered by both programs in turn, run after run (velmo-render first on even runs,
FluidSynth first on odd ones), with the same rate and polyphony and FluidSynth's effects off:

  velmo-render FILE -o OUT.wav
  fluidsynth -F OUT.wav -r 22050 -R 0 -C 0 -o synth.polyphony=18 SOUNDFONT FILE

A run's cost is the child's user + system CPU time from wait4 (getrusage of the child),
started with posix_spawn. The table gives the median of each program per file, their ratio,
and the load average before and after. With --empty, velmo-render's start-up alone is measured as well: a MIDI file without
events, median and spread.

  bench/render_vs_fluidsynth.py --velmo build/default/tools/velmo-render/velmo-render
"""
import argparse
import glob
import gzip
import os
import signal
import statistics
import subprocess
import sys
import tempfile
import time

DEFAULT_SOUNDFONT = "/usr/share/sounds/sf2/FluidR3_GM.sf2"
DEFAULT_SOURCES = [
    "/usr/share/doc/playmidi/examples/*.mid.gz",
    "/usr/share/games/openttd/baseset/openmsx/*.mid",
]
# A format-0 file with one track holding only its end.
EMPTY_MIDI = b"MThd\0\0\0\x06\0\0\0\x01\0\x60MTrk\0\0\0\x04\0\xff\x2f\0"


def child_cpu_ms(argv, limit_seconds):
    """Runs argv with its output discarded; returns the child's user + system CPU in ms, or None
    when it has not finished after limit_seconds (it is then stopped).

    posix_spawn (vfork and exec) keeps the harness out of the figure: a child made with fork
    would first pay for copying this interpreter's pages (about 10 ms here) before its exec.
    """
    quiet = [(os.POSIX_SPAWN_OPEN, fd, os.devnull, os.O_RDWR, 0) for fd in (0, 1, 2)]
    pid = os.posix_spawnp(argv[0], argv, os.environ, file_actions=quiet)
    deadline = time.monotonic() + limit_seconds
    try:
        while True:
            done, status, usage = os.wait4(pid, os.WNOHANG)
            if done == pid:
                break
            if time.monotonic() > deadline:
                os.kill(pid, signal.SIGKILL)
                os.wait4(pid, 0)
                return None
            time.sleep(0.002)
    except BaseException:
        os.kill(pid, signal.SIGKILL)  # never leave a renderer writing on after the harness
        os.wait4(pid, 0)
        raise
    if not os.WIFEXITED(status) or os.WEXITSTATUS(status) != 0:
        sys.exit(f"failed ({status:#x}): {' '.join(argv)}")
    return 1000.0 * (usage.ru_utime + usage.ru_stime)


def collect_files(patterns, workdir):
    """The MIDI files matching `patterns`; gzipped ones are unpacked into workdir."""
    files = []
    for pattern in patterns:
        for path in sorted(glob.glob(pattern)):
            if path.endswith(".gz"):
                plain = os.path.join(workdir, os.path.basename(path)[:-3])
                with gzip.open(path, "rb") as packed, open(plain, "wb") as out:
                    out.write(packed.read())
                path = plain
            files.append(path)
    return files


def load_average():
    return "%.2f %.2f %.2f" % os.getloadavg()


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--velmo", required=True, help="velmo-render binary")
    parser.add_argument("--fluidsynth", default="fluidsynth")
    parser.add_argument("--soundfont", default=DEFAULT_SOUNDFONT)
    parser.add_argument("--runs", type=int, default=5, help="runs per file and program (>= 1)")
    parser.add_argument("--limit", type=float, default=30.0,
                        help="seconds after which a run is stopped and its file left out "
                        "(FluidSynth never stops on some files)")
    parser.add_argument("--empty", action="store_true",
                        help="also measure velmo-render on a MIDI file without events")
    parser.add_argument("files", nargs="*",
                        help="MIDI files (default: the playmidi examples and OpenMSX)")
    args = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="velmo-vs-fs-") as workdir:
        files = args.files or collect_files(DEFAULT_SOURCES, workdir)
        if not files:
            sys.exit("no MIDI files found")
        out = os.path.join(workdir, "out.wav")
        print(f"load average before: {load_average()}")

        if args.empty:
            empty = os.path.join(workdir, "empty.mid")
            with open(empty, "wb") as f:
                f.write(EMPTY_MIDI)
            times = [child_cpu_ms([args.velmo, empty, "-o", out], args.limit)
                     for _ in range(max(args.runs, 11))]
            print(f"empty render: median {statistics.median(times):.1f} ms "
                  f"(min {min(times):.1f}, max {max(times):.1f}, {len(times)} runs)")

        print(f"{'file':32} {'velmo ms':>9} {'fluid ms':>9} {'ratio':>7}")
        ratios = []
        for path in files:
            velmo, fluid = [], []
            for run in range(args.runs):
                pair = [(velmo, [args.velmo, path, "-o", out]),
                        (fluid, [args.fluidsynth, "-F", out, "-r", "22050", "-R", "0", "-C", "0",
                                 "-o", "synth.polyphony=18", args.soundfont, path])]
                for times, argv in pair if run % 2 == 0 else reversed(pair):
                    times.append(child_cpu_ms(argv, args.limit))
                if None in velmo + fluid:
                    break
            name = os.path.basename(path)
            if None in velmo + fluid:
                who = "velmo-render" if None in velmo else "FluidSynth"
                print(f"{name:32} left out: {who} did not finish within {args.limit:.0f} s",
                      flush=True)
                continue
            v, f = statistics.median(velmo), statistics.median(fluid)
            ratios.append(f / v)
            print(f"{name:32} {v:9.1f} {f:9.1f} {f / v:6.1f}x", flush=True)
        print(f"ratio: min {min(ratios):.1f}x, median {statistics.median(ratios):.1f}x over "
              f"{len(ratios)} files, {args.runs} alternating runs each")
        print(f"load average after: {load_average()}")


if __name__ == "__main__":
    main()
