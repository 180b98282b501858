// The engine's RenderBlock against the plain frame-by-frame reference, on
// random banks and random MIDI: every block and every voice field must agree.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "synth/engine.h"
#include "synth/mix_kernels.h"
#include "tests/synth/reference_renderer.h"
#include "tests/synth/test_bank.h"

namespace velmo {
namespace {

using Random = std::mt19937;

int32_t Uniform(Random& random, int32_t low, int32_t high) {
  return std::uniform_int_distribution<int32_t>(low, high)(random);
}

struct BankLimits {
  int32_t maxTune;    // |tune| in cents
  int32_t maxFrames;  // longest wave
};

test::BankImage RandomBank(Random& random, const BankLimits& limits) {
  test::BankImage image;
  const int32_t waves = 12;
  image.waves.resize(waves + 1);
  std::vector<int32_t> frames(waves + 1, 0);
  for (int32_t w = 1; w <= waves; ++w) {
    frames[w] =
        Uniform(random, 0, 3) == 0 ? Uniform(random, 3, 40) : Uniform(random, 3, limits.maxFrames);
    std::vector<int8_t> pcm(frames[w]);
    for (int8_t& x : pcm)
      x = static_cast<int8_t>(Uniform(random, -128, 127));
    image.waves[w] = test::MakeWave(pcm);
  }
  image.samples.resize(40);
  for (size_t s = 1; s < image.samples.size(); ++s) {
    SampleRecord& record = image.samples[s];
    const int32_t slot = Uniform(random, 1, waves);
    const int32_t n = frames[slot];
    record.waveSlot = static_cast<uint16_t>(slot);
    record.tune = static_cast<int16_t>(Uniform(random, -limits.maxTune, limits.maxTune));
    record.loopMode =
        static_cast<uint16_t>(Uniform(random, 0, 20) == 0 ? 5 : Uniform(random, 0, 3));
    record.start =
        static_cast<uint16_t>(Uniform(random, 0, 3) == 0 ? Uniform(random, 0, n - 3) : 0);
    const int32_t pick = Uniform(random, 0, 5);
    if (pick == 0) {  // loop from frame 0
      record.loopStart = 0;
      record.loopEnd = static_cast<uint16_t>(Uniform(random, 1, n + 5));
    } else if (pick == 1) {  // both loop points beyond the wave
      record.loopStart = static_cast<uint16_t>(n + Uniform(random, 0, 3));
      record.loopEnd = static_cast<uint16_t>(record.loopStart + Uniform(random, 1, 3));
    } else {
      record.loopStart = static_cast<uint16_t>(Uniform(random, 0, n - 1));
      record.loopEnd = static_cast<uint16_t>(Uniform(random, 0, n));
    }
  }
  image.instruments.resize(175);
  for (InstrumentRecord& record : image.instruments) {
    std::memset(&record, 0, sizeof record);
    const int32_t regions = Uniform(random, 1, 4);
    int32_t top = 0;
    for (int32_t r = 0; r < 16; ++r) {
      top = r + 1 == regions ? 127 : std::min(127, top + Uniform(random, 10, 50));
      record.regionTopKey[r] = static_cast<int8_t>(r < regions ? top : 127);
      record.regionSample[r] = static_cast<uint16_t>(
          r < regions ? Uniform(random, 0, 39) * (Uniform(random, 0, 9) != 0) : 0);
    }
    for (int32_t k = 0; k < 6; ++k) {
      record.envRate[k] =
          static_cast<int8_t>(Uniform(random, 0, 3) == 0 ? 127 : Uniform(random, 30, 127));
      record.envLevel[k] = static_cast<int8_t>(Uniform(random, 0, 127));
      record.envRateKeyScale[k] = static_cast<int8_t>(Uniform(random, 0, 3));
    }
    record.envMode = static_cast<int8_t>(Uniform(random, 0, 5));
    record.vibratoDepth = static_cast<int8_t>(Uniform(random, 0, 127));
    record.lfoRate = static_cast<int8_t>(Uniform(random, -20, 60));
    record.level = static_cast<int8_t>(Uniform(random, 0, 127));
    record.levelKeyScale = static_cast<int8_t>(Uniform(random, 0, 6));
    record.pitchKeyTrack = static_cast<int8_t>(Uniform(random, 0, 6));
    record.tremoloDepth = static_cast<int8_t>(Uniform(random, 0, 127));
  }
  image.bankMap.assign(128, 0);
  std::array<uint16_t, 128> row;
  for (uint16_t& entry : row)
    entry = static_cast<uint16_t>(Uniform(random, 0, 174));
  image.programMap.push_back(row);
  return image;
}

std::vector<uint8_t> RandomMidi(Random& random, int32_t maxBendRange) {
  std::vector<uint8_t> bytes;
  const int32_t messages = Uniform(random, 0, 6);
  for (int32_t m = 0; m < messages; ++m) {
    const auto channel =
        static_cast<uint8_t>(Uniform(random, 0, 3) == 0 ? 9 : Uniform(random, 0, 3));
    const auto data = [&random] { return static_cast<uint8_t>(Uniform(random, 0, 127)); };
    switch (Uniform(random, 0, 9)) {
      case 0:
      case 1:
      case 2:
        bytes.insert(bytes.end(), {static_cast<uint8_t>(0x90 | channel), data(), data()});
        break;
      case 3:
        bytes.insert(bytes.end(), {static_cast<uint8_t>(0x80 | channel), data(), data()});
        break;
      case 4: {
        const uint8_t controllers[] = {1, 7, 10, 11, 64, 120, 121, 123};
        bytes.insert(bytes.end(), {static_cast<uint8_t>(0xB0 | channel),
                                   controllers[Uniform(random, 0, 7)], data()});
        break;
      }
      case 5:
        bytes.insert(bytes.end(), {static_cast<uint8_t>(0xE0 | channel), data(), data()});
        break;
      case 6:
        bytes.insert(bytes.end(), {static_cast<uint8_t>(0xC0 | channel), data()});
        break;
      case 7:
        bytes.insert(bytes.end(),
                     {static_cast<uint8_t>(0xB0 | channel), 101, 0, 100,
                      static_cast<uint8_t>(Uniform(random, 0, 2)), 6,
                      static_cast<uint8_t>(Uniform(random, 0, maxBendRange)), 38, data()});
        break;
      default:
        bytes.push_back(static_cast<uint8_t>(Uniform(random, 0, 255)));
        break;
    }
  }
  return bytes;
}

void ExpectSameVoices(const Engine& engine, const Engine& reference, int32_t block) {
  for (int32_t v = 0; v < PolyphonyLimit; ++v) {
    const Voice& a = engine.voices[v];
    const Voice& b = reference.voices[v];
    ASSERT_EQ(a.active, b.active) << "voice " << v << " block " << block;
    ASSERT_EQ(a.sampleIndex, b.sampleIndex) << "voice " << v << " block " << block;
    ASSERT_EQ(a.phaseFrac, b.phaseFrac) << "voice " << v << " block " << block;
    ASSERT_EQ(a.history, b.history) << "voice " << v << " block " << block;
    ASSERT_EQ(a.loopDirection, b.loopDirection) << "voice " << v << " block " << block;
    ASSERT_EQ(a.loopReached, b.loopReached) << "voice " << v << " block " << block;
    ASSERT_EQ(a.envAmp, b.envAmp) << "voice " << v << " block " << block;
    ASSERT_EQ(a.envStage, b.envStage) << "voice " << v << " block " << block;
    ASSERT_EQ(a.envCountdown, b.envCountdown) << "voice " << v << " block " << block;
    ASSERT_EQ(a.allocStamp, b.allocStamp) << "voice " << v << " block " << block;
  }
}

void CompareRandomRuns(RenderPath path, uint32_t seed, const BankLimits& limits,
                       int32_t maxBendRange, int32_t blocks) {
  Random random(seed);
  const test::BankImage image = RandomBank(random, limits);
  auto engine = std::make_unique<Engine>();
  engine->renderPath = path;
  auto reference = std::make_unique<Engine>();
  test::LoadBank(*engine, image);
  test::LoadBank(*reference, image);
  for (int32_t b = 0; b < blocks; ++b) {
    if (Uniform(random, 0, 2) == 0) {
      const std::vector<uint8_t> midi = RandomMidi(random, maxBendRange);
      test::Send(*engine, midi);
      test::Send(*reference, midi);
    }
    const int32_t block = WriteBlock(*engine);
    RenderBlock(*engine);
    test::ReferenceRenderBlock(*reference);
    ASSERT_EQ(std::memcmp(RingBlock(*engine, block), RingBlock(*reference, block), kBlockBytes), 0)
        << RenderPathName(path) << " seed " << seed << " block " << b;
    ExpectSameVoices(*engine, *reference, b);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

// Each case runs on every kernel set this machine has, the scalar one included.
struct RandomRunCase {
  const char* name;
  uint32_t firstSeed;
  uint32_t lastSeed;
  BankLimits limits;
  int32_t maxBendRange;
  int32_t blocks;
};

constexpr RandomRunCase kRandomRunCases[] = {
    {"random banks and MIDI", 1, 12, {3000, 4000}, 12, 150},
    {"single-cycle loops", 50, 55, {2400, 60}, 12, 150},
    {"high pitches and short loops", 100, 105, {12000, 300}, 127, 40},
};

TEST(RenderEquivalence, EveryPathMatchesTheReferenceOnRandomBanksAndMidi) {
  for (const RenderPath path : kRenderPaths) {
    if (!RenderPathAvailable(path)) continue;
    for (const RandomRunCase& run : kRandomRunCases) {
      SCOPED_TRACE(run.name);
      for (uint32_t seed = run.firstSeed; seed <= run.lastSeed; ++seed) {
        CompareRandomRuns(path, seed, run.limits, run.maxBendRange, run.blocks);
        if (::testing::Test::HasFatalFailure()) return;
      }
    }
  }
}

}  // namespace
}  // namespace velmo
