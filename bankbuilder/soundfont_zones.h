// Resolves what a SoundFont preset plays: preset and instrument zones combined the way a
// SoundFont player combines them (instrument values absolute, preset values added to them,
// key and velocity ranges intersected).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "bankbuilder/soundfont.h"

namespace velmo {

struct ResolvedZone {
  int32_t keyLo = 0;
  int32_t keyHi = 127;
  uint16_t sampleIndex = 0;
  std::array<int32_t, kGenCount> gen{};  // combined generator values

  // Sample frame bounds after the address offsets, in the sample pool.
  int64_t Start(const SfSample& s) const;
  int64_t End(const SfSample& s) const;
  int64_t LoopStart(const SfSample& s) const;
  int64_t LoopEnd(const SfSample& s) const;
  int32_t RootKey(const SfSample& s) const;
  bool Loops() const { return (gen[kGenSampleModes] & 1) != 0; }
};

// Preset `program` of `bank`; nullptr when the SoundFont has none.
const SfPreset* FindPreset(const SoundFont& font, uint16_t bank, uint16_t program);

// Every zone the preset plays at `velocity`, in SoundFont order, each with a checked sample
// (bounds inside the pool, at least 4 frames; zones with bad samples throw SoundFontError).
// Sound-shaping generators (tuning, filter, envelope and LFO times, levels) are clamped to the
// ranges the SoundFont format defines for them.
std::vector<ResolvedZone> ResolveZones(const SoundFont& font, const SfPreset& preset,
                                       int32_t velocity);

}  // namespace velmo
