// The software device's capture: a capture device over a backend, and its capture buffer, a
// ring the backend's input is written into while capturing.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "audio/audio_backend.h"
#include "audio/notify_events.h"
#include "audio/result_codes.h"
#include "audio/wave_format.h"

namespace velmo {

// Start flags and status bits of a capture buffer.
inline constexpr uint32_t kCaptureStartLooping = 0x1;
inline constexpr uint32_t kCaptureStatusCapturing = 0x1;
inline constexpr uint32_t kCaptureStatusLooping = 0x2;
inline constexpr uint32_t kCapturePositionStopped = 0xFFFFFFFF;

// The three positions a capture object waits for: the start (the buffer filled up to its end),
// the half, and the stop.
using CaptureEvents = NotifyEventSet<3>;

struct CaptureBufferDescription {
  uint32_t flags = 0;
  uint32_t bufferBytes = 0;
  const WaveFormat* format = nullptr;
};

class CaptureBuffer final : public AudioCaptureSink {
 public:
  CaptureBuffer(AudioCaptureBackend& backend, const WaveFormat& format, uint32_t bytes);
  // Closes the backend, so no input arrives any more.
  ~CaptureBuffer();
  CaptureBuffer(const CaptureBuffer&) = delete;
  CaptureBuffer& operator=(const CaptureBuffer&) = delete;

  HResult Start(uint32_t flags);
  HResult Stop();
  HResult GetStatus(uint32_t* status) const;
  // The capture cursor and the read cursor (everything before it has been written).
  HResult GetCurrentPosition(uint32_t* capture, uint32_t* read) const;
  HResult Lock(uint32_t offset, uint32_t bytes, const void** region1, uint32_t* length1,
               const void** region2, uint32_t* length2) const;
  HResult Unlock() const { return kOk; }
  // Signals `events` when the capture passes one of `offsets` (an offset of 0 is passed when the
  // buffer fills up to its end; kCapturePositionStopped when capture stops). Only while stopped.
  HResult SetNotificationPositions(std::span<const uint32_t> offsets,
                                   std::shared_ptr<CaptureEvents> events);

  void Deliver(const uint8_t* data, uint32_t bytes) noexcept override;
  const WaveFormat& Format() const { return format_; }
  // Ends this buffer's input (its device is making another buffer).
  void Detach();

 private:
  void SignalCrossed(uint32_t from, uint32_t to);  // mutex_ held

  AudioCaptureBackend& backend_;
  const WaveFormat format_;
  std::vector<uint8_t> memory_;
  mutable std::mutex mutex_;
  uint32_t position_ = 0;  // guarded by mutex_
  uint32_t status_ = 0;    // guarded by mutex_
  std::vector<uint32_t> offsets_;
  std::shared_ptr<CaptureEvents> events_;
  bool attached_ = true;  // the backend delivers to this buffer
};

class CaptureDevice {
 public:
  // A capture device object over the backend `backendName`, opening `deviceName` (empty: the
  // default input) when a buffer is made.
  static HResult Create(std::string_view backendName, std::string_view deviceName,
                        std::unique_ptr<CaptureDevice>& device);
  // The formats offered, as a mask: for 11025, 22050 and 44100 Hz (bits 0-3, 4-7, 8-11) the
  // bits mono 8-bit, stereo 8-bit, mono 16-bit, stereo 16-bit.
  HResult GetFormats(uint32_t* formats) const;
  // One buffer at a time: making a new one ends the input of the previous one. The device must
  // outlive its buffers.
  HResult CreateCaptureBuffer(const CaptureBufferDescription& description,
                              std::shared_ptr<CaptureBuffer>& buffer);
  AudioCaptureBackend* Backend() { return backend_.get(); }

 private:
  CaptureDevice(std::unique_ptr<AudioCaptureBackend> backend, std::string deviceName)
      : backend_(std::move(backend)), deviceName_(std::move(deviceName)) {}

  std::unique_ptr<AudioCaptureBackend> backend_;
  std::string deviceName_;
  std::weak_ptr<CaptureBuffer> current_;
};

}  // namespace velmo
