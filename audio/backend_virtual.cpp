#include "audio/backend_virtual.h"

#include <algorithm>

namespace velmo {

HResult VirtualBackend::Open(std::string_view deviceName, const OutputFormat& wanted,
                             AudioRenderSource& source, OutputFormat& obtained) {
  if (!deviceName.empty() && deviceName != kVirtualDeviceName) return kErrNoDriver;
  source_ = &source;
  format_ = wanted;
  obtained = wanted;
  return kOk;
}

void VirtualBackend::Close() {
  source_ = nullptr;
}

void VirtualBackend::Advance(uint32_t frames) {
  if (source_ == nullptr) return;
  const uint32_t frameBytes = format_.channels * format_.bitsPerSample / 8u;
  while (frames > 0) {
    const uint32_t chunk = std::min(frames, format_.periodFrames);
    const size_t start = output_.size();
    output_.resize(start + static_cast<size_t>(chunk) * frameBytes);
    source_->Render(output_.data() + start, chunk * frameBytes);
    frames -= chunk;
  }
}

VirtualBackend* AsVirtualBackend(AudioBackend* backend) {
  return dynamic_cast<VirtualBackend*>(backend);
}

HResult VirtualCaptureBackend::Open(std::string_view deviceName, const OutputFormat& format,
                                    AudioCaptureSink& sink) {
  if (!deviceName.empty() && deviceName != kVirtualDeviceName) return kErrNoDriver;
  sink_ = &sink;
  format_ = format;
  next_ = 0;
  return kOk;
}

void VirtualCaptureBackend::Close() {
  sink_ = nullptr;
}

void VirtualCaptureBackend::Feed(uint32_t frames) {
  if (sink_ == nullptr) return;
  const uint32_t sampleBytes = format_.bitsPerSample / 8u;
  while (frames > 0) {
    const uint32_t chunk = std::min(frames, std::max<uint32_t>(format_.periodFrames, 1));
    const uint32_t samples = chunk * format_.channels;
    scratch_.resize(static_cast<size_t>(samples) * sampleBytes);
    for (uint32_t i = 0; i < samples; ++i) {
      const uint16_t value = static_cast<uint16_t>(signal_(next_++));
      if (sampleBytes == 1) {
        scratch_[i] = static_cast<uint8_t>((value >> 8) ^ 0x80);
      } else {
        scratch_[2 * i] = static_cast<uint8_t>(value & 0xFF);
        scratch_[2 * i + 1] = static_cast<uint8_t>(value >> 8);
      }
    }
    sink_->Deliver(scratch_.data(), static_cast<uint32_t>(scratch_.size()));
    frames -= chunk;
  }
}

VirtualCaptureBackend* AsVirtualCaptureBackend(AudioCaptureBackend* backend) {
  return dynamic_cast<VirtualCaptureBackend*>(backend);
}

std::unique_ptr<AudioCaptureBackend> CreateVirtualCaptureBackend() {
  return std::make_unique<VirtualCaptureBackend>();
}

std::unique_ptr<AudioBackend> CreateVirtualBackend() {
  return std::make_unique<VirtualBackend>();
}

std::vector<std::string> ListVirtualDevices() {
  return {std::string(kVirtualDeviceName)};
}

}  // namespace velmo
