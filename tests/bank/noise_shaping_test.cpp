// Shaped quantisation: the 8-bit frames follow the wave, and the error is pushed away from low
// frequencies (where plain dither leaves it flat).
#include "bankbuilder/noise_shaping.h"

#include <gtest/gtest.h>

#include <cmath>

#include "bankbuilder/wave_maker.h"

namespace velmo {
namespace {

// Power of the error after a moving average over `width` frames (a low-pass).
double LowFrequencyErrorPower(const std::vector<int8_t>& pcm, const ResampledWave& wave,
                              double gain, size_t width) {
  double power = 0;
  for (size_t i = 0; i + width <= pcm.size(); ++i) {
    double sum = 0;
    for (size_t j = i; j < i + width; ++j)
      sum += pcm[j] - wave.frames[j] * gain;
    power += (sum / width) * (sum / width);
  }
  return power / static_cast<double>(pcm.size() - width + 1);
}

TEST(NoiseShaping, FollowsTheWaveWithLessLowFrequencyNoiseThanPlainDither) {
  for (const double amplitude : {0.02, 0.3, 1.0}) {
    ResampledWave wave;
    for (int32_t i = 0; i < 20000; ++i)
      wave.frames.push_back(static_cast<float>(amplitude * std::sin(i * 0.01)));
    wave.peak = static_cast<float>(amplitude);
    wave.loops = true;
    const std::vector<int8_t> shaped = QuantizeShaped(wave, 1.0, 7);
    const std::vector<int8_t> plain = Quantize(wave, 124.0 / 126.0, 7);
    ASSERT_EQ(shaped.size(), wave.frames.size());
    const double gain = 124.0 / amplitude;
    for (size_t i = 0; i < shaped.size(); ++i)
      ASSERT_NEAR(shaped[i], wave.frames[i] * gain, 4.0) << amplitude << " " << i;
    EXPECT_LT(LowFrequencyErrorPower(shaped, wave, gain, 16),
              0.25 * LowFrequencyErrorPower(plain, wave, gain, 16))
        << amplitude;
    EXPECT_EQ(shaped, QuantizeShaped(wave, 1.0, 7));
    // A one-shot ends in silence (its last four frames, the engine's history).
    wave.loops = false;
    const std::vector<int8_t> shot = QuantizeShaped(wave, 1.0, 7);
    EXPECT_EQ(std::vector<int8_t>(shot.end() - 4, shot.end()), std::vector<int8_t>(4, 0));
    EXPECT_TRUE(std::equal(shot.begin(), shot.end() - 4, shaped.begin()));
  }
}

}  // namespace
}  // namespace velmo
