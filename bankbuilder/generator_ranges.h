// Ranges the SoundFont format defines for its sound-shaping generators. A zone's summed
// preset and instrument values are clamped to them, as players do: unclamped, extreme tunings,
// times or levels make pitches, rates and gains overflow to infinity in the builder.
#pragma once

#include <array>
#include <cstdint>

#include "bankbuilder/soundfont.h"

namespace velmo {

// Clamps every tuning, filter, envelope, LFO, level and pan generator in `values` (indexed by
// generator number) to its defined range; indexes, key and velocity ranges and sample
// addressing are left as they are.
void ClampGeneratorValues(std::array<int32_t, kGenCount>& values);

}  // namespace velmo
