#include "tone_source.h"

#include <cmath>
#include <numbers>

namespace velmo::tone {

namespace {

constexpr double kAmplitude = 0.5 * 32767.0;  // -6 dBFS

}  // namespace

ToneSource::ToneSource(double frequency, uint32_t samplesPerSec)
    : step_(frequency / samplesPerSec) {}

void ToneSource::Render(std::span<int16_t> out) {
  for (size_t i = 0; i + 1 < out.size(); i += 2) {
    const auto sample =
        static_cast<int16_t>(std::lround(kAmplitude * std::sin(2.0 * std::numbers::pi * phase_)));
    out[i] = sample;
    out[i + 1] = sample;
    phase_ += step_;
    if (phase_ >= 1.0) phase_ -= 1.0;
  }
}

}  // namespace velmo::tone
