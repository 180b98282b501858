#!/usr/bin/env python3
"""Renders random banks and MIDI scripts through velmo-render and the reference model and
compares the PCM byte for byte.

On the first differing sample of a case it prints the case seed, block, frame, side and both
values, and keeps the case (bank.bin, script.txt, expected.raw, actual.raw, repro.sh) in
--keep-dir. The hand-built cases of edge_cases.py and the regression cases under regressions/ (pairs NAME.bank.bin + NAME.script.txt, the
block count on the script's first line as "# blocks N") are always run first.

Exit status: 0 when every case agrees, 1 on any mismatch or failure of velmo-render.
"""

import argparse
import collections
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import edge_cases  # noqa: E402
import engine_model  # noqa: E402
import random_cases  # noqa: E402

FRAME_BYTES = 4
BLOCK_BYTES = engine_model.FRAMES_PER_BLOCK * FRAME_BYTES


def run_velmo_render(exe, bank_path, script_path, blocks, out_path):
    cmd = [exe, "--bank", bank_path, "--script", script_path, "--blocks", str(blocks), "-o",
           out_path, "--raw"]
    result = subprocess.run(cmd, capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError("velmo-render exited with %d: %s" % (result.returncode,
                                                                 result.stderr.strip()))
    with open(out_path, "rb") as f:
        return f.read()


def probe_wild_case(name, bank, script, blocks, exe, work, keep_dir, tally):
    """A bank with fields out of range: velmo-render must finish cleanly (or refuse the bank with
    an error message), never crash, hang or trip a sanitizer. Its output is not compared."""
    bank_path = os.path.join(work, "bank.bin")
    script_path = os.path.join(work, "script.txt")
    with open(bank_path, "wb") as f:
        f.write(bank)
    with open(script_path, "w", encoding="utf-8") as f:
        f.write(script)
    out_path = os.path.join(work, "out.raw")
    cmd = [exe, "--bank", bank_path, "--script", script_path, "--blocks", str(blocks), "-o",
           out_path, "--raw"]
    tally.cases += 1
    try:
        result = subprocess.run(cmd, capture_output=True, text=True, timeout=120)
    except subprocess.TimeoutExpired:
        problem = "did not finish within 120 s"
    else:
        sanitizer = any(marker in result.stderr for marker in
                        ("AddressSanitizer", "runtime error:", "LeakSanitizer"))
        if result.returncode < 0 or sanitizer:
            problem = "exit %d: %s" % (result.returncode, result.stderr.strip()[-2000:])
        elif result.returncode == 0 and os.path.getsize(out_path) != blocks * BLOCK_BYTES:
            problem = "wrote %d bytes instead of %d" % (os.path.getsize(out_path),
                                                        blocks * BLOCK_BYTES)
        else:
            tally.blocks += blocks if result.returncode == 0 else 0
            return True
    tally.mismatches += 1
    kept = keep_case(keep_dir, name, bank, script, blocks, b"", b"", exe)
    print("FAILED %s: velmo-render %s (case kept in %s)" % (name, problem, kept))
    return False


def first_difference(expected, actual, blocks):
    """Returns (block, frame, side, expected value, actual value) or None."""
    limit = min(len(expected), len(actual))
    for offset in range(0, limit, BLOCK_BYTES):
        if expected[offset:offset + BLOCK_BYTES] == actual[offset:offset + BLOCK_BYTES]:
            continue
        for pos in range(offset, min(offset + BLOCK_BYTES, limit), 2):
            if expected[pos:pos + 2] != actual[pos:pos + 2]:
                e = struct.unpack_from("<h", expected, pos)[0]
                a = struct.unpack_from("<h", actual, pos)[0]
                return (pos // BLOCK_BYTES, (pos % BLOCK_BYTES) // FRAME_BYTES,
                        "L" if pos % FRAME_BYTES == 0 else "R", e, a)
    if len(expected) != len(actual):
        return (limit // BLOCK_BYTES, 0, "length", len(expected), len(actual))
    return None


def keep_case(keep_dir, name, bank, script, blocks, expected, actual, exe):
    path = os.path.join(keep_dir, name)
    os.makedirs(path, exist_ok=True)
    with open(os.path.join(path, "bank.bin"), "wb") as f:
        f.write(bank)
    with open(os.path.join(path, "script.txt"), "w", encoding="utf-8") as f:
        f.write("# blocks %d\n" % blocks + script)
    with open(os.path.join(path, "expected.raw"), "wb") as f:
        f.write(expected)
    with open(os.path.join(path, "actual.raw"), "wb") as f:
        f.write(actual)
    with open(os.path.join(path, "repro.sh"), "w", encoding="utf-8") as f:
        f.write("#!/bin/sh\ncd \"$(dirname \"$0\")\"\n"
                "%s --bank bank.bin --script script.txt --blocks %d -o actual.raw --raw\n"
                "python3 %s --bank bank.bin --script script.txt --blocks %d -o expected.raw\n"
                "cmp expected.raw actual.raw\n"
                % (exe, blocks, os.path.join(HERE, "engine_model.py"), blocks))
    return path


def count_silent_blocks(pcm):
    silent = bytes(BLOCK_BYTES)
    return sum(1 for off in range(0, len(pcm), BLOCK_BYTES) if pcm[off:off + BLOCK_BYTES] == silent)


class Tally:
    def __init__(self):
        self.cases = 0
        self.blocks = 0
        self.sounding_blocks = 0
        self.mismatches = 0
        self.coverage = collections.Counter()


def check_case(name, bank, script, blocks, exe, work, keep_dir, tally, verbose):
    """Compares one case. A case that reaches an open point (input whose outcome the engine
    decides on its own, which the generators avoid) fails as broken."""
    bank_path = os.path.join(work, "bank.bin")
    script_path = os.path.join(work, "script.txt")
    with open(bank_path, "wb") as f:
        f.write(bank)
    with open(script_path, "w", encoding="utf-8") as f:
        f.write(script)
    actual = run_velmo_render(exe, bank_path, script_path, blocks, os.path.join(work, "out.raw"))
    expected, open_point, open_block = engine_model.render(bank, script, blocks, tally.coverage)
    if open_point is not None:
        print("FAILED %s: the case reaches an open point at block %d (%s)"
              % (name, open_block, open_point))
        keep_case(keep_dir, name, bank, script, blocks, expected, actual, exe)
        tally.mismatches += 1
        return False
    compared = blocks
    limit = compared * BLOCK_BYTES
    diff = first_difference(expected[:limit], actual[:limit], compared)
    if diff is None and len(actual) != blocks * BLOCK_BYTES:
        diff = (0, 0, "length", blocks * BLOCK_BYTES, len(actual))
    tally.cases += 1
    tally.blocks += compared
    tally.sounding_blocks += compared - count_silent_blocks(expected[:limit])
    if diff is None:
        if verbose:
            print("%s: %d blocks agree" % (name, compared))
        return True
    tally.mismatches += 1
    block, frame, side, e, a = diff
    kept = keep_case(keep_dir, name, bank, script, blocks, expected, actual, exe)
    print("MISMATCH %s: block %d frame %d %s: model %d, velmo-render %d (case kept in %s)"
          % (name, block, frame, side, e, a, kept))
    return False


def regression_cases(directory):
    if not os.path.isdir(directory):
        return
    for entry in sorted(os.listdir(directory)):
        if not entry.endswith(".script.txt"):
            continue
        name = entry[:-len(".script.txt")]
        with open(os.path.join(directory, entry), encoding="utf-8") as f:
            script = f.read()
        first = script.splitlines()[0].split()
        blocks = int(first[2]) if first[:2] == ["#", "blocks"] else 100
        with open(os.path.join(directory, name + ".bank.bin"), "rb") as f:
            bank = f.read()
        yield name, bank, script, blocks


def main(argv=None):
    parser = argparse.ArgumentParser(description="Compare velmo-render with the reference model.")
    parser.add_argument("--velmo-render", required=True, help="path of the velmo-render binary")
    parser.add_argument("--seed", type=int, default=1, help="first case seed")
    parser.add_argument("--cases", type=int, default=25, help="number of random cases")
    parser.add_argument("--blocks", type=int, default=60, help="blocks rendered per random case")
    parser.add_argument("--keep-dir", default=None,
                        help="where mismatching cases are written (default: a temporary folder)")
    parser.add_argument("--no-regressions", action="store_true",
                        help="skip the hand-built edge cases and regressions/")
    parser.add_argument("--min-sounding", type=float, default=0.2,
                        help="fail if fewer than this share of compared blocks carry sound")
    parser.add_argument("--wild", action="store_true",
                        help="banks with fields out of range; only checks that velmo-render "
                             "neither crashes nor hangs")
    parser.add_argument("--coverage", action="store_true",
                        help="list how often the model took each notable path")
    parser.add_argument("-v", "--verbose", action="store_true")
    args = parser.parse_args(argv)

    keep_dir = args.keep_dir or tempfile.mkdtemp(prefix="velmo-conformance-")
    work = tempfile.mkdtemp(prefix="velmo-conformance-work-")
    tally = Tally()
    started = time.time()
    ok = True
    try:
        if not args.no_regressions:
            for name, bank, script, blocks in edge_cases.all_cases():
                ok &= check_case("edge case " + name, bank, script, blocks, args.velmo_render,
                                 work, keep_dir, tally, args.verbose)
            for name, bank, script, blocks in regression_cases(os.path.join(HERE, "regressions")):
                ok &= check_case("regression " + name, bank, script, blocks, args.velmo_render,
                                 work, keep_dir, tally, args.verbose)
        for seed in range(args.seed, args.seed + args.cases):
            if args.wild:
                bank, script = random_cases.random_case(seed, args.blocks, wild=True)
                ok &= probe_wild_case("wild seed %d" % seed, bank, script, args.blocks,
                                      args.velmo_render, work, keep_dir, tally)
                continue
            bank, script = random_cases.random_case(seed, args.blocks)
            ok &= check_case("seed %d" % seed, bank, script, args.blocks, args.velmo_render, work,
                             keep_dir, tally, args.verbose)
    except RuntimeError as error:
        print("FAILED: %s" % error)
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)

    print("%d cases, %d blocks compared (%d with sound), %d failing cases, %.1f s"
          % (tally.cases, tally.blocks, tally.sounding_blocks, tally.mismatches,
             time.time() - started))
    if args.coverage:
        for what, count in sorted(tally.coverage.items()):
            print("  %8d  %s" % (count, what))
    if not args.wild and tally.blocks and tally.sounding_blocks < args.min_sounding * tally.blocks:
        print("FAILED: too few blocks carry sound for the comparison to mean much")
        return 1
    if ok and not args.keep_dir:
        shutil.rmtree(keep_dir, ignore_errors=True)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
