// velmo-play: plays WAVE files and archive entries through the audio component, renders what its
// mixer makes on the virtual device, or records from the capture device.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio_backend.h"
#include "audio/ddsd.h"
#include "soundfile/sound_file_writer.h"
#include "tools/velmo-play/play_options.h"
#include "tools/velmo-play/player.h"
#include "tools/velmo-play/recorder.h"

namespace {

using namespace velmo;
using namespace velmo::play;

// What the sound card still holds when the mixer has finished: let it play out.
constexpr auto kPlayOut = std::chrono::milliseconds(300);

// "name  mm:ss.s / mm:ss.s" on standard error, rewritten in place, only on a terminal.
class ProgressLine {
 public:
  explicit ProgressLine(bool quiet) : shown_(!quiet && ::isatty(STDERR_FILENO) == 1) {}
  ~ProgressLine() {
    if (used_) std::fputc('\n', stderr);
  }
  void Show(const std::string& name, double position, double length) {
    if (!shown_) return;
    used_ = true;
    std::fprintf(stderr, "\r%s  %s / %s ", name.c_str(), Clock(position).c_str(),
                 Clock(length).c_str());
    std::fflush(stderr);
  }

 private:
  static std::string Clock(double seconds) {
    char text[32];
    const int minutes = static_cast<int>(seconds / 60);
    std::snprintf(text, sizeof text, "%02d:%04.1f", minutes, seconds - minutes * 60.0);
    return text;
  }
  bool shown_;
  bool used_ = false;
};

void Configure(TDDSD& device, const PlayOptions& options, const std::string& backend) {
  device.setBackendName(backend);
  device.setDeviceName(backend == "virtual" ? "" : options.device);
  device.setCaptureDeviceName(options.captureDevice);
  device.setChannelCount(std::max<uint32_t>(kDefaultChannelCount, options.channels));
  device.setUse3D(options.position.has_value());
  // Every failure raises, so it reaches the user with the component's message.
  device.SetDebugOption(dsoExceptOnError);
}

uint32_t FirstRate(TDDSD& device, const PlayOptions& options) {
  return LoadWave(device, options.sources.front(), false)->WaveFormat().nSamplesPerSec;
}

int Render(const PlayOptions& options) {
  TDDSD device;
  Configure(device, options, "virtual");
  device.Loaded();
  if (!device.Initialized()) throw EDDSD("the virtual device did not open");
  const uint32_t rate =
      LoadWave(device, options.sources.front(), false)->WaveFormat().nSamplesPerSec;
  device.SetPrimaryBufferFotmat(rate, 16, true);
  soundfile::SoundFileWriter writer(*options.renderPath,
                                    soundfile::ContainerForPath(*options.renderPath),
                                    {.sampleRate = rate, .channels = 2});
  VirtualDeviceClock clock(device,
                           [&](std::span<const int16_t> samples) { writer.Write(samples); });
  ProgressLine line(options.quiet);
  PlaySources(device, options, clock, [&](const std::string& name, double position, double length) {
    line.Show(name, position, length);
  });
  writer.Finish();
  return 0;
}

int Play(const PlayOptions& options) {
  TDDSD device;
  Configure(device, options, kDefaultBackendName);
  device.Loaded();
  if (!device.Initialized()) {
    std::fprintf(stderr, "velmo-play: no output device\n");
    return 1;
  }
  // The first file's own rate, so that it reaches the device unconverted when the device takes it.
  const uint32_t rate = FirstRate(device, options);
  device.SetPrimaryBufferFotmat(rate, 16, true);
  RealTimeClock clock(rate);
  {
    ProgressLine line(options.quiet);
    PlaySources(device, options, clock,
                [&](const std::string& name, double position, double length) {
                  line.Show(name, position, length);
                });
  }
  std::this_thread::sleep_for(kPlayOut);
  return 0;
}

int RecordFile(const PlayOptions& options) {
  TDDSD device;
  Configure(device, options, kDefaultBackendName);
  ProgressLine line(options.quiet);
  Record(device, options,
         [&](double seconds, double total) { line.Show(options.outputPath, seconds, total); });
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  const std::optional<PlayOptions> options = ParsePlayOptions(args, error);
  if (!options) {
    std::fprintf(stderr, "velmo-play: %s\n%s", error.c_str(), PlayUsage());
    return 64;
  }
  if (options->help) {
    std::printf("%s", PlayUsage());
    return 0;
  }
  if (options->listDevices) {
    for (const std::string& name : ListAudioDevices(kDefaultBackendName))
      std::printf("%s\n", name.c_str());
    return 0;
  }
  try {
    if (options->recordSeconds) return RecordFile(*options);
    if (options->renderPath) return Render(*options);
    return Play(*options);
  } catch (const EDDSD& failure) {
    std::fprintf(stderr, "velmo-play: %s\n", failure.what());
  } catch (const soundfile::SoundFileError& failure) {
    std::fprintf(stderr, "velmo-play: %s\n", failure.what());
  }
  return 1;
}
