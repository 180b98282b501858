#include "audio/ddsd_channel.h"

#include <cmath>
#include <limits>

#include "audio/ddsd.h"
#include "audio/ddsd_gen_wave.h"
#include "audio/ddsd_params_3d.h"
#include "audio/ddsd_report.h"
#include "audio/ddsd_wave_3d.h"

namespace velmo {

TDDSDChannel::TDDSDChannel(TDDSD& owner)
    : Owner_(owner), Params3D_(std::make_unique<TDDSDParams3D>(this)) {}

TDDSDChannel::~TDDSDChannel() {
  SoundBuffer3D_.reset();
  SoundBuffer_.reset();
  Params3D_.reset();
}

void TDDSDChannel::setWaveData(TDDSDGenWave* wave) {
  if (!Owner_.Initialized()) return;
  if (IsStream_) {
    if (wave == WaveData_) return;
    Stop();
  } else {
    SoundBuffer3D_.reset();
    SoundBuffer_.reset();
  }
  if (wave == nullptr) {
    WaveData_ = nullptr;
    return;
  }
  if (wave->IsStream() || wave->UseFX()) {
    SoundBuffer_ = wave->SoundBuffer();
    wave->setPlayer(this);
  } else {
    std::shared_ptr<SecondaryBuffer> duplicate;
    if (CheckResult(
            Owner_.DirectSound()->DuplicateSoundBuffer(wave->SoundBuffer().get(), duplicate),
            "setWaveData サウンドバッファの複製に失敗しました") != kOk) {
      return;
    }
    SoundBuffer_ = std::move(duplicate);
  }
  IsStream_ = wave->IsStream();
  auto* wave3D = dynamic_cast<TDDSDWave3D*>(wave);
  Is3D_ = wave3D != nullptr;
  SoundBuffer3D_.reset();
  if (wave3D != nullptr) {
    if (CheckResult(SoundBuffer_->Query3D(),
                    "setWaveData 3Dサウンドバッファの作成に失敗しました") == kOk) {
      SoundBuffer3D_ = SoundBuffer_;
    }
    setParams3D(wave3D->Params3D());
  }
  BaseFrequency_ = wave->WaveFormat().nSamplesPerSec;
  WaveData_ = wave;
}

void TDDSDChannel::StartAt(uint32_t position, uint32_t playFlags) {
  if (SoundBuffer_ == nullptr) return;
  SoundBuffer_->SetCurrentPosition(position);
  SoundBuffer_->Play(0, 0, playFlags);
}

void TDDSDChannel::Play() {
  StartAt(0, 0);
}
void TDDSDChannel::LoopPlay() {
  StartAt(0, kPlayLooping);
}
void TDDSDChannel::PlayAt(uint32_t position) {
  StartAt(position, 0);
}
void TDDSDChannel::LoopPlayAt(uint32_t position) {
  StartAt(position, kPlayLooping);
}

void TDDSDChannel::Stop() {
  if (SoundBuffer_ != nullptr) SoundBuffer_->Stop();
}

void TDDSDChannel::setFreqRate(double rate) {
  if (SoundBuffer_ == nullptr) return;
  const double hz = std::trunc(BaseFrequency_ * rate);
  // A rate beyond any frequency gives 0, which the buffer takes as the wave's own rate.
  const bool representable =
      hz >= std::numeric_limits<int32_t>::min() && hz <= std::numeric_limits<int32_t>::max();
  Frequency_ = representable ? static_cast<int32_t>(hz) : 0;
  SoundBuffer_->SetFrequency(static_cast<uint32_t>(Frequency_));
}

void TDDSDChannel::setVolume(int32_t volume) {
  if (SoundBuffer_ == nullptr) return;
  Volume_ = volume;
  SoundBuffer_->SetVolume(volume);
}

void TDDSDChannel::setPan(int32_t pan) {
  if (SoundBuffer_ == nullptr || Is3D_) return;
  Pan_ = pan;
  SoundBuffer_->SetPan(pan);
}

void TDDSDChannel::setParams3D(TDDSDParams3D& params) {
  Params3D_->Assign(params);
}

uint32_t TDDSDChannel::getStatus() const {
  uint32_t status = 0;
  if (SoundBuffer_ != nullptr) SoundBuffer_->GetStatus(&status);
  return status;
}

uint32_t TDDSDChannel::getPlayPosition() const {
  uint32_t play = 0;
  if (SoundBuffer_ != nullptr) SoundBuffer_->GetCurrentPosition(&play, nullptr);
  return play;
}

void TDDSDChannel::setPlayPosition(uint32_t position) {
  if (SoundBuffer_ != nullptr) SoundBuffer_->SetCurrentPosition(position);
}

}  // namespace velmo
