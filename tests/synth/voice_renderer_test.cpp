// Source position by loop mode, and properties of rendered blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "synth/engine.h"
#include "synth/engine_tables.h"
#include "synth/voice_renderer.h"
#include "tests/synth/reference_renderer.h"
#include "tests/synth/test_bank.h"

namespace velmo {
namespace {

using test::BankImage;
using test::Send;

// Positions after each of `steps` steps; -1 marks a one-shot that ran out.
std::vector<int> Positions(Voice& voice, int steps) {
  std::vector<int> positions;
  for (int i = 0; i < steps; ++i) {
    positions.push_back(StepSourcePosition(voice) ? voice.sampleIndex : -1);
  }
  return positions;
}

Voice LoopVoice(uint16_t mode, uint16_t loopStart, uint16_t loopEnd, uint16_t index) {
  Voice voice;
  voice.loopMode = mode;
  voice.loopStart = loopStart;
  voice.loopEnd = loopEnd;
  voice.sampleIndex = index;
  return voice;
}

TEST(SourcePosition, OneShotStopsAfterLoopEnd) {
  Voice voice = LoopVoice(0, 10, 12, 8);
  EXPECT_EQ(Positions(voice, 6), (std::vector<int>{9, 10, 11, 12, -1, -1}));
  EXPECT_EQ(voice.loopReached, 1);
}

TEST(SourcePosition, ForwardLoopWrapsToLoopStart) {
  Voice voice = LoopVoice(1, 10, 20, 8);
  EXPECT_EQ(Positions(voice, 1), (std::vector<int>{9}));
  EXPECT_EQ(voice.loopReached, 0);
  EXPECT_EQ(Positions(voice, 1), (std::vector<int>{10}));
  EXPECT_EQ(voice.loopReached, 1);
  voice.sampleIndex = 18;
  EXPECT_EQ(Positions(voice, 4), (std::vector<int>{19, 20, 10, 11}));
  // Starting past the loop end: the wrap alone does not count as reaching it.
  voice = LoopVoice(1, 10, 20, 25);
  EXPECT_EQ(Positions(voice, 1), (std::vector<int>{10}));
  EXPECT_EQ(voice.loopReached, 0);
}

TEST(SourcePosition, AlternatingLoopTurnsAtBothEnds) {
  for (const uint16_t mode : {2, 3}) {
    Voice voice = LoopVoice(mode, 10, 20, 18);
    std::vector<int> expected = {19, 20};
    for (int i = 19; i >= 10; --i)
      expected.push_back(i);
    expected.insert(expected.end(), {11, 12});
    EXPECT_EQ(Positions(voice, static_cast<int>(expected.size())), expected);
    EXPECT_EQ(voice.loopDirection, 0);
    voice.sampleIndex = 19;
    Positions(voice, 2);
    EXPECT_EQ(voice.loopDirection, mode == 2 ? 1 : 2);
  }
}

TEST(SourcePosition, AlternatingLoopFromZeroTurnsWithoutWrapping) {
  Voice voice = LoopVoice(3, 0, 3, 1);
  EXPECT_EQ(Positions(voice, 10), (std::vector<int>{2, 3, 2, 1, 0, 1, 2, 3, 2, 1}));
  voice = LoopVoice(2, 0, 1, 0);
  EXPECT_EQ(Positions(voice, 6), (std::vector<int>{1, 0, 1, 0, 1, 0}));
}

TEST(SourcePosition, CoincidingLoopPointsStayInsideTheWave) {
  // Both loop points pulled to the last frame (31) of a 32-frame wave.
  Voice voice = LoopVoice(2, 31, 31, 29);
  const std::vector<int> positions = Positions(voice, 8);
  EXPECT_EQ(positions, (std::vector<int>{30, 31, 30, 31, 30, 31, 30, 31}));
}

TEST(SourcePosition, UnknownModeDoesNotMove) {
  Voice voice = LoopVoice(7, 0, 5, 3);
  EXPECT_EQ(Positions(voice, 3), (std::vector<int>{3, 3, 3}));
}

// Large steps move the position in closed form: it must land where that many
// single steps land, with the same direction and loop-reached flag.
TEST(SourcePosition, SkipMatchesSingleSteps) {
  std::mt19937 random(7);
  const auto uniform = [&random](int32_t low, int32_t high) {
    return std::uniform_int_distribution<int32_t>(low, high)(random);
  };
  for (int trial = 0; trial < 20000; ++trial) {
    const int32_t frames = uniform(3, 40);
    Voice voice;
    voice.loopMode = static_cast<uint16_t>(uniform(0, 3));
    voice.loopEnd = static_cast<uint16_t>(uniform(1, frames - 1));
    voice.loopStart =
        static_cast<uint16_t>(uniform(0, 5) == 0 ? voice.loopEnd : uniform(0, voice.loopEnd - 1));
    if (voice.loopMode == 0 || voice.loopMode == 1 || voice.loopStart == voice.loopEnd ||
        uniform(0, 1) == 0) {
      voice.sampleIndex = static_cast<uint16_t>(uniform(0, frames - 1));
    } else {  // backward inside the loop
      voice.loopDirection = static_cast<uint8_t>(voice.loopMode == 2 ? 1 : 2);
      voice.sampleIndex = static_cast<uint16_t>(uniform(voice.loopStart, voice.loopEnd - 1));
    }
    if (voice.loopMode >= 2 && voice.loopStart == voice.loopEnd && voice.loopDirection != 0) {
      voice.sampleIndex = static_cast<uint16_t>(voice.loopEnd - 1);
    }
    voice.loopReached = static_cast<uint8_t>(uniform(0, 4) == 0);
    uint32_t count = static_cast<uint32_t>(uniform(0, 300));
    if (voice.loopMode == 0) {
      count = voice.sampleIndex <= voice.loopEnd
                  ? std::min<uint32_t>(count, voice.loopEnd - voice.sampleIndex)
                  : 0;
    }
    Voice stepped = voice;
    for (uint32_t i = 0; i < count; ++i)
      ASSERT_TRUE(test::ReferenceStep(stepped));
    Voice skipped = voice;
    SkipSourcePosition(skipped, count);
    ASSERT_EQ(skipped.sampleIndex, stepped.sampleIndex)
        << "trial " << trial << " mode " << voice.loopMode << " loop " << voice.loopStart << ".."
        << voice.loopEnd << " from " << voice.sampleIndex << " dir " << int{voice.loopDirection}
        << " count " << count;
    ASSERT_EQ(skipped.loopDirection, stepped.loopDirection) << "trial " << trial;
    ASSERT_EQ(skipped.loopReached, stepped.loopReached) << "trial " << trial;
  }
}

class Rendering : public ::testing::Test {
 protected:
  void Load(const BankImage& image) { test::LoadBank(*engine, image); }
  // Renders one block and returns its samples.
  std::vector<int16_t> Render() {
    const int32_t block = WriteBlock(*engine);
    RenderBlock(*engine);
    const int16_t* samples = RingBlock(*engine, block);
    return std::vector<int16_t>(samples, samples + kBlockSamples);
  }
  std::unique_ptr<Engine> engine = std::make_unique<Engine>();
};

// Envelope that rises at once and stays at full level until key-off.
void HoldFullLevel(InstrumentRecord& instrument) {
  instrument.envLevel[1] = instrument.envLevel[2] = instrument.envLevel[3] = 127;
  instrument.envMode = 1;
}

bool AllZero(const std::vector<int16_t>& samples) {
  return std::all_of(samples.begin(), samples.end(), [](int16_t s) { return s == 0; });
}

TEST_F(Rendering, NoVoiceRendersSilenceAndAdvancesTheBlock) {
  Load(test::SmallBank());
  engine->ring.fill(123);
  EXPECT_EQ(WriteBlock(*engine), 6);
  EXPECT_TRUE(AllZero(Render()));
  EXPECT_EQ(WriteBlock(*engine), 7);
  for (int i = 0; i < 3; ++i)
    Render();
  EXPECT_EQ(WriteBlock(*engine), 0);
}

TEST_F(Rendering, UnitStepKeepsTheFraction) {
  Load(test::SmallBank());
  engine->voices[0].phaseFrac = 0x1234;  // left from an earlier note
  Send(*engine, {0x90, 60, 100});
  ASSERT_EQ(engine->voices[0].step, 0x10000u);
  Render();
  EXPECT_EQ(engine->voices[0].phaseFrac, 0x1234u);
  // 221 whole steps from frame 2 through the 8..63 loop (56 frames).
  EXPECT_EQ(engine->voices[0].sampleIndex, 8 + (2 + 221 - 8) % 56);
}

TEST_F(Rendering, OneShotEndHoldsItsLastValueToTheBlockEnd) {
  BankImage image = test::SmallBank();
  HoldFullLevel(image.instruments[1]);
  Load(image);
  Send(*engine, {0xC0, 1, 0x90, 60, 127});
  const std::vector<int16_t> samples = Render();
  EXPECT_EQ(engine->voices[0].active, 0);
  EXPECT_EQ(engine->voices[0].allocStamp, 101u);  // a run-out voice keeps its stamp
  // 40 frames: the last fetch is at frame 36; from frame 39 on the history
  // holds four copies of the last sample, mixed from frame 40 on.
  const int16_t last = samples[2 * 40];
  EXPECT_NE(last, 0);
  for (int n = 40; n < kFramesPerBlock; ++n) {
    EXPECT_EQ(samples[2 * n], last) << n;
    EXPECT_EQ(samples[2 * n + 1], samples[2 * 40 + 1]) << n;
  }
  EXPECT_NE(samples[2 * 39], last);
  EXPECT_TRUE(AllZero(Render()));
}

TEST_F(Rendering, OverlappingVoicesWrapInsteadOfClipping) {
  BankImage image = test::SmallBank();
  image.waves[1] = test::MakeWave(std::vector<int8_t>(64, -128), 8, 63);
  HoldFullLevel(image.instruments[0]);
  Load(image);
  Send(*engine, {0xB0, 7, 127, 10, 127});
  Send(*engine, {0x90, 60, 127});
  const std::vector<int16_t> single = Render();
  Load(image);
  for (uint8_t channel = 0; channel < 3; ++channel) {
    Send(*engine, {static_cast<uint8_t>(0xB0 | channel), 7, 127, 10, 127});
    Send(*engine, {static_cast<uint8_t>(0x90 | channel), 60, 127});
  }
  const std::vector<int16_t> triple = Render();
  EXPECT_LT(single[2 * 100 + 1], -11000);  // right output, hard right pan
  bool wrapped = false;
  for (int i = 0; i < kBlockSamples; ++i) {
    EXPECT_EQ(triple[i], static_cast<int16_t>(3 * single[i])) << i;
    wrapped |= triple[i] > 0;
  }
  EXPECT_TRUE(wrapped);
}

TEST_F(Rendering, AttenuationClampsToTheCurveEnds) {
  BankImage image = test::SmallBank();
  image.waves[1] = test::MakeWave(std::vector<int8_t>(64, 100), 8, 63);
  HoldFullLevel(image.instruments[0]);
  image.instruments[0].pitchKeyTrack = 6;  // fixed pitch: one step per frame, fraction 0
  image.instruments[0].levelKeyScale = 1;
  const int32_t s = (100 * 128 * (30809 + 58871 + 30809)) >> 17;  // at fraction 0
  const int32_t full = (127 * 256 * 32767) >> 16;

  // Volume and expression 0: 1644 units, far above 511, gives the quietest gain.
  Load(image);
  Send(*engine, {0xB0, 7, 0, 11, 0, 0x90, 60, 127});
  std::vector<int16_t> samples = Render();
  EXPECT_EQ(samples[2 * 100 + 1], (((127 * 256 * GainCurve[127]) >> 16) * s) >> 13);

  // Key 127 with key scaling 1 (-134 units), full volume, hard right: below 0,
  // clamped to full gain.
  Load(image);
  Send(*engine, {0xB0, 7, 127, 10, 127, 0x90, 127, 127});
  samples = Render();
  EXPECT_EQ(engine->voices[0].levelAtt, -134);
  EXPECT_EQ(samples[2 * 100 + 1], (full * s) >> 13);
}

TEST_F(Rendering, RhythmVoiceUsesPerKeyPan) {
  BankImage image = test::SmallBank();
  image.waves[2] = test::MakeWave(std::vector<int8_t>(200, 90), 199, 199);
  HoldFullLevel(image.instruments[134]);
  Load(image);
  Send(*engine, {0xB9, 10, 127});  // channel pan is not used on the rhythm channel
  Send(*engine, {0x99, 41, 127});  // pan position 34: right 72, left 2 units
  const std::vector<int16_t> samples = Render();
  // attL = 33 + 16 + 2 - 48 = 3 -> 0; attR = 33 + 16 + 72 - 48 = 73 -> 18.
  const int32_t left = samples[2 * 100];
  const int32_t right = samples[2 * 100 + 1];
  const int32_t gainL = (127 * 256 * GainCurve[0]) >> 16;
  const int32_t gainR = (127 * 256 * GainCurve[18]) >> 16;
  const int32_t s = left * 8192 / gainL;  // the interpolated sample, recovered
  EXPECT_NEAR(right, (gainR * s) >> 13, 1);
  EXPECT_GT(left, right);
}

}  // namespace
}  // namespace velmo
