// Capture on the virtual capture device: halves offered in order with the recorded bytes, the
// format mask, and an uninitialised capture that does nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "audio/ddsd_capture.h"
#include "audio_test_support.h"

namespace velmo::testing {
namespace {

constexpr uint32_t kBufferBytes = 4000;  // 1000 mono 16-bit frames per half

struct Offered {
  uint32_t offset;
  uint32_t size;
  std::vector<int16_t> samples;
};

class Collector {
 public:
  void Add(TDDSDCapture& capture, uint32_t offset, uint32_t size) {
    Offered offered{offset, size, std::vector<int16_t>(size / 2)};
    capture.BlockCopy(offset, offered.samples.data(), size);
    const std::lock_guard lock(mutex_);
    offered_.push_back(std::move(offered));
    changed_.notify_all();
  }
  bool WaitFor(size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(5),
                             [&] { return offered_.size() >= count; });
  }
  std::vector<Offered> Take() {
    const std::lock_guard lock(mutex_);
    return offered_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Offered> offered_;
};

VirtualCaptureBackend& Input(TDDSDCapture& capture) {
  VirtualCaptureBackend* input = AsVirtualCaptureBackend(capture.Device()->Backend());
  EXPECT_NE(input, nullptr);
  return *input;
}

TEST(Capture, HalvesAreOfferedInOrderAsTheyFill) {
  VirtualAudio audio;
  TDDSDCapture capture(audio.device);
  ASSERT_TRUE(capture.Initialized());
  capture.SetupCaptureBuffer(kRate, 16, false, kBufferBytes);
  Collector collector;
  capture.setOnRecording([&](TDDSDCapture& sender, uint32_t offset, uint32_t size) {
    collector.Add(sender, offset, size);
  });
  capture.StartLoop();
  EXPECT_NE(capture.GetStatus(), 0u);
  for (size_t half = 1; half <= 5; ++half) {
    Input(capture).Feed(1000);
    ASSERT_TRUE(collector.WaitFor(half)) << half;
  }
  capture.Stop();
  const std::vector<Offered> offered = collector.Take();
  ASSERT_EQ(offered.size(), 5u);
  for (size_t half = 0; half < offered.size(); ++half) {
    SCOPED_TRACE(half);
    EXPECT_EQ(offered[half].offset, half % 2 == 0 ? 0u : 2000u);
    EXPECT_EQ(offered[half].size, 2000u);
    // The default signal is the ramp of sample indices.
    for (size_t i = 0; i < offered[half].samples.size(); i += 111)
      ASSERT_EQ(offered[half].samples[i], static_cast<int16_t>(half * 1000 + i)) << i;
  }
}

TEST(Capture, StartWithWaitReturnsOnceTheBufferIsFull) {
  VirtualAudio audio;
  TDDSDCapture capture(audio.device);
  capture.SetupCaptureBuffer(kRate, 16, false, kBufferBytes);
  std::thread feeder([&] {
    for (int i = 0; i < 40 && capture.GetStatus() == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    Input(capture).Feed(2000);
  });
  capture.Start(true);
  feeder.join();
  EXPECT_EQ(capture.GetStatus(), 0u);
  EXPECT_EQ(capture.GetPosition(), 0u);
}

TEST(Capture, SupportedFormatsAreTheMaskBits) {
  VirtualAudio audio;
  TDDSDCapture capture(audio.device);
  struct Case {
    uint32_t rate, bits;
    bool stereo;
    bool supported;
  };
  const Case cases[] = {{11025, 8, false, true},  {22050, 16, true, true},
                        {44100, 16, true, true},  {48000, 16, true, false},
                        {44100, 24, true, false}, {8000, 8, false, false}};
  for (const Case& c : cases)
    EXPECT_EQ(capture.IsSupportedFormat(c.rate, c.bits, c.stereo), c.supported)
        << c.rate << " " << c.bits << " " << c.stereo;
}

TEST(Capture, WithoutABackendEveryOperationDoesNothing) {
  VirtualAudio audio;
  audio.device.setBackendName("no such backend");
  TDDSDCapture capture(audio.device);
  EXPECT_FALSE(capture.Initialized());
  capture.SetupCaptureBuffer(kRate, 16, true, kBufferBytes);
  capture.Start(true);  // returns at once
  EXPECT_EQ(capture.GetStatus(), 0u);
  EXPECT_EQ(capture.GetPosition(), 0u);
  EXPECT_FALSE(capture.IsSupportedFormat(22050, 16, true));
}

TEST(Capture, AMissingMicrophoneIsReportedWhenTheBufferIsMade) {
  LogCapture log;
  VirtualAudio audio;
  audio.device.setCaptureDeviceName("no such microphone");
  TDDSDCapture capture(audio.device);
  capture.SetupCaptureBuffer(kRate, 16, true, kBufferBytes);
  ASSERT_EQ(log.Messages().size(), 1u);
  EXPECT_EQ(
      log.Messages()[0].rfind("DirectSoundCaptureBufferオブジェクトの生成に失敗しました。", 0), 0u)
      << log.Messages()[0];
  capture.Start(true);  // no buffer: returns at once
  EXPECT_EQ(capture.GetStatus(), 0u);
}

}  // namespace
}  // namespace velmo::testing
