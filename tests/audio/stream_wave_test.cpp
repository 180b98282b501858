// Stream and effect waves: capability flags, notification set-up, sharing with channels, and
// destruction while the notify thread runs.
#include <gtest/gtest.h>

#include "audio_test_support.h"

namespace velmo::testing {
namespace {

TEST(SecondaryBufferFlags, FollowTheFlagRule) {
  EXPECT_EQ(SecondaryBufferFlags(false, false, false, false), 0xE0u);
  EXPECT_EQ(SecondaryBufferFlags(true, false, false, true), 0x141E0u);
  EXPECT_EQ(SecondaryBufferFlags(true, true, false, false), 0x2E0u);  // effects replace stream
  EXPECT_EQ(SecondaryBufferFlags(true, true, true, false), 0x2B0u);
  EXPECT_EQ(SecondaryBufferFlags(false, false, true, true), 0x40B0u);
}

TEST(StreamWave, SystemStreamHasItsFormatHalvesAndThread) {
  VirtualAudio audio;
  auto stream = TDDSDWaveData::CreateStream(audio.device, kRate, 16, true, kStreamBytes, false);
  const WaveFormat& format = stream->WaveFormat();
  EXPECT_EQ(format.nChannels, 2);
  EXPECT_EQ(format.nBlockAlign, 4);
  EXPECT_EQ(format.nAvgBytesPerSec, 88200u);
  EXPECT_EQ(stream->HalfSize(), kHalf);
  EXPECT_EQ(stream->SoundBuffer()->Flags(), 0x141E0u);
  EXPECT_NE(stream->NotifyThread(), nullptr);
  EXPECT_FALSE(stream->OnUpdateAssigned());
  EXPECT_EQ(stream->Player(), nullptr);
}

TEST(StreamWave, EffectsStreamCannotNotifyAndGetsNoThread) {
  LogCapture log;
  VirtualAudio audio(dsoDebugMessage);
  auto stream = TDDSDWaveData::CreateStream(audio.device, kRate, 16, true, kStreamBytes, true);
  EXPECT_NE(stream->SoundBuffer(), nullptr);
  EXPECT_EQ(stream->NotifyThread(), nullptr);
  ASSERT_EQ(log.Lines().size(), 1u);
  EXPECT_NE(log.Lines()[0].find(
                "DirectSoundNotifyオブジェクトの作成に失敗しました(Error Code(80004002))"),
            std::string::npos);
}

TEST(StreamWave, UnplayableFormatIsReportedAndLeavesNoBuffer) {
  LogCapture log;
  VirtualAudio audio(dsoDebugMessage);
  auto stream = TDDSDWaveData::CreateStream(audio.device, kRate, 24, true, kStreamBytes, false);
  EXPECT_EQ(stream->SoundBuffer(), nullptr);
  EXPECT_EQ(stream->NotifyThread(), nullptr);
  ASSERT_EQ(log.Lines().size(), 1u);
  EXPECT_NE(log.Lines()[0].find("サウンドバッファの作成に失敗しました(Error Code(88780064))"),
            std::string::npos);
  const uint8_t byte = 0;
  stream->BlockCopy(0, &byte, 1);  // no buffer: nothing to copy into, nothing reported
  EXPECT_EQ(log.Lines().size(), 1u);
}

TEST(StreamWave, ChannelsShareTheStreamAndTheLastOneIsItsPlayer) {
  VirtualAudio audio;
  auto stream = TDDSDWaveData::CreateStream(audio.device, kRate, 16, true, kStreamBytes, false);
  TDDSDChannel* first = audio.device.GetChannels(0);
  TDDSDChannel* second = audio.device.GetChannels(1);
  first->setWaveData(stream.get());
  EXPECT_EQ(first->SoundBuffer(), stream->SoundBuffer());
  EXPECT_TRUE(first->IsStream());
  EXPECT_EQ(first->getBaseFrequency(), kRate);
  first->LoopPlay();

  first->setWaveData(stream.get());  // the same stream again: nothing happens
  EXPECT_EQ(first->getStatus() & kStatusPlaying, kStatusPlaying);

  second->setWaveData(stream.get());
  EXPECT_EQ(stream->Player(), second);
  EXPECT_EQ(second->SoundBuffer(), stream->SoundBuffer());

  auto other = MakeRampWave(audio.device, 100, 1);
  first->setWaveData(other.get());  // another wave stops the stream's channel first
  uint32_t status = 1;
  stream->SoundBuffer()->GetStatus(&status);
  EXPECT_EQ(status, 0u);
  EXPECT_FALSE(first->IsStream());
  EXPECT_NE(first->SoundBuffer(), other->SoundBuffer());  // a duplicate of its own
}

TEST(StreamWave, DestroyingAPlayingStreamStopsItsThreadFirst) {
  TDDSD device;
  device.setBackendName("virtual");
  device.SetDebugOption(0);
  device.Loaded();
  std::atomic<int> updates{0};
  for (int round = 0; round < 5; ++round) {
    auto stream = TDDSDWaveData::CreateStream(device, kRate, 16, true, kStreamBytes, false);
    stream->setOnUpdate([&](TDDSDGenWave& sender, TDDSDChannel*, uint32_t offset, uint32_t size) {
      const std::vector<uint8_t> half(size, 1);
      sender.BlockCopy(offset, half.data(), size);
      ++updates;
    });
    TDDSDChannel* channel = device.GetChannels(0);
    channel->setWaveData(stream.get());
    channel->LoopPlay();
    // Keep the clock moving until this round's stream has raised at least one update, so the
    // destruction below meets a thread that is really running.
    const int before = updates.load();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (updates.load() == before && std::chrono::steady_clock::now() < deadline) {
      AsVirtualBackend(device.DirectSound()->Backend())->Advance(kPollFrames);
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    ASSERT_GT(updates.load(), before);
    channel->Stop();
    channel->setWaveData(nullptr);
  }
}

}  // namespace
}  // namespace velmo::testing
