// Moves a one-shot wave's own decay into the instrument envelope, so the wave can be quantised
// near full scale all the way down and its 8-bit noise falls with the sound.
#pragma once

#include <cstdint>
#include <vector>

#include "bankbuilder/bank_image.h"

namespace velmo {

// Refits the three decay segments of `record` (already mapped from the SoundFont) to the
// product of its envelope and the decay of `frames` (a one-shot wave played `step` wave frames
// per output frame at `key`), and returns the gain per wave frame to divide the wave by: the
// new envelope over the old one, as the engine runs them, so wave times envelope stays what it
// was. The gain is at most 1 and at least `minGain`; an empty result leaves `record` as it was
// (nothing worth flattening).
std::vector<float> FlattenDecay(const std::vector<float>& frames, double step, int32_t key,
                                double minGain, ImageInstrument& record);

}  // namespace velmo
