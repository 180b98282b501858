#include "bankbuilder/noise_shaping.h"

#include <algorithm>
#include <cmath>

#include "bankbuilder/wave_maker.h"

namespace velmo {

std::vector<int8_t> QuantizeShaped(const ResampledWave& wave, double scale, uint32_t seed) {
  TriangularDither dither(seed);
  const double gain = wave.peak > 0 ? scale * 124.0 / wave.peak : 0.0;
  // The fed-back error is bounded so clipping cannot make the loop run away.
  constexpr double kMaxError = 2.0;
  double error = 0;  // the last frame's quantisation error
  std::vector<int8_t> pcm;
  pcm.reserve(wave.frames.size());
  for (const float f : wave.frames) {
    const double wanted = f * gain - error;
    const double noise = dither.Next();
    const long value = std::clamp<long>(std::lround(wanted + noise), -128, 127);
    error = std::clamp(static_cast<double>(value) - wanted, -kMaxError, kMaxError);
    pcm.push_back(static_cast<int8_t>(value));
  }
  // A one-shot ends in silence: the engine's four-frame history would otherwise hold the last
  // frames' dither as a step.
  if (!wave.loops) {
    for (size_t i = pcm.size() - std::min<size_t>(pcm.size(), 4); i < pcm.size(); ++i)
      pcm[i] = 0;
  }
  return pcm;
}

}  // namespace velmo
