#include "bankbuilder/pre_emphasis.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "bankbuilder/wave_maker.h"
#include "synth/engine_tables.h"

namespace velmo {
namespace {

constexpr int32_t kHalfTaps = 24;
constexpr int32_t kGrid = 1024;  // frequency points from 0 to 0.5 cycles per frame

// Response of the four taps at fraction f/128 (the output point lies f/128 past the second
// history frame), for a sinusoid of `cycles` cycles per frame.
std::complex<double> TapResponse(int32_t f, double cycles) {
  const double frac = f / 128.0;
  const double weights[4] = {static_cast<double>(InterpKernel[static_cast<size_t>(128 + f)]),
                             static_cast<double>(InterpKernel[static_cast<size_t>(f)]),
                             static_cast<double>(InterpKernel[static_cast<size_t>(128 - f)]),
                             static_cast<double>(InterpKernel[static_cast<size_t>(256 - f)])};
  const double distances[4] = {-1.0 - frac, -frac, 1.0 - frac, 2.0 - frac};
  std::complex<double> sum = 0;
  for (size_t j = 0; j < 4; ++j)
    sum += weights[j] * std::polar(1.0, -2 * M_PI * cycles * distances[j]);
  return sum;
}

std::complex<double> MeanResponse(double cycles) {
  std::complex<double> sum = 0;
  for (int32_t f = 0; f < 128; ++f)
    sum += TapResponse(f, cycles);
  return sum / 128.0;
}

}  // namespace

double InterpolationResponse(double cycles) {
  return std::abs(MeanResponse(cycles)) / std::abs(MeanResponse(0.0));
}

PreEmphasis::PreEmphasis(double maxBoostDb)
    : inverse_(kGrid + 1), cosines_(static_cast<size_t>((2 * kHalfTaps + 1) * (kGrid + 1))) {
  const double maxGain = std::pow(10.0, maxBoostDb / 20.0);
  for (int32_t i = 0; i <= kGrid; ++i) {
    const double response = InterpolationResponse(0.5 * i / kGrid);
    inverse_[static_cast<size_t>(i)] = std::min(maxGain, 1.0 / std::max(response, 1e-9));
  }
  auto cosine = cosines_.begin();
  for (int32_t k = -kHalfTaps; k <= kHalfTaps; ++k) {
    for (int32_t i = 0; i <= kGrid; ++i) {
      const double cycles = 0.5 * i / kGrid;
      *cosine++ = std::cos(2 * M_PI * cycles * k);
    }
  }
}

std::vector<double> PreEmphasis::Taps(double step) const {
  // The output band ends at half a cycle per output frame, 0.5 / step cycles per wave frame.
  const double bandEdge = std::min(0.5, 0.5 / std::max(step, 1e-6));
  const auto edgeIndex = static_cast<size_t>(std::floor(bandEdge * 2 * kGrid));
  std::vector<double> gain(kGrid + 1);
  for (size_t i = 0; i < gain.size(); ++i) {
    const double cycles = 0.5 * static_cast<double>(i) / kGrid;
    if (i <= edgeIndex) {
      gain[i] = inverse_[i];
    } else {
      // Past the band the boost falls back to none by half a cycle: what lies there only
      // folds back into the band.
      const double w = (cycles - bandEdge) / (0.5 - bandEdge);
      gain[i] = (1 - w) * inverse_[edgeIndex] + w;
    }
  }
  // Frequency sampling with a Hann window: h[k] = 2 * integral of G(v) cos(2 pi v k) dv.
  std::vector<double> taps(2 * kHalfTaps + 1);
  auto cosine = cosines_.cbegin();
  for (int32_t k = -kHalfTaps; k <= kHalfTaps; ++k) {
    double sum = 0;
    for (int32_t i = 0; i <= kGrid; ++i) {
      const double weight = (i == 0 || i == kGrid) ? 0.5 : 1.0;
      sum += weight * gain[static_cast<size_t>(i)] * *cosine++;
    }
    const double window = 0.5 + 0.5 * std::cos(M_PI * k / (kHalfTaps + 1));
    taps[static_cast<size_t>(k + kHalfTaps)] = window * sum / kGrid;
  }
  return taps;
}

void PreEmphasis::Apply(ResampledWave& wave, double step) const {
  if (wave.frames.size() < 4) return;
  const std::vector<double> taps = Taps(step);
  const auto size = static_cast<int64_t>(wave.frames.size());
  const auto loopStart = static_cast<int64_t>(wave.loopStart);
  const int64_t loopLength = static_cast<int64_t>(wave.loopEnd) + 1 - loopStart;
  // Frame at `index` of the sound as played: silence before the start; a looped wave repeats
  // its loop after its end (and, for frames inside the loop, before its start too, so the
  // loop's content stays periodic); a one-shot is silent after its end.
  auto at = [&](int64_t index, bool inLoop) -> double {
    if (wave.loops && loopLength > 0 && (index >= size || (inLoop && index < loopStart))) {
      index = loopStart + (((index - loopStart) % loopLength) + loopLength) % loopLength;
    }
    if (index < 0 || index >= size) return 0.0;
    return wave.frames[static_cast<size_t>(index)];
  };
  std::vector<float> out(wave.frames.size());
  float peak = 0;
  for (int64_t i = 0; i < size; ++i) {
    const bool inLoop = wave.loops && i >= loopStart;
    double sum = 0;
    if (i >= kHalfTaps && i + kHalfTaps < size && (!inLoop || i - kHalfTaps >= loopStart)) {
      const float* centre = wave.frames.data() + i;
      for (int32_t k = -kHalfTaps; k <= kHalfTaps; ++k)
        sum += taps[static_cast<size_t>(k + kHalfTaps)] * centre[k];
    } else {
      for (int32_t k = -kHalfTaps; k <= kHalfTaps; ++k)
        sum += taps[static_cast<size_t>(k + kHalfTaps)] * at(i + k, inLoop);
    }
    out[static_cast<size_t>(i)] = static_cast<float>(sum);
    peak = std::max(peak, std::abs(out[static_cast<size_t>(i)]));
  }
  wave.frames = std::move(out);
  wave.peak = peak;
}

}  // namespace velmo
