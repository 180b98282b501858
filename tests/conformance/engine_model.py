#!/usr/bin/env python3
"""Reference model of the synthesis engine, written for differential tests against velmo-render.

It loads a bank image, runs a MIDI byte script block by block (push the block's bytes, drain the
queue through the parser, render one 221-frame block) and writes the blocks as raw little-endian
signed 16-bit stereo PCM, the same stream that `velmo-render --script ... --raw` writes.

Integer widths are emulated explicitly: every store into a narrower field goes through one of the
wrap helpers, right shifts of signed values are Python's arithmetic shifts, and divisions that
truncate toward zero use `tdiv` (Python's // floors).

Where the engine settles a point of its own, the model does the same:
- note-on starts the envelope amplitude at 0 on the reused voice;
- an alternating loop starting at sample 0 turns there (..., 2, 1, 0, 1, 2, ...);
- key-level scaling and pitch key-track selectors outside 0..6 act as 0;
- a note-on is dropped for a bank row >= 16, an instrument >= 500, a sample record >= 3000, a
  wave slot >= 3000 or empty, or fewer than three samples from the record's start;
- pitches of 25200 cents and above play at 25199; a right shift of 32 or more gives a step of 0;
- a byte pushed onto a full queue (512 unread bytes) is dropped.
An alternating loop whose points coincide after clamping is left open: the model flags it.

Usage: engine_model.py --bank FILE --script FILE --blocks N -o OUT
"""

import argparse
import collections
import struct
import sys

from engine_tables import (DECAY_SHIFT_TABLE, DRUM_KEY_TABLE, ENV_RATE_TABLE, GAIN_CURVE,
                           KEY_FOLLOW_TABLE, KEY_PAN_TABLE, KEY_SCALE_FACTORS, LEVEL_ATT_TABLE,
                           LFO_TABLE, PAN_ATT_TABLE, PITCH_TABLE, W0, W1, W2, W3)

FRAMES_PER_BLOCK = 221
POLYPHONY_LIMIT = 18
VOICE_COUNT = 64
QUEUE_CAPACITY = 512
ENV_TICK_PERIOD = 50
OUTPUT_RATE_SHIFT = 1
DAMP_RATE_INDEX = 100
NO_INSTRUMENT = 0xFFFF
# Pitches at or above this would give phase increments of 2^32 or more; they play at 25199 cents.
PITCH_LIMIT_CENTS = 25200

INSTRUMENT_CAPACITY = 500
SAMPLE_CAPACITY = 3000
WAVE_CAPACITY = 3000
MAP_CAPACITY = 128
MAP_ROW_CAPACITY = 16


def wrap16(x):
    return ((x + 0x8000) & 0xFFFF) - 0x8000


def wrap8(x):
    return ((x + 0x80) & 0xFF) - 0x80


def tdiv(a, b):
    """Integer division truncating toward zero, as C does."""
    q = abs(a) // abs(b)
    return q if (a >= 0) == (b >= 0) else -q


class BankError(Exception):
    pass


class Instrument:
    __slots__ = ("region_sample", "region_top_key", "env_rate", "env_level", "env_rate_key_scale",
                 "env_mode", "vibrato_depth", "lfo_rate", "level", "level_key_scale",
                 "pitch_key_track", "tremolo_depth")

    SIZE = 73

    def __init__(self, raw):
        self.region_sample = list(struct.unpack_from("<16H", raw, 0))
        self.region_top_key = list(struct.unpack_from("<16b", raw, 32))
        self.env_rate = list(struct.unpack_from("<6b", raw, 48))
        self.env_level = list(struct.unpack_from("<6b", raw, 54))
        self.env_rate_key_scale = list(struct.unpack_from("<6b", raw, 60))
        (self.env_mode, self.vibrato_depth, self.lfo_rate, self.level, self.level_key_scale,
         self.pitch_key_track, self.tremolo_depth) = struct.unpack_from("<7b", raw, 66)


class SampleRecord:
    __slots__ = ("tune", "loop_mode", "start", "loop_start", "loop_end", "wave_slot")

    SIZE = 12

    def __init__(self, raw):
        (self.tune, self.loop_mode, self.start, self.loop_start, self.loop_end,
         self.wave_slot) = struct.unpack_from("<hHHHHH", raw, 0)


class SoundBank:
    """The seven bank tables, read from an image section by section."""

    def __init__(self, image):
        self.instruments = [Instrument(bytes(Instrument.SIZE)) for _ in range(INSTRUMENT_CAPACITY)]
        self.samples = [SampleRecord(bytes(SampleRecord.SIZE)) for _ in range(SAMPLE_CAPACITY)]
        self.waves = [None] * WAVE_CAPACITY  # PCM of each slot as a list of signed ints
        self.bank_map = [0] * MAP_CAPACITY
        self.drum_kit_map = [0] * MAP_CAPACITY
        self.program_map = [[0] * 128 for _ in range(MAP_ROW_CAPACITY)]
        self.drum_note_map = [[0] * 128 for _ in range(MAP_ROW_CAPACITY)]
        self._parse(image)

    def _parse(self, image):
        pos = 0

        def take(n):
            nonlocal pos
            if pos + n > len(image):
                raise BankError("image ends early at offset %d" % pos)
            chunk = image[pos:pos + n]
            pos += n
            return chunk

        def count(capacity, what):
            n = struct.unpack("<H", take(2))[0]
            if n > capacity:
                raise BankError("%s count %d exceeds %d" % (what, n, capacity))
            return n

        for i in range(count(INSTRUMENT_CAPACITY, "instrument")):
            self.instruments[i] = Instrument(take(Instrument.SIZE))
        for i in range(count(SAMPLE_CAPACITY, "sample")):
            self.samples[i] = SampleRecord(take(SampleRecord.SIZE))
        for i in range(count(WAVE_CAPACITY, "wave")):
            size = struct.unpack("<H", take(2))[0]
            if size == 0:
                continue
            if size < 8:
                raise BankError("wave %d size %d" % (i, size))
            rest = take(size - 2)
            self.waves[i] = list(struct.unpack("<%db" % (size - 8), rest[6:]))
        for i, b in enumerate(take(count(MAP_CAPACITY, "bank map"))):
            self.bank_map[i] = b
        for i, b in enumerate(take(count(MAP_CAPACITY, "drum kit map"))):
            self.drum_kit_map[i] = b
        for r in range(count(MAP_ROW_CAPACITY, "program map")):
            self.program_map[r] = list(struct.unpack("<128H", take(256)))
        for r in range(count(MAP_ROW_CAPACITY, "drum note map")):
            self.drum_note_map[r] = list(struct.unpack("<128H", take(256)))


class Channel:
    __slots__ = ("volume_att", "pan_att_right", "pan_att_left", "expression_att", "bend",
                 "bend_range_cents", "bend_cents", "coarse_tune_cents", "fine_tune_cents",
                 "modulation", "hold", "data_entry_msb", "data_entry_lsb", "rpn_msb", "rpn_lsb",
                 "program", "param_select", "rhythm", "bank", "bank_select")

    def __init__(self):
        for name in self.__slots__:
            setattr(self, name, 0)


class Voice:
    __slots__ = ("alloc_stamp", "phase_frac", "step", "env_target", "env_amp", "wave", "history",
                 "instrument", "drum_pan_att_right", "drum_pan_att_left", "tremolo_depth",
                 "tremolo_value", "pitch_cents", "lfo_phase", "lfo_rate", "vibrato_depth",
                 "sample_index", "loop_start", "loop_end", "loop_mode", "region_tune",
                 "sample_length", "level_att", "env_stage", "env_countdown", "env_delta",
                 "env_direction", "env_advance", "active", "channel", "key", "velocity",
                 "key_held", "key_off_pending", "loop_reached", "loop_direction")

    def __init__(self):
        for name in self.__slots__:
            setattr(self, name, 0)
        self.history = [0, 0, 0, 0]
        self.wave = None
        self.instrument = None


class EngineModel:
    def __init__(self, bank):
        self.bank = bank
        self.channels = [Channel() for _ in range(16)]
        self.voices = [Voice() for _ in range(VOICE_COUNT)]
        self.alloc_stamp_counter = 100
        self.queue = []
        self.parser_state = "idle"
        self.running_status = 0
        self.parser_channel = 0
        self.data = [0, 0]
        self.received = 0
        self.expected = 0
        self.open_point = None  # description of the first open point reached, if any
        self.coverage = collections.Counter()  # how often each notable path was taken
        self.reset_channels()

    # ---- open points -------------------------------------------------------------------------
    def flag_open_point(self, what):
        if self.open_point is None:
            self.open_point = what

    # ---- MIDI queue and parser ---------------------------------------------------------------
    def push_midi_byte(self, byte):
        if len(self.queue) < QUEUE_CAPACITY:  # a full queue drops the new byte
            self.queue.append(byte)
        else:
            self.coverage["queue full, byte dropped"] += 1

    def drain_midi_queue(self):
        queued, self.queue = self.queue, []
        for byte in queued:
            self.parse_midi_byte(byte)

    def parse_midi_byte(self, byte):
        if 0x80 <= byte <= 0xEF:
            self.running_status = byte & 0xF0
            self.parser_channel = byte & 0x0F
            self.expected = (2, 2, 2, 2, 1, 1, 2)[(byte >> 4) & 7]
            self.received = 0
            self.parser_state = "collecting"
        elif byte == 0xF0:
            self.running_status = 0xF0
            self.parser_state = "sysex"
        elif byte == 0xF7:
            self.running_status = 0xF7
            self.parser_state = "idle"
        elif 0xF1 <= byte <= 0xF6:
            self.running_status = byte
        elif byte >= 0xF8:
            pass
        elif self.parser_state == "collecting":
            self.data[self.received] = byte
            self.received += 1
            if self.received < self.expected:
                return
            self.received = 0
            self.act_on_message()

    def act_on_message(self):
        status, channel, d0, d1 = self.running_status, self.parser_channel, self.data[0], self.data[1]
        if status == 0x80:
            self.note_off(channel, d0)
        elif status == 0x90:
            if d1 != 0:
                self.note_on(channel, d0, d1)
            else:
                self.note_off(channel, d0)
        elif status == 0xB0:
            self.control_change(channel, d0, d1)
        elif status == 0xC0:
            self.program_change(channel, d0)
        elif status == 0xE0:
            self.pitch_bend(channel, d0, d1)

    # ---- channel handlers --------------------------------------------------------------------
    def control_change(self, ch, number, value):
        c = self.channels[ch]
        if number == 0:
            c.bank_select = value
        elif number == 1:
            c.modulation = value
        elif number == 6:
            c.data_entry_msb = value
            if c.param_select == 2 and c.rpn_msb == 0 and c.rpn_lsb == 0:
                self.coverage["bend range set"] += 1
                c.bend_range_cents = wrap16(value * 100)
            if c.param_select == 2 and c.rpn_msb == 0 and c.rpn_lsb == 2 and 40 <= value <= 88:
                self.coverage["coarse tuning set"] += 1
                c.coarse_tune_cents = wrap16((value - 64) * 100)
        elif number == 7:
            c.volume_att = LEVEL_ATT_TABLE[value]
        elif number == 10:
            c.pan_att_right = PAN_ATT_TABLE[value]
            c.pan_att_left = PAN_ATT_TABLE[127 - value]
        elif number == 11:
            c.expression_att = LEVEL_ATT_TABLE[value]
        elif number == 38:
            c.data_entry_lsb = value
            if c.param_select == 2 and c.rpn_msb == 0 and c.rpn_lsb == 1:
                self.coverage["fine tuning set"] += 1
                c.fine_tune_cents = wrap16((((c.data_entry_msb << 7) + value - 8192) * 100) >> 13)
        elif number == 64:
            c.hold = value & 0xC0
        elif number in (98, 99):
            c.param_select = 1
        elif number == 100:
            c.rpn_lsb = value
            c.param_select = 2
        elif number == 101:
            c.rpn_msb = value
            c.param_select = 2
        elif number == 120:
            self.coverage["all sound off"] += 1
            self.all_sound_off(ch)
        elif number == 121:
            self.coverage["reset all controllers"] += 1
            self.reset_all_controllers(ch)
        elif number == 123:
            self.coverage["all notes off"] += 1
            self.all_notes_off(ch)

    def program_change(self, ch, program):
        c = self.channels[ch]
        c.program = program
        c.bank = c.bank_select

    def pitch_bend(self, ch, first, second):
        c = self.channels[ch]
        c.bend = wrap16((second << 7) + first - 8192)
        c.bend_cents = wrap16((c.bend * c.bend_range_cents) >> 13)
        self.coverage["pitch bend"] += 1

    def all_sound_off(self, ch):
        for v in self.voices:
            if v.channel == ch:
                v.active = 0
                v.alloc_stamp = 0

    def all_notes_off(self, ch):
        for v in self.voices[:POLYPHONY_LIMIT]:
            if v.channel == ch:
                v.key_off_pending = 1

    def reset_all_controllers(self, ch):
        c = self.channels[ch]
        c.bend_cents = 0
        c.bend = 0
        c.hold = 0
        c.modulation = 0
        c.expression_att = LEVEL_ATT_TABLE[127]
        c.rpn_msb = 127
        c.rpn_lsb = 127
        c.param_select = 0

    def reset_channels(self):
        for ch in range(16):
            self.all_sound_off(ch)
            self.reset_all_controllers(ch)
            c = self.channels[ch]
            c.volume_att = LEVEL_ATT_TABLE[100]
            c.pan_att_right = PAN_ATT_TABLE[64]
            c.pan_att_left = PAN_ATT_TABLE[63]
            c.program = 0
            c.bend_range_cents = 200
            c.coarse_tune_cents = 0
            c.fine_tune_cents = 0
            c.rhythm = 0
            c.bank = 0
            c.bank_select = 0
        self.channels[9].rhythm = 1

    # ---- notes -------------------------------------------------------------------------------
    def note_on(self, ch, key, velocity):
        bank = self.bank
        c = self.channels[ch]
        if c.rhythm:
            if key < 35 or key > 81:
                self.coverage["drum key outside 35..81"] += 1
                return
            index = key + 93
            pitch_key = DRUM_KEY_TABLE[key]
        else:
            row = bank.bank_map[c.bank]
            if row >= MAP_ROW_CAPACITY:
                self.coverage["note dropped: bank row >= 16"] += 1
                return
            index = bank.program_map[row][c.program]
            if index == NO_INSTRUMENT or index >= INSTRUMENT_CAPACITY:
                self.coverage["note dropped: no instrument"] += 1
                return
            pitch_key = key
        inst = bank.instruments[index]
        region = None
        for i in range(16):
            if key <= inst.region_top_key[i]:
                region = i
                break
        if region is None:
            self.coverage["note dropped: no region"] += 1
            return
        sample_number = inst.region_sample[region]
        if sample_number == 0 or sample_number >= SAMPLE_CAPACITY:
            self.coverage["note dropped: no sample record"] += 1
            return
        s = bank.samples[sample_number]
        if s.wave_slot >= WAVE_CAPACITY:
            self.coverage["note dropped: wave slot >= 3000"] += 1
            return
        wave = bank.waves[s.wave_slot]
        if wave is None or len(wave) - s.start < 3:
            self.coverage["note dropped: no wave or under 3 samples"] += 1
            return

        for v in self.voices[:POLYPHONY_LIMIT]:
            if v.channel == ch and v.key == key:
                self.coverage["same key damped" + (" (active)" if v.active else "")] += 1
                v.key_held = 0
                v.key_off_pending = 0
                v.env_advance = 1
                v.env_stage = 6

        chosen = None
        for v in self.voices[:POLYPHONY_LIMIT]:
            if not v.active:
                chosen = v
                break
        if chosen is None:
            self.coverage["voice stolen"] += 1
            chosen = self.voices[0]
            for v in self.voices[1:POLYPHONY_LIMIT]:
                if v.alloc_stamp < chosen.alloc_stamp:
                    chosen = v
        v = chosen

        v.active = 0
        v.region_tune = s.tune
        v.wave = wave
        v.loop_start = s.loop_start
        v.loop_end = s.loop_end
        v.loop_mode = s.loop_mode
        if s.loop_start >= s.loop_end:
            v.loop_mode = 0
        v.sample_length = (len(wave)) & 0xFFFF
        if v.loop_start >= v.sample_length:
            v.loop_start = (v.sample_length - 1) & 0xFFFF
        if v.loop_end >= v.sample_length:
            v.loop_end = (v.sample_length - 1) & 0xFFFF
        if v.loop_mode in (2, 3) and v.loop_start == v.loop_end:
            self.flag_open_point("alternating loop with coinciding loop points after clamping")
        p = s.start
        v.history = [0, wave[p] * 128, wave[p + 1] * 128, wave[p + 2] * 128]
        v.sample_index = (p + 2) & 0xFFFF
        v.instrument = inst
        lks = inst.level_key_scale
        if lks == 1:
            key_term = (60 - key) * 2
        elif lks == 2:
            key_term = 60 - key
        elif lks == 3:
            key_term = tdiv((60 - key) * 2, 3)
        elif lks == 4:
            key_term = key * 2 - 120
        elif lks == 5:
            key_term = key - 60
        elif lks == 6:
            key_term = tdiv(key * 2 - 120, 3)
        else:
            key_term = 0
        v.level_att = wrap16(key_term + LEVEL_ATT_TABLE[inst.level] + LEVEL_ATT_TABLE[velocity])
        v.env_countdown = 0
        v.env_advance = 1
        v.env_stage = -1
        v.key_held = 1
        v.key_off_pending = 0
        v.env_amp = 0  # a reused voice starts its envelope from silence
        v.channel = ch
        v.key = key
        v.velocity = velocity
        pkt = inst.pitch_key_track
        follow = KEY_FOLLOW_TABLE[pkt] if 0 <= pkt <= 6 else 0
        v.pitch_cents = wrap16(tdiv((pitch_key - 60) * follow * 100, 24) + v.region_tune
                               + c.coarse_tune_cents + c.fine_tune_cents + 6000)
        v.lfo_phase = 0
        v.lfo_rate = inst.lfo_rate  # divided by 2 - OutputRateShift = 1
        v.vibrato_depth = inst.vibrato_depth & 0xFFFF
        v.tremolo_depth = inst.tremolo_depth
        kp = KEY_PAN_TABLE[key]
        v.drum_pan_att_right = PAN_ATT_TABLE[kp]
        v.drum_pan_att_left = PAN_ATT_TABLE[127 - kp]
        v.loop_direction = 0
        v.loop_reached = 0
        self.update_voice_pitch(v, True)
        self.coverage["note started, loop mode %d" % min(v.loop_mode, 4)] += 1
        if c.rhythm:
            self.coverage["drum note started"] += 1
        if v.phase_frac:
            self.coverage["note starts with left-over phase fraction"] += 1
        self.alloc_stamp_counter = (self.alloc_stamp_counter + 1) & 0xFFFFFFFF
        v.alloc_stamp = self.alloc_stamp_counter
        v.active = 1

    def note_off(self, ch, key):
        for v in self.voices[:POLYPHONY_LIMIT]:
            if v.active and v.channel == ch and v.key == key and v.key_held:
                v.key_off_pending = 1

    # ---- pitch and LFO -----------------------------------------------------------------------
    def update_voice_pitch(self, v, at_note_on):
        c = self.channels[v.channel]
        if c.rhythm:
            if not at_note_on:
                return
            p = v.pitch_cents
        else:
            d = max(v.vibrato_depth, c.modulation)
            d = (d * 101) >> 7
            vib = (LFO_TABLE[v.lfo_phase] * d) >> 8
            v.lfo_phase = (v.lfo_phase + v.lfo_rate) & 511
            v.tremolo_value = wrap16(LFO_TABLE[v.lfo_phase] * v.tremolo_depth)
            p = c.bend_cents + v.pitch_cents + vib
        if p >= PITCH_LIMIT_CENTS:
            self.coverage["pitch limited to %d cents" % (PITCH_LIMIT_CENTS - 1)] += 1
            p = PITCH_LIMIT_CENTS - 1
        octave = p // 1200
        cents = p - 1200 * octave
        o = octave - OUTPUT_RATE_SHIFT
        # A logical right shift by 32 or more (pitches below about -37200 cents) leaves 0.
        base = PITCH_TABLE[cents]
        if o > 0:
            v.step = (base << o) & 0xFFFFFFFF
        elif o < 0:
            v.step = base >> -o
        else:
            v.step = base

    # ---- envelope ----------------------------------------------------------------------------
    def enter_segment(self, v, k):
        inst = v.instrument
        r = tdiv((v.key - 60) * KEY_SCALE_FACTORS[inst.env_rate_key_scale[k]], 12) + inst.env_rate[k]
        r = max(0, min(127, r))
        v.env_delta = ENV_RATE_TABLE[r]
        v.env_target = inst.env_level[k] * 256
        v.env_direction = 1 if v.env_target > v.env_amp else -1

    def enter_stage(self, v):
        stage = v.env_stage
        inst = v.instrument
        if stage == 0:
            v.env_amp = 0
            self.enter_segment(v, 0)
            v.env_direction = 1
        elif stage == 1:
            self.enter_segment(v, 1)
        elif stage == 2:
            if v.loop_reached:
                v.env_stage = 3
                self.enter_segment(v, 2)
            else:
                v.env_direction = 0
        elif stage == 3:
            self.enter_segment(v, 2)
        elif stage == 4:
            self.enter_segment(v, 3)
        elif stage == 5:
            if inst.env_mode in (1, 4):
                v.env_direction = 0
            else:
                v.env_stage = 6
                self.enter_segment(v, 4)
        elif stage == 6:
            self.enter_segment(v, 4)
        elif stage == 7:
            v.env_delta = ENV_RATE_TABLE[DAMP_RATE_INDEX]
            v.env_target = inst.env_level[5] * 256
            v.env_direction = -1
        elif stage == 8:
            v.env_direction = 0
        else:
            self.flag_open_point("envelope stage %d" % stage)

    def env_tick(self, v):
        """One envelope update; returns True when envAmp moved (the gains must be recomputed)."""
        if v.key_off_pending and self.channels[v.channel].hold == 0:
            v.key_off_pending = 0
            v.key_held = 0
            if v.instrument.env_mode not in (2, 5):
                self.coverage["key-off taken up in stage %d" % v.env_stage] += 1
                v.env_stage = 5
                v.env_advance = 1
            else:
                self.coverage["key-off ignored (envMode 2/5)"] += 1
        elif v.key_off_pending:
            self.coverage["key-off waits for the pedal"] += 1
        if v.env_stage == 2 and v.loop_reached:
            v.env_advance = 1
        if v.env_advance:
            v.env_advance = 0
            v.env_stage = wrap16(v.env_stage + 1)
            self.enter_stage(v)
            self.coverage["entered stage %d" % v.env_stage] += 1
        direction = v.env_direction
        if direction == -1:
            shift = DECAY_SHIFT_TABLE[v.env_amp >> 12]
            v.env_amp -= (v.env_delta >> shift) + 1
            if v.env_amp < v.env_target:
                v.env_amp = v.env_target
                v.env_advance = 1
            return True
        if direction == 1:
            v.env_amp += v.env_delta
            if v.env_amp > v.env_target:
                v.env_amp = v.env_target
                v.env_advance = 1
            return True
        return False

    # ---- renderer ----------------------------------------------------------------------------
    def render_block(self):
        block = [0] * (2 * FRAMES_PER_BLOCK)
        for v in self.voices[:POLYPHONY_LIMIT]:
            if v.active:
                self.render_voice(v, block)
        if any(x != wrap16(x) for x in block):
            self.coverage["block mix wrapped past 16 bits"] += 1
        return struct.pack("<%dh" % len(block), *[wrap16(x) for x in block])

    def render_voice(self, v, block):
        self.update_voice_pitch(v, False)
        c = self.channels[v.channel]
        base = c.volume_att + c.expression_att + v.level_att + 16
        if k_max_steps(v.step) > 1:
            self.coverage["several whole-sample steps per frame"] += 1
        if v.tremolo_value and c.rhythm:
            self.coverage["drum voice with left-over tremolo"] += 1
        if c.rhythm:
            att_l = base + v.drum_pan_att_left - 48
            att_r = base + v.drum_pan_att_right - 48
        else:
            att_l = base + c.pan_att_left
            att_r = base + c.pan_att_right
        vol_l = GAIN_CURVE[max(0, min(127, att_l >> 2))]
        vol_r = GAIN_CURVE[max(0, min(127, att_r >> 2))]

        def gain(vol):
            g = wrap16((v.env_amp * vol) >> 16)
            return wrap16(g + ((g * v.tremolo_value) >> 16))

        gain_l, gain_r = gain(vol_l), gain(vol_r)
        h0, h1, h2, h3 = v.history
        wave = v.wave
        wave_len = len(wave)
        step = v.step
        phase = v.phase_frac
        index = v.sample_index
        loop_start, loop_end, mode = v.loop_start, v.loop_end, v.loop_mode
        direction = v.loop_direction
        reached = v.loop_reached
        countdown = v.env_countdown
        stopped = False
        if mode == 1:
            cycle = loop_end - loop_start + 1
        elif mode in (2, 3):
            cycle = 2 * (loop_end - loop_start)
        else:
            cycle = 1
        for n in range(FRAMES_PER_BLOCK):
            if countdown != 0:
                countdown -= 1
            else:
                countdown = ENV_TICK_PERIOD
                v.loop_reached = reached
                if self.env_tick(v):
                    gain_l, gain_r = gain(vol_l), gain(vol_r)
            f = phase >> 9
            s = (h0 * W3[f] + h1 * W2[f] + h2 * W1[f] + h3 * W0[f]) >> 17
            block[2 * n] += (gain_l * s) >> 13
            block[2 * n + 1] += (gain_r * s) >> 13
            phase = (phase + step) & 0xFFFFFFFF
            k = phase >> 16
            phase &= 0xFFFF
            remaining = k
            in_cycle = -1  # steps since the first loop wrap or turn of this frame, -1 before it
            while remaining:
                remaining -= 1
                h0, h1, h2 = h1, h2, h3
                if mode == 0:
                    index = (index + 1) & 0xFFFF
                    if index > loop_end:
                        stopped = True
                        break
                    if index >= loop_start:
                        reached = 1
                elif mode == 1:
                    index = (index + 1) & 0xFFFF
                    if index > loop_end:
                        index = loop_start
                        if in_cycle < 0:
                            in_cycle = 0
                    elif index >= loop_start:
                        reached = 1
                elif mode in (2, 3):
                    if direction != 0:
                        # Turns at loopStart also when it is 0 (no wrap below the first sample).
                        if index - 1 < loop_start:
                            if loop_start == 0:
                                self.coverage["backward pass turns at loopStart 0"] += 1
                            index = loop_start + 1
                            direction = 0
                            if in_cycle < 0:
                                in_cycle = 0
                        else:
                            index -= 1
                    else:
                        index = (index + 1) & 0xFFFF
                        if index > loop_end:
                            index = (loop_end - 1) & 0xFFFF
                            direction = 1 if mode == 2 else 2
                            if in_cycle < 0:
                                in_cycle = 0
                        elif index >= loop_start:
                            reached = 1
                elif in_cycle < 0:
                    in_cycle = 0  # the position does not move: a cycle of one step
                if index >= wave_len:
                    self.flag_open_point("fetch past the wave end")
                    index = wave_len - 1
                x = wave[index]
                h3 = -x * 128 if direction == 1 else x * 128
                if in_cycle >= 0:
                    # From the first wrap or turn on, the position repeats every `cycle` steps.
                    # Once a whole cycle has run (so loopReached is final), whole cycles can be
                    # skipped; the last four steps are still run to refill the history.
                    in_cycle += 1
                    if in_cycle >= cycle > 0 and remaining > cycle + 4:
                        remaining -= ((remaining - 4) // cycle) * cycle
                        self.coverage["whole loop cycles skipped within one frame"] += 1
        v.history = [h0, h1, h2, h3]
        v.phase_frac = phase
        v.sample_index = index
        v.loop_direction = direction
        v.loop_reached = reached
        v.env_countdown = countdown
        if stopped:
            self.coverage["one-shot wave ran out"] += 1
            v.active = 0
        if v.env_stage == 8:
            self.coverage["envelope ended"] += 1
            v.active = 0
            v.alloc_stamp = 0


def k_max_steps(step):
    return (step + 0xFFFF) >> 16


def parse_script(text):
    """Returns {block: [bytes in file order]} from '<block> <hex> ...' lines (# starts a comment)."""
    schedule = {}
    for line in text.splitlines():
        tokens = line.split()
        if "#" in tokens:
            tokens = tokens[:tokens.index("#")]
        if not tokens or tokens[0].startswith("#"):
            continue
        block = int(tokens[0])
        schedule.setdefault(block, []).extend(int(t, 16) for t in tokens[1:])
    return schedule


def render(bank_image, script_text, blocks, coverage=None):
    """Renders `blocks` blocks; returns (pcm bytes, open point description or None, its block).

    When `coverage` (a Counter) is given, the counts of notable paths taken are added to it.
    """
    engine = EngineModel(SoundBank(bank_image))
    schedule = parse_script(script_text)
    out = []
    open_block = None
    for b in range(blocks):
        for byte in schedule.get(b, ()):
            engine.push_midi_byte(byte)
        engine.drain_midi_queue()
        out.append(engine.render_block())
        if engine.open_point is not None and open_block is None:
            open_block = b
    if coverage is not None:
        coverage.update(engine.coverage)
    return b"".join(out), engine.open_point, open_block


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bank", required=True)
    parser.add_argument("--script", required=True)
    parser.add_argument("--blocks", type=int, required=True)
    parser.add_argument("-o", "--output", required=True)
    args = parser.parse_args(argv)
    with open(args.bank, "rb") as f:
        image = f.read()
    with open(args.script, encoding="utf-8") as f:
        text = f.read()
    pcm, open_point, open_block = render(image, text, args.blocks)
    with open(args.output, "wb") as f:
        f.write(pcm)
    if open_point:
        print("note: from block %d on the input reaches an open point: %s" % (open_block, open_point),
              file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
