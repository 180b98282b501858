// Makes up for the engine's 4-point interpolation: its kernel is a smooth low-pass, so a wave
// played near one wave frame per output frame loses its highs. Waves are filtered by the
// kernel's inverse response before they are quantised, with the boost bounded.
#pragma once

#include <cstdint>
#include <vector>

namespace velmo {

struct ResampledWave;

// Amplitude with which the engine's interpolation passes a sinusoid of `cycles` cycles per
// wave frame (0..0.5), relative to DC, averaged over the fraction positions.
double InterpolationResponse(double cycles);

class PreEmphasis {
 public:
  explicit PreEmphasis(double maxBoostDb);

  // Zero-phase FIR taps (odd count, centre in the middle) whose response is the inverse of the
  // interpolation response for a wave played at `step` wave frames per output frame, at most
  // the bounded boost; above the output band the boost falls back to none.
  std::vector<double> Taps(double step) const;

  // Filters the wave in place with those taps. A looped wave stays periodic over its loop.
  void Apply(ResampledWave& wave, double step) const;

 private:
  std::vector<double> inverse_;  // bounded inverse response on a grid from 0 to 0.5 cycles
  // cos(2 pi v k) for every tap offset k and grid point v, so that a wave's taps cost
  // multiplications only (the builder asks for taps once per wave).
  std::vector<double> cosines_;
};

}  // namespace velmo
