"""Hand-built banks and scripts for engine behaviours that random cases reach only by chance.

Each case is (name, bank image, script text, blocks). The banks are built field by field so that
each case shows one behaviour: a voice reused while its previous note was loud, alternating loops
that turn at sample 0, drum voices that keep a melodic note's tremolo, the hold pedal against
note-off and all-notes-off, a queue flooded past 512 bytes, and the fine, coarse and bend-range
registered parameters.
"""

import math
import struct


def instrument(regions, env_rate=(127, 127, 127, 127, 127, 127), env_level=(127, 127, 127, 127, 0, 0),
               env_key_scale=(0,) * 6, env_mode=1, vibrato_depth=0, lfo_rate=0, level=127,
               level_key_scale=0, pitch_key_track=0, tremolo_depth=0):
    """regions: list of (top key, sample record number)."""
    tops = [top for top, _ in regions] + [127] * (16 - len(regions))
    samples = [sample for _, sample in regions] + [0] * (16 - len(regions))
    return (struct.pack("<16H", *samples) + struct.pack("<16b", *tops)
            + struct.pack("<6b", *env_rate) + struct.pack("<6b", *env_level)
            + struct.pack("<6b", *env_key_scale)
            + struct.pack("<7b", env_mode, vibrato_depth, lfo_rate, level, level_key_scale,
                          pitch_key_track, tremolo_depth))


def sample(wave_slot, loop_mode=1, start=0, loop_start=0, loop_end=0, tune=0):
    return struct.pack("<hHHHHH", tune, loop_mode, start, loop_start, loop_end, wave_slot)


def bank_image(instruments, samples, waves, program_row=None):
    """instruments: {index: record}; samples: list (record 0 first); waves: list of PCM lists."""
    count = max(instruments) + 1
    image = bytearray(struct.pack("<H", count))
    for i in range(count):
        image += instruments.get(i, bytes(73))
    image += struct.pack("<H", len(samples)) + b"".join(samples)
    image += struct.pack("<H", len(waves))
    for pcm in waves:
        if pcm is None:
            image += struct.pack("<H", 0)
        else:
            image += struct.pack("<HHHH", len(pcm) + 8, 0, 0, 0) + struct.pack("<%db" % len(pcm), *pcm)
    image += struct.pack("<H", 128) + bytes(128)  # every bank uses program row 0
    image += struct.pack("<H", 0)
    row = program_row if program_row is not None else list(range(128))
    row = [index if index < count else 0xFFFF for index in row]
    image += struct.pack("<H", 1) + struct.pack("<128H", *row)
    image += struct.pack("<H", 0)
    return bytes(image)


def script(lines):
    """lines: list of (block, [bytes])."""
    return "".join("%d %s\n" % (block, " ".join("%02X" % b for b in data)) for block, data in lines)


def sine(n, period, amplitude=127):
    return [max(-128, min(127, int(amplitude * math.sin(2 * math.pi * i / period)))) for i in range(n)]


def ramp(n):
    return [max(-128, min(127, -120 + (240 * i) // max(1, n - 1))) for i in range(n)]


def alternating_loops_from_zero():
    """Modes 2 and 3 whose loop starts at sample 0 turn there: ..., 2, 1, 0, 1, 2, ..."""
    waves = [ramp(40), ramp(7)]
    samples = [bytes(12), sample(0, loop_mode=2, loop_start=0, loop_end=30),
               sample(0, loop_mode=3, loop_start=0, loop_end=39, start=5),
               sample(1, loop_mode=2, loop_start=0, loop_end=6, tune=1900),
               sample(1, loop_mode=3, loop_start=0, loop_end=200)]
    instruments = {p: instrument([(127, p + 1)], env_mode=1) for p in range(4)}
    lines = []
    for p in range(4):
        lines.append((p * 10, [0xC0 | p, p, 0x90 | p, 60, 100]))
        lines.append((p * 10 + 30, [0x80 | p, 60, 0]))
    return "alternating loops turning at sample 0", bank_image(instruments, samples, waves), \
        script(lines), 90


def reused_voice_starts_silent():
    """A voice taken over while its note is loud starts the new note's envelope from silence:
    a note-on followed at once by the same key (damping) or by its note-off must not carry the
    old level over."""
    waves = [sine(200, 25)]
    samples = [bytes(12), sample(0, loop_mode=1, loop_start=10, loop_end=199)]
    loud = instrument([(127, 1)], env_mode=1, env_level=(127, 127, 127, 127, 60, 40))
    release_up = instrument([(127, 1)], env_mode=0, env_rate=(127, 127, 127, 127, 90, 127),
                            env_level=(127, 127, 127, 127, 100, 90))
    instruments = {0: loud, 1: release_up}
    lines = []
    # Fill all 18 voices with loud sustained notes, then steal them in several ways.
    lines.append((0, [0x90] + sum(([k, 127] for k in range(40, 58)), [])))
    lines.append((6, [0x90, 70, 100, 0x90, 70, 100]))  # stolen voice damped at once
    lines.append((8, [0xC1, 1, 0x91, 71, 100, 0x81, 71, 0]))  # stolen voice released at once
    lines.append((10, [0x90, 72, 100, 0x90, 72, 0]))
    lines.append((12, [0xB0, 123, 0, 0xB1, 123, 0]))
    return "reused voice starts from silence", bank_image(instruments, samples, waves), \
        script(lines), 60


def drum_voice_keeps_tremolo():
    """A drum note on a voice that played a melodic note with tremolo renders with that note's
    last tremolo value (drum voices run no LFO)."""
    waves = [sine(300, 30)]
    samples = [bytes(12), sample(0, loop_mode=1, loop_start=0, loop_end=299)]
    melodic = instrument([(127, 1)], env_mode=1, lfo_rate=37, tremolo_depth=127, vibrato_depth=90)
    drum = instrument([(127, 1)], env_mode=5, pitch_key_track=0)
    instruments = {0: melodic}
    for key in range(35, 82):
        instruments[key + 93] = drum
    lines = [(0, [0x90, 60, 127]), (7, [0xB0, 120, 0]), (8, [0x99, 41, 127, 0x99, 60, 100]),
             (9, [0xE0, 0, 0x7F, 0xB0, 1, 127])]
    return "drum voice keeps left-over tremolo", bank_image(instruments, samples, waves), \
        script(lines), 40


def hold_pedal_and_all_notes_off():
    waves = [sine(120, 12), ramp(90)]
    samples = [bytes(12), sample(0, loop_mode=1, loop_start=0, loop_end=119),
               sample(1, loop_mode=0, loop_start=0, loop_end=89)]
    instruments = {0: instrument([(64, 1), (127, 2)], env_mode=1,
                                 env_rate=(120, 100, 100, 100, 95, 127),
                                 env_level=(127, 90, 80, 70, 0, 0)),
                   1: instrument([(127, 1)], env_mode=4, env_rate=(127, 110, 90, 80, 100, 127),
                                 env_level=(127, 100, 60, 50, 0, 0))}
    lines = [(0, [0x90, 60, 100, 62, 90, 0xB0, 64, 127]), (3, [0x80, 60, 0, 0x90, 62, 0]),
             (10, [0xB0, 64, 10]), (12, [0xC2, 1, 0x92, 50, 100, 52, 100, 0xB2, 64, 64]),
             (15, [0xB2, 123, 0]), (25, [0xB2, 64, 0]), (26, [0x92, 50, 100]),
             (27, [0xB2, 123, 0]), (28, [0x92, 50, 100])]
    return "hold pedal and all notes off", bank_image(instruments, samples, waves), \
        script(lines), 60


def queue_flood():
    """More than 512 bytes in one block: the bytes past the 512th are dropped."""
    waves = [sine(64, 16)]
    samples = [bytes(12), sample(0, loop_mode=1, loop_start=0, loop_end=63)]
    instruments = {0: instrument([(127, 1)], env_mode=1)}
    flood = []
    for i in range(200):
        flood += [0x90, 30 + i % 60, 1 + i % 127]
    # Byte 512 falls inside the 171st message; what follows it is lost, the last notes included.
    lines = [(0, flood), (0, [0x90, 100, 127]), (5, [0xB0, 123, 0]), (6, [0x90, 101, 127])]
    return "queue flood past 512 bytes", bank_image(instruments, samples, waves), script(lines), 20


def registered_parameters():
    waves = [sine(240, 24)]
    samples = [bytes(12), sample(0, loop_mode=1, loop_start=0, loop_end=239, tune=-37)]
    instruments = {0: instrument([(127, 1)], env_mode=1, pitch_key_track=2)}
    lines = [
        (0, [0xB0, 101, 0, 100, 0, 6, 12, 0xE0, 0x7F, 0x7F, 0x90, 61, 100]),
        (4, [0xB0, 100, 1, 6, 0x00, 38, 0x00, 0x90, 59, 100]),
        (8, [0xB0, 100, 2, 6, 88, 0x90, 64, 100, 0xB0, 6, 39, 0x90, 66, 100]),
        (12, [0xB0, 99, 1, 98, 8, 6, 100, 0xE0, 0x00, 0x00, 0x90, 68, 100]),
        (16, [0xB0, 121, 0, 6, 2, 0xE0, 0x7F, 0x7F, 0x90, 55, 100]),
        (20, [0xB0, 101, 0, 100, 1, 6, 0x7F, 38, 0x7F, 0x90, 57, 100]),
    ]
    return "registered parameters", bank_image(instruments, samples, waves), script(lines), 30


def pitch_extremes():
    """Pitches from far below audibility (steps of 0) to past the top, which plays at 25199
    cents: tens of thousands of source samples per output frame through every loop mode. The
    note pitch is a 16-bit sum, so a large tuning at a high key wraps to a very low pitch."""
    waves = [ramp(300), sine(1000, 37)]
    samples = [bytes(12), sample(0, loop_mode=1, loop_start=17, loop_end=290, tune=15000),
               sample(1, loop_mode=2, loop_start=0, loop_end=999, tune=12000),
               sample(1, loop_mode=3, loop_start=400, loop_end=401, tune=16000),
               sample(0, loop_mode=0, loop_start=0, loop_end=299, tune=-32000),
               sample(1, loop_mode=1, loop_start=0, loop_end=999, tune=-30000),
               sample(1, loop_mode=1, loop_start=0, loop_end=999, tune=30000)]
    instruments = {p: instrument([(127, p + 1)], env_mode=1, vibrato_depth=127, lfo_rate=21)
                   for p in range(6)}
    lines = [(0, [0xB0, 101, 0, 100, 0, 6, 127, 0xE0, 0x7F, 0x7F, 0x90, 100, 127]),
             (0, [0xB1, 101, 0, 100, 0, 6, 40, 0xE1, 0x00, 0x60, 0xC1, 1, 0x91, 90, 127]),
             (0, [0xC2, 2, 0x92, 96, 127]),
             (3, [0xC3, 3, 0xB3, 101, 0, 100, 0, 6, 127, 0xE3, 0, 0, 0x93, 0, 127]),
             (3, [0xC4, 4, 0x94, 20, 127, 0xE0, 0x00, 0x40]),
             (4, [0xC5, 5, 0x95, 100, 127])]  # 4000 + 30000 + 6000 cents wraps to -25536
    return "pitch extremes", bank_image(instruments, samples, waves), script(lines), 8


def parser_sequences():
    """Running status, real-time bytes inside messages, incomplete messages cut by a new status,
    system exclusive and system common bytes, one-byte messages, a message split across blocks."""
    waves = [sine(100, 20)]
    samples = [bytes(12), sample(0, loop_mode=1, loop_start=0, loop_end=99)]
    instruments = {p: instrument([(127, 1)], env_mode=1, level=127 - 9 * p) for p in range(8)}
    lines = [
        (0, [0x3C, 0x64]),  # data before any status: dropped
        (1, [0x90, 0x3C, 0x64, 0x40, 0x64]),  # two note-ons by running status
        (3, [0x93, 0x3C, 0x00, 0x90, 0x3C, 0x00]),  # note-off on channel 4 (nothing), channel 1
        (5, [0x90, 0x30, 0xF8, 0x64]),  # real-time byte inside a message
        (7, [0x90, 0x32, 0xB0, 0x07, 0x50]),  # incomplete note-on dropped, volume set
        (9, [0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7, 0x3C, 0x64]),  # system exclusive, stray data
        (11, [0x90, 0x34, 0x64, 0xF6, 0x3E, 0x64, 0x45, 0x64]),  # after system common: no action
        (13, [0xC0, 0x05, 0x06, 0x90, 0x36, 0x64]),  # two program changes by running status
        (15, [0xD0, 0x40, 0x41, 0xA0, 0x3C, 0x40, 0x90, 0x38, 0x64]),
        (17, [0x90, 0x3A]),  # a note-on split across two blocks
        (18, [0x64, 0xF0, 0x10, 0x90, 0x3B, 0x64]),  # status byte inside system exclusive
        (20, [0xB0, 0x7B, 0x00, 0xF7, 0x40, 0x40]),
    ]
    return "parser sequences", bank_image(instruments, samples, waves), script(lines), 30


def short_loops():
    """Loops of one to four samples in every mode, entered from before, inside and past the
    loop, at steps from a fraction of a sample to hundreds of samples per frame."""
    waves = [ramp(12), [-128, 127, -1, 0, 5, -7, 100, -100, 64, -64]]
    samples = [bytes(12)]
    for mode in (0, 1, 2, 3):
        for loop_start, span, start in ((0, 1, 0), (3, 1, 0), (2, 2, 5), (0, 3, 7), (5, 4, 1),
                                        (7, 2, 9)):
            samples.append(sample(len(samples) % 2, loop_mode=mode, loop_start=loop_start,
                                  loop_end=loop_start + span, start=start))
    instruments = {}
    for i in range(1, len(samples)):
        instruments[i - 1] = instrument([(127, i)], env_mode=1, env_rate=(127, 127, 127, 127, 110, 127),
                                        env_level=(127, 120, 110, 100, 0, 0), pitch_key_track=i % 2 * 2,
                                        lfo_rate=i * 5, vibrato_depth=i * 5 % 128)
    lines = []
    block = 0
    for program in range(len(samples) - 1):
        ch = program % 9
        lines.append((block, [0xC0 | ch, program, 0x90 | ch, 20 + (program * 37) % 100, 100]))
        lines.append((block + 3, [0x80 | ch, 20 + (program * 37) % 100, 0]))
        block += 1
    return "short loops", bank_image(instruments, samples, waves), script(lines), block + 12


def loop_entered_by_wrap():
    """A forward loop entered by wrapping from past its end: the wrap itself does not count as
    reaching the loop start, only the step after it does. At a slow step the envelope's wait in
    stage 2 ends one tick later than it would if the wrap counted."""
    waves = [sine(64, 16)]
    samples = [bytes(12), sample(0, loop_mode=1, start=50, loop_start=10, loop_end=40, tune=-8400),
               sample(0, loop_mode=3, start=50, loop_start=10, loop_end=40, tune=-8400)]
    fast = dict(env_mode=1, env_rate=(127, 127, 100, 100, 100, 127), env_level=(127, 100, 40, 30, 0, 0))
    instruments = {0: instrument([(127, 1)], **fast), 1: instrument([(127, 2)], **fast)}
    lines = [(0, [0x90, 60, 100]), (0, [0xC1, 1, 0x91, 60, 100]), (2, [0xB1, 1, 50])]
    return "loop entered by a wrap", bank_image(instruments, samples, waves), script(lines), 12


def one_shot_end_near_64k():
    """A one-shot wave ending at frame 65526: after it runs out, the 16-bit position keeps
    counting on the frames left in the block and wraps to 0, from where it fetches the wave's
    first samples again until the block ends (the voice is freed at the end of the block)."""
    big = [((i * 37) % 251) - 125 for i in range(65527)]
    samples = [bytes(12), sample(0, loop_mode=0, start=65400, loop_start=0, loop_end=0xFFFF),
               sample(0, loop_mode=0, start=65300, loop_start=65000, loop_end=65500, tune=1200)]
    instruments = {0: instrument([(127, 1)], env_mode=1), 1: instrument([(127, 2)], env_mode=1)}
    lines = [(0, [0x90, 60, 127]), (1, [0xC1, 1, 0x91, 60, 127])]
    return "one-shot end near 64K frames", bank_image(instruments, samples, [big]), script(lines), 4


def all_cases():
    return [alternating_loops_from_zero(), reused_voice_starts_silent(), drum_voice_keeps_tremolo(),
            hold_pedal_and_all_notes_off(), queue_flood(), registered_parameters(),
            pitch_extremes(), parser_sequences(), short_loops(), loop_entered_by_wrap(),
            one_shot_end_near_64k()]
