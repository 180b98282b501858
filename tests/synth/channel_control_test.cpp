// Controllers, registered parameters, pitch bend and the channel-mode messages.
#include <gtest/gtest.h>

#include <memory>

#include "synth/channel_control.h"
#include "synth/engine.h"
#include "synth/engine_tables.h"
#include "tests/synth/test_bank.h"

namespace velmo {
namespace {

using test::Send;

class ChannelControl : public ::testing::Test {
 protected:
  void SetUp() override { test::LoadBank(*engine, test::SmallBank()); }
  const ChannelState& Channel(int channel) const { return engine->channels[channel]; }
  std::unique_ptr<Engine> engine = std::make_unique<Engine>();
};

TEST_F(ChannelControl, ResetGivesStartValues) {
  for (int c = 0; c < 16; ++c) {
    const ChannelState& state = Channel(c);
    EXPECT_EQ(state.volumeAtt, 33);
    EXPECT_EQ(state.panAttRight, 28);
    EXPECT_EQ(state.panAttLeft, 29);
    EXPECT_EQ(state.expressionAtt, 0);
    EXPECT_EQ(state.bendRangeCents, 200);
    EXPECT_EQ(state.program, 0);
    EXPECT_EQ(state.bank, 0);
    EXPECT_EQ(state.rpnMsb, 127);
    EXPECT_EQ(state.rpnLsb, 127);
    EXPECT_EQ(state.rhythm, c == 9 ? 1 : 0);
  }
}

TEST_F(ChannelControl, ResetWithoutChannelsLeavesThem) {
  Send(*engine, {0xB2, 0x07, 0x00, 0xC2, 0x05});
  EngineReset(*engine, 0);
  EXPECT_EQ(Channel(2).volumeAtt, 800);
  EXPECT_EQ(Channel(2).program, 5);
  EngineReset(*engine, 1);
  EXPECT_EQ(Channel(2).volumeAtt, 33);
  EXPECT_EQ(Channel(2).program, 0);
}

TEST_F(ChannelControl, PitchBendScalesByRange) {
  Send(*engine, {0xE0, 0x00, 0x40});
  EXPECT_EQ(Channel(0).bend, 0);
  EXPECT_EQ(Channel(0).bendCents, 0);
  Send(*engine, {0xE0, 0x7F, 0x7F});
  EXPECT_EQ(Channel(0).bend, 8191);
  EXPECT_EQ(Channel(0).bendCents, 199);
  Send(*engine, {0xE0, 0x00, 0x00});
  EXPECT_EQ(Channel(0).bend, -8192);
  EXPECT_EQ(Channel(0).bendCents, -200);
  Send(*engine, {0xE0, 0x01, 0x40});  // +1: 200 / 8192 rounds down to 0
  EXPECT_EQ(Channel(0).bendCents, 0);
  Send(*engine, {0xE0, 0x7F, 0x3F});  // -1 rounds toward minus infinity
  EXPECT_EQ(Channel(0).bendCents, -1);
}

TEST_F(ChannelControl, BendRangeAppliesFromTheNextBend) {
  Send(*engine, {0xE0, 0x7F, 0x7F});
  Send(*engine, {0xB0, 101, 0, 100, 0, 6, 12});
  EXPECT_EQ(Channel(0).bendRangeCents, 1200);
  EXPECT_EQ(Channel(0).bendCents, 199);  // not recomputed
  Send(*engine, {0xE0, 0x7F, 0x7F});
  EXPECT_EQ(Channel(0).bendCents, 1199);
}

TEST_F(ChannelControl, CoarseTuningAcceptsFortyToEightyEight) {
  Send(*engine, {0xB0, 101, 0, 100, 2, 6, 88});
  EXPECT_EQ(Channel(0).coarseTuneCents, 2400);
  Send(*engine, {0xB0, 6, 39});
  EXPECT_EQ(Channel(0).coarseTuneCents, 2400);
  Send(*engine, {0xB0, 6, 89});
  EXPECT_EQ(Channel(0).coarseTuneCents, 2400);
  Send(*engine, {0xB0, 6, 40});
  EXPECT_EQ(Channel(0).coarseTuneCents, -2400);
  EXPECT_EQ(Channel(0).bendRangeCents, 200);  // another parameter
}

TEST_F(ChannelControl, FineTuningComputedWhenTheLsbArrives) {
  Send(*engine, {0xB0, 101, 0, 100, 1, 6, 0x40, 38, 0x00});
  EXPECT_EQ(Channel(0).fineTuneCents, 0);
  Send(*engine, {0xB0, 6, 0x00});
  EXPECT_EQ(Channel(0).fineTuneCents, 0);  // MSB alone changes nothing
  Send(*engine, {0xB0, 38, 0x00});
  EXPECT_EQ(Channel(0).fineTuneCents, -100);
  Send(*engine, {0xB0, 6, 0x7F, 38, 0x7F});
  EXPECT_EQ(Channel(0).fineTuneCents, 99);
}

TEST_F(ChannelControl, NonRegisteredAndNullParametersAreIgnored) {
  Send(*engine, {0xB0, 99, 1, 98, 8, 6, 100, 38, 5});
  EXPECT_EQ(Channel(0).dataEntryMsb, 100);
  EXPECT_EQ(Channel(0).dataEntryLsb, 5);
  EXPECT_EQ(Channel(0).bendRangeCents, 200);
  EXPECT_EQ(Channel(0).paramSelect, 1);
  Send(*engine, {0xB0, 101, 127, 100, 127, 6, 3});
  EXPECT_EQ(Channel(0).bendRangeCents, 200);
  // A later NRPN selection disables the RPN chosen before.
  Send(*engine, {0xB0, 101, 0, 100, 0, 98, 0, 6, 5});
  EXPECT_EQ(Channel(0).bendRangeCents, 200);
}

TEST_F(ChannelControl, ResetAllControllersKeepsVolumePanAndRange) {
  Send(*engine, {0xB0, 101, 0, 100, 0, 6, 2, 7, 10, 10, 0, 11, 20, 1, 50, 64, 100});
  Send(*engine, {0xE0, 0x00, 0x00});
  Send(*engine, {0xB0, 121, 0});
  const ChannelState& state = Channel(0);
  EXPECT_EQ(state.paramSelect, 0);
  EXPECT_EQ(state.expressionAtt, 0);
  EXPECT_EQ(state.modulation, 0);
  EXPECT_EQ(state.hold, 0);
  EXPECT_EQ(state.bend, 0);
  EXPECT_EQ(state.bendCents, 0);
  EXPECT_EQ(state.volumeAtt, LevelAttTable[10]);
  EXPECT_EQ(state.panAttRight, 1000);
  EXPECT_EQ(state.panAttLeft, 0);
  EXPECT_EQ(state.bendRangeCents, 200);
  Send(*engine, {0xB0, 6, 12});  // nothing selected any more
  EXPECT_EQ(state.bendRangeCents, 200);
}

TEST_F(ChannelControl, LevelsPanAndPedal) {
  Send(*engine, {0xB5, 7, 0, 11, 64, 10, 127, 64, 63});
  EXPECT_EQ(Channel(5).volumeAtt, 800);
  EXPECT_EQ(Channel(5).expressionAtt, 95);
  EXPECT_EQ(Channel(5).panAttRight, 0);
  EXPECT_EQ(Channel(5).panAttLeft, 1000);
  EXPECT_EQ(Channel(5).hold, 0);
  Send(*engine, {0xB5, 64, 64});
  EXPECT_EQ(Channel(5).hold, 64);
  Send(*engine, {0xB5, 64, 127});
  EXPECT_EQ(Channel(5).hold, 64);
}

TEST_F(ChannelControl, BankSelectWaitsForProgramChange) {
  Send(*engine, {0xB0, 0, 1});
  EXPECT_EQ(Channel(0).bank, 0);
  Send(*engine, {0xC0, 3});
  EXPECT_EQ(Channel(0).bank, 1);
  EXPECT_EQ(Channel(0).program, 3);
}

TEST_F(ChannelControl, AllSoundOffClearsTheChannelsVoicesAtOnce) {
  Send(*engine, {0x90, 60, 100, 62, 100, 0x91, 60, 100});
  Send(*engine, {0xB0, 120, 0});
  EXPECT_EQ(engine->voices[0].active, 0);
  EXPECT_EQ(engine->voices[0].allocStamp, 0u);
  EXPECT_EQ(engine->voices[1].active, 0);
  EXPECT_EQ(engine->voices[2].active, 1);
  EXPECT_NE(engine->voices[2].allocStamp, 0u);
}

TEST_F(ChannelControl, AllNotesOffWaitsForThePedal) {
  Send(*engine, {0x90, 60, 100, 62, 100, 0x91, 60, 100});
  Send(*engine, {0xB0, 64, 127, 123, 0});
  EXPECT_EQ(engine->voices[0].keyOffPending, 1);
  EXPECT_EQ(engine->voices[1].keyOffPending, 1);
  EXPECT_EQ(engine->voices[2].keyOffPending, 0);
  RenderBlock(*engine);
  EXPECT_EQ(engine->voices[0].keyHeld, 1);  // pedal down: still waiting
  Send(*engine, {0xB0, 64, 0});
  RenderBlock(*engine);
  EXPECT_EQ(engine->voices[0].keyHeld, 0);
  EXPECT_EQ(engine->voices[0].envStage, 6);
}

}  // namespace
}  // namespace velmo
