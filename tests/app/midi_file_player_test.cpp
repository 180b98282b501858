// The MIDI file player and its hand-off to the engine: song bytes reach the engine's queue at
// the blocks of the offline schedule, a song played in the window is the offline render's audio,
// and stopping, pausing and seeking silence and reset every channel.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/midi_file_player.h"
#include "app/midi_hand_off.h"
#include "app/midi_song.h"
#include "assets/builtin_bank.h"
#include "midifile/midi_file_schedule.h"
#include "synth/midi_input.h"
#include "tests/midifile/midi_file_bytes.h"

namespace velmo::test {
namespace {

using namespace midi::testing;

// Two tracks: programs, controllers, a bend, a system exclusive message, a tempo change, and
// a chord of `chord` note-ons at one time (200: 600 bytes, more than the engine's queue takes
// at once; 6000: 18000 bytes, the engine's queue full for 35 blocks in a row).
Bytes TestSong(int chord = 200) {
  Bytes notes;
  Bytes release;
  for (int i = 0; i < chord; ++i) {
    const auto channel = static_cast<uint8_t>(i % 9);
    const auto key = static_cast<uint8_t>(30 + i % 90);
    Append(notes, Event(0, {static_cast<uint8_t>(0x90 | channel), key,
                            static_cast<uint8_t>(40 + i % 60)}));
    Append(release, Event(i == 0 ? 480 : 0, {static_cast<uint8_t>(0x80 | channel), key, 0x40}));
  }
  Bytes first =
      Track({Event(0, {0xC0, 24}), Event(0, {0xB0, 7, 90}), Event(10, {0x90, 60, 100}),
             Event(0, {0xF0, 0x03, 0x7E, 0x7F, 0xF7}), Event(100, {0xE0, 0x00, 0x50}),
             Event(200, {0x80, 60, 0}), TempoEvent(0, 300000), notes, release, EndOfTrack(100)});
  Bytes second = Track({Event(50, {0xC9, 0}), Event(0, {0x99, 36, 110}), Event(0, {0xB1, 10, 20}),
                        Event(30, {0x91, 64, 90}), Event(900, {0x91, 64, 0}), EndOfTrack()});
  Bytes file = Header(1, 2, 96);
  Append(file, first);
  Append(file, second);
  return file;
}

midi::ByteSchedule OfflineSchedule(const Bytes& file) {
  return midi::ScheduleMidiFile(midi::ReadStandardMidiFile(file));
}

// Runs the engine's side by hand: before each block the hand-off fills the queue, and the queue
// is read out (or, with `render`, drained into the engine and the block rendered).
struct EngineSide {
  explicit EngineSide(MidiHandOff& handOff) : handOff(handOff) {}

  void Block(bool render = false) {
    const int64_t block = handOff.NextBlock();
    handOff.BeforeBlock(engine);
    if (render) {
      const int32_t ring = WriteBlock(engine);
      DrainMidiQueue(engine);
      RenderBlock(engine);
      const int16_t* samples = RingBlock(engine, ring);
      audio.insert(audio.end(), samples, samples + kBlockSamples);
      return;
    }
    while (engine.queue.count.load() > 0)
      received.push_back({block, PopMidiByte(engine)});
  }

  MidiHandOff& handOff;
  Engine engine;
  midi::ByteSchedule received;
  std::vector<int16_t> audio;
};

// Plays `song` to its end, pumping the player every `pumpEvery` blocks.
void PlayThrough(MidiFilePlayer& player, EngineSide& side, int64_t pumpEvery) {
  player.Play();
  for (int64_t i = 0; player.State() == PlayerState::kPlaying; ++i) {
    if (i % pumpEvery == 0) player.Pump();
    side.Block();
    ASSERT_LT(i, 100000);
  }
}

TEST(MidiFilePlayer, SongBytesReachTheEngineAtTheOfflineScheduleBlocks) {
  // From every pump rate the window may run at, up to the hand-off's lead.
  for (const int chord : {200, 6000})
    for (const int64_t pumpEvery : {int64_t{1}, int64_t{2}, int64_t{9}, int64_t{40}}) {
      SCOPED_TRACE(::testing::Message() << chord << " notes, pump every " << pumpEvery);
      const Bytes file = TestSong(chord);
      const midi::ByteSchedule offline = OfflineSchedule(file);
      ASSERT_GT(offline.back().block, offline.front().block + 40);
      auto handOff = std::make_unique<MidiHandOff>();
      EngineSide side(*handOff);
      for (int i = 0; i < 7; ++i)
        side.Block();  // the window has been running for a while
      MidiFilePlayer player(*handOff);
      player.Open(MakeSong(file));
      PlayThrough(player, side, pumpEvery);

      const int64_t start = player.StartBlock();
      midi::ByteSchedule song;
      for (const midi::ScheduledByte& byte : side.received) {
        if (byte.block >= start) song.push_back({byte.block - start, byte.value});
      }
      EXPECT_EQ(song, offline);
    }
}

// A song started on a running engine sounds from its first block as the offline render of the
// file does. (A voice keeps its phase fraction from note to note, so after notes of the user's
// own the audio differs in its last bits; the start messages leave the rest as a reset does.)
TEST(MidiFilePlayer, PlayedFromTheStartItIsTheOfflineRender) {
  const Bytes file = TestSong();
  const midi::ByteSchedule offline = OfflineSchedule(file);
  const int64_t length = offline.back().block + 1 + 100;  // and some of the tail

  Engine offlineEngine;
  EngineLoadAndReset(offlineEngine, *OpenBuiltinBank());
  std::vector<int16_t> expected;
  size_t next = 0;
  for (int64_t block = 0; block < length; ++block) {
    for (; next < offline.size() && offline[next].block <= block; ++next)
      PushMidiByte(offlineEngine, offline[next].value);
    const int32_t ring = WriteBlock(offlineEngine);
    DrainMidiQueue(offlineEngine);
    RenderBlock(offlineEngine);
    expected.insert(expected.end(), RingBlock(offlineEngine, ring),
                    RingBlock(offlineEngine, ring) + kBlockSamples);
  }

  auto handOff = std::make_unique<MidiHandOff>();
  EngineSide side(*handOff);
  EngineLoadAndReset(side.engine, *OpenBuiltinBank());
  // The user has chosen another program, bent a channel and turned one down, without notes.
  for (const uint8_t byte : {0xC0, 40, 0xE0, 0x10, 0x60, 0xB0, 7, 30, 0xB9, 10, 0})
    handOff->SendByte(byte);
  for (int i = 0; i < 20; ++i)
    side.Block(/*render=*/true);

  MidiFilePlayer player(*handOff);
  player.Open(MakeSong(file));
  player.Play();
  while (handOff->NextBlock() < player.StartBlock() + length) {
    player.Pump();
    side.Block(/*render=*/true);
  }
  const auto from = side.audio.begin() + player.StartBlock() * kBlockSamples;
  ASSERT_EQ(side.audio.end() - from, static_cast<std::ptrdiff_t>(expected.size()));
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), from));
}

// Every channel gets All Notes Off and Reset All Controllers before the next block.
bool AllChannelsReset(const midi::ByteSchedule& bytes) {
  for (uint8_t channel = 0; channel < 16; ++channel) {
    const auto cc = static_cast<uint8_t>(0xB0 | channel);
    for (const uint8_t controller : {123, 121}) {
      const std::vector<uint8_t> message{cc, controller, 0};
      bool found = false;
      for (size_t i = 0; i + 3 <= bytes.size() && !found; ++i) {
        found = bytes[i].value == message[0] && bytes[i + 1].value == message[1] &&
                bytes[i + 2].value == message[2];
      }
      if (!found) return false;
    }
  }
  return true;
}

TEST(MidiFilePlayer, StopPauseAndSeekResetEveryChannelAndDropWhatWasHandedOff) {
  const Bytes file = TestSong();
  const midi::ByteSchedule offline = OfflineSchedule(file);
  const int64_t target = offline.back().block - 4;  // where the seek goes
  struct Case {
    const char* name;
    std::function<void(MidiFilePlayer&)> act;
    PlayerState after;  // 200 blocks later
  };
  const Case cases[] = {
      {"stop", [](MidiFilePlayer& player) { player.Stop(); }, PlayerState::kStopped},
      {"pause", [](MidiFilePlayer& player) { player.Pause(); }, PlayerState::kPaused},
      {"seek", [&](MidiFilePlayer& player) { player.Seek(target); }, PlayerState::kStopped},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    auto handOff = std::make_unique<MidiHandOff>();
    EngineSide side(*handOff);
    MidiFilePlayer player(*handOff);
    player.Open(MakeSong(file));
    player.Play();
    while (player.Position() < 20) {
      player.Pump();
      side.Block();
    }
    side.received.clear();
    const int64_t acted = handOff->NextBlock();
    test.act(player);
    const int64_t songStart = player.StartBlock();
    side.Block();
    EXPECT_TRUE(AllChannelsReset(side.received));
    for (int i = 0; i < 200; ++i) {
      player.Pump();
      side.Block();
    }
    EXPECT_EQ(player.State(), test.after);

    // Of the run before the action nothing more arrives: after a stop or a pause nothing at
    // all, after a seek the start messages (no notes) and then the song from the target on.
    const bool seek = std::string(test.name) == "seek";
    midi::ByteSchedule expected;
    midi::ByteSchedule fromTarget;
    for (const midi::ScheduledByte& byte : offline) {
      if (seek && byte.block >= target) expected.push_back({byte.block + songStart, byte.value});
    }
    for (const midi::ScheduledByte& byte : side.received) {
      if (byte.block == acted) continue;
      ASSERT_TRUE(seek) << "a byte at block " << byte.block << " after " << acted;
      if (byte.block < songStart + target) {
        EXPECT_NE(byte.value & 0xF0, 0x90) << "a note before the seek target";
      } else {
        fromTarget.push_back(byte);
      }
    }
    EXPECT_EQ(fromTarget, expected);
  }
}

// The keyboard shows a key down in the channel of the song's note that holds it, and up once no
// channel holds it.
TEST(MidiFilePlayer, KeysShowTheChannelsThatHoldThem) {
  const Bytes file =
      MidiFile(0, 96,
               {Track({Event(0, {0x93, 60, 100}), Event(10, {0x95, 60, 90}),
                       Event(10, {0x83, 60, 0}), Event(10, {0x95, 60, 0}), Event(0, {0x9F, 127, 1}),
                       Event(10, {0x9F, 127, 0}), EndOfTrack(10)})});
  auto handOff = std::make_unique<MidiHandOff>();
  EngineSide side(*handOff);
  MidiFilePlayer player(*handOff);
  std::vector<std::pair<int32_t, int32_t>> shown;
  player.SetKeyDisplay([&](int32_t key, int32_t channel) { shown.emplace_back(key, channel); });
  player.Open(MakeSong(file));
  PlayThrough(player, side, 1);
  // Channel 3 letting go while channel 5 holds key 60 changes nothing that shows.
  const std::vector<std::pair<int32_t, int32_t>> expected{
      {60, 3}, {60, 5}, {60, -1}, {127, 15}, {127, -1}};
  EXPECT_EQ(shown, expected);
}

// Bytes the window sends one at a time reach the engine as whole messages, never split by a
// song's message, and a song's message is never split by them.
TEST(MidiHandOff, WindowBytesAndSongMessagesArriveWhole) {
  struct Case {
    std::vector<uint8_t> sent;
    std::vector<uint8_t> arrives;
  };
  const Case cases[] = {
      {{0x91, 60, 100}, {0x91, 60, 100}},
      {{0x92, 60, 100, 62, 0}, {0x92, 60, 100, 0x92, 62, 0}},  // running status made explicit
      {{0xC3, 5, 7}, {0xC3, 5, 0xC3, 7}},
      {{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}},
      {{0xF0, 0x7E, 0x90, 1, 2}, {0x90, 1, 2}},  // system exclusive cut short: dropped
      {{0x45, 0xFE}, {0x45, 0xFE}},
  };
  for (const Case& test : cases) {
    auto handOff = std::make_unique<MidiHandOff>();
    // A song message of three bytes is due at block 0; only the window's bytes follow it.
    const midi::ScheduledByte songMessage[] = {{0, 0x9F}, {0, 1}, {0, 2}};
    ASSERT_TRUE(handOff->SendTimed(songMessage));
    for (const uint8_t byte : test.sent)
      handOff->SendByte(byte);
    EngineSide side(*handOff);
    side.Block();
    std::vector<uint8_t> values;
    for (const midi::ScheduledByte& byte : side.received)
      values.push_back(byte.value);
    std::vector<uint8_t> expected{0x9F, 1, 2};
    expected.insert(expected.end(), test.arrives.begin(), test.arrives.end());
    EXPECT_EQ(values, expected);
  }
}

}  // namespace
}  // namespace velmo::test
