#include "tools/velmo-play/recorder.h"

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include "audio/ddsd_capture.h"
#include "soundfile/sound_file_writer.h"

namespace velmo::play {
namespace {

// A capture buffer of one second in two halves: each half is offered half a second after the
// previous one.
constexpr uint32_t kHalvesPerSecond = 2;
// A device that stops delivering ends the recording after this long without a half.
constexpr auto kStalledInput = std::chrono::seconds(3);

// The halves the notify thread hands over, in order, to the thread that writes the file.
class HalfQueue {
 public:
  void Push(std::vector<int16_t> half) {
    const std::lock_guard lock(mutex_);
    halves_.push_back(std::move(half));
    ready_.notify_one();
  }
  // The next half, or nothing when none came in time.
  std::optional<std::vector<int16_t>> Pop() {
    std::unique_lock lock(mutex_);
    if (!ready_.wait_for(lock, kStalledInput, [&] { return !halves_.empty(); })) return {};
    std::vector<int16_t> half = std::move(halves_.front());
    halves_.pop_front();
    return half;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::vector<int16_t>> halves_;
};

}  // namespace

void Record(TDDSD& device, const PlayOptions& options,
            const std::function<void(double seconds, double total)>& progress) {
  // Declared before the capture object, so the notify thread is gone before the queue is.
  HalfQueue queue;
  TDDSDCapture capture(device);
  if (!capture.Initialized()) throw EDDSD("no capture device");
  const uint16_t channels = options.recordMono ? 1 : 2;
  const uint32_t blockAlign = channels * 2u;
  const uint32_t halfFrames = options.recordRate / kHalvesPerSecond;
  capture.SetupCaptureBuffer(options.recordRate, 16, !options.recordMono,
                             halfFrames * blockAlign * 2);
  capture.setOnRecording([&](TDDSDCapture& sender, uint32_t offset, uint32_t size) {
    std::vector<int16_t> half(size / 2);
    sender.BlockCopy(offset, half.data(), size);
    queue.Push(std::move(half));
  });

  soundfile::SoundFileWriter writer(options.outputPath,
                                    soundfile::ContainerForPath(options.outputPath),
                                    {.sampleRate = options.recordRate, .channels = channels});
  const auto totalFrames =
      static_cast<uint64_t>(std::llround(*options.recordSeconds * options.recordRate));
  uint64_t recorded = 0;
  capture.StartLoop();
  while (recorded < totalFrames) {
    const std::optional<std::vector<int16_t>> half = queue.Pop();
    if (!half) {
      capture.Stop();
      throw EDDSD("the capture device stopped delivering sound");
    }
    const uint64_t frames = std::min<uint64_t>(half->size() / channels, totalFrames - recorded);
    writer.Write(std::span<const int16_t>(half->data(), frames * channels));
    recorded += frames;
    if (progress) {
      progress(static_cast<double>(recorded) / options.recordRate, *options.recordSeconds);
    }
  }
  capture.Stop();
  capture.setOnRecording(nullptr);
  writer.Finish();
}

}  // namespace velmo::play
