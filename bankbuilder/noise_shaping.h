// Quantises waves to 8 bits with the noise pushed up in frequency: first-order error feedback
// (noise shaped by 1 - z^-1) over triangular dither. The engine's interpolation kernel then
// takes much of the shaped noise away, and what is left at low frequencies sits well under
// plain dither, where decaying sounds and quiet partials would otherwise meet the 8-bit floor.
#pragma once

#include <cstdint>
#include <vector>

namespace velmo {

struct ResampledWave;

// Signed 8-bit frames: the wave scaled so its peak reaches `scale` x 124 (headroom for the
// shaped noise), quantised with the shaped noise. A fixed-seed generator makes the same input
// give the same bytes.
std::vector<int8_t> QuantizeShaped(const ResampledWave& wave, double scale, uint32_t seed);

}  // namespace velmo
