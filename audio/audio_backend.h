// The output backends of the software sound device: one small interface, and a table of
// backends picked by name ("sdl" for the sound card, "virtual" for tests).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "audio/result_codes.h"

namespace velmo {

// What the backend plays: interleaved PCM, 16-bit signed or 8-bit unsigned.
struct OutputFormat {
  uint32_t samplesPerSec = 44100;
  uint16_t channels = 2;
  uint16_t bitsPerSample = 16;
  uint32_t periodFrames = 512;  // frames asked for per pull
};

// Whoever fills the backend's output (the device's mixer). Render is called on the backend's
// own thread and must fill exactly `bytes` bytes without allocating.
class AudioRenderSource {
 public:
  virtual void Render(uint8_t* out, uint32_t bytes) noexcept = 0;

 protected:
  ~AudioRenderSource() = default;
};

class AudioBackend {
 public:
  virtual ~AudioBackend() = default;
  // Opens `deviceName` (empty: the default output) and starts pulling from `source`.
  // `obtained` receives the format actually played. A failure means "no output device".
  virtual HResult Open(std::string_view deviceName, const OutputFormat& wanted,
                       AudioRenderSource& source, OutputFormat& obtained) = 0;
  // Stops pulling; after return `source` is no longer called.
  virtual void Close() = 0;
  // Why the last Open failed, as the sound system put it (empty when it said nothing).
  virtual std::string LastError() const { return {}; }
};

// Whoever takes the captured input (a capture buffer). Deliver is called on the backend's own
// thread with interleaved PCM in the format the capture was opened with.
class AudioCaptureSink {
 public:
  virtual void Deliver(const uint8_t* data, uint32_t bytes) noexcept = 0;

 protected:
  ~AudioCaptureSink() = default;
};

class AudioCaptureBackend {
 public:
  virtual ~AudioCaptureBackend() = default;
  // Opens the capture device `deviceName` (empty: the default input) in `format` (the backend
  // converts when the device differs) and starts delivering to `sink`.
  virtual HResult Open(std::string_view deviceName, const OutputFormat& format,
                       AudioCaptureSink& sink) = 0;
  // Stops delivering; after return `sink` is no longer called.
  virtual void Close() = 0;
};

struct AudioBackendEntry {
  std::string_view name;
  std::unique_ptr<AudioBackend> (*create)();
  std::vector<std::string> (*listDevices)();
  std::unique_ptr<AudioCaptureBackend> (*createCapture)();
};

std::span<const AudioBackendEntry> AudioBackends();
// The backend called `name`, or null when there is none.
std::unique_ptr<AudioBackend> CreateAudioBackend(std::string_view name);
// The output devices `name` offers (empty for an unknown backend).
std::vector<std::string> ListAudioDevices(std::string_view name);
// The capture side of the backend called `name`, or null when there is none.
std::unique_ptr<AudioCaptureBackend> CreateAudioCaptureBackend(std::string_view name);

// Defined by each backend file.
std::unique_ptr<AudioBackend> CreateSdlBackend();
std::vector<std::string> ListSdlDevices();
std::unique_ptr<AudioCaptureBackend> CreateSdlCaptureBackend();
std::unique_ptr<AudioBackend> CreateVirtualBackend();
std::vector<std::string> ListVirtualDevices();
std::unique_ptr<AudioCaptureBackend> CreateVirtualCaptureBackend();

}  // namespace velmo
