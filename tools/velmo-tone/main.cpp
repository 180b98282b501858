// velmo-tone: plays a sine tone through a stream buffer, refilled half by half from its
// update event, so the output path can be tried on its own.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <span>
#include <thread>

#include "audio/audio_backend.h"
#include "audio/ddsd.h"
#include "audio/ddsd_channel.h"
#include "audio/ddsd_gen_wave.h"
#include "tone_options.h"
#include "tone_source.h"
#include "update_checker.h"

namespace {

using namespace velmo;
using namespace velmo::tone;

// The stream the main window uses: 22050 Hz, 16 bits, stereo, two halves of 4420 bytes.
constexpr uint32_t kStreamRate = 22050;
constexpr uint32_t kStreamBytes = 8840;

int ListDevices() {
  for (const std::string& name : ListAudioDevices(kDefaultBackendName)) {
    std::printf("%s\n", name.c_str());
  }
  return 0;
}

void PrintReport(const UpdateReport& report) {
  std::printf(
      "updates %llu, halves entered %llu, doubled %llu, missed %llu, into playing half %llu, "
      "first update for the second half: %s\n",
      static_cast<unsigned long long>(report.updates),
      static_cast<unsigned long long>(report.halvesEntered),
      static_cast<unsigned long long>(report.doubled),
      static_cast<unsigned long long>(report.missed),
      static_cast<unsigned long long>(report.intoPlayingHalf),
      report.firstWasSecondHalf ? "yes" : "no");
  std::printf(
      "BlockCopy to mixer start of that half: min %.1f ms, median %.1f ms, mean %.1f ms, "
      "99%% %.1f ms, max %.1f ms (at %.1f s)\n",
      report.latencyMinMs, report.latencyMedianMs, report.latencyMeanMs, report.latency99Ms,
      report.latencyMaxMs, report.latencyMaxAtSeconds);
  if (report.missed > 0) {
    std::printf("last miss at %.1f s: %.1f ms in the half before, %.1f ms after the last update\n",
                report.lastMissAtSeconds, report.lastMissPreviousHalfMs,
                report.lastMissSinceUpdateMs);
  }
  std::fflush(stdout);
}

bool ReportIsClean(const UpdateReport& report) {
  return report.doubled == 0 && report.missed == 0 && report.intoPlayingHalf == 0 &&
         report.firstWasSecondHalf;
}

int PlayTone(const ToneOptions& options) {
  TDDSD device;
  device.setDeviceName(options.device);
  device.Loaded();
  if (!device.Initialized()) {
    std::fprintf(stderr, "velmo-tone: no output device\n");
    return 1;
  }
  auto stream = TDDSDWaveData::CreateStream(device, kStreamRate, 16, true, kStreamBytes, false);
  TDDSDChannel* channel = device.GetChannels(0);
  ToneSource tone(options.frequency, kStreamRate);
  UpdateChecker checker(stream->HalfSize());
  std::array<int16_t, kStreamBytes / 2> samples{};
  stream->setOnUpdate([&](TDDSDGenWave& sender, TDDSDChannel* player, uint32_t availableOffset,
                          uint32_t bufferSize) {
    const std::span<int16_t> half(samples.data(), bufferSize / 2);
    tone.Render(half);
    sender.BlockCopy(availableOffset, half.data(), bufferSize);
    if (options.checkUpdates) checker.OnHalfCopied(availableOffset, player->getPlayPosition());
  });
  channel->setWaveData(stream.get());
  channel->setVolume(options.volume);
  channel->setPan(options.pan);
  stream->BlockCopy(0, samples.data(), kStreamBytes);  // silence until the first update
  channel->LoopPlay();

  std::atomic<bool> playing{true};
  std::thread watcher;
  if (options.checkUpdates) {
    watcher = std::thread([&] {
      while (playing.load()) {
        checker.OnCursor(channel->getPlayPosition());
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
  }
  const auto end =
      std::chrono::steady_clock::now() + std::chrono::duration<double>(options.seconds);
  auto nextProgress = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (options.checkUpdates && std::chrono::steady_clock::now() >= nextProgress) {
      PrintReport(checker.Report());
      nextProgress += std::chrono::minutes(1);
    }
  }
  channel->Stop();
  playing.store(false);
  if (watcher.joinable()) watcher.join();
  stream.reset();
  if (!options.checkUpdates) return 0;
  const UpdateReport report = checker.Report();
  PrintReport(report);
  return ReportIsClean(report) ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  const std::optional<ToneOptions> options = ParseToneOptions(argc, argv, error);
  if (!options) {
    std::fprintf(stderr, "velmo-tone: %s\n%s", error.c_str(), ToneUsage());
    return 64;
  }
  if (options->help) {
    std::printf("%s", ToneUsage());
    return 0;
  }
  if (options->listDevices) return ListDevices();
  return PlayTone(*options);
}
