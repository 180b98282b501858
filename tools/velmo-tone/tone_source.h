// A sine tone rendered half by half as 16-bit stereo frames.
#pragma once

#include <cstdint>
#include <span>

namespace velmo::tone {

class ToneSource {
 public:
  ToneSource(double frequency, uint32_t samplesPerSec);
  // Fills `out` (interleaved left, right) with the next frames of the tone.
  void Render(std::span<int16_t> out);

 private:
  double phase_ = 0.0;  // in turns, [0, 1)
  double step_;         // turns per frame
};

}  // namespace velmo::tone
