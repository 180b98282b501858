// The floating-point model of a SoundFont note that levels are set by: plain playback, the
// low-pass and what moves it, the resonance's DC drop, attenuation and the volume envelope.
#include <gtest/gtest.h>

#include <cmath>

#include "bankbuilder/soundfont_voice.h"
#include "bankbuilder/soundfont_zones.h"
#include "tests/bank/soundfont_builder.h"

namespace velmo {
namespace {

using testing::Sine;
using testing::TestPreset;
using testing::TestSample;
using testing::TestZone;

using Generators = std::vector<std::pair<uint16_t, int16_t>>;

// The note power (dB, full scale 0) of key 60 played from a looped sine of `period` frames at
// 44100 Hz (root key 60) with half full scale, under `generators`.
double NoteDb(double period, const Generators& generators, bool filter = true) {
  std::vector<TestSample> samples = {{"sine", Sine(8800, period, 16384), 400, 8400, 44100, 60}};
  std::vector<TestPreset> presets(1);
  Generators all = {{kGenSampleModes, 1}};
  all.insert(all.end(), generators.begin(), generators.end());
  presets[0].zones = {TestZone{all, 0}};
  const std::vector<uint8_t> bytes = testing::WriteSoundFont(samples, presets);
  const SoundFont font = ParseSoundFont(bytes);
  const std::vector<ResolvedZone> zones = ResolveZones(font, *FindPreset(font, 0, 0), 100);
  EXPECT_EQ(zones.size(), 1u);
  VoiceOptions options;
  options.filter = filter;
  return 10.0 * std::log10(SoundFontNotePower(font, zones.at(0), options));
}

// Half full scale sine: power 1/8.
const double kPlainDb = 10.0 * std::log10(0.125);

TEST(SoundFontVoice, PlaysTheSampleWithAttenuationAndEnvelope) {
  EXPECT_NEAR(NoteDb(100, {}), kPlainDb, 0.2);
  // 15 dB of initialAttenuation play as 0.4 of it.
  EXPECT_NEAR(NoteDb(100, {{kGenInitialAttenuation, 150}}), kPlainDb - 6.0, 0.2);
  // A linear attack over the whole 0.4 s: mean power a third of full.
  EXPECT_NEAR(NoteDb(100, {{kGenAttackVolEnv, -1586}}), kPlainDb - 4.77, 0.3);
  // A 0.2 s decay to -96 dB: the note is mostly gone, far below a sustained one.
  EXPECT_LT(NoteDb(100, {{kGenDecayVolEnv, -2786}, {kGenSustainVolEnv, 1000}}), kPlainDb - 12.0);
}

TEST(SoundFontVoice, LowPassCutsHighNotesAndOpensWithItsEnvelope) {
  // A 2205 Hz sine through a low-pass near 300 Hz loses most of its power.
  const double closed = NoteDb(20, {{kGenInitialFilterFc, 6900}});
  EXPECT_LT(closed, kPlainDb - 20.0);
  EXPECT_NEAR(NoteDb(20, {{kGenInitialFilterFc, 6900}}, false), kPlainDb, 0.2);
  // The modulation envelope (instant attack, held at full) moves the cutoff five octaves up.
  const double opened = NoteDb(20, {{kGenInitialFilterFc, 6900}, {kGenModEnvToFilterFc, 6000}});
  EXPECT_NEAR(opened, kPlainDb, 3.0);
  // A slow envelope attack opens it only partly over the first 0.4 s.
  const double slow = NoteDb(
      20, {{kGenInitialFilterFc, 6900}, {kGenModEnvToFilterFc, 6000}, {kGenAttackModEnv, 0}});
  EXPECT_GT(slow, closed + 3.0);
  EXPECT_LT(slow, opened - 3.0);
  // An LFO swinging the cutoff lets part of the sound through.
  EXPECT_GT(NoteDb(20, {{kGenInitialFilterFc, 6900}, {kGenModLfoToFilterFc, 6000}}), closed + 3.0);
}

TEST(SoundFontVoice, ResonanceLowersTheLevelBelowTheCutoff) {
  // 10 dB of resonance: a sine far below the cutoff is 5 dB quieter.
  EXPECT_NEAR(NoteDb(400, {{kGenInitialFilterFc, 9000}, {kGenInitialFilterQ, 100}}), kPlainDb - 5.0,
              0.5);
}

// The fixed cutoff baked into a wave for a moving filter: the static cutoff moved by the
// modulation envelope's mean over the note.
TEST(SoundFontVoice, HeardCutoffFollowsTheModulationEnvelopesMean) {
  struct Case {
    int32_t amount, decay, sustain;
    double offset, tolerance;
  };
  for (const Case& c : {Case{0, -12000, 0, 0, 1e-9}, Case{1200, -12000, 0, 1200, 1e-9},
                        Case{-2400, -12000, 0, -2400, 1e-9}, Case{1200, -12000, 1000, 0, 1},
                        Case{1200, 0, 1000, 1200 * (1 - 0.475), 15}}) {
    ResolvedZone zone;
    zone.gen[kGenInitialFilterFc] = 7000;
    zone.gen[kGenDelayModEnv] = zone.gen[kGenAttackModEnv] = zone.gen[kGenHoldModEnv] = -12000;
    zone.gen[kGenDecayModEnv] = c.decay;
    zone.gen[kGenSustainModEnv] = c.sustain;
    zone.gen[kGenModEnvToFilterFc] = c.amount;
    EXPECT_NEAR(HeardCutoffCents(zone, 100) - StaticCutoffCents(zone, 100), c.offset, c.tolerance)
        << c.amount << " " << c.decay << " " << c.sustain;
  }
}

TEST(SoundFontVoice, GeneratorsFarOutOfRangeGiveAFiniteLevel) {
  for (const Generators& extreme :
       {Generators{{kGenCoarseTune, 32767}, {kGenFreqModLfo, 32767}},
        Generators{{kGenCoarseTune, -32768}, {kGenModLfoToFilterFc, 32767}},
        Generators{{kGenInitialFilterFc, -32768},
                   {kGenInitialFilterQ, 32767},
                   {kGenModEnvToFilterFc, -32768},
                   {kGenModLfoToVolume, 32767}}}) {
    EXPECT_TRUE(std::isfinite(NoteDb(100, extreme)));
  }
}

}  // namespace
}  // namespace velmo
