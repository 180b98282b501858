// Without an output device the component stays quiet: Initialized false, no message, and
// waves and channels do nothing.
#include <gtest/gtest.h>

#include <cstdlib>

#include "audio_test_support.h"

namespace velmo::testing {
namespace {

struct NoDeviceCase {
  const char* name;
  const char* backend;
  const char* device;
};

class NoDeviceTest : public ::testing::TestWithParam<NoDeviceCase> {};

TEST_P(NoDeviceTest, EverythingQuietlyDoesNothing) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  LogCapture log;
  TDDSD device;
  device.setBackendName(GetParam().backend);
  device.setDeviceName(GetParam().device);
  device.SetDebugOption(dsoDebugMessage | dsoHaltOnError);
  device.Loaded();
  EXPECT_FALSE(device.Initialized());

  auto stream = TDDSDWaveData::CreateStream(device, kRate, 16, true, kStreamBytes, false);
  EXPECT_EQ(stream->SoundBuffer(), nullptr);
  EXPECT_EQ(stream->NotifyThread(), nullptr);
  EXPECT_EQ(stream->BufferBytes(), kStreamBytes);
  const std::vector<uint8_t> data(kStreamBytes, 0);
  stream->BlockCopy(0, data.data(), kStreamBytes);
  stream->BlockCopy(kStreamBytes * 2, data.data(), 1);  // would be a lock failure
  TDDSDChannel* channel = device.GetChannels(0);        // the channel table exists all the same
  ASSERT_NE(channel, nullptr);
  channel->setWaveData(stream.get());
  EXPECT_EQ(channel->getWaveData(), nullptr);
  channel->LoopPlay();
  channel->setVolume(-100);
  channel->Stop();
  EXPECT_EQ(channel->getStatus(), 0u);
  EXPECT_EQ(channel->getVolume(), 0);
  device.SetPrimaryBufferFotmat(44100, 16, true);
  EXPECT_TRUE(log.Lines().empty());
}

INSTANTIATE_TEST_SUITE_P(Backends, NoDeviceTest,
                         ::testing::Values(NoDeviceCase{"SdlUnknownOutput", "sdl",
                                                        "no such output"},
                                           NoDeviceCase{"VirtualUnplugged", "virtual", "unplugged"},
                                           NoDeviceCase{"UnknownBackend", "no such backend", ""}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmo::testing
