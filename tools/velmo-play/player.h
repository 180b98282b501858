// Plays wave sources through the audio component: on a real device in real time, or on the
// virtual device, whose mixed output is collected frame by frame.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "audio/ddsd.h"
#include "audio/ddsd_gen_wave.h"
#include "tools/velmo-play/play_options.h"

namespace velmo::play {

// How time passes for the player, in output frames.
class PlaybackClock {
 public:
  virtual ~PlaybackClock() = default;
  virtual uint32_t OutputRate() const = 0;
  // Lets `frames` output frames go by.
  virtual void Pass(uint32_t frames) = 0;
};

// The sound card plays on its own: passing time is waiting.
class RealTimeClock final : public PlaybackClock {
 public:
  explicit RealTimeClock(uint32_t outputRate);
  uint32_t OutputRate() const override { return rate_; }
  void Pass(uint32_t frames) override;

 private:
  uint32_t rate_;
  double passedSeconds_ = 0;
  std::chrono::steady_clock::time_point start_;
};

// The virtual device is pulled: passing time mixes the frames, handed to `sink` as 16-bit
// interleaved samples.
class VirtualDeviceClock final : public PlaybackClock {
 public:
  using Sink = std::function<void(std::span<const int16_t> samples)>;
  VirtualDeviceClock(TDDSD& device, Sink sink);
  uint32_t OutputRate() const override;
  void Pass(uint32_t frames) override;

 private:
  TDDSD& device_;
  Sink sink_;
  std::vector<int16_t> samples_;
};

// Loads a WAVE file or archive entry (with a 3D buffer when `use3D`). Failures raise EDDSD
// when the device's options say so; a wave without sound buffer is refused here too.
std::unique_ptr<TDDSDGenWave> LoadWave(TDDSD& device, const WaveSourceName& source, bool use3D);

// Where a source is: its name, the first duplicate's position and the length, in seconds.
using ProgressReport = std::function<void(const std::string& name, double position, double length)>;

// Plays every source of `options` in turn on the initialised `device`, each on
// `options.channels` duplicates started a 1/N of its length apart, until all have stopped (or
// `options.seconds` have passed).
void PlaySources(TDDSD& device, const PlayOptions& options, PlaybackClock& clock,
                 const ProgressReport& progress);

}  // namespace velmo::play
