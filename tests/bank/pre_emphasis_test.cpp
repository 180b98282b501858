// Pre-emphasis against the engine's interpolation: the filter inverts the kernel's response
// within its bound, and notes built from a SoundFont keep the balance of low and high partials
// when the engine plays them.
#include "bankbuilder/pre_emphasis.h"

#include <gtest/gtest.h>

#include <cmath>

#include "bankbuilder/bank_builder.h"
#include "tests/bank/engine_playback.h"
#include "tests/bank/soundfont_builder.h"

namespace velmo {
namespace {

double FirGain(const std::vector<double>& taps, double cycles) {
  const auto half = static_cast<int32_t>(taps.size() / 2);
  double sum = 0;
  for (int32_t k = -half; k <= half; ++k)
    sum += taps[static_cast<size_t>(k + half)] * std::cos(2 * M_PI * cycles * k);
  return sum;
}

TEST(PreEmphasis, InvertsTheInterpolationWithinTheBandAndTheBound) {
  constexpr double kBoundDb = 12.0;
  const PreEmphasis emphasis(kBoundDb);
  EXPECT_NEAR(InterpolationResponse(0.0), 1.0, 1e-12);
  for (const double step : {0.7, 1.0, 1.5}) {
    const std::vector<double> taps = emphasis.Taps(step);
    const double edge = std::min(0.5, 0.5 / step);
    for (double cycles = 0; cycles <= 0.5; cycles += 0.01) {
      const double boostDb = 20 * std::log10(FirGain(taps, cycles));
      EXPECT_LE(boostDb, kBoundDb + 0.7) << step << " " << cycles;
      const double wantedDb = -20 * std::log10(InterpolationResponse(cycles));
      if (cycles <= edge - 0.03 && wantedDb <= kBoundDb - 1) {
        EXPECT_NEAR(boostDb, wantedDb, 0.7) << "step " << step << " cycles " << cycles;
      }
    }
  }
}

// Two looped sines of the same amplitude at key 60: 500 Hz (program 0) and 5 kHz (program 1),
// over keys 60..72 (the waves are made for the lowest key, where the kernel takes most).
TEST(PreEmphasis, HighAndLowPartialsPlayAsLoudAsInTheSoundFont) {
  using testing::Sine;
  const std::vector<testing::TestSample> samples = {
      {"low", Sine(4410, 88.2, 20000), 1764, 2205, 44100, 60},
      {"high", Sine(4410, 8.82, 20000), 1764, 2205, 44100, 60},
  };
  std::vector<testing::TestPreset> presets(2);
  const int16_t keys = testing::Range(60, 72);
  presets[0].zones = {testing::TestZone{{{kGenKeyRange, keys}, {kGenSampleModes, 1}}, 0}};
  presets[1].program = 1;
  presets[1].zones = {testing::TestZone{{{kGenKeyRange, keys}, {kGenSampleModes, 1}}, 1}};
  const std::vector<uint8_t> fontBytes = testing::WriteSoundFont(samples, presets);
  const SoundFont font = ParseSoundFont(fontBytes);
  BuildSummary summary;
  const std::vector<uint8_t> bank = BuildBank(font, kDefaultBankBudget, summary);
  for (const int32_t key : {60, 66}) {
    const std::vector<int32_t> low = testing::PlayNote(bank, 0, 0, key, 40);
    const std::vector<int32_t> high = testing::PlayNote(bank, 0, 1, key, 40);
    const double db =
        20 * std::log10(testing::RmsOf(high, 4000, 4000) / testing::RmsOf(low, 4000, 4000));
    EXPECT_NEAR(db, 0.0, 1.5) << "key " << key;
  }
}

}  // namespace
}  // namespace velmo
