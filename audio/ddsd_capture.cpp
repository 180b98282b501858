#include "audio/ddsd_capture.h"

#include <array>
#include <chrono>
#include <cstring>

#include "audio/ddsd.h"
#include "audio/ddsd_report.h"

namespace velmo {

namespace {

constexpr auto kNotifyTimeout = std::chrono::milliseconds(100);
constexpr auto kStartPollPause = std::chrono::milliseconds(10);
// Start with wait gives up when the input has not moved for this long (a dead device).
constexpr auto kStalledInput = std::chrono::seconds(2);
constexpr size_t kEventStart = 0;
constexpr size_t kEventHalf = 1;

}  // namespace

TDDSDCaptureNotifyThread::TDDSDCaptureNotifyThread(TDDSDCapture& capture,
                                                   std::shared_ptr<CaptureEvents> events)
    : Capture(capture), events_(std::move(events)), thread_([this] { Execute(); }) {}

TDDSDCaptureNotifyThread::~TDDSDCaptureNotifyThread() {
  TerminateAndWait();
}

void TDDSDCaptureNotifyThread::TerminateAndWait() {
  terminated_.store(true, std::memory_order_release);
  events_->Interrupt();
  if (thread_.joinable()) thread_.join();
}

void TDDSDCaptureNotifyThread::Execute() {
  while (!terminated_.load(std::memory_order_acquire)) {
    const std::optional<size_t> event = events_->WaitAny(kNotifyTimeout);
    if (!event || terminated_.load(std::memory_order_acquire)) continue;
    if (*event == kEventStart) {
      SecondHalf_.store(true, std::memory_order_release);
      Capture.Sync();
    } else if (*event == kEventHalf) {
      SecondHalf_.store(false, std::memory_order_release);
      Capture.Sync();
    }
  }
}

TDDSDCapture::TDDSDCapture(TDDSD& owner) : Owner_(owner) {
  Initialized_ = CaptureDevice::Create(owner.getBackendName(), owner.getCaptureDeviceName(),
                                       CaptureDevice_) == kOk;
}

TDDSDCapture::~TDDSDCapture() {
  if (!Initialized_) return;
  ReleaseCaptureBuffer();
  CaptureDevice_.reset();
}

void TDDSDCapture::ReleaseCaptureBuffer() {
  if (CaptureBuffer_ == nullptr) return;
  CaptureBuffer_.reset();  // no input arrives after this
  if (NotifyThread_ != nullptr) NotifyThread_->TerminateAndWait();
  NotifyThread_.reset();
  Events_.reset();
}

void TDDSDCapture::SetupCaptureBuffer(uint32_t samplesPerSec, uint32_t bitsPerSample, bool stereo,
                                      uint32_t bufferBytes) {
  if (!Initialized_) return;
  ReleaseCaptureBuffer();
  BufferSize_ = bufferBytes;
  HalfSize_ = bufferBytes >> 1;
  WaveFormat_ = MakePcmFormat(samplesPerSec, bitsPerSample, stereo);
  const CaptureBufferDescription description{
      .flags = 0, .bufferBytes = BufferSize_, .format = &WaveFormat_};
  std::shared_ptr<CaptureBuffer> created;
  if (CheckResult(CaptureDevice_->CreateCaptureBuffer(description, created),
                  "DirectSoundCaptureBufferオブジェクトの生成に失敗しました。") != kOk) {
    return;
  }
  CaptureBuffer_ = std::move(created);
  auto events = std::make_shared<CaptureEvents>();
  const std::array<uint32_t, 3> positions{0, HalfSize_, kCapturePositionStopped};
  if (CheckResult(CaptureBuffer_->SetNotificationPositions(positions, events),
                  "NotifyPositionの設定に失敗しました") != kOk) {
    return;
  }
  Events_ = std::move(events);
  NotifyThread_ = std::make_unique<TDDSDCaptureNotifyThread>(*this, Events_);
}

void TDDSDCapture::StartWith(uint32_t flags) {
  if (!Initialized_ || CaptureBuffer_ == nullptr) return;
  uint32_t status = 0;
  CaptureBuffer_->GetStatus(&status);
  if (status != 0) return;
  CaptureBuffer_->Start(flags);
}

void TDDSDCapture::Start(bool wait) {
  if (!Initialized_ || CaptureBuffer_ == nullptr) return;
  uint32_t status = 0;
  CaptureBuffer_->GetStatus(&status);
  if (status != 0) return;
  CaptureBuffer_->Start(0);
  if (!wait) return;
  uint32_t lastPosition = GetPosition();
  auto lastMove = std::chrono::steady_clock::now();
  while (GetStatus() != 0) {
    std::this_thread::sleep_for(kStartPollPause);
    const uint32_t position = GetPosition();
    const auto now = std::chrono::steady_clock::now();
    if (position != lastPosition) {
      lastPosition = position;
      lastMove = now;
    } else if (now - lastMove > kStalledInput) {
      return;
    }
  }
}

void TDDSDCapture::StartLoop() {
  StartWith(kCaptureStartLooping);
}

void TDDSDCapture::Stop() {
  if (Initialized_ && CaptureBuffer_ != nullptr) CaptureBuffer_->Stop();
}

uint32_t TDDSDCapture::GetPosition() const {
  uint32_t read = 0;
  if (Initialized_ && CaptureBuffer_ != nullptr) CaptureBuffer_->GetCurrentPosition(nullptr, &read);
  return read;
}

uint32_t TDDSDCapture::GetStatus() const {
  uint32_t status = 0;
  if (Initialized_ && CaptureBuffer_ != nullptr) CaptureBuffer_->GetStatus(&status);
  return status;
}

void TDDSDCapture::BlockCopy(uint32_t offset, void* destination, uint32_t size) {
  if (!Initialized_ || CaptureBuffer_ == nullptr) return;
  const void* first = nullptr;
  uint32_t firstLength = 0;
  const void* second = nullptr;
  uint32_t secondLength = 0;
  if (CheckResult(CaptureBuffer_->Lock(offset, size, &first, &firstLength, &second, &secondLength),
                  "DirectSoundCaptureBufferのロックに失敗しました") != kOk) {
    return;
  }
  auto* bytes = static_cast<uint8_t*>(destination);
  std::memcpy(bytes, first, firstLength);
  if (firstLength < size) std::memcpy(bytes + firstLength, second, secondLength);
  CaptureBuffer_->Unlock();
}

bool TDDSDCapture::IsSupportedFormat(uint32_t samplesPerSec, uint32_t bitsPerSample,
                                     bool stereo) const {
  if (!Initialized_) return false;
  uint32_t formats = 0;
  if (CaptureDevice_->GetFormats(&formats) != kOk) return false;
  uint32_t bit = samplesPerSec == 11025   ? 1u
                 : samplesPerSec == 22050 ? 16u
                 : samplesPerSec == 44100 ? 256u
                                          : 0u;
  if (bitsPerSample == 16) {
    bit <<= 2;
  } else if (bitsPerSample != 8) {
    bit = 0;
  }
  if (stereo) bit <<= 1;
  return (formats & bit) != 0;
}

void TDDSDCapture::Sync() {
  TDDSDRecordingEvent handler;
  {
    const std::lock_guard lock(handlerMutex_);
    handler = OnRecording_;
  }
  if (!handler) return;
  const bool secondHalf = NotifyThread_ != nullptr && NotifyThread_->SecondHalf();
  handler(*this, secondHalf ? BufferSize_ - HalfSize_ : 0, HalfSize_);
}

void TDDSDCapture::setOnRecording(TDDSDRecordingEvent handler) {
  const std::lock_guard lock(handlerMutex_);
  OnRecording_ = std::move(handler);
}

}  // namespace velmo
