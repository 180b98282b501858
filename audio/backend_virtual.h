// A backend without a sound card whose clock a test advances by hand: every Advance pulls
// frames from the mixer in periods, as a card would, and keeps them for inspection.
#pragma once

#include <cstdint>
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

}  // namespace velmo
