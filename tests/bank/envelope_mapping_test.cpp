// Envelope and LFO mapping: segment times land within 25 % of the SoundFont's where the rate
// table allows, and the engine's timing model matches its tables.
#include <gtest/gtest.h>

#include <cmath>

#include "bankbuilder/envelope_mapping.h"
#include "bankbuilder/playback_model.h"

namespace velmo {
namespace {

TEST(PlaybackModel, StepsAndTicksFollowTheEngine) {
  EXPECT_EQ(playback::StepOfPitch(6000), 0x10000u);
  EXPECT_EQ(playback::StepOfPitch(4800), 0x8000u);
  EXPECT_EQ(playback::StepOfPitch(7200), 0x20000u);
  EXPECT_EQ(playback::StepOfPitch(1199), 4093u);
  EXPECT_EQ(playback::KeyTrackCents(61, 2), 33);
  EXPECT_EQ(playback::KeyTrackCents(59, 2), -33);
  EXPECT_EQ(playback::DrumPitchKey(41), 48);
  // Rate 127 reaches full level in one tick; a fall from full to 0 at delta 0 takes one unit
  // per tick.
  EXPECT_EQ(playback::RiseTicks(0, playback::kEnvFullScale, playback::EnvRate(127)), 1);
  EXPECT_EQ(playback::FallTicks(playback::kEnvFullScale, 0, 0), playback::kEnvFullScale + 1);
  // From 16384 up the fall is delta + 1 per tick.
  EXPECT_EQ(playback::FallTicks(32512, 16384, 1115), (32512 - 16384) / 1116 + 1);
}

TEST(EnvelopeMapping, SegmentTimesWithinAQuarterOfTheWantedTime) {
  for (const double seconds : {0.01, 0.05, 0.2, 1.0, 5.0, 20.0}) {
    const int32_t rise = FitRateIndex(0, playback::kEnvFullScale, seconds);
    EXPECT_NEAR(SegmentSeconds(0, playback::kEnvFullScale, rise) / seconds, 1.0, 0.25) << seconds;
    const int32_t fall = FitRateIndex(playback::kEnvFullScale, 40 * 256, seconds);
    EXPECT_NEAR(SegmentSeconds(playback::kEnvFullScale, 40 * 256, fall) / seconds, 1.0, 0.25)
        << seconds;
  }
  // Shorter than one tick: the fastest rate.
  EXPECT_EQ(FitRateIndex(0, playback::kEnvFullScale, 0.0001), 127);
}

ResolvedZone ZoneWith(int32_t attack, int32_t decay, int32_t sustainCb, int32_t release) {
  ResolvedZone zone;
  zone.gen[kGenAttackVolEnv] = attack;
  zone.gen[kGenHoldVolEnv] = -12000;
  zone.gen[kGenDecayVolEnv] = decay;
  zone.gen[kGenSustainVolEnv] = sustainCb;
  zone.gen[kGenReleaseVolEnv] = release;
  return zone;
}

TEST(EnvelopeMapping, SustainedAndDecayingNotes) {
  ImageInstrument sustained;
  // Attack 0.5 s, decay 2 s to 20 dB below full (reached after 20/96 of the decay), release 1 s.
  MapEnvelope(EnvelopeOf(ZoneWith(-1200, 1200, 200, 0)), 0.0, sustained);
  EXPECT_EQ(sustained.envMode, 1);
  EXPECT_EQ(sustained.envLevel[0], 127);
  EXPECT_NEAR(sustained.envLevel[3], 13, 1);  // -19.2 dB of 127
  EXPECT_NEAR(SegmentSeconds(0, playback::kEnvFullScale, sustained.envRate[0]) / 0.5, 1.0, 0.25);
  double decay = 0;
  int32_t from = playback::kEnvFullScale;
  for (size_t k = 1; k <= 3; ++k) {
    decay += SegmentSeconds(from, sustained.envLevel[k] * 256, sustained.envRate[k]);
    from = sustained.envLevel[k] * 256;
  }
  EXPECT_NEAR(decay / (2.0 * 19.2 / 96.0), 1.0, 0.25);
  EXPECT_EQ(sustained.envLevel[4], 0);

  ImageInstrument plucked;
  MapEnvelope(EnvelopeOf(ZoneWith(-12000, 0, 1000, -1200)), 0.0, plucked);
  EXPECT_EQ(plucked.envMode, 0);  // decays to silence, then ends without a key-off
  EXPECT_EQ(plucked.envLevel[3], 0);
  EXPECT_EQ(plucked.envRate[0], 127);

  // A loop reached late: the first decay segment lasts until then.
  ImageInstrument late;
  MapEnvelope(EnvelopeOf(ZoneWith(-12000, 2400, 1000, 0)), 1.5, late);
  EXPECT_NEAR(
      SegmentSeconds(playback::kEnvFullScale, late.envLevel[1] * 256, late.envRate[1]) / 1.5, 1.0,
      0.25);
}

// Releases take the SoundFont's time from where a note held for a second stands: full level
// for a slow decay, the sustain level for a fast one. The rate is fitted to what the release
// falls in its first second: a short release (0.27 s per 96 dB) to silence at -48 dB, a long
// one (8 s per 96 dB) over its first 12 dB.
TEST(EnvelopeMapping, ReleasesFitFromTheLevelOfANoteHeldASecond) {
  struct Case {
    int32_t decay;      // timecents
    int32_t sustainCb;  // 400 cB = 40 dB
    int32_t release;    // timecents
    double fromDb, fitDb, seconds;
  };
  const Case cases[] = {
      {5888, 400, -2272, 0.0, 48.0, 0.269 * 48 / 96},
      {-2400, 400, -2272, 40.0, 8.0, 0.269 * 8 / 96},
      {1200, 100, -2272, 10.0, 38.0, 0.269 * 38 / 96},
      {5888, 400, 3600, 0.0, 12.0, 1.0},
      {1200, 100, 3600, 10.0, 12.0, 1.0},
  };
  auto units = [](double db) {
    return static_cast<int32_t>(std::lround(127 * std::pow(10.0, -db / 20))) * 256;
  };
  for (const Case& c : cases) {
    ImageInstrument record;
    MapEnvelope(EnvelopeOf(ZoneWith(-12000, c.decay, c.sustainCb, c.release)), 0.0, record);
    const int32_t to = c.fromDb + c.fitDb < 48.0 ? units(c.fromDb + c.fitDb) : 0;
    EXPECT_NEAR(SegmentSeconds(units(c.fromDb), to, record.envRate[4]) / c.seconds, 1.0, 0.5)
        << c.decay << " " << c.release;
  }
}

// The decay and release rates follow the key as the zones of other keys want, by the selector
// nearest over the keys given (factor 8: four times faster two octaves up).
TEST(EnvelopeMapping, RateKeyScalingFollowsTheZonesOfOtherKeys) {
  SfEnvelope reference;
  reference.decay = 2.0;
  reference.sustainDb = 40.0;
  reference.release = 1.0;
  auto scaled = [&](double decay, double release, int32_t keynum = 0, double sustainDb = 40.0) {
    SfEnvelope e = reference;
    e.decay *= decay;
    e.release *= release;
    e.keynumToDecay = keynum;
    e.sustainDb = sustainDb;
    return e;
  };
  struct Case {
    std::vector<KeyEnvelope> keys;
    int8_t decay, release;
  };
  const Case cases[] = {
      {{{36, reference}, {84, reference}}, 0, 0},
      {{{36, scaled(4, 4)}, {60, reference}, {84, scaled(0.25, 0.25)}}, 3, 3},
      {{{36, scaled(2, 1)}, {84, scaled(0.5, 0.25)}}, 2, 2},
      {{{36, scaled(1, 1.4)}, {84, scaled(1, 0.7)}}, 0, 1},
      // keynumToVolEnvDecay of 50 timecents per key: 24 keys make an octave.
      {{{36, scaled(1, 1, 50)}, {84, scaled(1, 1, 50)}}, 2, 0},
      // Slower releases up the keyboard cannot be had: no scaling.
      {{{36, scaled(1, 0.25)}, {84, scaled(1, 4)}}, 0, 0},
      // Without any decay the decay's scaling does not matter.
      {{{36, scaled(4, 1, 0, 0.0)}, {84, scaled(0.25, 1, 0, 0.0)}}, 0, 0},
  };
  for (const Case& c : cases) {
    SfEnvelope main = reference;
    if (c.keys.front().envelope.sustainDb == 0) main.sustainDb = 0;
    ImageInstrument record;
    FitRateKeyScaling(main, c.keys, record);
    EXPECT_EQ(record.envRateKeyScale,
              (std::array<int8_t, 6>{0, c.decay, c.decay, c.decay, c.release, 0}))
        << &c - cases;
  }
}

TEST(EnvelopeMapping, EngineEnvelopeModelRunsTheStages) {
  ImageInstrument record;
  record.envRate = {127, 127, 127, 127, 100, 127};
  record.envLevel = {127, 64, 32, 32, 0, 0};
  record.envMode = 1;
  // Attack in one tick, first decay, then the wait for the loop at level 64 until frame 510.
  const std::vector<float> gains = EngineEnvelopeGains(record, 60, 1000, 510);
  EXPECT_FLOAT_EQ(gains[0], 1.0f);
  EXPECT_NEAR(gains[300], 64.0 / 127.0, 1e-6);
  EXPECT_NEAR(gains[999], 32.0 / 127.0, 1e-6);
  // The same note decays to silence when the sustain level is 0 and the mode releases.
  record.envLevel = {127, 0, 0, 0, 0, 0};
  record.envMode = 0;
  EXPECT_EQ(EngineEnvelopeGains(record, 60, 2000, 0).back(), 0.0f);

  SfEnvelope sf;
  sf.attack = 0.1;
  sf.decay = 1.0;
  sf.sustainDb = 12.0;
  const std::vector<float> theirs = SoundFontEnvelopeGains(sf, 22050);
  EXPECT_NEAR(theirs[1102], 0.5, 0.01);                          // half way up the attack
  EXPECT_NEAR(theirs[22049], std::pow(10.0, -12.0 / 20), 1e-3);  // sustained
}

TEST(EnvelopeMapping, LfoDepthsAndRate) {
  ResolvedZone zone;
  zone.gen[kGenVibLfoToPitch] = 25;
  zone.gen[kGenFreqVibLfo] = static_cast<int32_t>(std::lround(1200 * std::log2(5.0 / 8.176)));
  zone.gen[kGenModLfoToVolume] = 10;
  ImageInstrument record;
  MapLfo(zone, record);
  EXPECT_NEAR(127.0 * ((record.vibratoDepth * 101) >> 7) / 256.0, 25.0, 0.6);
  // 5 Hz: 512 / lfoRate blocks of 221 frames per period.
  EXPECT_NEAR(record.lfoRate * 22050.0 / (221.0 * 512.0), 5.0, 0.2);
  EXPECT_NEAR(127.0 * record.tremoloDepth / 65536.0, std::pow(10.0, 0.05) - 1.0, 0.003);
}

}  // namespace
}  // namespace velmo
