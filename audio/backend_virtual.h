// A backend without a sound card whose clock a test advances by hand: every Advance pulls
// frames from the mixer in periods, as a card would, and keeps them for inspection.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "audio/audio_backend.h"

namespace velmo {

inline constexpr std::string_view kVirtualDeviceName = "virtual";

class VirtualBackend final : public AudioBackend {
 public:
  // Opens only the default device or the one named "virtual"; any other name is "no device".
  HResult Open(std::string_view deviceName, const OutputFormat& wanted, AudioRenderSource& source,
               OutputFormat& obtained) override;
  void Close() override;

  // Pulls `frames` frames, one period (or less, at the end) at a time; does nothing when closed.
  void Advance(uint32_t frames);
  const OutputFormat& Format() const { return format_; }
  // Everything pulled since the last ClearOutput, interleaved as the format says.
  const std::vector<uint8_t>& Output() const { return output_; }
  void ClearOutput() { output_.clear(); }

 private:
  AudioRenderSource* source_ = nullptr;
  OutputFormat format_;
  std::vector<uint8_t> output_;
};

// The virtual backend behind `backend`, or null when it is another kind.
VirtualBackend* AsVirtualBackend(AudioBackend* backend);

// A capture device without a microphone: each Feed delivers the next frames of a test signal,
// as a device would, on the caller's thread.
class VirtualCaptureBackend final : public AudioCaptureBackend {
 public:
  // Sample `index` (counting every channel's sample from 0 at Open) as a signed 16-bit value.
  // The default signal is a ramp: sample i is i modulo 2^16.
  using Signal = std::function<int16_t(uint64_t index)>;

  HResult Open(std::string_view deviceName, const OutputFormat& format,
               AudioCaptureSink& sink) override;
  void Close() override;

  // Delivers `frames` frames, one period (or less, at the end) at a time; nothing when closed.
  void Feed(uint32_t frames);
  void setSignal(Signal signal) { signal_ = std::move(signal); }
  const OutputFormat& Format() const { return format_; }
  bool IsOpen() const { return sink_ != nullptr; }

 private:
  AudioCaptureSink* sink_ = nullptr;
  OutputFormat format_;
  Signal signal_ = [](uint64_t index) { return static_cast<int16_t>(index & 0xFFFF); };
  uint64_t next_ = 0;
  std::vector<uint8_t> scratch_;
};

VirtualCaptureBackend* AsVirtualCaptureBackend(AudioCaptureBackend* backend);

}  // namespace velmo
