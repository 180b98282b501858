// Plays the start of a SoundFont zone's note in floating point the way a SoundFont player
// plays it: the sample at the key's pitch, the resonant low-pass moved by the modulation
// envelope and LFO, tremolo, the volume envelope and the attenuation. The builder weighs
// zones and sets levels by what this model gives.
#pragma once

#include <cstdint>

#include "bankbuilder/soundfont_zones.h"

namespace velmo {

// Output frames per second of the model (the engine's rate).
inline constexpr int32_t kVoiceRate = 22050;

// The SoundFont's initialAttenuation is scaled by this factor when played (the behaviour of
// the hardware the format was made for).
inline constexpr double kAttenuationFactor = 0.4;

struct VoiceOptions {
  int32_t key = 60;
  int32_t velocity = 100;
  int32_t frames = kVoiceRate * 2 / 5;  // the first 0.4 s
  bool filter = true;                   // the low-pass (and its DC gain drop)
  bool envelope = true;                 // volume envelope and tremolo
  bool attenuation = true;              // initialAttenuation
};

// Mean power (full scale = 1) of a held note's first `frames` output frames.
double SoundFontNotePower(const SoundFont& font, const ResolvedZone& zone,
                          const VoiceOptions& options);

// The modulation envelope (0..1) at `t` seconds into a held note: delay, linear attack, hold,
// linear decay to the sustain level.
double ModEnvelopeAt(const ResolvedZone& zone, double t);

// Cutoff in cents of the zone's low-pass at `velocity` before the envelope and LFO move it
// (initialFilterFc plus the standard velocity-to-cutoff modulation).
double StaticCutoffCents(const ResolvedZone& zone, int32_t velocity);

// Cutoff in cents at which a fixed low-pass sounds closest to the zone's moving one over a held
// note's first 0.9 s: the static cutoff moved by the modulation envelope's mean over 0.05..0.9 s
// (the modulation LFO swings around the static cutoff and is left out).
double HeardCutoffCents(const ResolvedZone& zone, int32_t velocity);

// Linear Q of the low-pass (at least 0.5) and the DC gain the resonance takes away (the gain
// at DC drops by half the resonance height).
double FilterQ(const ResolvedZone& zone);
double FilterDcGain(const ResolvedZone& zone);

}  // namespace velmo
