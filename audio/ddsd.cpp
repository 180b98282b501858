#include "audio/ddsd.h"

#include "audio/ddsd_channel.h"
#include "audio/ddsd_params_3d.h"

namespace velmo {

namespace {

// Nothing here draws on a window: the device is not bound to one.
constexpr uintptr_t kNoWindow = 0;

}  // namespace

TDDSD::TDDSD() {
  SetDebugOption(dsoHaltOnError);
}

TDDSD::~TDDSD() {
  FreeChannels();
  Listener_.reset();
  Listener3D_.reset();
  PrimaryBuffer_.reset();
  DirectSound_.reset();
}

void TDDSD::FreeChannels() {
  for (std::unique_ptr<TDDSDChannel>& channel : Channels_)
    channel.reset();
  Channels_.clear();
}

void TDDSD::Loaded() {
  SetDebugOption(DebugOption_);
  forceInitialize();
}

bool TDDSD::forceInitialize() {
  FreeChannels();
  Channels_.reserve(ChannelCount_);
  for (uint32_t i = 0; i < ChannelCount_; ++i) {
    Channels_.push_back(std::make_unique<TDDSDChannel>(*this));
  }
  Initialized_ = false;
  Listener_.reset();
  Listener3D_.reset();
  PrimaryBuffer_.reset();
  DirectSound_.reset();
  UnavailableReason_.clear();
  // No device object, or no output to bind it to: no sound, and no message; the reason is kept
  // for the application to show.
  if (SoundDevice::Create(BackendName_, DirectSound_) != kOk) {
    UnavailableReason_ = "no audio backend \"" + BackendName_ + "\"";
    return false;
  }
  if (DirectSound_->Initialize(DeviceName_) != kOk) {
    UnavailableReason_ = DirectSound_->Backend()->LastError();
    if (UnavailableReason_.empty()) UnavailableReason_ = "the output device cannot be opened";
    return false;
  }
  Initialized_ = true;
  CheckResult(DirectSound_->SetCooperativeLevel(kNoWindow, kCooperativePriority),
              "DirectSoundの協調レベルの設定に失敗しました");
  const uint32_t primaryFlags = Use3D_ ? kBufferPrimary | kBufferCtrl3D : kBufferPrimary;
  if (CheckResult(DirectSound_->CreatePrimaryBuffer(primaryFlags, PrimaryBuffer_),
                  "一次バッファの作成に失敗しました") != kOk) {
    return true;
  }
  if (Use3D_) {
    if (CheckResult(PrimaryBuffer_->QueryListener3D(Listener3D_),
                    "DirectSound3D Listenerの作成に失敗しました") != kOk) {
      return true;
    }
    Listener_ = std::make_unique<TDDSDListener>(*this);
  }
  return true;
}

void TDDSD::SetDebugOption(TDDSDDebugOption options) {
  DebugOption_ = options & (dsoHaltOnError | dsoDebugMessage | dsoExceptOnError);
  DDSD_HaltOnError.store((options & dsoHaltOnError) != 0);
  DDSD_DebugMessage.store((options & dsoDebugMessage) != 0);
  DDSD_ExceptOnError.store((options & dsoExceptOnError) != 0);
}

TDDSDChannel* TDDSD::GetChannels(int32_t index) {
  if (index >= 0 && static_cast<uint32_t>(index) < ChannelCount_ &&
      static_cast<size_t>(index) < Channels_.size()) {
    return Channels_[static_cast<size_t>(index)].get();
  }
  const std::string message =
      FormatMessage("チャンネル番号%dは無効です、%d～%dの範囲で指定してください", index, 0,
                    static_cast<int32_t>(ChannelCount_) - 1);
  ReportError(message);
  if (DDSD_HaltOnError.load()) HaltOnError(message);
  return nullptr;
}

void TDDSD::SetPrimaryBufferFotmat(uint32_t samplesPerSec, uint32_t bitsPerSample, bool stereo) {
  if (!Initialized_ || PrimaryBuffer_ == nullptr) return;
  WaveFormat format;
  format.wFormatTag = kWaveFormatPcm;
  format.nChannels = stereo ? 2 : 1;
  format.nSamplesPerSec = samplesPerSec;
  format.nBlockAlign = static_cast<uint16_t>((bitsPerSample >> 3) * format.nChannels);
  format.nAvgBytesPerSec = format.nBlockAlign * samplesPerSec;
  format.wBitsPerSample = static_cast<uint16_t>(bitsPerSample);
  format.cbSize = 0;
  CheckResult(PrimaryBuffer_->SetFormat(format),
              "プライマリ・バッファのフォーマットの設定に失敗しました");
}

void TDDSD::setListener(TDDSDListener& listener) {
  if (Listener_ != nullptr) Listener_->Assign(listener);
}

}  // namespace velmo
