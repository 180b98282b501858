#include "audio/capture_buffer.h"

#include <algorithm>
#include <cstring>

#include "audio/sound_device.h"

namespace velmo {

namespace {

// Every combination of 11025/22050/44100 Hz, mono/stereo and 8/16 bits.
constexpr uint32_t kAllStandardFormats = 0xFFF;

}  // namespace

CaptureBuffer::CaptureBuffer(AudioCaptureBackend& backend, const WaveFormat& format, uint32_t bytes)
    : backend_(backend), format_(format), memory_(bytes, 0) {}

CaptureBuffer::~CaptureBuffer() {
  Detach();
}

void CaptureBuffer::Detach() {
  if (attached_) backend_.Close();
  attached_ = false;
}

HResult CaptureBuffer::Start(uint32_t flags) {
  const std::lock_guard lock(mutex_);
  status_ =
      kCaptureStatusCapturing | ((flags & kCaptureStartLooping) != 0 ? kCaptureStatusLooping : 0);
  return kOk;
}

HResult CaptureBuffer::Stop() {
  const std::lock_guard lock(mutex_);
  if (status_ != 0) {
    status_ = 0;
    SignalCrossed(kCapturePositionStopped, kCapturePositionStopped);
  }
  return kOk;
}

HResult CaptureBuffer::GetStatus(uint32_t* status) const {
  if (status == nullptr) return kErrInvalidParam;
  const std::lock_guard lock(mutex_);
  *status = status_;
  return kOk;
}

HResult CaptureBuffer::GetCurrentPosition(uint32_t* capture, uint32_t* read) const {
  const std::lock_guard lock(mutex_);
  if (capture != nullptr) *capture = position_;
  if (read != nullptr) *read = position_;
  return kOk;
}

HResult CaptureBuffer::Lock(uint32_t offset, uint32_t bytes, const void** region1,
                            uint32_t* length1, const void** region2, uint32_t* length2) const {
  const auto size = static_cast<uint32_t>(memory_.size());
  if (region1 == nullptr || length1 == nullptr) return kErrInvalidParam;
  if (offset >= size || bytes == 0 || bytes > size) return kErrInvalidParam;
  const uint32_t first = std::min(bytes, size - offset);
  if (first < bytes && (region2 == nullptr || length2 == nullptr)) return kErrInvalidParam;
  *region1 = memory_.data() + offset;
  *length1 = first;
  if (region2 != nullptr) *region2 = first < bytes ? memory_.data() : nullptr;
  if (length2 != nullptr) *length2 = bytes - first;
  return kOk;
}

HResult CaptureBuffer::SetNotificationPositions(std::span<const uint32_t> offsets,
                                                std::shared_ptr<CaptureEvents> events) {
  const std::lock_guard lock(mutex_);
  if (status_ != 0) return kErrInvalidCall;
  if (events == nullptr || offsets.size() > 3) return kErrInvalidParam;
  for (const uint32_t offset : offsets) {
    if (offset != kCapturePositionStopped && offset >= memory_.size()) return kErrInvalidParam;
  }
  offsets_.assign(offsets.begin(), offsets.end());
  events_ = std::move(events);
  return kOk;
}

void CaptureBuffer::SignalCrossed(uint32_t from, uint32_t to) {
  if (events_ == nullptr) return;
  const auto size = static_cast<uint32_t>(memory_.size());
  for (size_t i = 0; i < offsets_.size(); ++i) {
    const uint32_t offset = offsets_[i];
    bool crossed = false;
    if (offset == kCapturePositionStopped) {
      crossed = from == kCapturePositionStopped;
    } else if (offset == 0) {
      crossed = from != kCapturePositionStopped && to == size;
    } else {
      crossed = from != kCapturePositionStopped && from < offset && offset <= to;
    }
    if (crossed) events_->Signal(i);
  }
}

void CaptureBuffer::Deliver(const uint8_t* data, uint32_t bytes) noexcept {
  const std::lock_guard lock(mutex_);
  const auto size = static_cast<uint32_t>(memory_.size());
  while (bytes > 0 && (status_ & kCaptureStatusCapturing) != 0) {
    const uint32_t count = std::min(bytes, size - position_);
    std::memcpy(memory_.data() + position_, data, count);
    const uint32_t from = position_;
    position_ += count;
    data += count;
    bytes -= count;
    SignalCrossed(from, position_);
    if (position_ == size) {
      position_ = 0;
      if ((status_ & kCaptureStatusLooping) == 0) {
        // Captured once: the buffer is full and capture ends.
        status_ = 0;
        SignalCrossed(kCapturePositionStopped, kCapturePositionStopped);
      }
    }
  }
}

HResult CaptureDevice::Create(std::string_view backendName, std::string_view deviceName,
                              std::unique_ptr<CaptureDevice>& device) {
  std::unique_ptr<AudioCaptureBackend> backend = CreateAudioCaptureBackend(backendName);
  if (backend == nullptr) return kErrClassNotRegistered;
  device.reset(new CaptureDevice(std::move(backend), std::string(deviceName)));
  return kOk;
}

HResult CaptureDevice::GetFormats(uint32_t* formats) const {
  if (formats == nullptr) return kErrInvalidParam;
  // The backends convert from whatever the input records, so every standard format is offered.
  *formats = kAllStandardFormats;
  return kOk;
}

HResult CaptureDevice::CreateCaptureBuffer(const CaptureBufferDescription& description,
                                           std::shared_ptr<CaptureBuffer>& buffer) {
  if (description.format == nullptr || description.flags != 0) return kErrInvalidParam;
  const WaveFormat& format = *description.format;
  if (!IsMixablePcm(format)) return kErrBadFormat;
  if (description.bufferBytes < format.nBlockAlign || description.bufferBytes > kMaxBufferBytes) {
    return kErrInvalidParam;
  }
  if (const std::shared_ptr<CaptureBuffer> previous = current_.lock()) previous->Detach();
  auto created = std::make_shared<CaptureBuffer>(*backend_, format, description.bufferBytes);
  const OutputFormat input{
      .samplesPerSec = format.nSamplesPerSec,
      .channels = format.nChannels,
      .bitsPerSample = format.wBitsPerSample,
      .periodFrames = PeriodFramesFor(format.nSamplesPerSec),
  };
  const HResult opened = backend_->Open(deviceName_, input, *created);
  if (opened != kOk) {
    created->Detach();
    return opened;
  }
  current_ = created;
  buffer = std::move(created);
  return kOk;
}

}  // namespace velmo
