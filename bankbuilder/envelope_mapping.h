// Maps a SoundFont zone's volume envelope and LFOs onto an instrument record's nine-stage
// envelope (through the engine's rate table) and its single LFO.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "bankbuilder/bank_image.h"
#include "bankbuilder/soundfont_zones.h"

namespace velmo {

// The SoundFont envelope in seconds and decibels, as a SoundFont player runs it: linear
// attack, hold at full level, then a fall linear in decibels at 96 dB per `decay` seconds
// down to the sustain level; on key-off the same fall at 96 dB per `release` seconds.
struct SfEnvelope {
  double attack = 0;
  double hold = 0;
  double decay = 0;
  double sustainDb = 0;  // attenuation of the sustain level, 0..96
  double release = 0;
  int32_t keynumToDecay = 0;  // timecents per key
};

SfEnvelope EnvelopeOf(const ResolvedZone& zone);

// Fills envRate, envLevel, envRateKeyScale and envMode of `record`. `loopWaitSeconds` is
// how long after the note starts the wave reaches its loop start (0 for one-shot waves):
// the engine's envelope pauses after its first decay segment until then, so the first
// segment is made to last at least that long.
void MapEnvelope(const SfEnvelope& envelope, double loopWaitSeconds, ImageInstrument& record);

// The envelope a SoundFont plays at one key (its zone's, which may differ from key to key).
struct KeyEnvelope {
  int32_t key = 60;
  SfEnvelope envelope;
};

// Sets the key scaling of the decay and release rates of `record` (mapped from `reference`,
// the envelope of key 60) so the notes of `keys` decay and release as close as the engine
// allows to their own envelopes: the selector whose time ratio to key 60 is nearest, in
// octaves, over all of them. Decays count only where either envelope has one; with no keys
// the scaling is left as it is.
void FitRateKeyScaling(const SfEnvelope& reference, const std::vector<KeyEnvelope>& keys,
                       ImageInstrument& record);

// Fills vibratoDepth, lfoRate and tremoloDepth from the zone's vibrato and modulation LFOs.
void MapLfo(const ResolvedZone& zone, ImageInstrument& record);

// The rate index whose segment from `from` to `to` (envelope units, 0..32512) takes closest
// to `seconds` (ratio measure); rising when `to` > `from`.
int32_t FitRateIndex(int32_t from, int32_t to, double seconds);

// Seconds a segment from `from` to `to` takes at rate index `index`.
double SegmentSeconds(int32_t from, int32_t to, int32_t index);

}  // namespace velmo

namespace velmo {

// Per-frame gain (0..1) of the engine's envelope for a held note of `key`, `frames` output
// frames long; the wave reaches its loop start at frame `loopFrame`.
std::vector<float> EngineEnvelopeGains(const ImageInstrument& record, int32_t key, int32_t frames,
                                       int32_t loopFrame);

// Per-frame gain of the SoundFont envelope for a held note.
std::vector<float> SoundFontEnvelopeGains(const SfEnvelope& envelope, int32_t frames);

}  // namespace velmo
