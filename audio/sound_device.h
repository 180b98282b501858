// The software sound device: one output through a backend, a primary format, and secondary
// sound buffers mixed into the output.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "audio/audio_backend.h"
#include "audio/result_codes.h"
#include "audio/secondary_buffer.h"
#include "audio/wave_format.h"

namespace velmo {

class SoundMixer;

struct BufferDescription {
  uint32_t flags = 0;
  uint32_t bufferBytes = 0;
  const WaveFormat* format = nullptr;
};

inline constexpr uint32_t kMinBufferBytes = 4;
inline constexpr uint32_t kMaxBufferBytes = 0x0FFFFFFF;
inline constexpr uint32_t kCooperativePriority = 2;

class SoundDevice;

// The listener every 3D buffer of the device is heard by. Parameters out of range are refused
// and leave the current ones.
class SoundListener3D {
 public:
  explicit SoundListener3D(std::shared_ptr<SoundMixer> mixer) : mixer_(std::move(mixer)) {}
  HResult GetAllParameters(Listener3DParameters* parameters) const;
  HResult SetAllParameters(const Listener3DParameters& parameters);

 private:
  std::shared_ptr<SoundMixer> mixer_;
};

// The device's output format, as a buffer that can be asked to change it.
class PrimaryOutputBuffer {
 public:
  PrimaryOutputBuffer(SoundDevice& device, uint32_t flags) : device_(device), flags_(flags) {}
  HResult SetFormat(const WaveFormat& format);
  HResult GetFormat(WaveFormat* format) const;
  // The 3D listener lives on a primary buffer created with kBufferCtrl3D.
  HResult QueryListener3D(std::shared_ptr<SoundListener3D>& listener) const;

 private:
  SoundDevice& device_;
  uint32_t flags_;
};

class SoundDevice {
 public:
  // A device object over the backend called `backendName` (not yet bound to an output).
  static HResult Create(std::string_view backendName, std::unique_ptr<SoundDevice>& device);
  ~SoundDevice();
  SoundDevice(const SoundDevice&) = delete;
  SoundDevice& operator=(const SoundDevice&) = delete;

  // Binds and starts the output `deviceName` (empty: the default one) in the primary format.
  HResult Initialize(std::string_view deviceName);
  // Accepted for any window; the level is kept for reference only.
  HResult SetCooperativeLevel(uintptr_t window, uint32_t level);
  // The primary buffer (flags must hold kBufferPrimary). The device must outlive it.
  HResult CreatePrimaryBuffer(uint32_t flags, std::shared_ptr<PrimaryOutputBuffer>& buffer);
  HResult CreateSoundBuffer(const BufferDescription& description,
                            std::shared_ptr<SecondaryBuffer>& buffer);
  // A second buffer over the same sample memory, stopped, with its own cursor at 0.
  HResult DuplicateSoundBuffer(const SecondaryBuffer* original,
                               std::shared_ptr<SecondaryBuffer>& duplicate);

  // Reopens the output in a new format; playing buffers keep their place.
  HResult SetOutputFormat(const WaveFormat& format);
  WaveFormat OutputWaveFormat() const;
  AudioBackend* Backend() { return backend_.get(); }
  const std::shared_ptr<SoundMixer>& Mixer() const { return mixer_; }

 private:
  explicit SoundDevice(std::unique_ptr<AudioBackend> backend);
  HResult OpenOutput();

  std::unique_ptr<AudioBackend> backend_;
  std::shared_ptr<SoundMixer> mixer_;
  std::string deviceName_;
  OutputFormat format_;
  bool initialized_ = false;
  uint32_t cooperativeLevel_ = 0;
};

// About 10 ms of frames at `samplesPerSec`, rounded up to a power of two.
uint32_t PeriodFramesFor(uint32_t samplesPerSec);

}  // namespace velmo
