// MIDI byte queue and running-status parser, observed through the channel and
// voice records the handlers write.
#include <gtest/gtest.h>

#include <memory>

#include "synth/engine.h"
#include "synth/engine_tables.h"
#include "synth/midi_input.h"
#include "tests/synth/test_bank.h"

namespace velmo {
namespace {

using test::Send;

class MidiInput : public ::testing::Test {
 protected:
  void SetUp() override { test::LoadBank(*engine, test::SmallBank()); }

  int ActiveVoices() const {
    int count = 0;
    for (int v = 0; v < PolyphonyLimit; ++v)
      count += engine->voices[v].active;
    return count;
  }
  // Voices sounding key `key` that still wait for their key-off.
  int HeldVoices(int channel, int key) const {
    int count = 0;
    for (int v = 0; v < PolyphonyLimit; ++v) {
      const Voice& voice = engine->voices[v];
      count += voice.active && voice.channel == channel && voice.key == key && voice.keyHeld &&
               !voice.keyOffPending;
    }
    return count;
  }

  std::unique_ptr<Engine> engine = std::make_unique<Engine>();
};

TEST_F(MidiInput, RunningStatusRepeatsNoteOns) {
  Send(*engine, {0x90, 0x3C, 0x64, 0x40, 0x64});
  EXPECT_EQ(HeldVoices(0, 0x3C), 1);
  EXPECT_EQ(HeldVoices(0, 0x40), 1);
  EXPECT_EQ(engine->voices[0].velocity, 0x64);
}

TEST_F(MidiInput, NoteOnWithVelocityZeroIsNoteOff) {
  Send(*engine, {0x93, 0x3C, 0x64});
  EXPECT_EQ(HeldVoices(3, 0x3C), 1);
  Send(*engine, {0x93, 0x3C, 0x00});
  EXPECT_EQ(HeldVoices(3, 0x3C), 0);
  EXPECT_EQ(engine->voices[0].keyOffPending, 1);
  Send(*engine, {0x90, 0x40, 0x64, 0x80, 0x40, 0x7F});  // 0x8n with a release velocity
  EXPECT_EQ(engine->voices[1].keyOffPending, 1);
}

TEST_F(MidiInput, DataBeforeAnyStatusIsDropped) {
  Send(*engine, {0x3C, 0x64});
  EXPECT_EQ(ActiveVoices(), 0);
  Send(*engine, {0x90, 0x3C, 0x64});
  EXPECT_EQ(ActiveVoices(), 1);
}

TEST_F(MidiInput, RealTimeBytesInsideAMessageAreIgnored) {
  Send(*engine, {0x90, 0x3C, 0xF8, 0x64, 0xFE, 0x3E, 0xFF, 0x64});
  EXPECT_EQ(HeldVoices(0, 0x3C), 1);
  EXPECT_EQ(HeldVoices(0, 0x3E), 1);
}

TEST_F(MidiInput, NewStatusDropsAnIncompleteMessage) {
  Send(*engine, {0x90, 0x3C, 0xB0, 0x07, 0x50});
  EXPECT_EQ(ActiveVoices(), 0);
  EXPECT_EQ(engine->channels[0].volumeAtt, LevelAttTable[0x50]);
}

TEST_F(MidiInput, SystemExclusiveAndTrailingDataAreDropped) {
  Send(*engine, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7, 0x3C, 0x64});
  EXPECT_EQ(ActiveVoices(), 0);
  EXPECT_EQ(engine->channels[0].volumeAtt, 33);
  // Running status does not survive a system exclusive message.
  Send(*engine, {0x90, 0x3C, 0x64, 0xF0, 0x01, 0xF7, 0x3E, 0x64});
  EXPECT_EQ(ActiveVoices(), 1);
}

TEST_F(MidiInput, SystemCommonEndsActionsUntilTheNextChannelStatus) {
  Send(*engine, {0x90, 0x3C, 0x64, 0xF6, 0x3E, 0x64});
  EXPECT_EQ(ActiveVoices(), 1);
  // Collection goes on in pairs: a pair split by the next status is dropped too.
  Send(*engine, {0xF1, 0x40, 0x64, 0x41, 0xC0, 0x02});
  EXPECT_EQ(ActiveVoices(), 1);
  EXPECT_EQ(engine->channels[0].program, 2);
  // From Idle a system common byte leaves data bytes dropped.
  Send(*engine, {0xF7, 0xF2, 0x01, 0x02});
  EXPECT_EQ(engine->channels[0].program, 2);
}

TEST_F(MidiInput, OneByteMessagesRepeatByRunningStatus) {
  Send(*engine, {0xC0, 0x05, 0x06});
  EXPECT_EQ(engine->channels[0].program, 6);
  Send(*engine, {0xCF, 0x07});
  EXPECT_EQ(engine->channels[15].program, 7);
}

TEST_F(MidiInput, PressureMessagesKeepRunningStatusWithoutEffect) {
  Send(*engine, {0xD0, 0x40, 0x41, 0xA0, 0x3C, 0x40, 0x3D, 0x40});
  EXPECT_EQ(ActiveVoices(), 0);
  EXPECT_EQ(engine->parser.runningStatus, 0xA0);
  EXPECT_EQ(engine->parser.state, MidiParserState::CollectingData);
}

TEST_F(MidiInput, MessageSplitAcrossDrainsCompletesLater) {
  Send(*engine, {0x90, 0x3C});
  EXPECT_EQ(ActiveVoices(), 0);
  Send(*engine, {0x64});
  EXPECT_EQ(ActiveVoices(), 1);
}

TEST_F(MidiInput, FullQueueDropsTheNewByteAndDrainKeepsOrder) {
  // 512 bytes: 170 program changes and one pitch bend, then one byte too many.
  std::vector<uint8_t> bytes;
  for (int i = 0; i < 170; ++i) {
    bytes.push_back(0xC1);
    bytes.push_back(static_cast<uint8_t>(i % 128));
    bytes.push_back(0xF8);
  }
  bytes.push_back(0xE1);
  bytes.push_back(0x00);
  ASSERT_EQ(bytes.size(), 512u);
  for (const uint8_t byte : bytes)
    PushMidiByte(*engine, byte);
  EXPECT_EQ(engine->queue.count.load(), 512);
  PushMidiByte(*engine, 0x40);  // dropped: would complete the bend
  EXPECT_EQ(engine->queue.count.load(), 512);
  DrainMidiQueue(*engine);
  EXPECT_EQ(engine->queue.count.load(), 0);
  EXPECT_EQ(engine->channels[1].program, 169 % 128);
  EXPECT_EQ(engine->channels[1].bend, 0);  // incomplete: the third byte was dropped
  PushMidiByte(*engine, 0x00);
  DrainMidiQueue(*engine);
  EXPECT_EQ(engine->channels[1].bend, -8192);
}

TEST_F(MidiInput, PopOnEmptyQueueReturnsZero) {
  EXPECT_EQ(PopMidiByte(*engine), 0);
  EXPECT_EQ(engine->queue.count.load(), 0);
  PushMidiByte(*engine, 0x99);
  EXPECT_EQ(PopMidiByte(*engine), 0x99);
}

TEST_F(MidiInput, ResetEmptiesQueueAndReturnsParserToIdle) {
  PushMidiByte(*engine, 0x90);
  PushMidiByte(*engine, 0x3C);
  DrainMidiQueue(*engine);
  PushMidiByte(*engine, 0xC0);
  EngineReset(*engine, 0);
  EXPECT_EQ(engine->queue.count.load(), 0);
  Send(*engine, {0x64, 0x3C, 0x64});  // no status since the reset: dropped
  EXPECT_EQ(ActiveVoices(), 0);
  EXPECT_EQ(engine->channels[0].program, 0);
}

}  // namespace
}  // namespace velmo
