#include "audio_test_support.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <atomic>

#include <cstring>
#include <fstream>

namespace velmo::testing {

VirtualAudio::VirtualAudio(TDDSDDebugOption options, uint32_t outputRate, bool use3D) {
  device.setBackendName("virtual");
  device.setUse3D(use3D);
  device.setManualNotifyPolling(true);
  device.SetDebugOption(options);
  device.Loaded();
  device.SetPrimaryBufferFotmat(outputRate, 16, true);
}

VirtualBackend& VirtualAudio::Backend() {
  VirtualBackend* backend = AsVirtualBackend(device.DirectSound()->Backend());
  EXPECT_NE(backend, nullptr);
  return *backend;
}

std::vector<int16_t> VirtualAudio::TakeOutput() {
  const std::vector<uint8_t>& bytes = Backend().Output();
  std::vector<int16_t> samples(bytes.size() / 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  }
  Backend().ClearOutput();
  return samples;
}

UpdateRecorder::UpdateRecorder(TDDSDGenWave& wave) {
  wave.setOnUpdate([this](TDDSDGenWave&, TDDSDChannel*, uint32_t offset, uint32_t size) {
    updates.push_back({offset, size});
  });
}

void Step(VirtualAudio& audio, TDDSDGenWave& wave, uint32_t frames) {
  audio.Backend().Advance(frames);
  wave.NotifyThread()->Poll();
}

LogCapture::LogCapture() {
  static std::atomic<int> serial{0};
  folder_ = std::filesystem::path(::testing::TempDir()) /
            ("ddsd_log_" + std::to_string(::getpid()) + "_" + std::to_string(serial++));
  std::filesystem::remove_all(folder_);
  std::filesystem::create_directories(folder_);
  SetDebugLogDirectory(folder_);
}

LogCapture::~LogCapture() {
  SetDebugLogDirectory({});
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::vector<std::string> LogCapture::Lines() const {
  std::vector<std::string> lines;
  std::ifstream file(folder_ / kDebugLogFileName);
  for (std::string line; std::getline(file, line);)
    lines.push_back(line);
  return lines;
}

std::vector<std::string> LogCapture::Messages() const {
  std::vector<std::string> messages = Lines();
  for (std::string& line : messages) {
    const size_t start = line.find(" ... ");
    if (start != std::string::npos) line.erase(0, start + 5);
  }
  return messages;
}

std::unique_ptr<TDDSDWaveData> MakeRampWave(TDDSD& device, uint32_t frames, int16_t scale) {
  auto wave = std::make_unique<TDDSDWaveData>(device, kRate, 16, true, frames * 4, false);
  std::vector<int16_t> samples(static_cast<size_t>(frames) * 2);
  for (uint32_t i = 0; i < frames; ++i) {
    samples[2 * i] = static_cast<int16_t>(i * scale);
    samples[2 * i + 1] = static_cast<int16_t>(-static_cast<int32_t>(i) * scale);
  }
  void* first = nullptr;
  uint32_t firstLength = 0;
  EXPECT_EQ(
      wave->SoundBuffer()->Lock(0, 0, &first, &firstLength, nullptr, nullptr, kLockEntireBuffer),
      kOk);
  std::memcpy(first, samples.data(), firstLength);
  wave->SoundBuffer()->Unlock(first, firstLength, nullptr, 0);
  return wave;
}

}  // namespace velmo::testing
