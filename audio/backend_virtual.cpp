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

std::unique_ptr<AudioBackend> CreateVirtualBackend() {
  return std::make_unique<VirtualBackend>();
}

std::vector<std::string> ListVirtualDevices() {
  return {std::string(kVirtualDeviceName)};
}

}  // namespace velmo
