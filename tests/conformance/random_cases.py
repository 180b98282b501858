#!/usr/bin/env python3
"""Random valid sound banks and random MIDI byte scripts for the engine conformance test.

A case is a small bank image (a few instruments, sample records and short 8-bit waves, maps with
some empty 0xFFFF entries) and a script of `<block> <hex bytes>` lines. Scripts mix well-formed
messages (notes, controllers, RPN sequences, program and bank changes, pitch bend) with running
status, system exclusive, real-time and system common bytes and stray data bytes, and now and
then flood the queue with more than 512 bytes in one block.

Inputs stay away from what the engine decides on its own: an alternating loop whose loop points
meet only after clamping is never generated.

Usage: random_cases.py --seed S --blocks N --bank OUT.bin --script OUT.txt
"""

import argparse
import math
import random
import struct

INSTRUMENT_SIZE = 73
DRUM_FIRST_INSTRUMENT = 128  # key 35 + 93
DRUM_INSTRUMENT_END = 175
CONTROLLERS = [0, 1, 6, 7, 10, 11, 38, 64, 98, 99, 100, 101, 120, 121, 123]


def u16(x):
    return struct.pack("<H", x & 0xFFFF)


# ---- waves -------------------------------------------------------------------------------------
def random_wave(rng):
    roll = rng.random()
    if roll < 0.04:
        n = rng.randint(0, 3)  # too short to play from most starts
    elif roll < 0.5:
        n = rng.randint(3, 120)
    elif roll < 0.9:
        n = rng.randint(120, 800)
    else:
        n = rng.randint(800, 4000)
    kind = rng.choice(["noise", "sine", "square", "saw", "extreme", "noise", "sine", "square"])
    if rng.random() < 0.03:
        kind = "silence"
    amplitude = rng.choice([127, 128, 100, 60, 20, 3])
    period = rng.randint(2, 64)
    pcm = []
    for i in range(n):
        if kind == "noise":
            x = rng.randint(-128, 127)
        elif kind == "sine":
            x = int(amplitude * math.sin(2 * math.pi * i / period))
        elif kind == "square":
            x = amplitude if (i // max(1, period // 2)) % 2 == 0 else -amplitude
        elif kind == "saw":
            x = -amplitude + (2 * amplitude * (i % period)) // period
        elif kind == "extreme":
            x = 127 if i % 2 else -128
        else:
            x = 0
        pcm.append(max(-128, min(127, x)))
    return pcm


def wave_entry(rng, pcm):
    size = len(pcm) + 8
    header = u16(size) + u16(0) + u16(rng.randint(0, len(pcm))) + u16(rng.randint(0, len(pcm)))
    return header + struct.pack("<%db" % len(pcm), *pcm)


# ---- sample records ----------------------------------------------------------------------------
def random_sample_record(rng, waves, used_slots, wave_count):
    roll = rng.random()
    if roll < 0.75:
        slot = rng.choice(used_slots)
    elif roll < 0.85:
        slot = rng.randrange(wave_count)
    elif roll < 0.95:
        slot = rng.randint(wave_count, wave_count + 5)  # beyond the loaded slots: empty
    else:
        slot = rng.choice([3000, 3001, 4095, 0xFFFF])  # outside the table: the note is dropped
    pcm = waves[slot] if slot < len(waves) else None
    n = len(pcm) if pcm else 64

    tune = rng.choice([0, 0, rng.randint(-1500, 1500), rng.randint(-40, 40) * 50])
    if rng.random() < 0.04:
        tune = rng.randint(-32768, 32767)  # pitches past the top limit or far below audibility
    mode_roll = rng.random()
    if mode_roll < 0.97:
        loop_mode = rng.choice([0, 1, 1, 2, 2, 3, 3])
    else:
        loop_mode = rng.choice([4, 7, 0xFFFF])

    start = 0 if rng.random() < 0.7 else rng.randint(0, max(0, n // 2)) if rng.random() < 0.8 \
        else rng.randint(0, max(0, n + 2))

    def point():
        r = rng.random()
        if r < 0.15:
            return 0
        if r < 0.8:
            return rng.randint(0, max(0, n - 1))
        if r < 0.9:
            return rng.randint(n - 3 if n > 3 else 0, n + 5)
        return rng.choice([n, n + 100, 0xFFFF, 65000])

    loop_start, loop_end = point(), point()
    if rng.random() < 0.1:
        loop_end = loop_start
    if rng.random() < 0.5 and loop_start > loop_end:
        loop_start, loop_end = loop_end, loop_start
    # An alternating loop whose points only meet after clamping to the wave is left to the engine.
    if loop_mode in (2, 3) and loop_start < loop_end and loop_start >= n - 1:
        loop_start = rng.randint(0, max(0, n - 2))
    return struct.pack("<hHHHHH", tune, loop_mode, start & 0xFFFF, loop_start & 0xFFFF,
                       loop_end & 0xFFFF, slot & 0xFFFF)


# ---- instruments -------------------------------------------------------------------------------
def random_instrument(rng, sample_count):
    regions = rng.randint(1, 5)
    tops = sorted(rng.sample(range(20, 127), regions - 1))
    tops.append(127 if rng.random() < 0.85 else rng.randint(60, 126))
    region_sample = []
    for _ in range(regions):
        r = rng.random()
        if r < 0.85 and sample_count > 1:
            region_sample.append(rng.randint(1, sample_count - 1))
        elif r < 0.93:
            region_sample.append(0)
        elif r < 0.98:
            region_sample.append(rng.randint(sample_count, sample_count + 10))  # zero records
        else:
            region_sample.append(rng.choice([3000, 0xFFFF]))  # outside the table: dropped
    region_sample += [0] * (16 - regions)
    tops += [127] * (16 - regions)

    def rate():
        r = rng.random()
        if r < 0.7:
            return rng.randint(85, 127)
        if r < 0.9:
            return rng.randint(50, 85)
        if r < 0.97:
            return rng.randint(0, 30)
        return rng.randint(-128, -1)

    env_rate = [rate() for _ in range(6)]
    env_level = [rng.choice([0, 127, rng.randint(0, 127), rng.randint(0, 127)]) for _ in range(6)]
    if rng.random() < 0.85:  # most attacks rise audibly
        env_rate[0] = rng.randint(90, 127)
        env_level[0] = rng.randint(60, 127)
    env_key_scale = [rng.randint(0, 3) for _ in range(6)]
    # Modes outside 0..5 neither hold (1, 4) nor ignore key-off (2, 5). A negative vibrato depth
    # widens to a huge unsigned depth: wide vibrato up to the top pitch.
    env_mode = rng.randint(0, 5) if rng.random() < 0.95 else rng.randint(-128, 127)
    vibrato_depth = rng.choice([0, 0, rng.randint(0, 127)]) if rng.random() < 0.97 \
        else rng.randint(-128, -1)
    lfo_rate = rng.choice([0, rng.randint(0, 60), rng.randint(-40, 127)])
    level = rng.choice([127, rng.randint(40, 127), rng.randint(0, 127)])
    # Selectors outside 0..6 (signed bytes, so negative ones too) act as 0.
    level_key_scale = rng.randint(0, 6) if rng.random() < 0.95 else rng.choice(
        [rng.randint(7, 127), rng.randint(-128, -1)])
    pitch_key_track = rng.randint(0, 6) if rng.random() < 0.95 else rng.choice(
        [rng.randint(7, 127), rng.randint(-128, -1)])
    tremolo_depth = rng.choice([0, 0, rng.randint(0, 127), rng.randint(-128, 127)])
    return (struct.pack("<16H", *region_sample) + struct.pack("<16b", *tops)
            + struct.pack("<6b", *env_rate) + struct.pack("<6b", *env_level)
            + struct.pack("<6b", *env_key_scale)
            + struct.pack("<7b", env_mode, vibrato_depth, lfo_rate, level, level_key_scale,
                          pitch_key_track, tremolo_depth))


def wild_instrument(rng, sample_count):
    """Any byte in every field: levels, key scales and modes outside their ranges, unordered
    region keys. The engine must stay safe; what it plays is its own choice."""
    record = bytearray(random_instrument(rng, sample_count))
    for offset in range(32, 73):
        if rng.random() < 0.3:
            record[offset] = rng.randint(0, 255)
    return bytes(record)


def wild_sample_record(rng, waves, used_slots, wave_count):
    """Loop points that meet only after clamping, starts near the end, any loop mode."""
    record = bytearray(random_sample_record(rng, waves, used_slots, wave_count))
    tune, mode, start, loop_start, loop_end, slot = struct.unpack("<hHHHHH", record)
    n = len(waves[slot]) if slot < len(waves) and waves[slot] else 64
    roll = rng.random()
    if roll < 0.3:
        loop_start, loop_end, mode = rng.randint(n - 1, n + 3), rng.randint(n + 4, 0xFFFF), rng.choice([2, 3])
    elif roll < 0.5:
        start = rng.randint(max(0, n - 4), n + 2)
    elif roll < 0.7:
        tune = rng.randint(-32768, 32767)
    return struct.pack("<hHHHHH", tune, mode & 0xFFFF, start & 0xFFFF, loop_start & 0xFFFF,
                       loop_end & 0xFFFF, slot)


def random_bank(rng, wild=False):
    """Returns the image bytes of a random bank: valid, or with `wild` fields out of range.

    Now and then the tables are filled to capacity (500 instruments, 3000 sample records and
    wave slots, 16 map rows) with the last entries in use, or a wave is close to 64K frames."""
    make_instrument = wild_instrument if wild else random_instrument
    make_sample = wild_sample_record if wild else random_sample_record
    full = rng.random() < 0.12
    with_drums = rng.random() < 0.5
    if full:
        instrument_count, sample_count, wave_count, row_count = 500, 3000, 3000, 16
        melodic = sorted(set([0, 1, 499, 498] + [rng.randint(175, 499) for _ in range(4)]))
        used_slots = sorted(set([2999, 0] + [rng.randrange(3000) for _ in range(5)]))
    else:
        melodic = list(range(rng.randint(2, 8)))
        instrument_count = rng.randint(DRUM_INSTRUMENT_END, DRUM_INSTRUMENT_END + 5) if with_drums \
            else len(melodic)
        sample_count = rng.randint(3, 12)
        wave_count = rng.randint(1, 8)
        row_count = rng.randint(1, 4)
        used_slots = [i for i in range(wave_count) if rng.random() >= 0.08] or [wave_count - 1]

    waves = [None] * wave_count
    for slot in used_slots:
        waves[slot] = random_wave(rng)
    if rng.random() < 0.03:
        waves[used_slots[-1]] = [rng.randint(-128, 127) for _ in range(rng.randint(60000, 65527))]

    melodic_set = set(melodic)
    image = bytearray(u16(instrument_count))
    for i in range(instrument_count):
        sounding = i in melodic_set or (with_drums and DRUM_FIRST_INSTRUMENT <= i < DRUM_INSTRUMENT_END
                                         and rng.random() < 0.6)
        image += make_instrument(rng, sample_count) if sounding else bytes(INSTRUMENT_SIZE)

    image += u16(sample_count)
    for i in range(sample_count):
        image += make_sample(rng, waves, used_slots, wave_count)

    image += u16(wave_count)
    for pcm in waves:
        image += u16(0) if pcm is None else wave_entry(rng, pcm)

    bank_map_count = rng.choice([0, 1, 8, 128, rng.randint(0, 128)])
    image += u16(bank_map_count)
    for _ in range(bank_map_count):
        r = rng.random()
        image.append(rng.randrange(row_count) if r < 0.8 else rng.randint(0, 15) if r < 0.95
                     else rng.randint(16, 255))
    drum_kit_count = rng.choice([0, 128, rng.randint(0, 128)])
    image += u16(drum_kit_count)
    image += bytes(rng.randint(0, 255) for _ in range(drum_kit_count))

    image += u16(row_count)
    for _ in range(row_count):
        row = []
        for _ in range(128):
            r = rng.random()
            if r < 0.75:
                row.append(rng.choice(melodic))
            elif r < 0.9:
                row.append(0xFFFF)
            elif r < 0.97:
                row.append(rng.randint(0, 499))
            else:
                row.append(rng.randint(500, 0xFFFE))
        image += struct.pack("<128H", *row)
    drum_rows = 16 if full else rng.randint(0, 3)
    image += u16(drum_rows)
    for _ in range(drum_rows):
        image += struct.pack("<128H", *[rng.choice([0xFFFF, rng.randint(0, 200)]) for _ in range(128)])
    return bytes(image)


# ---- scripts -----------------------------------------------------------------------------------
class ScriptWriter:
    """Collects bytes per block and builds messages, sometimes with running status."""

    def __init__(self, rng, blocks):
        self.rng = rng
        self.blocks = blocks
        self.lines = {}  # block -> list of byte lists (one per line)
        self.last_status = None

    def emit(self, block, data):
        if 0 <= block < self.blocks and data:
            self.lines.setdefault(block, []).append(list(data))

    def message(self, block, status, *data):
        rng = self.rng
        out = []
        if status != self.last_status or rng.random() < 0.5:
            out.append(status)
        self.last_status = status
        for d in data:
            if rng.random() < 0.03:
                out.append(rng.randint(0xF8, 0xFF))  # real-time bytes inside a message
            out.append(d & 0x7F)
        self.emit(block, out)

    def interrupt(self, block):
        """Bytes that do not continue channel running status."""
        rng = self.rng
        kind = rng.random()
        if kind < 0.4:
            data = [0xF0] + [rng.randint(0, 127) for _ in range(rng.randint(0, 12))]
            if rng.random() < 0.8:
                data.append(0xF7)
            self.last_status = None
        elif kind < 0.6:
            data = [rng.randint(0xF1, 0xF6)] + [rng.randint(0, 127) for _ in range(rng.randint(0, 4))]
            # The parser keeps collecting groups for no action until the next channel status.
            self.last_status = None
        elif kind < 0.8:
            data = [rng.randint(0xF8, 0xFF) for _ in range(rng.randint(1, 3))]
        else:
            data = [rng.randint(0, 127) for _ in range(rng.randint(1, 3))]  # stray data bytes
        self.emit(block, data)

    def text(self):
        out = []
        for block in sorted(self.lines):
            for data in self.lines[block]:
                out.append("%d %s" % (block, " ".join("%02X" % b for b in data)))
        return "\n".join(out) + "\n"


def noise_script(rng, blocks):
    """Bytes without structure, a third of them status bytes."""
    lines = []
    for block in range(blocks):
        if rng.random() < 0.6:
            data = [rng.randint(0x80, 0xFF) if rng.random() < 0.33 else rng.randint(0, 0x7F)
                    for _ in range(rng.randint(1, 30))]
            lines.append("%d %s" % (block, " ".join("%02X" % b for b in data)))
    return "\n".join(lines) + "\n"


def random_script(rng, blocks, wild=False):
    if rng.random() < 0.08:
        return noise_script(rng, blocks)
    w = ScriptWriter(rng, blocks)
    channels = rng.sample(range(16), rng.randint(1, 4))
    if 9 not in channels and rng.random() < 0.5:
        channels.append(9)

    def key_for(ch):
        return rng.randint(30, 86) if ch == 9 else rng.choice([rng.randint(36, 96), rng.randint(0, 127)])

    def note(block, ch, key, length):
        velocity = rng.choice([100, 127, 1, rng.randint(1, 127)])
        w.message(block, 0x90 | ch, key, velocity)
        if length is not None:
            if rng.random() < 0.5:
                w.message(block + length, 0x90 | ch, key, 0)
            else:
                w.message(block + length, 0x80 | ch, key, rng.randint(0, 127))

    def rpn(block, ch):
        lsb = rng.choice([0, 1, 2, 5, 127])
        msb = 0 if rng.random() < 0.85 else rng.choice([1, 127])
        w.message(block, 0xB0 | ch, 101, msb)
        w.message(block, 0xB0 | ch, 100, lsb)
        if lsb == 0:
            value = rng.randint(0, 127 if wild or rng.random() < 0.1 else 24)
        elif lsb == 2:
            value = rng.choice([rng.randint(36, 92), 64])
        else:
            value = rng.randint(0, 127)
        w.message(block, 0xB0 | ch, 6, value)
        if rng.random() < 0.7:
            w.message(block, 0xB0 | ch, 38, rng.randint(0, 127))

    density = rng.choice([0.3, 0.6, 1.0, 2.0])
    events = int(blocks * density) + 4
    for _ in range(events):
        block = rng.randrange(blocks)
        ch = rng.choice(channels)
        kind = rng.random()
        if kind < 0.45:
            length = rng.choice([None, rng.randint(0, 3), rng.randint(1, 20), rng.randint(20, 120)])
            note(block, ch, key_for(ch), length)
        elif kind < 0.52:  # a chord or a run: more voices than the engine has
            for i in range(rng.randint(4, 22)):
                note(block + (i if rng.random() < 0.3 else 0), ch, key_for(ch),
                     rng.choice([None, rng.randint(5, 60)]))
        elif kind < 0.55:  # the same key again while it sounds
            key = key_for(ch)
            note(block, ch, key, rng.randint(5, 40))
            note(block + rng.randint(0, 4), ch, key, rng.randint(5, 40))
        elif kind < 0.72:
            number = rng.choice(CONTROLLERS + [rng.randint(0, 127)])
            value = rng.choice([0, 63, 64, 127, rng.randint(0, 127)])
            if number == 6 and not wild:
                value = rng.randint(0, 24)  # keeps a bend range set by a stray RPN modest
            w.message(block, 0xB0 | ch, number, value)
        elif kind < 0.76:
            rpn(block, ch)
        elif kind < 0.82:
            if rng.random() < 0.4:
                w.message(block, 0xB0 | ch, 0, rng.choice([0, 1, 2, rng.randint(0, 127)]))
            w.message(block, 0xC0 | ch, rng.choice([0, 1, 2, 3, rng.randint(0, 127)]))
        elif kind < 0.88:
            w.message(block, 0xE0 | ch, rng.randint(0, 127), rng.randint(0, 127))
        elif kind < 0.9:
            w.message(block, rng.choice([0xA0, 0xD0]) | ch, rng.randint(0, 127), rng.randint(0, 127))
        elif kind < 0.97:
            w.interrupt(block)
        else:  # a flood: more bytes in one block than the queue holds
            for _ in range(rng.randint(180, 260)):
                ch2 = rng.choice(channels)
                w.message(block, rng.choice([0x90, 0x80]) | ch2, key_for(ch2), rng.randint(0, 127))
    return w.text()


def random_case(seed, blocks, wild=False):
    """Returns (bank image, script text) for the seed."""
    rng = random.Random(seed)
    return random_bank(rng, wild), random_script(rng, blocks, wild)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seed", type=int, required=True)
    parser.add_argument("--blocks", type=int, default=100)
    parser.add_argument("--bank", required=True)
    parser.add_argument("--script", required=True)
    parser.add_argument("--wild", action="store_true", help="fields outside their valid ranges")
    args = parser.parse_args(argv)
    bank, script = random_case(args.seed, args.blocks, args.wild)
    with open(args.bank, "wb") as f:
        f.write(bank)
    with open(args.script, "w", encoding="utf-8") as f:
        f.write(script)


if __name__ == "__main__":
    main()
