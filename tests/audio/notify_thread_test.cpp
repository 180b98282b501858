// The notify thread's polling state machine, stepped by hand against the virtual clock.
#include <gtest/gtest.h>

#include "audio_test_support.h"

namespace velmo::testing {
namespace {

class NotifyThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    stream = TDDSDWaveData::CreateStream(audio.device, kRate, 16, true, kStreamBytes, false);
    ASSERT_NE(stream->NotifyThread(), nullptr);
    channel = audio.device.GetChannels(0);
    channel->setWaveData(stream.get());
  }
  // Moves the cursors of the stopped buffer: both read `position`.
  void PlaceStoppedCursor(uint32_t position) {
    channel->setPlayPosition(position);
    stream->NotifyThread()->Poll();
  }

  VirtualAudio audio;
  std::unique_ptr<TDDSDWaveData> stream;
  TDDSDChannel* channel = nullptr;
};

TEST_F(NotifyThreadTest, NeverPlayedStreamRaisesNothingAndKeepsItsPhase) {
  UpdateRecorder recorder(*stream);
  for (int i = 0; i < 50; ++i)
    Step(audio, *stream);
  EXPECT_TRUE(recorder.updates.empty());
  EXPECT_EQ(stream->NotifyThread()->Phase(), 0);  // both cursors at 0: no position
}

TEST_F(NotifyThreadTest, CursorExactlyAtHalfSizeChangesNothing) {
  UpdateRecorder recorder(*stream);
  PlaceStoppedCursor(kHalf);  // phase 0 needs both strictly below the half
  EXPECT_EQ(stream->NotifyThread()->Phase(), 0);
  PlaceStoppedCursor(kHalf - 4);
  EXPECT_EQ(stream->NotifyThread()->Phase(), 1);
  EXPECT_TRUE(stream->NotifyThread()->FillSecondHalf());
  PlaceStoppedCursor(kHalf);  // phase 1 needs both strictly above the half
  EXPECT_EQ(stream->NotifyThread()->Phase(), 1);
  PlaceStoppedCursor(kHalf + 4);
  EXPECT_EQ(stream->NotifyThread()->Phase(), 0);
  EXPECT_FALSE(stream->NotifyThread()->FillSecondHalf());
  // The phase toggled while stopped, but no event was raised.
  EXPECT_TRUE(recorder.updates.empty());
}

TEST_F(NotifyThreadTest, LoopPlayRaisesSecondHalfFirstThenAlternatesOnFreeHalves) {
  std::vector<Update> updates;
  std::vector<TDDSDChannel*> players;
  bool overlappedCursors = false;
  stream->setOnUpdate([&](TDDSDGenWave& sender, TDDSDChannel* player, uint32_t offset,
                          uint32_t size) {
    updates.push_back({offset, size});
    players.push_back(player);
    // The free half must not hold what the mixer reads next: [play, write).
    uint32_t play = 0;
    uint32_t write = 0;
    sender.SoundBuffer()->GetCurrentPosition(&play, &write);
    const auto inside = [&](uint32_t cursor) { return cursor >= offset && cursor < offset + size; };
    overlappedCursors = overlappedCursors || inside(play) || inside(write);
  });
  const std::vector<uint8_t> silence(kStreamBytes, 0);
  stream->BlockCopy(0, silence.data(), kStreamBytes);
  channel->LoopPlay();
  const int polls = 200;  // two seconds of 10 ms polls
  for (int i = 0; i < polls; ++i)
    Step(audio, *stream);

  ASSERT_GE(updates.size(), 2u);
  EXPECT_EQ(updates[0], (Update{kHalf, kHalf}));
  EXPECT_EQ(updates[1], (Update{0, kHalf}));
  for (size_t i = 1; i < updates.size(); ++i) {
    EXPECT_NE(updates[i].offset, updates[i - 1].offset) << "doubled update at " << i;
  }
  // One update per half played: 2 s at 88200 bytes per second is 39.9 halves.
  const uint32_t halvesPlayed = polls * kPollFrames * 4 / kHalf;
  EXPECT_GE(updates.size(), halvesPlayed);
  EXPECT_LE(updates.size(), halvesPlayed + 1);
  EXPECT_FALSE(overlappedCursors);
  EXPECT_EQ(players.front(), channel);
}

TEST_F(NotifyThreadTest, StopEndsUpdatesAndRestartKeepsThePhase) {
  UpdateRecorder recorder(*stream);
  channel->LoopPlay();
  while (recorder.updates.size() < 3)
    Step(audio, *stream);
  channel->Stop();
  const int32_t phase = stream->NotifyThread()->Phase();
  for (int i = 0; i < 20; ++i)
    Step(audio, *stream);
  EXPECT_EQ(recorder.updates.size(), 3u);
  EXPECT_EQ(stream->NotifyThread()->Phase(), phase);  // the cursor stands still

  // LoopPlay rewinds to 0 but the thread's phase is not reset: after three updates it waits
  // for the second half, so the next update is the first half's.
  channel->LoopPlay();
  while (recorder.updates.size() < 4)
    Step(audio, *stream);
  EXPECT_EQ(recorder.updates[3], (Update{0, kHalf}));
}

TEST_F(NotifyThreadTest, UnassignedHandlerKeepsToggling) {
  channel->LoopPlay();
  std::vector<int32_t> phases;
  for (int i = 0; i < 30; ++i) {
    Step(audio, *stream);
    if (phases.empty() || phases.back() != stream->NotifyThread()->Phase()) {
      phases.push_back(stream->NotifyThread()->Phase());
    }
  }
  EXPECT_GE(phases.size(), 4u);  // 0 -> 1 -> 0 -> 1 ... with nothing raised
  UpdateRecorder recorder(*stream);
  for (int i = 0; i < 30; ++i)
    Step(audio, *stream);
  EXPECT_FALSE(recorder.updates.empty());
}

TEST(NotifyThreadOddSize, SecondHalfUpdateIsOneByteLonger) {
  VirtualAudio audio;
  // 8-bit mono: one byte per frame, so an odd size is a whole number of frames.
  auto stream = TDDSDWaveData::CreateStream(audio.device, kRate, 8, false, 8841, false);
  ASSERT_EQ(stream->HalfSize(), 4420u);
  UpdateRecorder recorder(*stream);
  TDDSDChannel* channel = audio.device.GetChannels(0);
  channel->setWaveData(stream.get());
  channel->LoopPlay();
  while (recorder.updates.size() < 4)
    Step(audio, *stream);
  EXPECT_EQ(recorder.updates[0], (Update{4420, 4421}));
  EXPECT_EQ(recorder.updates[1], (Update{0, 4420}));
  EXPECT_EQ(recorder.updates[2], (Update{4420, 4421}));
}

}  // namespace
}  // namespace velmo::testing
