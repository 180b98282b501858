// Note on/off: instrument, region and wave selection, voice allocation and
// voice set-up.
#pragma once

#include <cstdint>

#include "synth/engine.h"

namespace velmo {

// Lowest and highest drum key; drum key k plays instrument record k + 93.
inline constexpr int32_t kLowestDrumKey = 35;
inline constexpr int32_t kHighestDrumKey = 81;
inline constexpr int32_t kDrumInstrumentOffset = 93;

// Starts a note (velocity 1..127) or drops it when the bank has no playable
// wave for it: no instrument, no region, no sample, an empty wave slot, or a
// bank entry out of its table's range.
void NoteOn(Engine& engine, int32_t channel, uint8_t key, uint8_t velocity) noexcept;
// Requests key-off for the sounding voices of the key.
void NoteOff(Engine& engine, int32_t channel, uint8_t key) noexcept;

// Extra attenuation in 1/8 dB by the instrument's levelKeyScale (0 outside 0..6).
int32_t LevelKeyTerm(int32_t levelKeyScale, int32_t key) noexcept;
// Key tracking in cents for pitch key p (0 for pitchKeyTrack outside 0..6).
int32_t KeyTrackCents(int32_t pitchKeyTrack, int32_t pitchKey) noexcept;

}  // namespace velmo
