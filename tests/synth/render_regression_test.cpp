// Rendered-audio regression: fixed MIDI scripts on the small test bank, every
// block hashed (FNV-1a 64 over the PCM). Any change of one output bit changes
// a hash; the expected values were checked against the arithmetic by hand
// before they were recorded.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "synth/engine.h"
#include "tests/synth/test_bank.h"

namespace velmo {
namespace {

struct TimedBytes {
  int32_t block;  // pushed before this block is rendered
  std::vector<uint8_t> bytes;
};

uint64_t RenderScript(const test::BankImage& image, const std::vector<TimedBytes>& script,
                      int32_t blocks) {
  auto engine = std::make_unique<Engine>();
  test::LoadBank(*engine, image);
  uint64_t hash = 0xcbf29ce484222325ull;
  size_t next = 0;
  for (int32_t b = 0; b < blocks; ++b) {
    while (next < script.size() && script[next].block == b) {
      for (const uint8_t byte : script[next].bytes)
        PushMidiByte(*engine, byte);
      ++next;
    }
    const int32_t block = WriteBlock(*engine);
    DrainMidiQueue(*engine);
    RenderBlock(*engine);
    hash = test::Fnv1a64(RingBlock(*engine, block), kBlockBytes, hash);
  }
  return hash;
}

// The small bank with more character: vibrato, tremolo, key scaling and a
// slower envelope on some instruments.
test::BankImage RegressionBank() {
  test::BankImage image = test::SmallBank();
  image.instruments[0].vibratoDepth = 40;
  image.instruments[0].tremoloDepth = 30;
  image.instruments[0].lfoRate = 23;
  image.instruments[1].envRate[0] = 100;
  image.instruments[1].levelKeyScale = 3;
  image.instruments[1].pitchKeyTrack = 1;
  image.instruments[2].envMode = 0;
  image.instruments[2].level = 90;
  image.instruments[2].envRateKeyScale[1] = 3;
  image.instruments[3].envMode = 2;
  image.instruments[3].lfoRate = -7;
  image.instruments[3].tremoloDepth = 127;
  image.samples[1].tune = -37;
  image.samples[3].tune = 1250;
  image.samples[4].tune = -2500;
  return image;
}

TEST(RenderRegression, LoopModesAndEnvelopes) {
  const std::vector<TimedBytes> script = {
      {0, {0x90, 60, 100, 0xC1, 1, 0x91, 48, 127}},
      {1, {0xC2, 2, 0x92, 67, 90, 0xC3, 3, 0x93, 72, 110}},
      {12, {0x80, 60, 0, 0x91, 48, 0}},
      {20, {0x92, 67, 0, 0x93, 72, 0}},
      {25, {0x90, 84, 80, 0xB0, 10, 20, 0xE0, 0x00, 0x60}},
      {40, {0x90, 84, 0}},
  };
  EXPECT_EQ(RenderScript(RegressionBank(), script, 80), 0x3EF009ED99CC5057ull);
}

TEST(RenderRegression, BendModulationPedalAndDrums) {
  const std::vector<TimedBytes> script = {
      {0, {0xB0, 101, 0, 100, 0, 6, 24, 0xB0, 1, 90, 0x90, 55, 120}},
      {2, {0xE0, 0x7F, 0x7F, 0x99, 41, 127, 42, 100, 0x99, 36, 90}},
      {6, {0xB0, 64, 127, 0x80, 55, 0, 0xE0, 0x00, 0x00}},
      {9, {0xB9, 7, 60, 11, 100, 0x99, 81, 127}},
      {15, {0xB0, 64, 0, 0xB0, 7, 90, 11, 70}},
      {30, {0xB0, 101, 0, 100, 2, 6, 76, 0x90, 30, 127}},
      {31, {0xB0, 101, 0, 100, 1, 6, 0x10, 38, 0x40, 0x90, 31, 127}},
  };
  EXPECT_EQ(RenderScript(RegressionBank(), script, 60), 0x3C363391E6A38708ull);
}

TEST(RenderRegression, StealingDampingAndExtremePitches) {
  std::vector<TimedBytes> script;
  std::vector<uint8_t> chord = {0xC0, 0, 0xC1, 2, 0xC2, 3};
  for (uint8_t k = 0; k < 21; ++k) {
    chord.push_back(static_cast<uint8_t>(0x90 | (k % 3)));
    chord.push_back(static_cast<uint8_t>(30 + 4 * k));
    chord.push_back(static_cast<uint8_t>(60 + k * 3));
  }
  script.push_back({0, chord});
  script.push_back({3, {0x90, 34, 100, 0x90, 34, 100, 0x90, 127, 127, 0x90, 0, 127}});
  script.push_back({5, {0xB1, 101, 0, 100, 0, 6, 96, 0xE1, 0x7F, 0x7F, 0x91, 126, 127}});
  script.push_back({8, {0xB0, 123, 0, 0xB1, 120, 0, 0xB2, 121, 0}});
  script.push_back({10, {0x92, 90, 100, 0xB2, 7, 0, 0x92, 91, 100}});
  EXPECT_EQ(RenderScript(RegressionBank(), script, 40), 0xAEAC774E7A6DF6ABull);
}

}  // namespace
}  // namespace velmo
