// TDDSDCapture: records from the default (or the owner's chosen) capture device into a looping
// buffer in two halves, and offers each half through OnRecording as soon as it is filled.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "audio/capture_buffer.h"
#include "audio/wave_format.h"

namespace velmo {

class TDDSD;
class TDDSDCapture;

// The recording event: `bufferSize` bytes from `StartOffset` have just been filled.
using TDDSDRecordingEvent =
    std::function<void(TDDSDCapture& Sender, uint32_t StartOffset, uint32_t bufferSize)>;

// Waits on the capture buffer's three positions (100 ms time-out) and calls Sync for the start
// and the half.
class TDDSDCaptureNotifyThread {
 public:
  TDDSDCaptureNotifyThread(TDDSDCapture& capture, std::shared_ptr<CaptureEvents> events);
  // Terminates and waits for the thread.
  ~TDDSDCaptureNotifyThread();
  TDDSDCaptureNotifyThread(const TDDSDCaptureNotifyThread&) = delete;
  TDDSDCaptureNotifyThread& operator=(const TDDSDCaptureNotifyThread&) = delete;

  // Asks the thread to end and waits for it; no Sync runs after return.
  void TerminateAndWait();
  // True when the half just filled is the second one.
  bool SecondHalf() const { return SecondHalf_.load(std::memory_order_acquire); }

 private:
  void Execute();

  TDDSDCapture& Capture;
  std::shared_ptr<CaptureEvents> events_;
  std::atomic<bool> SecondHalf_{false};
  std::atomic<bool> terminated_{false};
  std::thread thread_;  // last: starts once everything above is built
};

class TDDSDCapture {
 public:
  // Opens the capture device of the owner's backend; no message when there is none, and then
  // every operation does nothing.
  explicit TDDSDCapture(TDDSD& owner);
  ~TDDSDCapture();  // must not run inside its own OnRecording handler
  TDDSDCapture(const TDDSDCapture&) = delete;
  TDDSDCapture& operator=(const TDDSDCapture&) = delete;

  // Makes a capture buffer of `bufferBytes` in the given PCM format, with its notify thread
  // (replacing any previous buffer).
  void SetupCaptureBuffer(uint32_t samplesPerSec, uint32_t bitsPerSample, bool stereo,
                          uint32_t bufferBytes);
  // Starts capturing once unless already capturing; with `wait`, returns when the buffer has
  // been filled once (checked every 10 ms, or when the input stops delivering for 2 s).
  void Start(bool wait);
  void StartLoop();
  void Stop();
  uint32_t GetPosition() const;
  uint32_t GetStatus() const;
  // Copies `size` bytes of the buffer from `offset` (wrapping at its end) to `destination`.
  void BlockCopy(uint32_t offset, void* destination, uint32_t size);
  bool IsSupportedFormat(uint32_t samplesPerSec, uint32_t bitsPerSample, bool stereo) const;
  // Raises OnRecording for the half the notify thread names (called on the notify thread).
  void Sync();

  void setOnRecording(TDDSDRecordingEvent handler);
  bool Initialized() const { return Initialized_; }
  const velmo::WaveFormat& WaveFormat() const { return WaveFormat_; }
  uint32_t BufferSize() const { return BufferSize_; }
  uint32_t HalfSize() const { return HalfSize_; }
  TDDSD& Owner() const { return Owner_; }
  CaptureDevice* Device() const { return CaptureDevice_.get(); }

 private:
  void ReleaseCaptureBuffer();
  void StartWith(uint32_t flags);

  velmo::WaveFormat WaveFormat_;
  std::unique_ptr<CaptureDevice> CaptureDevice_;
  std::shared_ptr<CaptureBuffer> CaptureBuffer_;
  uint32_t BufferSize_ = 0;
  TDDSD& Owner_;
  uint32_t HalfSize_ = 0;
  std::shared_ptr<CaptureEvents> Events_;
  std::unique_ptr<TDDSDCaptureNotifyThread> NotifyThread_;
  std::mutex handlerMutex_;
  TDDSDRecordingEvent OnRecording_;  // guarded by handlerMutex_
  bool Initialized_ = false;
};

}  // namespace velmo
