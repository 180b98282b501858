// Envelope stages, key-off handling and the per-block pitch/LFO update.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "synth/engine.h"
#include "synth/engine_tables.h"
#include "synth/envelope.h"
#include "tests/synth/test_bank.h"

namespace velmo {
namespace {

using test::BankImage;
using test::Send;

TEST(StepFromPitch, OctavesAndCents) {
  EXPECT_EQ(StepFromPitch(6000, 1), 0x10000u);
  EXPECT_EQ(StepFromPitch(4800, 1), 0x8000u);
  EXPECT_EQ(StepFromPitch(7200, 1), 0x20000u);
  EXPECT_EQ(StepFromPitch(1199, 1), 4093u);
  EXPECT_EQ(StepFromPitch(6100, 1), PitchTable[100] * 16u);
  EXPECT_EQ(StepFromPitch(-1, 1), 8187u >> 2);  // octave -1, 1199 cents
  EXPECT_EQ(StepFromPitch(-1200, 1), 4096u >> 2);
  EXPECT_EQ(StepFromPitch(-40000, 1), 0u);
  EXPECT_EQ(StepFromPitch(25199, 1), 8187u << 19);
  // Pitches beyond the step's range play at the highest pitch.
  EXPECT_EQ(StepFromPitch(25200, 1), 8187u << 19);
  EXPECT_EQ(StepFromPitch(45000, 1), 8187u << 19);
}

class Envelope : public ::testing::Test {
 protected:
  // Instrument 0 gets `instrument`; key 60 (or `key`) is started on channel 0.
  void Start(const InstrumentRecord& instrument, uint8_t key = 60) {
    BankImage image = test::SmallBank();
    image.instruments[0] = instrument;
    test::LoadBank(*engine, image);
    Send(*engine, {0x90, key, 100});
  }
  void Tick(int count = 1) {
    for (int i = 0; i < count; ++i)
      EnvTick(*engine, voice());
  }
  Voice& voice() { return engine->voices[0]; }
  std::unique_ptr<Engine> engine = std::make_unique<Engine>();
};

TEST_F(Envelope, AttackAtTopRateReachesTargetInOneTick) {
  InstrumentRecord instrument = test::SimpleInstrument(1);
  Start(instrument);
  EXPECT_TRUE(EnvTick(*engine, voice()));
  EXPECT_EQ(voice().envStage, 0);
  EXPECT_EQ(voice().envAmp, 127 * 256);
  EXPECT_EQ(voice().envAdvance, 1);
  Tick();
  EXPECT_EQ(voice().envStage, 1);
  EXPECT_EQ(voice().envDirection, -1);
  EXPECT_EQ(voice().envAmp, 127 * 256 - EnvRateTable[90] - 1);
}

TEST_F(Envelope, SlowAttackNeverRisesUntilKeyOff) {
  InstrumentRecord instrument = test::SimpleInstrument(1);
  instrument.envRate[0] = 19;
  instrument.envLevel[4] = 0;
  Start(instrument);
  Tick(20);
  EXPECT_EQ(voice().envStage, 0);
  EXPECT_EQ(voice().envAmp, 0);
  Send(*engine, {0x80, 60, 0});
  Tick();
  EXPECT_EQ(voice().envStage, 6);
}

TEST_F(Envelope, FallingStepShrinksAtLowAmplitude) {
  InstrumentRecord instrument = test::SimpleInstrument(1);
  Start(instrument);
  Tick(2);
  Voice& v = voice();
  v.envTarget = 0;
  v.envDelta = 1115;
  const int32_t cases[][2] = {{20000, 1116}, {16384, 1116}, {16383, 558},
                              {8192, 558},   {8191, 279},   {4095, 140}};
  for (const auto& [amp, step] : cases) {
    v.envAmp = amp;
    v.envAdvance = 0;
    v.envDirection = -1;
    Tick();
    EXPECT_EQ(v.envAmp, amp - step) << amp;
  }
}

TEST_F(Envelope, RisingSegmentEndsOnlyAfterPassingTheTarget) {
  InstrumentRecord instrument = test::SimpleInstrument(1);
  instrument.envRate[0] = 120;  // 6308 per tick
  instrument.envLevel[0] = 0;
  Start(instrument);
  Tick();
  // Stage 0 rises even toward target 0: one step passes it and clamps.
  EXPECT_EQ(voice().envAmp, 0);
  EXPECT_EQ(voice().envAdvance, 1);
  Voice& v = voice();
  v.envStage = 0;
  v.envAdvance = 0;
  v.envDirection = 1;
  v.envAmp = 0;
  v.envTarget = 6308 * 2;
  Tick(2);
  EXPECT_EQ(v.envAmp, 6308 * 2);
  EXPECT_EQ(v.envAdvance, 0);  // landed exactly: not ended
  Tick();
  EXPECT_EQ(v.envAdvance, 1);
}

TEST_F(Envelope, KeyOffWaitsForThePedal) {
  Start(test::SimpleInstrument(1));
  Send(*engine, {0xB0, 64, 64, 0x80, 60, 0});
  Tick(3);
  EXPECT_EQ(voice().keyOffPending, 1);
  EXPECT_EQ(voice().keyHeld, 1);
  Send(*engine, {0xB0, 64, 0});
  Tick();
  EXPECT_EQ(voice().keyOffPending, 0);
  EXPECT_EQ(voice().keyHeld, 0);
  EXPECT_EQ(voice().envStage, 6);
  EXPECT_EQ(voice().envTarget, 0);
  EXPECT_EQ(voice().envDelta, EnvRateTable[100]);
}

TEST_F(Envelope, ModesTwoAndFiveIgnoreKeyOff) {
  for (const int8_t mode : {2, 5}) {
    InstrumentRecord instrument = test::SimpleInstrument(1);
    instrument.envMode = mode;
    Start(instrument);
    Tick(2);
    Send(*engine, {0x80, 60, 0});
    Tick();
    EXPECT_EQ(voice().keyHeld, 0);
    EXPECT_EQ(voice().keyOffPending, 0);
    EXPECT_EQ(voice().envStage, 1) << int{mode};
  }
}

// Runs ticks until the stage changes; returns the new stage.
int NextStage(Engine& engine, Voice& voice) {
  const int stage = voice.envStage;
  for (int i = 0; i < 10000 && voice.envStage == stage; ++i)
    EnvTick(engine, voice);
  return voice.envStage;
}

TEST_F(Envelope, StageOrderBySustainMode) {
  for (const int8_t mode : {0, 1, 3, 4}) {
    InstrumentRecord instrument = test::SimpleInstrument(1);
    instrument.envMode = mode;
    Start(instrument);
    voice().loopReached = 1;
    EnvTick(*engine, voice());
    EXPECT_EQ(NextStage(*engine, voice()), 1);
    EXPECT_EQ(NextStage(*engine, voice()), 3);  // loop already reached: 2 passes at once
    EXPECT_EQ(NextStage(*engine, voice()), 4);
    if (mode == 1 || mode == 4) {
      EXPECT_EQ(NextStage(*engine, voice()), 5);
      Tick(100);
      EXPECT_EQ(voice().envStage, 5);  // holds until key-off
      EXPECT_EQ(voice().envAmp, 80 * 256);
      Send(*engine, {0x80, 60, 0});
    }
    EXPECT_EQ(NextStage(*engine, voice()), 6);
    EXPECT_EQ(NextStage(*engine, voice()), 7);
    EXPECT_EQ(NextStage(*engine, voice()), 8);
    EXPECT_EQ(voice().envDirection, 0);
  }
}

TEST_F(Envelope, WaitStageHoldsUntilTheLoopIsReached) {
  Start(test::SimpleInstrument(1));
  Tick();
  EXPECT_EQ(NextStage(*engine, voice()), 1);
  EXPECT_EQ(NextStage(*engine, voice()), 2);
  const int32_t level = voice().envAmp;
  EXPECT_EQ(level, 100 * 256);
  Tick(50);
  EXPECT_EQ(voice().envStage, 2);
  EXPECT_EQ(voice().envAmp, level);
  voice().loopReached = 1;
  Tick();
  EXPECT_EQ(voice().envStage, 3);
  EXPECT_EQ(voice().envTarget, 90 * 256);
}

TEST_F(Envelope, RateKeyScaling) {
  InstrumentRecord instrument = test::SimpleInstrument(1);
  instrument.envRate[1] = 60;
  instrument.envRateKeyScale[1] = 3;
  for (const auto& [key, rate] : {std::pair{72, 68}, std::pair{48, 52}, std::pair{60, 60}}) {
    Start(instrument, static_cast<uint8_t>(key));
    Tick(2);
    EXPECT_EQ(voice().envDelta, EnvRateTable[rate]) << key;
  }
  instrument.envRateKeyScale[1] = 1;
  Start(instrument, 61);
  Tick(2);
  EXPECT_EQ(voice().envDelta, EnvRateTable[60]);
  instrument.envRate[1] = 125;
  Start(instrument, 127);  // 125 + 11 clamps to 127
  Tick(2);
  EXPECT_EQ(voice().envDelta, EnvRateTable[127]);
  instrument.envRateKeyScale[1] = 9;  // unknown selector: no scaling
  Start(instrument, 127);
  Tick(2);
  EXPECT_EQ(voice().envDelta, EnvRateTable[125]);
}

TEST_F(Envelope, NoteOffBeforeTheFirstTickReleasesFromSilence) {
  Start(test::SimpleInstrument(1));
  RenderBlock(*engine);
  ASSERT_GT(voice().envAmp, 20000);
  // Same voice, new note released before it is rendered: nothing of the old
  // note's amplitude may sound.
  Send(*engine, {0xB0, 120, 0, 0x90, 60, 100, 0x80, 60, 0});
  const int32_t block = WriteBlock(*engine);
  RenderBlock(*engine);
  const int16_t* samples = RingBlock(*engine, block);
  EXPECT_TRUE(std::all_of(samples, samples + kBlockSamples, [](int16_t s) { return s == 0; }));
  EXPECT_EQ(voice().envStage, 8);
  EXPECT_EQ(voice().active, 0);
  EXPECT_EQ(voice().allocStamp, 0u);
}

TEST_F(Envelope, PitchUpdateVibratoBeforeTremoloAfterTheAdvance) {
  InstrumentRecord instrument = test::SimpleInstrument(1);
  instrument.vibratoDepth = 127;
  instrument.tremoloDepth = 50;
  instrument.lfoRate = 64;
  Start(instrument);
  Voice& v = voice();
  EXPECT_EQ(v.lfoPhase, 64);
  EXPECT_EQ(v.tremoloValue, LfoTable[64] * 50);
  v.lfoPhase = 128;
  UpdateVoicePitch(*engine, v, false);
  EXPECT_EQ(v.step, StepFromPitch(6000 + ((127 * 100) >> 8), 1));
  EXPECT_EQ(v.lfoPhase, 192);
  EXPECT_EQ(v.tremoloValue, LfoTable[192] * 50);
  Send(*engine, {0xE0, 0x00, 0x00, 0xB0, 1, 127});
  v.lfoPhase = 384;  // -127: the modulation wheel's depth 100 alike
  UpdateVoicePitch(*engine, v, false);
  EXPECT_EQ(v.step, StepFromPitch(6000 - 200 + ((-127 * 100) >> 8), 1));
  v.lfoRate = -200;
  UpdateVoicePitch(*engine, v, false);
  EXPECT_EQ(v.lfoPhase, (448 - 200) & 511);
}

TEST_F(Envelope, RhythmVoicesKeepTheirNoteOnPitch) {
  test::LoadBank(*engine, test::SmallBank());
  Send(*engine, {0x99, 41, 100});
  Voice& v = voice();
  const uint32_t step = v.step;
  v.tremoloValue = 77;  // left as it is: no LFO on the rhythm channel
  Send(*engine, {0xE9, 0x7F, 0x7F, 0xB9, 1, 127});
  UpdateVoicePitch(*engine, v, false);
  EXPECT_EQ(v.step, step);
  EXPECT_EQ(v.tremoloValue, 77);
  EXPECT_EQ(step, StepFromPitch(6000 - 1200, 1));
}

}  // namespace
}  // namespace velmo
