// The real path: SDL (dummy driver) pulls from the mixer while the notify thread really polls.
#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>

#include "audio_test_support.h"

namespace velmo::testing {
namespace {

TEST(SdlStream, UpdatesAlternateWhileTheBufferPlays) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  TDDSD device;
  device.SetDebugOption(dsoExceptOnError);
  device.Loaded();
  ASSERT_TRUE(device.Initialized()) << "the dummy driver should always open";
  auto stream = TDDSDWaveData::CreateStream(device, kRate, 16, true, kStreamBytes, false);
  std::mutex mutex;
  std::vector<Update> updates;
  stream->setOnUpdate([&](TDDSDGenWave& sender, TDDSDChannel*, uint32_t offset, uint32_t size) {
    const std::vector<uint8_t> half(size, 0x10);
    sender.BlockCopy(offset, half.data(), size);
    const std::lock_guard lock(mutex);
    updates.push_back({offset, size});
  });
  TDDSDChannel* channel = device.GetChannels(0);
  channel->setWaveData(stream.get());
  const std::vector<uint8_t> silence(kStreamBytes, 0);
  stream->BlockCopy(0, silence.data(), kStreamBytes);
  channel->LoopPlay();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  size_t seen = 0;
  while (seen < 5 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const std::lock_guard lock(mutex);
    seen = updates.size();
  }
  channel->Stop();
  stream.reset();
  ASSERT_GE(updates.size(), 5u);
  for (size_t i = 0; i < updates.size(); ++i) {
    EXPECT_EQ(updates[i], (i % 2 == 0 ? Update{kHalf, kHalf} : Update{0, kHalf})) << i;
  }
}

}  // namespace
}  // namespace velmo::testing
