// BlockCopy's two-region copy and its lock failure under each debug option.
#include <gtest/gtest.h>

#include <numeric>

#include "audio_test_support.h"

namespace velmo::testing {
namespace {

std::vector<uint8_t> ReadBuffer(TDDSDGenWave& wave) {
  void* first = nullptr;
  uint32_t length = 0;
  EXPECT_EQ(wave.SoundBuffer()->Lock(0, 0, &first, &length, nullptr, nullptr, kLockEntireBuffer),
            kOk);
  const auto* bytes = static_cast<const uint8_t*>(first);
  std::vector<uint8_t> copy(bytes, bytes + length);
  wave.SoundBuffer()->Unlock(first, length, nullptr, 0);
  return copy;
}

TEST(BlockCopy, WrapsAtTheEndOfTheBuffer) {
  VirtualAudio audio;
  auto stream = TDDSDWaveData::CreateStream(audio.device, kRate, 16, true, kStreamBytes, false);
  const std::vector<uint8_t> marker(kStreamBytes, 0xEE);
  stream->BlockCopy(0, marker.data(), kStreamBytes);
  std::vector<uint8_t> data(1000);
  std::iota(data.begin(), data.end(), uint8_t{1});

  stream->BlockCopy(8000, data.data(), 1000);

  const std::vector<uint8_t> buffer = ReadBuffer(*stream);
  EXPECT_TRUE(std::equal(data.begin(), data.begin() + 840, buffer.begin() + 8000));
  EXPECT_TRUE(std::equal(data.begin() + 840, data.end(), buffer.begin()));
  EXPECT_TRUE(std::all_of(buffer.begin() + 160, buffer.begin() + 8000,
                          [](uint8_t b) { return b == 0xEE; }));
}

TEST(BlockCopy, RefusedRangeIsALockFailureAndCopiesNothing) {
  LogCapture log;
  VirtualAudio audio(dsoDebugMessage);
  auto stream = TDDSDWaveData::CreateStream(audio.device, kRate, 16, true, kStreamBytes, false);
  const std::vector<uint8_t> data(100, 0x55);
  stream->BlockCopy(kStreamBytes, data.data(), 100);    // offset past the end
  stream->BlockCopy(0, data.data(), kStreamBytes + 1);  // longer than the buffer
  const std::vector<std::string> lines = log.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find(" ... DirectSoundBufferのロックに失敗しました(Error Code(80070057))"),
            std::string::npos)
      << lines[0];
  const std::vector<uint8_t> buffer = ReadBuffer(*stream);
  EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == 0; }));
}

TEST(BlockCopyDeathTest, LockFailureHaltsWithFailureStatus) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        VirtualAudio audio(dsoHaltOnError);
        auto stream =
            TDDSDWaveData::CreateStream(audio.device, kRate, 16, true, kStreamBytes, false);
        const uint8_t byte = 0;
        stream->BlockCopy(kStreamBytes, &byte, 1);
      },
      ::testing::ExitedWithCode(1),
      "DirectSoundBufferのロックに失敗しました\\(Error Code\\(80070057\\)\\)");
}

TEST(BlockCopy, ExceptionFromTheHandlerEndsTheNotifyThread) {
  TDDSD device;
  device.setBackendName("virtual");
  device.SetDebugOption(dsoExceptOnError);
  device.Loaded();
  auto stream = TDDSDWaveData::CreateStream(device, kRate, 16, true, kStreamBytes, false);
  std::atomic<int> calls{0};
  stream->setOnUpdate([&](TDDSDGenWave& sender, TDDSDChannel*, uint32_t, uint32_t) {
    ++calls;
    const uint8_t byte = 0;
    sender.BlockCopy(kStreamBytes, &byte, 1);  // refused: raises EDDSD on the notify thread
  });
  TDDSDChannel* channel = device.GetChannels(0);
  channel->setWaveData(stream.get());
  channel->LoopPlay();  // the cursors move off 0 at once: the first real poll raises
  VirtualBackend* backend = AsVirtualBackend(device.DirectSound()->Backend());
  for (int i = 0; i < 500 && calls.load() == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  backend->Advance(kPollFrames);  // nothing polls any more, whatever the cursors do
  std::this_thread::sleep_for(std::chrono::milliseconds(40));
  stream->NotifyThread()->Terminate();
  stream->NotifyThread()->WaitFor();
  EXPECT_EQ(calls.load(), 1);
  ASSERT_TRUE(stream->NotifyThread()->FatalException());
  try {
    std::rethrow_exception(stream->NotifyThread()->FatalException());
  } catch (const EDDSD& error) {
    EXPECT_STREQ(error.what(), "DirectSoundBufferのロックに失敗しました(Error Code(80070057))");
  }
}

}  // namespace
}  // namespace velmo::testing
