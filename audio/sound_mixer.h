// The software device's mixer: sums every playing sound buffer into the device's output.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "audio/audio_backend.h"
#include "audio/spatial_params.h"

namespace velmo {

class SecondaryBuffer;

class SoundMixer final : public AudioRenderSource {
 public:
  // Sets the output format and sizes the scratch memory; call while no backend pulls.
  void Configure(const OutputFormat& format);
  // Fills `bytes` bytes of output (the backend's thread). Holds the mixer lock for one mix and
  // allocates nothing; silence when no buffer plays.
  void Render(uint8_t* out, uint32_t bytes) noexcept override;

  void Attach(SecondaryBuffer& buffer);
  void Detach(SecondaryBuffer& buffer);
  // Serialises playback control against a mix in progress.
  std::mutex& ControlMutex() { return mutex_; }

  // The 3D listener every 3D buffer is placed against.
  void SetListener(const Listener3DParameters& listener);
  Listener3DParameters Listener();

  uint32_t OutputRate() const { return outputRate_.load(std::memory_order_relaxed); }
  uint32_t PeriodFrames() const { return periodFrames_.load(std::memory_order_relaxed); }

 private:
  void MixChunk(uint8_t* out, uint32_t frames) noexcept;

  std::mutex mutex_;
  std::vector<SecondaryBuffer*> buffers_;  // guarded by mutex_
  std::vector<int32_t> accumulator_;       // one period of output samples; guarded by mutex_
  Listener3DParameters listener_;          // guarded by mutex_
  uint32_t outputChannels_ = 2;            // guarded by mutex_
  uint32_t outputBits_ = 16;               // guarded by mutex_
  std::atomic<uint32_t> outputRate_{44100};
  std::atomic<uint32_t> periodFrames_{512};
};

}  // namespace velmo
