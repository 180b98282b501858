// Building a bank from a small SoundFont: structure, pitch (by the engine's own conversion and
// by playing notes through the engine), loops, levels, drums, budget and determinism.
#include <gtest/gtest.h>

#include <cmath>

#include "bankbuilder/bank_builder.h"
#include "bankbuilder/playback_model.h"
#include "bankbuilder/soundfont_zones.h"
#include "tests/bank/engine_playback.h"
#include "tests/bank/soundfont_builder.h"

namespace velmo {
namespace {

using testing::Range;
using testing::Sine;
using testing::TestPreset;
using testing::TestSample;
using testing::TestZone;

// Program 0: a looped sine, 100 frames per cycle at 44100 Hz (441 Hz) with root key 69.
// Program 1: the same sine 6 dB quieter through initialAttenuation (a player applies 0.4 of it).
// Program 2: a one-shot sine at 22050 Hz, 50 frames per cycle, root 60, tuned +30 cents.
// Drum kit: one one-shot sine for every key with root 60 and full key tracking.
std::vector<uint8_t> TestFont() {
  std::vector<TestSample> samples = {
      {"loop", Sine(3000, 100, 20000), 1000, 2600, 44100, 69},
      {"shot", Sine(4000, 50, 20000), 0, 0, 22050, 60},
      {"drum", Sine(2000, 40, 20000), 0, 0, 44100, 60},
  };
  std::vector<TestPreset> presets(4);
  presets[0].zones = {TestZone{{{kGenSampleModes, 1}}, 0}};
  presets[1].program = 1;
  presets[1].zones = {TestZone{{{kGenSampleModes, 1}, {kGenInitialAttenuation, 150}}, 0}};
  presets[2].program = 2;
  presets[2].zones = {TestZone{{{kGenFineTune, 30}}, 1}};
  presets[3].bank = 128;
  presets[3].zones = {TestZone{{{kGenKeyRange, Range(30, 90)}}, 2}};
  return testing::WriteSoundFont(samples, presets);
}

struct Built {
  std::vector<uint8_t> fontBytes = TestFont();
  SoundFont font = ParseSoundFont(fontBytes);
  BuildSummary summary;
  std::vector<uint8_t> bytes = BuildBank(font, kDefaultBankBudget, summary);
  BankImage image = ParseBankImage(bytes);
};

const Built& Shared() {
  static const Built built;
  return built;
}

TEST(BankBuilder, LaysOutProgramsDrumsAndMaps) {
  const Built& b = Shared();
  EXPECT_EQ(b.summary.programs, 3);
  EXPECT_EQ(b.summary.drumKeys, 47);
  EXPECT_EQ(b.summary.waves, 3);
  for (size_t p = 0; p < 128; ++p)
    EXPECT_EQ(b.image.programMap[0][p], p);
  for (size_t row = 1; row < 16; ++row)
    EXPECT_EQ(b.image.programMap[row][0], kImageNoInstrument);
  for (size_t key = 0; key < 128; ++key) {
    const uint16_t want =
        key >= 35 && key <= 81 ? static_cast<uint16_t>(key + 93) : kImageNoInstrument;
    EXPECT_EQ(b.image.drumNoteMap[0][key], want);
  }
  EXPECT_EQ(b.image.instruments[0].RegionCount(), 1);
  EXPECT_EQ(b.image.instruments[0].regionTopKey[0], 127);
  EXPECT_TRUE(b.image.instruments[3].IsEmpty());  // no such program in the SoundFont
  EXPECT_EQ(b.image.instruments[128].RegionCount(), 1);
  EXPECT_TRUE(b.image.waves[0].empty());
}

TEST(BankBuilder, LoopsKeepAWholeNumberOfFramesAndStayPeriodic) {
  const Built& b = Shared();
  const ImageSample& looped = b.image.samples[b.image.instruments[0].regionSample[0]];
  EXPECT_EQ(looped.loopMode, 1);
  const std::vector<uint8_t>& block = b.image.waves[looped.waveSlot];
  ASSERT_EQ(block.size() - kImageWaveHeaderBytes, looped.loopEnd + 1u);
  const auto at = [&](size_t frame) {
    return static_cast<int8_t>(block[kImageWaveHeaderBytes + frame]);
  };
  // 16 source cycles in the loop: a cycle later (read across the jump from loopEnd back to
  // loopStart, between frames when the cycle is not whole) the wave is the same.
  const int32_t length = looped.loopEnd - looped.loopStart + 1;
  const double cycle = length / 16.0;
  const auto loopAt = [&](double position) {
    const double wrapped = std::fmod(position, length);
    const auto whole = static_cast<int32_t>(wrapped);
    const double frac = wrapped - whole;
    return (1 - frac) * at(looped.loopStart + whole) +
           frac * at(looped.loopStart + (whole + 1) % length);
  };
  for (int32_t i = 0; i < length; ++i)
    EXPECT_NEAR(at(looped.loopStart + i), loopAt(i + cycle), 4) << i;
  const ImageSample& shot = b.image.samples[b.image.instruments[2].regionSample[0]];
  EXPECT_EQ(shot.loopMode, 0);
  EXPECT_EQ(shot.loopEnd + 1u, b.image.waves[shot.waveSlot].size() - kImageWaveHeaderBytes);
}

TEST(BankBuilder, EveryKeyPlaysAtTheSoundFontsPitch) {
  const Built& b = Shared();
  // Program 0: 441 Hz at key 69. The wave's cycle is its loop length / 16.
  const ImageSample& looped = b.image.samples[b.image.instruments[0].regionSample[0]];
  const double loopCycle = (looped.loopEnd - looped.loopStart + 1) / 16.0;
  for (const int32_t key : {21, 48, 69, 96, 108}) {
    const ImageInstrument& record = b.image.instruments[0];
    const int32_t cents = playback::KeyTrackCents(key, record.pitchKeyTrack) + looped.tune + 6000;
    const double hz = playback::StepOfPitch(cents) / 65536.0 * playback::kOutputRate / loopCycle;
    const double want = 441.0 * std::pow(2.0, (key - 69) / 12.0);
    EXPECT_NEAR(1200 * std::log2(hz / want), 0.0, 3.0) << "key " << key;
  }
  // Through the engine: key 69 of program 0, and key 72 of program 2 (441 Hz at key 60, +30
  // cents).
  const std::vector<int32_t> a = testing::PlayNote(b.bytes, 0, 0, 69, 30);
  EXPECT_NEAR(1200 * std::log2(testing::ZeroCrossingFrequency(a, 2000, 4000) / 441.0), 0.0, 3.0);
  const std::vector<int32_t> c = testing::PlayNote(b.bytes, 0, 2, 72, 30);
  const double want = 441.0 * std::pow(2.0, 1.0 + 30.0 / 1200.0);
  EXPECT_NEAR(1200 * std::log2(testing::ZeroCrossingFrequency(c, 200, 1500) / want), 0.0, 3.0);
}

TEST(BankBuilder, DrumKeysPlayAsTheKitPlaysThem) {
  const Built& b = Shared();
  // The kit's sine is 1102.5 Hz at key 60 with full key tracking; key 41 has pitch key 48 in
  // the engine, so its tune has to make up the difference.
  for (const int32_t key : {35, 41, 60, 77, 81}) {
    const std::vector<int32_t> played = testing::PlayNote(b.bytes, 9, -1, key, 8);
    const double want = 1102.5 * std::pow(2.0, (key - 60) / 12.0);
    EXPECT_NEAR(1200 * std::log2(testing::ZeroCrossingFrequency(played, 20, 250) / want), 0.0, 5.0)
        << "drum key " << key;
  }
}

TEST(BankBuilder, LevelsKeepTheSoundFontsRelativeLoudness) {
  const Built& b = Shared();
  // 150 cB at 0.4 is 6 dB: 48 units of 1/8 dB between the two levels.
  const int32_t difference = playback::LevelAtt(b.image.instruments[1].level) -
                             playback::LevelAtt(b.image.instruments[0].level);
  EXPECT_NEAR(difference, 48, 3);
  const std::vector<int32_t> loud = testing::PlayNote(b.bytes, 0, 0, 69, 30);
  const std::vector<int32_t> quiet = testing::PlayNote(b.bytes, 0, 1, 69, 30);
  EXPECT_NEAR(20 * std::log10(testing::RmsOf(loud, 3000, 3000) / testing::RmsOf(quiet, 3000, 3000)),
              6.0, 0.5);
}

// Amplitude of the sinusoid of `hertz` in samples [from, from + count) of an engine render.
double ToneAmplitude(const std::vector<int32_t>& samples, size_t from, size_t count, double hertz) {
  double re = 0, im = 0;
  for (size_t i = 0; i < count; ++i) {
    const double phase = 2 * M_PI * hertz * static_cast<double>(i) / playback::kOutputRate;
    re += samples[from + i] * std::cos(phase);
    im -= samples[from + i] * std::sin(phase);
  }
  return 2 * std::hypot(re, im) / static_cast<double>(count);
}

TEST(BankBuilder, StereoPairsAndLayersOfOtherSamplesAreMixedIntoOneWave) {
  // Left: 100 frames per cycle (441 Hz); right: 50 (882 Hz). Same length and loop, so they are
  // one pair; "other" is a right sample of another length: no partner, a layer of its own.
  std::vector<TestSample> samples = {
      {"left", Sine(3000, 100, 10000), 1000, 2600, 44100, 69, 0, 4},
      {"right", Sine(3000, 50, 10000), 1000, 2600, 44100, 69, 0, 2},
      {"other", Sine(3200, 50, 10000), 1000, 2600, 44100, 69, 0, 2},
  };
  for (const uint16_t second : {1, 2}) {
    std::vector<TestPreset> presets(1);
    presets[0].zones = {TestZone{{{kGenSampleModes, 1}}, 0},
                        TestZone{{{kGenSampleModes, 1}}, second}};
    BuildSummary summary;
    const std::vector<uint8_t> fontBytes = testing::WriteSoundFont(samples, presets);
    const std::vector<uint8_t> bytes =
        BuildBank(ParseSoundFont(fontBytes), kDefaultBankBudget, summary);
    const std::vector<int32_t> note = testing::PlayNote(bytes, 0, 0, 69, 40);
    const double low = ToneAmplitude(note, 3000, 4000, 441);
    EXPECT_GT(low, 100) << second;
    EXPECT_NEAR(ToneAmplitude(note, 3000, 4000, 882) / low, 1.0, 0.25) << second;
  }
}

// A rendered note keeps its layers' timing at every key: a fifth that fades by 48 dB per
// second under a steady main layer has fallen 12..17 dB at 0.25..0.35 s at the keys the note
// is rendered for and the keys between them (rendered once at 60, it fell four times faster
// two octaves up and four times slower two octaves down).
TEST(BankBuilder, RenderedNotesKeepTheirTimingAcrossTheKeyboard) {
  std::vector<TestSample> samples = {{"sine", Sine(3000, 100, 10000), 1000, 2600, 44100, 69}};
  std::vector<TestPreset> presets(1);
  presets[0].zones = {TestZone{{{kGenSampleModes, 1}}, 0}, TestZone{{{kGenSampleModes, 1},
                                                                     {kGenCoarseTune, 7},
                                                                     {kGenDecayVolEnv, 1200},
                                                                     {kGenSustainVolEnv, 1000}},
                                                                    0}};
  BuildSummary summary;
  const std::vector<uint8_t> fontBytes = testing::WriteSoundFont(samples, presets);
  const std::vector<uint8_t> bytes =
      BuildBank(ParseSoundFont(fontBytes), kDefaultBankBudget, summary);
  for (const int32_t key : {36, 45, 60, 84}) {
    const std::vector<int32_t> note = testing::PlayNote(bytes, 0, 0, key, 40);
    const double hertz = 441.0 * std::pow(2.0, (key - 69) / 12.0);
    const double main = ToneAmplitude(note, 5512, 2205, hertz);
    ASSERT_GT(main, 100) << key;
    const double fifth = ToneAmplitude(note, 5512, 2205, hertz * std::pow(2.0, 7 / 12.0)) / main;
    EXPECT_GT(fifth, 0.1) << key;
    EXPECT_LT(fifth, 0.35) << key;
  }
}

// Drums are cut, not resampled: over a tight budget a long cymbal keeps 32768 frames while a
// long melodic one-shot gives way.
TEST(BankBuilder, DrumsKeepTheirFloorWhenTheBudgetIsTight) {
  std::vector<TestSample> samples = {
      {"long", Sine(200000, 100, 20000), 0, 0, 44100, 69},
      {"cymbal", Sine(60000, 7, 20000), 0, 0, 44100, 60},
  };
  std::vector<TestPreset> presets(2);
  presets[0].zones = {TestZone{{}, 0}};
  presets[1].bank = 128;
  presets[1].zones = {TestZone{{{kGenKeyRange, Range(35, 81)}}, 1}};
  const std::vector<uint8_t> fontBytes = testing::WriteSoundFont(samples, presets);
  const SoundFont font = ParseSoundFont(fontBytes);
  BuildSummary summary;
  const std::vector<uint8_t> full = BuildBank(font, kDefaultBankBudget, summary);
  auto waveFrames = [](const std::vector<uint8_t>& bytes, size_t instrument) {
    const BankImage image = ParseBankImage(bytes);
    const ImageSample& s = image.samples[image.instruments[instrument].regionSample[0]];
    return image.waves[s.waveSlot].size() - kImageWaveHeaderBytes;
  };
  const size_t drum = 49 + playback::kDrumInstrumentOffset;
  const size_t waves = waveFrames(full, 0) + waveFrames(full, drum);
  ASSERT_GT(waveFrames(full, drum), 40000u);
  const size_t tight = full.size() - waves + 45000;
  const std::vector<uint8_t> small = BuildBank(font, tight, summary);
  EXPECT_LE(small.size(), tight);
  EXPECT_GE(waveFrames(small, drum), 32768u);
  EXPECT_LT(waveFrames(small, 0), 12500u);
  // The cut melodic one-shot loops its last stretch and sounds on; the cut cymbal fades out.
  const BankImage image = ParseBankImage(small);
  EXPECT_EQ(image.samples[image.instruments[0].regionSample[0]].loopMode, 1);
  EXPECT_EQ(image.samples[image.instruments[drum].regionSample[0]].loopMode, 0);
  const std::vector<int32_t> late = testing::PlayNote(small, 0, 0, 69, 200);
  EXPECT_GT(testing::RmsOf(late, late.size() - 2205, 2205), 100.0);
}

// A decaying one-shot (40 dB per second at its root key) cut for the budget to a looping tail:
// the envelope carries the decay on from the cut, faster by the octave as the sample plays
// faster. Between 0.55 s and 1.05 s of its root key's note (half that an octave up) it falls
// about 20 dB.
TEST(BankBuilder, CutOneShotsDecayOnThroughTheEnvelope) {
  std::vector<int16_t> frames = Sine(3 * 22050, 50, 20000);
  for (size_t i = 0; i < frames.size(); ++i)
    frames[i] = static_cast<int16_t>(frames[i] * std::pow(10.0, -2.0 * i / 22050.0));
  std::vector<TestSample> samples = {{"decaying", frames, 0, 0, 22050, 69}};
  std::vector<TestPreset> presets(1);
  presets[0].zones = {TestZone{{}, 0}};
  const std::vector<uint8_t> fontBytes = testing::WriteSoundFont(samples, presets);
  const SoundFont font = ParseSoundFont(fontBytes);
  BuildSummary summary;
  const std::vector<uint8_t> full = BuildBank(font, kDefaultBankBudget, summary);
  const BankImage image = ParseBankImage(full);
  const size_t waveFrames =
      image.waves[image.samples[image.instruments[0].regionSample[0]].waveSlot].size();
  const std::vector<uint8_t> small = BuildBank(font, full.size() - waveFrames + 8000, summary);
  for (const int32_t key : {69, 81}) {
    const double scale = std::pow(2.0, (69 - key) / 12.0);
    const std::vector<int32_t> note = testing::PlayNote(small, 0, 0, key, 200);
    auto rmsAt = [&](double seconds) {
      return testing::RmsOf(note, static_cast<size_t>(seconds * scale * 22050), 1102);
    };
    ASSERT_GT(rmsAt(1.05), 5.0) << key;
    const double fall = 20 * std::log10(rmsAt(0.55) / rmsAt(1.05));
    EXPECT_GT(fall, 10.0) << key;
    EXPECT_LT(fall, 30.0) << key;
  }
}

TEST(BankBuilder, SameSoundFontGivesTheSameBytesAndBudgetsAreKept) {
  const Built& b = Shared();
  BuildSummary again;
  EXPECT_EQ(BuildBank(b.font, kDefaultBankBudget, again), b.bytes);
  // A budget that forces every wave shorter (resampled lower) is still met.
  const size_t tight = b.bytes.size() - 2000;
  const std::vector<uint8_t> small = BuildBank(b.font, tight, again);
  EXPECT_LE(small.size(), tight);
  // Shortened waves keep a seamless loop: the frame before the loop start continues into the
  // loop exactly like the loop end does.
  const BankImage image = ParseBankImage(small);
  const ImageSample& looped = image.samples[image.instruments[0].regionSample[0]];
  const std::vector<uint8_t>& block = image.waves[looped.waveSlot];
  const auto at = [&](size_t frame) {
    return static_cast<int8_t>(block[kImageWaveHeaderBytes + frame]);
  };
  ASSERT_GT(looped.loopStart, 0);
  EXPECT_NEAR(at(looped.loopStart - 1), at(looped.loopEnd), 4);
  EXPECT_THROW(BuildBank(b.font, 50000, again), std::runtime_error);
}

// Generator values far outside their ranges, in the preset (added) and the instrument (set),
// build a playable bank instead of infinite steps and rates.
TEST(BankBuilder, ExtremeGeneratorsStillBuildAPlayableBank) {
  const std::vector<std::pair<uint16_t, int16_t>> extremes[] = {
      {{kGenCoarseTune, 32767}, {kGenFineTune, 32767}, {kGenScaleTuning, 32767}},
      {{kGenCoarseTune, -32768}, {kGenFineTune, -32768}, {kGenOverridingRootKey, 127}},
      // Keys far below the root at the widest key tracking: a step far below a frame per note.
      {{kGenScaleTuning, 32767}, {kGenOverridingRootKey, 127}, {kGenSampleModes, 1}},
      {{kGenAttackVolEnv, 32767},
       {kGenDecayVolEnv, 32767},
       {kGenReleaseVolEnv, 32767},
       {kGenHoldVolEnv, -32768},
       {kGenSustainVolEnv, 32767}},
      {{kGenInitialAttenuation, -32768},
       {kGenInitialFilterFc, 32767},
       {kGenPan, 32767},
       {kGenFreqVibLfo, 32767},
       {kGenVibLfoToPitch, 32767},
       {kGenModEnvToPitch, -32768}},
  };
  for (const auto& generators : extremes) {
    std::vector<TestPreset> presets(2);
    presets[0].presetGenerators = generators;
    // Layered with a plain zone a fifth up, so the note is rendered with the extreme one.
    presets[0].zones = {TestZone{generators, 0}, TestZone{{{kGenCoarseTune, 7}}, 0}};
    presets[1].bank = 128;
    presets[1].zones = {TestZone{generators, 0}};
    const std::vector<uint8_t> bytes =
        testing::WriteSoundFont({{"s", Sine(3000, 100, 20000), 1000, 2600, 65535, 0}}, presets);
    const SoundFont font = ParseSoundFont(bytes);  // points into `bytes`
    BuildSummary summary;
    EXPECT_NO_THROW(ParseBankImage(BuildBank(font, kDefaultBankBudget, summary)));
    EXPECT_EQ(summary.programs, 1) << generators[0].first;
    EXPECT_GT(summary.waves, 0) << generators[0].first;
  }
}

// Every melodic program plays the whole of one long sample many times over: the zones and
// frames the build would read are counted first and refused with the limit named.
TEST(BankBuilder, WorkBeyondTheLimitsIsRefusedBeforeItStarts) {
  struct Case {
    size_t frames;
    size_t zonesPerProgram;
    const char* refusal;
  };
  const Case cases[] = {
      {(size_t{1} << 22) + 1, 1, "spans 4194305 sample frames, more than the 4194304"},
      {size_t{1} << 20, 2, "sample frames in all, more than the 134217728"},
      {64, 129, "zones, more than the 16384"},
  };
  for (const Case& c : cases) {
    std::vector<TestPreset> presets(128);
    for (uint16_t program = 0; program < 128; ++program) {
      presets[program].program = program;
      presets[program].zones.assign(c.zonesPerProgram, TestZone{});
    }
    const std::vector<uint8_t> bytes =
        testing::WriteSoundFont({{"s", Sine(c.frames, 100, 20000)}}, presets);
    const SoundFont font = ParseSoundFont(bytes);
    BuildSummary summary;
    try {
      BuildBank(font, kDefaultBankBudget, summary);
      ADD_FAILURE() << c.refusal;
    } catch (const std::runtime_error& error) {
      EXPECT_NE(std::string(error.what()).find(c.refusal), std::string::npos) << error.what();
    }
  }
}

// A drum that decays slowly is quantised near full scale to its end, and the envelope gives the
// decay back: the note played falls as the sample does.
TEST(BankBuilder, DecayingDrumIsFlattenedAndTheEnvelopeRestoresTheDecay) {
  constexpr double kDbPerSecond = 50.0;
  std::vector<int16_t> frames(35280);
  for (size_t i = 0; i < frames.size(); ++i) {
    const double seconds = static_cast<double>(i) / 44100;
    frames[i] =
        static_cast<int16_t>(std::lround(20000 * std::pow(10, -kDbPerSecond * seconds / 20) *
                                         std::sin(2 * M_PI * static_cast<double>(i) / 40)));
  }
  std::vector<TestPreset> presets(2);
  presets[0].zones = {TestZone{{}, 1}};
  presets[1].bank = 128;
  presets[1].zones = {TestZone{{{kGenKeyRange, Range(60, 60)}}, 0}};
  const std::vector<uint8_t> fontBytes = testing::WriteSoundFont(
      {{"decay", frames, 0, 0, 44100, 60}, {"tone", Sine(2000, 50, 20000), 0, 0, 44100, 60}},
      presets);
  const SoundFont font = ParseSoundFont(fontBytes);
  BuildSummary summary;
  const std::vector<uint8_t> bytes = BuildBank(font, kDefaultBankBudget, summary);
  const BankImage image = ParseBankImage(bytes);
  const size_t drum = 60 + playback::kDrumInstrumentOffset;
  const ImageSample& sample = image.samples[image.instruments[drum].regionSample[0]];
  const std::vector<uint8_t>& wave = image.waves[sample.waveSlot];
  auto waveRms = [&](double from, double to) {
    const size_t count = wave.size() - kImageWaveHeaderBytes;
    double sum = 0;
    const auto first = static_cast<size_t>(from * static_cast<double>(count));
    const auto last = static_cast<size_t>(to * static_cast<double>(count));
    for (size_t i = first; i < last; ++i) {
      const double v = static_cast<int8_t>(wave[kImageWaveHeaderBytes + i]);
      sum += v * v;
    }
    return std::sqrt(sum / static_cast<double>(last - first));
  };
  // Unflattened, the last tenth would sit about 36 dB below the first.
  EXPECT_GT(waveRms(0.85, 0.95), 0.5 * waveRms(0.05, 0.15));

  const std::vector<int32_t> played =
      testing::PlayNote(bytes, 9, 0, 60, playback::kOutputRate / playback::kFramesPerBlock);
  auto playedDb = [&](double at) {
    return 20 * std::log10(testing::RmsOf(played, static_cast<size_t>(at * playback::kOutputRate),
                                          playback::kOutputRate / 20));
  };
  EXPECT_NEAR(playedDb(0.6) - playedDb(0.1), -kDbPerSecond * 0.5, 3.0);
}

}  // namespace
}  // namespace velmo
