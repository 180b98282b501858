// Note-on: instrument, region and wave choice, voice set-up and stealing;
// note-off requests.
#include <gtest/gtest.h>

#include <memory>

#include "synth/engine.h"
#include "synth/engine_tables.h"
#include "synth/note_control.h"
#include "tests/synth/test_bank.h"

namespace velmo {
namespace {

using test::BankImage;
using test::Send;

class NoteControl : public ::testing::Test {
 protected:
  void Load(const BankImage& image) { test::LoadBank(*engine, image); }
  int ActiveVoices() const {
    int count = 0;
    for (int v = 0; v < PolyphonyLimit; ++v)
      count += engine->voices[v].active;
    return count;
  }
  const Voice& V(int v) const { return engine->voices[v]; }
  std::unique_ptr<Engine> engine = std::make_unique<Engine>();
};

TEST_F(NoteControl, FirstNoteSetsUpVoiceZero) {
  BankImage image = test::SmallBank();
  image.samples[1].tune = 37;
  image.samples[1].start = 5;
  Load(image);
  Send(*engine, {0x90, 60, 127});
  const Voice& voice = V(0);
  EXPECT_EQ(voice.active, 1);
  EXPECT_EQ(voice.allocStamp, 101u);
  EXPECT_EQ(voice.envStage, -1);
  EXPECT_EQ(voice.envAdvance, 1);
  EXPECT_EQ(voice.envCountdown, 0);
  EXPECT_EQ(voice.keyHeld, 1);
  EXPECT_EQ(voice.pitchCents, 6037);
  EXPECT_EQ(voice.levelAtt, 0);  // level 127, velocity 127
  EXPECT_EQ(voice.loopStart, 8);
  EXPECT_EQ(voice.loopEnd, 63);
  EXPECT_EQ(voice.loopMode, 1);
  EXPECT_EQ(voice.sampleLength, 64);
  EXPECT_EQ(voice.sampleIndex, 7);
  const auto* pcm = reinterpret_cast<const int8_t*>(image.waves[1].data() + 8);
  EXPECT_EQ(voice.history[0], 0);
  EXPECT_EQ(voice.history[1], pcm[5] * 128);
  EXPECT_EQ(voice.history[3], pcm[7] * 128);
  EXPECT_EQ(voice.lfoPhase, 20);  // advanced once at note-on
  EXPECT_EQ(voice.step, PitchTable[37] * 16u);
  Send(*engine, {0x90, 62, 127});
  EXPECT_EQ(V(1).allocStamp, 102u);
  for (int v = PolyphonyLimit; v < kVoiceRecords; ++v)
    EXPECT_EQ(V(v).active, 0);
}

TEST_F(NoteControl, StealsTheOldestNoteStartFirst) {
  Load(test::SmallBank());
  for (int key = 40; key < 58; ++key)
    Send(*engine, {0x90, static_cast<uint8_t>(key), 100});
  EXPECT_EQ(ActiveVoices(), 18);
  Send(*engine, {0x90, 70, 100});
  EXPECT_EQ(V(0).key, 70);
  Send(*engine, {0x90, 71, 100});
  EXPECT_EQ(V(1).key, 71);
  // Voice 3 freed: taken although older active voices exist.
  Send(*engine, {0xB0, 120, 0, 0x91, 72, 100});
  EXPECT_EQ(ActiveVoices(), 1);
  for (int key = 80; key < 97; ++key)
    Send(*engine, {0x90, static_cast<uint8_t>(key), 100});
  engine->voices[3].active = 0;
  Send(*engine, {0x90, 100, 100});
  EXPECT_EQ(V(3).key, 100);
}

TEST_F(NoteControl, SameKeyDampsTheSoundingVoice) {
  Load(test::SmallBank());
  Send(*engine, {0x90, 60, 100});
  Send(*engine, {0x90, 60, 90});
  EXPECT_EQ(V(0).envStage, 6);
  EXPECT_EQ(V(0).envAdvance, 1);
  EXPECT_EQ(V(0).keyHeld, 0);
  EXPECT_EQ(V(0).active, 1);
  EXPECT_EQ(V(1).keyHeld, 1);
  Send(*engine, {0x80, 60, 0});
  EXPECT_EQ(V(0).keyOffPending, 0);
  EXPECT_EQ(V(1).keyOffPending, 1);
  Send(*engine, {0x80, 61, 0});  // not sounding: nothing
  EXPECT_EQ(V(0).keyOffPending, 0);
}

TEST_F(NoteControl, RhythmChannelPlaysDrumRecordsByKey) {
  BankImage image = test::SmallBank();
  image.instruments[134].pitchKeyTrack = 0;
  image.instruments[134].regionSample[0] = 1;  // looped wave
  Load(image);
  Send(*engine, {0x99, 34, 100, 82, 100});
  EXPECT_EQ(ActiveVoices(), 0);
  Send(*engine, {0xC9, 2, 0x99, 41, 100});
  const Voice& voice = V(0);
  ASSERT_EQ(voice.active, 1);
  EXPECT_EQ(voice.instrument, &engine->bank.InstrumentTable[134]);
  EXPECT_EQ(voice.pitchCents, 6000 - 1200);  // pitch key 48
  EXPECT_EQ(voice.drumPanAttRight, PanAttTable[34]);
  EXPECT_EQ(voice.drumPanAttLeft, PanAttTable[93]);
  EXPECT_EQ(voice.loopMode, 1);
}

TEST_F(NoteControl, NothingFoundDropsTheNoteWithoutDamping) {
  BankImage image = test::SmallBank();
  image.instruments[0].regionTopKey[0] = 70;
  image.instruments[0].regionSample[1] = 0;
  Load(image);
  Send(*engine, {0x90, 70, 100});
  Send(*engine, {0x90, 71, 100});  // above the only region with a sample
  EXPECT_EQ(ActiveVoices(), 1);
  image.instruments[0].regionTopKey[1] = 69;  // no region at all for key 70
  for (int i = 1; i < 16; ++i)
    image.instruments[0].regionTopKey[i] = 69;
  image.instruments[0].regionTopKey[0] = 69;
  engine->bank.InstrumentTable[0] = image.instruments[0];
  Send(*engine, {0x90, 70, 100});
  EXPECT_EQ(V(0).envStage, -1);  // the sounding voice of key 70 is not damped
  EXPECT_EQ(ActiveVoices(), 1);
  Send(*engine, {0xC0, 4, 0x90, 60, 100});  // program 4 maps to no instrument
  EXPECT_EQ(ActiveVoices(), 1);
}

TEST_F(NoteControl, BankOneSelectsItsRow) {
  BankImage image = test::SmallBank();
  image.bankMap[1] = 1;
  std::array<uint16_t, 128> row;
  row.fill(kNoInstrument);
  row[0] = 2;
  image.programMap.push_back(row);
  Load(image);
  Send(*engine, {0xB0, 0, 1, 0x90, 60, 100});
  EXPECT_EQ(V(0).instrument, &engine->bank.InstrumentTable[0]);  // bank 1 not yet in force
  Send(*engine, {0xC0, 0, 0x90, 61, 100});
  EXPECT_EQ(V(1).instrument, &engine->bank.InstrumentTable[2]);
  Send(*engine, {0xC0, 1, 0x90, 62, 100});
  EXPECT_EQ(ActiveVoices(), 2);
}

TEST_F(NoteControl, OutOfRangeBankEntriesAreDropped) {
  BankImage image = test::SmallBank();
  image.bankMap[2] = 16;         // no such ProgramMap row
  image.programMap[0][5] = 500;  // no such instrument
  image.instruments.resize(500, test::SimpleInstrument(1));
  image.instruments[6] = test::SimpleInstrument(3000);  // no such sample record
  image.programMap[0][6] = 6;
  image.instruments[7] = test::SimpleInstrument(4);
  image.samples[4].waveSlot = 3000;  // no such slot
  image.programMap[0][7] = 7;
  image.instruments[8] = test::SimpleInstrument(2);
  image.samples[2].start = 38;  // two frames from start: too short to prime
  image.programMap[0][8] = 8;
  image.instruments[9] = test::SimpleInstrument(5);
  image.samples.push_back({0, 1, 0, 0, 5, 9});  // empty slot 9
  image.programMap[0][9] = 9;
  Load(image);
  Send(*engine, {0xB0, 0, 2, 0xC0, 0, 0x90, 60, 100});
  for (uint8_t program : {5, 6, 7, 8, 9})
    Send(*engine, {0xB0, 0, 0, 0xC0, program, 0x90, 60, 100});
  EXPECT_EQ(ActiveVoices(), 0);
  image.samples[2].start = 37;  // three frames: plays
  Load(image);
  Send(*engine, {0xC0, 8, 0x90, 60, 100});
  EXPECT_EQ(ActiveVoices(), 1);
}

TEST_F(NoteControl, LoopPointsNormalisedAgainstTheWave) {
  BankImage image = test::SmallBank();
  image.samples[1].loopStart = 63;
  image.samples[1].loopEnd = 63;  // not below: one-shot
  image.samples[3].loopStart = 100;
  image.samples[3].loopEnd = 200;  // both beyond the 32-frame wave
  Load(image);
  Send(*engine, {0x90, 60, 100, 0xC0, 2, 0x90, 60, 100});
  EXPECT_EQ(V(0).loopMode, 0);
  EXPECT_EQ(V(1).loopMode, 2);
  EXPECT_EQ(V(1).loopStart, 31);
  EXPECT_EQ(V(1).loopEnd, 31);
}

TEST_F(NoteControl, KeyLevelScalingAndKeyTracking) {
  EXPECT_EQ(LevelKeyTerm(1, 72), -24);
  EXPECT_EQ(LevelKeyTerm(3, 59), 0);
  EXPECT_EQ(LevelKeyTerm(3, 57), 2);
  EXPECT_EQ(LevelKeyTerm(6, 58), -1);
  EXPECT_EQ(LevelKeyTerm(4, 61), 2);
  EXPECT_EQ(LevelKeyTerm(7, 0), 0);
  EXPECT_EQ(LevelKeyTerm(-1, 0), 0);
  EXPECT_EQ(KeyTrackCents(2, 61), 33);
  EXPECT_EQ(KeyTrackCents(2, 59), -33);
  EXPECT_EQ(KeyTrackCents(0, 72), 1200);
  EXPECT_EQ(KeyTrackCents(6, 100), 0);
  EXPECT_EQ(KeyTrackCents(7, 100), 0);

  BankImage image = test::SmallBank();
  image.instruments[0].levelKeyScale = 1;
  image.instruments[0].level = 100;
  image.instruments[0].pitchKeyTrack = 2;
  image.samples[1].tune = -5;
  Load(image);
  Send(*engine, {0xB0, 101, 0, 100, 2, 6, 65, 100, 1, 6, 0x50, 38, 0x00});
  Send(*engine, {0x90, 72, 64});
  EXPECT_EQ(V(0).levelAtt, -24 + 33 + 95);
  EXPECT_EQ(V(0).pitchCents, 6000 + 400 - 5 + 100 + 25);
}

TEST_F(NoteControl, ReclaimedVoiceKeepsPhaseButStartsEnvelopeFromSilence) {
  Load(test::SmallBank());
  Send(*engine, {0x90, 60, 100});
  RenderBlock(*engine);
  Voice before = V(0);
  ASSERT_GT(before.envAmp, 0);
  Send(*engine, {0xB0, 120, 0, 0x90, 64, 100});
  EXPECT_EQ(V(0).phaseFrac, before.phaseFrac);
  EXPECT_EQ(V(0).envTarget, before.envTarget);
  EXPECT_EQ(V(0).envDelta, before.envDelta);
  EXPECT_EQ(V(0).envDirection, before.envDirection);
  EXPECT_EQ(V(0).envAmp, 0);
}

}  // namespace
}  // namespace velmo
