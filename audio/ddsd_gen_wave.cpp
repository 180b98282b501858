#include "audio/ddsd_gen_wave.h"

#include <array>
#include <cstring>

#include "audio/ddsd.h"
#include "audio/ddsd_notify_thread.h"
#include "audio/ddsd_report.h"

namespace velmo {

namespace {

constexpr uint32_t kPlainFlags = kBufferCtrlFrequency | kBufferCtrlPan | kBufferCtrlVolume;
constexpr uint32_t kStreamFlags =
    kPlainFlags | kBufferCtrlPositionNotify | kBufferGetCurrentPosition2;
constexpr uint32_t kEffectFlags = kPlainFlags | kBufferCtrlFx;
constexpr uint32_t kPositionStopped = 0xFFFFFFFF;

}  // namespace

uint32_t LoadedBufferFlags(bool useFX, bool use3D, bool stickyFocus) {
  uint32_t flags = use3D ? kBufferCtrl3D | kBufferCtrlFrequency | kBufferCtrlVolume : kPlainFlags;
  if (useFX) flags = kEffectFlags;
  if (stickyFocus) flags |= kBufferStickyFocus;
  return flags;
}

uint32_t SecondaryBufferFlags(bool stream, bool useFX, bool use3D, bool stickyFocus) {
  uint32_t flags = stream ? kStreamFlags : kPlainFlags;
  if (useFX) flags = kEffectFlags;  // replaces the stream flags too
  if (use3D) flags = (flags & ~kBufferCtrlPan) | kBufferCtrl3D;
  if (stickyFocus) flags |= kBufferStickyFocus;
  return flags;
}

TDDSDGenWave::TDDSDGenWave(TDDSD& owner, uint32_t samplesPerSec, uint32_t bitsPerSample,
                           bool stereo, uint32_t bufferBytes, bool use3D, bool useFX, bool stream)
    : BufferBytes_(bufferBytes), Owner_(owner), IsStream_(stream), UseFX_(useFX) {
  if (!owner.Initialized()) return;
  CreateBuffer(samplesPerSec, bitsPerSample, stereo, use3D);
}

void TDDSDGenWave::CreateBuffer(uint32_t samplesPerSec, uint32_t bitsPerSample, bool stereo,
                                bool use3D) {
  WaveFormat_ = MakePcmFormat(samplesPerSec, bitsPerSample, stereo);
  const BufferDescription description{
      .flags = SecondaryBufferFlags(IsStream_, UseFX_, use3D, Owner_.getStickyFocus()),
      .bufferBytes = BufferBytes_,
      .format = &WaveFormat_,
  };
  // A failure the policy lets through leaves the wave with what it has so far.
  std::shared_ptr<SecondaryBuffer> created;
  if (CheckResult(Owner_.DirectSound()->CreateSoundBuffer(description, created),
                  "サウンドバッファの作成に失敗しました") != kOk) {
    return;
  }
  SoundBuffer_ = std::move(created);
  if (!IsStream_) return;
  HalfSize_ = BufferBytes_ >> 1;
  if (CheckResult(SoundBuffer_->QueryNotify(),
                  "DirectSoundNotifyオブジェクトの作成に失敗しました") != kOk) {
    return;
  }
  const std::array<uint32_t, 3> positions{0, HalfSize_, kPositionStopped};
  if (CheckResult(SoundBuffer_->SetNotificationPositions(positions),
                  "NotifyPositionの設定に失敗しました") != kOk) {
    return;
  }
  NotifyThread_ = std::make_unique<TDDSDNotifyThread>(*this, Owner_.getManualNotifyPolling());
}

TDDSDGenWave::~TDDSDGenWave() {
  NotifyThread_.reset();  // no poll or handler runs on the buffer from here on
  SoundBuffer_.reset();
}

void TDDSDGenWave::BlockCopy(uint32_t offset, const void* data, uint32_t size) {
  if (!Owner_.Initialized() || SoundBuffer_ == nullptr) return;
  void* first = nullptr;
  uint32_t firstLength = 0;
  void* second = nullptr;
  uint32_t secondLength = 0;
  if (CheckResult(SoundBuffer_->Lock(offset, size, &first, &firstLength, &second, &secondLength, 0),
                  "DirectSoundBufferのロックに失敗しました") != kOk) {
    return;
  }
  const auto* bytes = static_cast<const uint8_t*>(data);
  std::memcpy(first, bytes, firstLength);
  if (firstLength < size) std::memcpy(second, bytes + firstLength, secondLength);
  SoundBuffer_->Unlock(first, firstLength, second, secondLength);
}

void TDDSDGenWave::Sync() {
  const std::shared_ptr<const TDDSDUpdateEvent> handler = OnUpdate_.load();
  if (handler == nullptr || !*handler) return;
  const bool fillSecondHalf = NotifyThread_ != nullptr && NotifyThread_->FillSecondHalf();
  if (fillSecondHalf) {
    (*handler)(*this, Player(), HalfSize_, BufferBytes_ - HalfSize_);
  } else {
    (*handler)(*this, Player(), 0, HalfSize_);
  }
}

void TDDSDGenWave::setOnUpdate(TDDSDUpdateEvent handler) {
  OnUpdate_.store(std::make_shared<const TDDSDUpdateEvent>(std::move(handler)));
}

bool TDDSDGenWave::OnUpdateAssigned() const {
  const std::shared_ptr<const TDDSDUpdateEvent> handler = OnUpdate_.load();
  return handler != nullptr && static_cast<bool>(*handler);
}

TDDSDWaveData::TDDSDWaveData(TDDSD& owner, uint32_t samplesPerSec, uint32_t bitsPerSample,
                             bool stereo, uint32_t bufferBytes, bool useFX)
    : TDDSDGenWave(owner, samplesPerSec, bitsPerSample, stereo, bufferBytes, false, useFX, false) {}

TDDSDWaveData::TDDSDWaveData(TDDSD& owner, const std::string& fileName, bool useFX)
    : TDDSDGenWave(owner, fileName, false, useFX) {}

TDDSDWaveData::TDDSDWaveData(TDDSD& owner, const std::string& archiveFileName,
                             const std::string& dataId, bool useFX)
    : TDDSDGenWave(owner, archiveFileName, dataId, false, useFX) {}

TDDSDWaveData::TDDSDWaveData(StreamTag, TDDSD& owner, uint32_t samplesPerSec,
                             uint32_t bitsPerSample, bool stereo, uint32_t bufferBytes, bool useFX)
    : TDDSDGenWave(owner, samplesPerSec, bitsPerSample, stereo, bufferBytes, false, useFX, true) {}

std::unique_ptr<TDDSDWaveData> TDDSDWaveData::CreateStream(TDDSD& owner, uint32_t samplesPerSec,
                                                           uint32_t bitsPerSample, bool stereo,
                                                           uint32_t bufferBytes, bool useFX) {
  return std::unique_ptr<TDDSDWaveData>(new TDDSDWaveData(
      StreamTag{}, owner, samplesPerSec, bitsPerSample, stereo, bufferBytes, useFX));
}

}  // namespace velmo
