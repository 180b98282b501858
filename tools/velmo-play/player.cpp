#include "tools/velmo-play/player.h"

#include <algorithm>
#include <cmath>
#include <thread>

#include "audio/backend_virtual.h"
#include "audio/ddsd_channel.h"
#include "audio/ddsd_params_3d.h"
#include "audio/ddsd_wave_3d.h"

namespace velmo::play {
namespace {

// How often a playing source is looked at: 10 ms.
constexpr uint32_t kChecksPerSecond = 100;

struct Schedule {
  uint64_t stagger = 0;  // output frames between duplicate starts
  uint64_t end = 0;      // output frame by which every duplicate has played once
};

Schedule ScheduleOf(uint64_t sourceFrames, double playRate, uint32_t outputRate,
                    uint32_t channels) {
  const auto once =
      static_cast<uint64_t>(std::ceil(static_cast<double>(sourceFrames) * outputRate / playRate));
  Schedule schedule;
  schedule.stagger = once / channels;
  schedule.end = schedule.stagger * (channels - 1) + once;
  return schedule;
}

void PlayOne(TDDSD& device, const PlayOptions& options, const WaveSourceName& source,
             PlaybackClock& clock, const ProgressReport& progress) {
  std::unique_ptr<TDDSDGenWave> wave = LoadWave(device, source, options.position.has_value());
  const WaveFormat& format = wave->WaveFormat();
  const uint32_t rate = format.nSamplesPerSec;
  const double playRate = options.frequency.value_or(rate);
  const uint64_t sourceFrames = wave->BufferBytes() / std::max<uint16_t>(format.nBlockAlign, 1);
  const uint32_t outputRate = clock.OutputRate();
  const Schedule schedule = ScheduleOf(sourceFrames, playRate, outputRate, options.channels);
  // With --seconds, the output frame to stop at; otherwise never.
  const uint64_t stopAt = options.seconds
                              ? static_cast<uint64_t>(std::llround(*options.seconds * outputRate))
                              : UINT64_MAX;

  std::vector<TDDSDChannel*> channels;
  for (uint32_t i = 0; i < options.channels; ++i) {
    TDDSDChannel* channel = device.GetChannels(static_cast<int32_t>(i));
    channel->setWaveData(wave.get());
    channel->setVolume(options.volume);
    channel->setPan(options.pan);
    if (options.frequency) channel->setFreqRate(*options.frequency / rate);
    if (options.position) channel->getParams3D().setPosition(*options.position);
    channels.push_back(channel);
  }

  const double length = static_cast<double>(sourceFrames) / rate;
  const uint32_t checkFrames = std::max<uint32_t>(outputRate / kChecksPerSecond, 1);
  uint64_t now = 0;
  size_t started = 0;
  for (;;) {
    while (started < channels.size() && started * schedule.stagger <= now) {
      TDDSDChannel* channel = channels[started++];
      if (options.loop) {
        channel->LoopPlay();
      } else {
        channel->Play();
      }
    }
    const bool allStarted = started == channels.size();
    const bool anyPlaying = std::any_of(channels.begin(), channels.end(),
                                        [](TDDSDChannel* c) { return c->getStatus() != 0; });
    if (allStarted && !anyPlaying) break;
    if (now >= stopAt) break;
    uint64_t step = checkFrames;
    if (!allStarted) step = std::min(step, started * schedule.stagger - now);
    step = std::min(step, stopAt - now);
    // Up to the frame where the last duplicate ends, so a render stops right there.
    if (!options.loop && allStarted && now < schedule.end)
      step = std::min(step, schedule.end - now);
    clock.Pass(static_cast<uint32_t>(std::max<uint64_t>(step, 1)));
    now += std::max<uint64_t>(step, 1);
    if (progress) {
      const double position =
          static_cast<double>(channels.front()->getPlayPosition()) / format.nBlockAlign / rate;
      progress(source.Display(), position, length);
    }
  }
  for (TDDSDChannel* channel : channels) {
    channel->Stop();
    channel->setWaveData(nullptr);
  }
}

}  // namespace

RealTimeClock::RealTimeClock(uint32_t outputRate)
    : rate_(std::max<uint32_t>(outputRate, 1)), start_(std::chrono::steady_clock::now()) {}

void RealTimeClock::Pass(uint32_t frames) {
  passedSeconds_ += static_cast<double>(frames) / rate_;
  std::this_thread::sleep_until(start_ + std::chrono::duration_cast<std::chrono::nanoseconds>(
                                             std::chrono::duration<double>(passedSeconds_)));
}

VirtualDeviceClock::VirtualDeviceClock(TDDSD& device, Sink sink)
    : device_(device), sink_(std::move(sink)) {}

uint32_t VirtualDeviceClock::OutputRate() const {
  const VirtualBackend* backend = AsVirtualBackend(device_.DirectSound()->Backend());
  return backend != nullptr ? backend->Format().samplesPerSec : 0;
}

void VirtualDeviceClock::Pass(uint32_t frames) {
  VirtualBackend* backend = AsVirtualBackend(device_.DirectSound()->Backend());
  if (backend == nullptr) return;
  backend->Advance(frames);
  const std::vector<uint8_t>& bytes = backend->Output();
  samples_.resize(bytes.size() / 2);
  for (size_t i = 0; i < samples_.size(); ++i) {
    samples_[i] = static_cast<int16_t>(static_cast<uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8));
  }
  backend->ClearOutput();
  sink_(samples_);
}

std::unique_ptr<TDDSDGenWave> LoadWave(TDDSD& device, const WaveSourceName& source, bool use3D) {
  std::unique_ptr<TDDSDGenWave> wave;
  if (use3D) {
    wave = source.dataId ? std::make_unique<TDDSDWave3D>(device, source.file, *source.dataId, false)
                         : std::make_unique<TDDSDWave3D>(device, source.file, false);
  } else {
    wave = source.dataId
               ? std::make_unique<TDDSDWaveData>(device, source.file, *source.dataId, false)
               : std::make_unique<TDDSDWaveData>(device, source.file, false);
  }
  if (wave->SoundBuffer() == nullptr) throw EDDSD(source.Display() + ": no sound buffer");
  return wave;
}

void PlaySources(TDDSD& device, const PlayOptions& options, PlaybackClock& clock,
                 const ProgressReport& progress) {
  for (const WaveSourceName& source : options.sources) {
    PlayOne(device, options, source, clock, progress);
  }
}

}  // namespace velmo::play
