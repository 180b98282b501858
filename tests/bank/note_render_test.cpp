// Rendering a whole note from several zones: each layer at its pitch and weight, envelopes
// relative to the main layer's, a moving pitch baked before the loop, a seamless loop.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "bankbuilder/note_render.h"
#include "tests/bank/soundfont_builder.h"

namespace velmo {
namespace {

using testing::Sine;
using testing::TestPreset;
using testing::TestSample;
using testing::TestZone;

using Generators = std::vector<std::pair<uint16_t, int16_t>>;

// Both layers play a looped sine of 440 Hz at 44100 Hz, root key 69 (two cycles of the loop
// are 441 frames): at key 69 and wave rate 22050 that is 440 / 22050 cycles per wave frame.
constexpr double kCycles = 440.0 / 22050;

ResampledWave Render(const Generators& second, const Generators& main = {}) {
  std::vector<TestSample> samples = {
      {"sine", Sine(9400, 44100 / 440.0, 16000), 400, 9220, 44100, 69}};
  std::vector<TestPreset> presets(1);
  Generators first = {{kGenSampleModes, 1}};
  first.insert(first.end(), main.begin(), main.end());
  Generators other = {{kGenSampleModes, 1}};
  other.insert(other.end(), second.begin(), second.end());
  presets[0].zones = {TestZone{first, 0}, TestZone{other, 0}};
  const std::vector<uint8_t> bytes = testing::WriteSoundFont(samples, presets);
  const SoundFont font = ParseSoundFont(bytes);
  NoteLayers layers;
  layers.zones = ResolveZones(font, *FindPreset(font, 0, 0), 100);
  if (second.empty()) layers.zones.pop_back();
  return RenderNote(font, layers, 69, 22050, 60000);
}

// Amplitude of the sinusoid of `cycles` per frame in frames [from, from + count) (Hann window).
double Amplitude(const std::vector<float>& frames, size_t from, size_t count, double cycles) {
  std::complex<double> sum = 0;
  double window = 0;
  for (size_t i = 0; i < count; ++i) {
    const double w = 0.5 - 0.5 * std::cos(2 * M_PI * (static_cast<double>(i) + 0.5) / count);
    sum += w * frames[from + i] * std::polar(1.0, -2 * M_PI * cycles * static_cast<double>(i));
    window += w;
  }
  return 2 * std::abs(sum) / window;
}

double LoopAmplitude(const ResampledWave& wave, double cycles) {
  return Amplitude(wave.frames, wave.loopStart, wave.loopEnd - wave.loopStart + 1, cycles);
}

TEST(NoteRender, LayersSoundAtTheirPitchAndWeight) {
  struct Case {
    Generators second;
    double cycles;  // the second layer's
    double ratio;   // its amplitude over the main layer's
  };
  const Case cases[] = {
      {{{kGenCoarseTune, 12}}, 2 * kCycles, 1.0},
      // 15 dB of attenuation play as 6 dB.
      {{{kGenCoarseTune, 7}, {kGenInitialAttenuation, 150}},
       kCycles * std::pow(2, 7 / 12.0),
       0.501},
      // Hard left folds to half, the centred main layer to 0.707.
      {{{kGenCoarseTune, -12}, {kGenPan, -500}}, kCycles / 2, 0.707},
  };
  for (const Case& c : cases) {
    const ResampledWave wave = Render(c.second);
    ASSERT_TRUE(wave.loops);
    const double main = LoopAmplitude(wave, kCycles);
    EXPECT_NEAR(main, 16000 / 32768.0, 0.03);
    EXPECT_NEAR(LoopAmplitude(wave, c.cycles) / main, c.ratio, 0.05) << c.cycles;
  }
}

TEST(NoteRender, LayerEnvelopesAreBakedRelativeToTheMainOne) {
  const double fifth = kCycles * std::pow(2, 7 / 12.0);
  // Early: 0.1..0.2 s; late: the loop.
  auto early = [&](const ResampledWave& w) { return Amplitude(w.frames, 2205, 2205, fifth); };
  // A layer that dies within a second (96 dB per second) is gone from the loop.
  const ResampledWave dies =
      Render({{kGenCoarseTune, 7}, {kGenDecayVolEnv, 0}, {kGenSustainVolEnv, 1000}});
  EXPECT_GT(early(dies), 0.02);
  EXPECT_LT(LoopAmplitude(dies, fifth), 0.002);
  // A layer with a 1 s attack is faint early and full in the loop.
  const ResampledWave swells = Render({{kGenCoarseTune, 7}, {kGenAttackVolEnv, 0}});
  EXPECT_LT(early(swells), 0.15 * 16000 / 32768.0);
  EXPECT_NEAR(LoopAmplitude(swells, fifth), 16000 / 32768.0, 0.03);
  // The main layer's own envelope is the engine's: with the same envelope on both layers the
  // second keeps its plain weight from the start.
  const Generators slow = {{kGenAttackVolEnv, 0}};
  Generators second = slow;
  second.emplace_back(kGenCoarseTune, 7);
  const ResampledWave both = Render(second, slow);
  EXPECT_NEAR(early(both) / Amplitude(both.frames, 2205, 2205, kCycles), 1.0, 0.1);
}

TEST(NoteRender, PitchEnvelopeMovesBeforeTheLoopAndSettles) {
  // One layer: an octave up for 0.3 s (held), then back within 0.1 s; alone it is rendered by
  // itself.
  const Generators main = {{kGenModEnvToPitch, 1200},
                           {kGenHoldModEnv, -2084},
                           {kGenDecayModEnv, -4000},
                           {kGenSustainModEnv, 1000}};
  const ResampledWave wave = Render({}, main);
  ASSERT_TRUE(wave.loops);
  EXPECT_GT(Amplitude(wave.frames, 1000, 4000, 2 * kCycles), 0.4);
  EXPECT_LT(Amplitude(wave.frames, 1000, 4000, kCycles), 0.05);
  EXPECT_GT(wave.loopStart, 0.3 * 22050);
  EXPECT_NEAR(LoopAmplitude(wave, kCycles), 16000 / 32768.0, 0.03);
  EXPECT_LT(LoopAmplitude(wave, 2 * kCycles), 0.01);
}

TEST(NoteRender, DetunedLayersLoopWithoutAStep) {
  for (const int16_t fine : {0, 7, 31}) {
    const ResampledWave wave = Render({{kGenCoarseTune, 7}, {kGenFineTune, fine}});
    ASSERT_TRUE(wave.loops);
    double largest = 0;
    for (size_t i = wave.loopStart; i < wave.loopEnd; ++i)
      largest = std::max(largest, double{std::abs(wave.frames[i + 1] - wave.frames[i])});
    const double jump = std::abs(wave.frames[wave.loopStart] - wave.frames[wave.loopEnd]);
    EXPECT_LT(jump, 1.2 * largest) << fine;
  }
}

}  // namespace
}  // namespace velmo
