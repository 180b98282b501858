#include "audio/sound_device.h"

#include <bit>

#include "audio/sound_mixer.h"

namespace velmo {

namespace {

// The output format a new device starts with: CD rate, 16 bits, stereo.
constexpr uint32_t kDefaultOutputRate = 44100;

}  // namespace

uint32_t PeriodFramesFor(uint32_t samplesPerSec) {
  return std::bit_ceil(std::max<uint32_t>(samplesPerSec / 100, 64));
}

HResult SoundListener3D::GetAllParameters(Listener3DParameters* parameters) const {
  if (parameters == nullptr) return kErrInvalidParam;
  *parameters = mixer_->Listener();
  return kOk;
}

HResult SoundListener3D::SetAllParameters(const Listener3DParameters& parameters) {
  if (!IsValid(parameters)) return kErrInvalidParam;
  mixer_->SetListener(parameters);
  return kOk;
}

HResult PrimaryOutputBuffer::QueryListener3D(std::shared_ptr<SoundListener3D>& listener) const {
  if ((flags_ & kBufferCtrl3D) == 0) return kErrNoInterface;
  listener = std::make_shared<SoundListener3D>(device_.Mixer());
  return kOk;
}

HResult PrimaryOutputBuffer::SetFormat(const WaveFormat& format) {
  return device_.SetOutputFormat(format);
}

HResult PrimaryOutputBuffer::GetFormat(WaveFormat* format) const {
  if (format == nullptr) return kErrInvalidParam;
  *format = device_.OutputWaveFormat();
  return kOk;
}

SoundDevice::SoundDevice(std::unique_ptr<AudioBackend> backend)
    : backend_(std::move(backend)), mixer_(std::make_shared<SoundMixer>()) {
  format_.samplesPerSec = kDefaultOutputRate;
  format_.channels = 2;
  format_.bitsPerSample = 16;
  format_.periodFrames = PeriodFramesFor(kDefaultOutputRate);
  mixer_->Configure(format_);
}

SoundDevice::~SoundDevice() {
  backend_->Close();
}

HResult SoundDevice::Create(std::string_view backendName, std::unique_ptr<SoundDevice>& device) {
  std::unique_ptr<AudioBackend> backend = CreateAudioBackend(backendName);
  if (backend == nullptr) return kErrClassNotRegistered;
  device.reset(new SoundDevice(std::move(backend)));
  return kOk;
}

HResult SoundDevice::Initialize(std::string_view deviceName) {
  if (initialized_) return kErrAlreadyInitialized;
  deviceName_ = deviceName;
  const HResult result = OpenOutput();
  initialized_ = result == kOk;
  return result;
}

HResult SoundDevice::OpenOutput() {
  OutputFormat obtained;
  const HResult result = backend_->Open(deviceName_, format_, *mixer_, obtained);
  if (result != kOk) return result;
  // The backend pulls already; the mixer only changes format while it is closed, so close,
  // reconfigure and reopen when the period differs.
  if (obtained.periodFrames != format_.periodFrames) {
    backend_->Close();
    format_ = obtained;
    mixer_->Configure(format_);
    return backend_->Open(deviceName_, format_, *mixer_, obtained);
  }
  return kOk;
}

HResult SoundDevice::SetCooperativeLevel(uintptr_t /*window*/, uint32_t level) {
  if (!initialized_) return kErrUninitialized;
  cooperativeLevel_ = level;
  return kOk;
}

HResult SoundDevice::CreatePrimaryBuffer(uint32_t flags,
                                         std::shared_ptr<PrimaryOutputBuffer>& buffer) {
  if (!initialized_) return kErrUninitialized;
  if ((flags & kBufferPrimary) == 0) return kErrInvalidParam;
  buffer = std::make_shared<PrimaryOutputBuffer>(*this, flags);
  return kOk;
}

HResult SoundDevice::CreateSoundBuffer(const BufferDescription& description,
                                       std::shared_ptr<SecondaryBuffer>& buffer) {
  if (!initialized_) return kErrUninitialized;
  if ((description.flags & kBufferPrimary) != 0 || description.format == nullptr) {
    return kErrInvalidParam;
  }
  if (description.bufferBytes < kMinBufferBytes || description.bufferBytes > kMaxBufferBytes) {
    return kErrInvalidParam;
  }
  const WaveFormat& format = *description.format;
  if (!IsMixablePcm(format)) return kErrBadFormat;
  if (description.bufferBytes < format.nBlockAlign) return kErrInvalidParam;
  auto memory = std::make_shared<SampleMemory>(description.bufferBytes);
  buffer = std::make_shared<SecondaryBuffer>(mixer_, format, description.flags, std::move(memory));
  return kOk;
}

HResult SoundDevice::DuplicateSoundBuffer(const SecondaryBuffer* original,
                                          std::shared_ptr<SecondaryBuffer>& duplicate) {
  if (!initialized_) return kErrUninitialized;
  if (original == nullptr) return kErrInvalidParam;
  auto copy = std::make_shared<SecondaryBuffer>(mixer_, original->Format(), original->Flags(),
                                                original->Memory());
  uint32_t frequency = 0;
  int32_t volume = 0;
  int32_t pan = 0;
  if (original->GetFrequency(&frequency) == kOk) copy->SetFrequency(frequency);
  if (original->GetVolume(&volume) == kOk) copy->SetVolume(volume);
  if (original->GetPan(&pan) == kOk) copy->SetPan(pan);
  Buffer3DParameters placed;
  if (original->Get3DParameters(&placed) == kOk) copy->Set3DParameters(placed);
  duplicate = std::move(copy);
  return kOk;
}

HResult SoundDevice::SetOutputFormat(const WaveFormat& format) {
  if (!initialized_) return kErrUninitialized;
  if (!IsMixablePcm(format)) return kErrBadFormat;
  backend_->Close();
  format_.samplesPerSec = format.nSamplesPerSec;
  format_.channels = format.nChannels;
  format_.bitsPerSample = format.wBitsPerSample;
  format_.periodFrames = PeriodFramesFor(format.nSamplesPerSec);
  mixer_->Configure(format_);
  const HResult result = OpenOutput();
  if (result != kOk) initialized_ = false;
  return result;
}

WaveFormat SoundDevice::OutputWaveFormat() const {
  return MakePcmFormat(format_.samplesPerSec, format_.bitsPerSample, format_.channels == 2);
}

}  // namespace velmo
