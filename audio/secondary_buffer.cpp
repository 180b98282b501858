#include "audio/secondary_buffer.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "audio/sound_mixer.h"
#include "audio/spatial_law.h"

namespace velmo {

namespace {

constexpr uint32_t kUnityGain = 65536;  // 16.16 fixed point

// Gain of an attenuation in 1/100 dB; -10000 and below is silence.
uint32_t GainOf(int32_t attenuation) {
  if (attenuation <= kVolumeMin) return 0;
  if (attenuation >= 0) return kUnityGain;
  return static_cast<uint32_t>(std::lround(kUnityGain * std::pow(10.0, attenuation / 2000.0)));
}

struct Frame {
  int32_t left;
  int32_t right;
};

// Reads frame `index` as signed 16-bit left and right samples.
template <uint32_t Bits, uint32_t Channels>
Frame ReadFrame(const uint8_t* memory, uint32_t index) {
  const uint8_t* p = memory + static_cast<size_t>(index) * Channels * Bits / 8;
  int32_t samples[Channels];
  for (uint32_t c = 0; c < Channels; ++c) {
    if constexpr (Bits == 8) {
      samples[c] = (static_cast<int32_t>(p[c]) - 128) * 256;
    } else {
      samples[c] = static_cast<int16_t>(static_cast<uint16_t>(p[2 * c] | (p[2 * c + 1] << 8)));
    }
  }
  if constexpr (Channels == 1) {
    return {samples[0], samples[0]};
  } else {
    return {samples[0], samples[1]};
  }
}

struct MixState {
  uint64_t position;  // 32.32 frames
  uint64_t step;      // 32.32 source frames per output frame
  uint32_t frames;    // frames in the buffer
  bool looping;
  int64_t leftGain;
  int64_t rightGain;
};

// Resamples by linear interpolation and accumulates. Returns false when a buffer played once
// has reached its end.
template <uint32_t Bits, uint32_t Channels>
bool MixFrames(const uint8_t* memory, MixState& state, int32_t* accumulator, uint32_t count,
               uint32_t outputChannels) {
  const uint64_t end = static_cast<uint64_t>(state.frames) << 32;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t index = static_cast<uint32_t>(state.position >> 32);
    const int64_t fraction = static_cast<int64_t>((state.position >> 16) & 0xFFFF);  // Q16
    const uint32_t nextIndex = index + 1 < state.frames ? index + 1 : (state.looping ? 0 : index);
    const Frame a = ReadFrame<Bits, Channels>(memory, index);
    const Frame b = ReadFrame<Bits, Channels>(memory, nextIndex);
    const int64_t left = a.left + (((b.left - a.left) * fraction) >> 16);
    const int64_t right = a.right + (((b.right - a.right) * fraction) >> 16);
    const int64_t outLeft = (left * state.leftGain) >> 16;
    const int64_t outRight = (right * state.rightGain) >> 16;
    if (outputChannels == 2) {
      accumulator[2 * i] += static_cast<int32_t>(outLeft);
      accumulator[2 * i + 1] += static_cast<int32_t>(outRight);
    } else {
      accumulator[i] += static_cast<int32_t>((outLeft + outRight) / 2);
    }
    state.position += state.step;
    if (state.position >= end) {
      if (!state.looping) return false;
      state.position %= end;
    }
  }
  return true;
}

}  // namespace

SecondaryBuffer::SecondaryBuffer(std::shared_ptr<SoundMixer> mixer, const WaveFormat& format,
                                 uint32_t flags, std::shared_ptr<SampleMemory> memory)
    : mixer_(std::move(mixer)),
      format_(format),
      flags_(flags),
      memory_(std::move(memory)),
      frames_(memory_->size / format.nBlockAlign),
      frequency_(format.nSamplesPerSec) {
  UpdateGains();
  mixer_->Attach(*this);
}

SecondaryBuffer::~SecondaryBuffer() {
  mixer_->Detach(*this);
}

uint32_t SecondaryBuffer::WriteMarginFrames() const {
  const uint64_t rate = std::max<uint32_t>(mixer_->OutputRate(), 1);
  const uint64_t period = mixer_->PeriodFrames();
  const uint64_t frequency = frequency_.load(std::memory_order_relaxed);
  // What the next mix reads: one period resampled, rounded up, plus the interpolation frame.
  const uint64_t margin = (period * frequency + rate - 1) / rate + 2;
  return static_cast<uint32_t>(std::min<uint64_t>(margin, frames_ > 0 ? frames_ - 1 : 0));
}

HResult SecondaryBuffer::GetCurrentPosition(uint32_t* play, uint32_t* write) const {
  const uint32_t frame = static_cast<uint32_t>(position_.load(std::memory_order_acquire) >> 32);
  const bool playing = (status_.load(std::memory_order_acquire) & kStatusPlaying) != 0;
  const uint32_t writeFrame =
      playing && frames_ > 0 ? (frame + WriteMarginFrames()) % frames_ : frame;
  if (play != nullptr) *play = frame * format_.nBlockAlign;
  if (write != nullptr) *write = writeFrame * format_.nBlockAlign;
  return kOk;
}

HResult SecondaryBuffer::GetStatus(uint32_t* status) const {
  if (status == nullptr) return kErrInvalidParam;
  *status = status_.load(std::memory_order_acquire);
  return kOk;
}

HResult SecondaryBuffer::Lock(uint32_t offset, uint32_t bytes, void** region1, uint32_t* length1,
                              void** region2, uint32_t* length2, uint32_t flags) {
  if (region1 == nullptr || length1 == nullptr) return kErrInvalidParam;
  const uint32_t size = memory_->size;
  if ((flags & kLockFromWriteCursor) != 0) GetCurrentPosition(nullptr, &offset);
  if ((flags & kLockEntireBuffer) != 0) bytes = size;
  if (offset >= size || bytes == 0 || bytes > size) return kErrInvalidParam;
  const uint32_t first = std::min(bytes, size - offset);
  if (first < bytes && (region2 == nullptr || length2 == nullptr)) return kErrInvalidParam;
  *region1 = memory_->bytes.get() + offset;
  *length1 = first;
  if (region2 != nullptr) *region2 = first < bytes ? memory_->bytes.get() : nullptr;
  if (length2 != nullptr) *length2 = bytes - first;
  return kOk;
}

HResult SecondaryBuffer::Unlock(void* region1, uint32_t length1, void* region2, uint32_t length2) {
  const uint8_t* begin = memory_->bytes.get();
  const uint8_t* end = begin + memory_->size;
  const auto inside = [&](const void* region, uint32_t length) {
    const auto* p = static_cast<const uint8_t*>(region);
    return region == nullptr ? length == 0 : (p >= begin && p <= end && length <= end - p);
  };
  if (!inside(region1, length1) || !inside(region2, length2)) return kErrInvalidParam;
  memory_->unlocks.fetch_add(1, std::memory_order_release);
  return kOk;
}

HResult SecondaryBuffer::Play(uint32_t reserved, uint32_t /*priority*/, uint32_t flags) {
  if (reserved != 0) return kErrInvalidParam;
  const std::lock_guard lock(mixer_->ControlMutex());
  const uint32_t looping = (flags & kPlayLooping) != 0 ? kStatusLooping : 0;
  status_.store(kStatusPlaying | looping, std::memory_order_release);
  return kOk;
}

HResult SecondaryBuffer::Stop() {
  const std::lock_guard lock(mixer_->ControlMutex());
  status_.store(0, std::memory_order_release);
  return kOk;
}

HResult SecondaryBuffer::SetCurrentPosition(uint32_t position) {
  if (position >= memory_->size) return kErrInvalidParam;
  const std::lock_guard lock(mixer_->ControlMutex());
  position_.store(static_cast<uint64_t>(position / format_.nBlockAlign) << 32,
                  std::memory_order_release);
  return kOk;
}

HResult SecondaryBuffer::SetFrequency(uint32_t frequency) {
  if ((flags_ & kBufferCtrlFrequency) == 0) return kErrControlUnavailable;
  if (frequency == kFrequencyOriginal) frequency = format_.nSamplesPerSec;
  if (frequency < kFrequencyMin || frequency > kFrequencyMax) return kErrInvalidParam;
  frequency_.store(frequency, std::memory_order_relaxed);
  return kOk;
}

HResult SecondaryBuffer::GetFrequency(uint32_t* frequency) const {
  if (frequency == nullptr) return kErrInvalidParam;
  if ((flags_ & kBufferCtrlFrequency) == 0) return kErrControlUnavailable;
  *frequency = frequency_.load(std::memory_order_relaxed);
  return kOk;
}

HResult SecondaryBuffer::SetVolume(int32_t volume) {
  if ((flags_ & kBufferCtrlVolume) == 0) return kErrControlUnavailable;
  if (volume < kVolumeMin || volume > kVolumeMax) return kErrInvalidParam;
  volume_.store(volume, std::memory_order_relaxed);
  UpdateGains();
  return kOk;
}

HResult SecondaryBuffer::GetVolume(int32_t* volume) const {
  if (volume == nullptr) return kErrInvalidParam;
  if ((flags_ & kBufferCtrlVolume) == 0) return kErrControlUnavailable;
  *volume = volume_.load(std::memory_order_relaxed);
  return kOk;
}

HResult SecondaryBuffer::SetPan(int32_t pan) {
  if ((flags_ & kBufferCtrlPan) == 0) return kErrControlUnavailable;
  if (pan < kPanLeft || pan > kPanRight) return kErrInvalidParam;
  pan_.store(pan, std::memory_order_relaxed);
  UpdateGains();
  return kOk;
}

HResult SecondaryBuffer::GetPan(int32_t* pan) const {
  if (pan == nullptr) return kErrInvalidParam;
  if ((flags_ & kBufferCtrlPan) == 0) return kErrControlUnavailable;
  *pan = pan_.load(std::memory_order_relaxed);
  return kOk;
}

HResult SecondaryBuffer::QueryNotify() const {
  return (flags_ & kBufferCtrlPositionNotify) != 0 ? kOk : kErrNoInterface;
}

HResult SecondaryBuffer::SetNotificationPositions(std::span<const uint32_t> offsets) const {
  constexpr uint32_t kOffsetStop = 0xFFFFFFFF;
  if (QueryNotify() != kOk) return kErrNoInterface;
  if ((status_.load(std::memory_order_acquire) & kStatusPlaying) != 0) return kErrInvalidCall;
  for (const uint32_t offset : offsets) {
    if (offset != kOffsetStop && offset >= memory_->size) return kErrInvalidParam;
  }
  return kOk;
}

HResult SecondaryBuffer::Query3D() const {
  return (flags_ & kBufferCtrl3D) != 0 ? kOk : kErrNoInterface;
}

HResult SecondaryBuffer::Get3DParameters(Buffer3DParameters* parameters) const {
  if (parameters == nullptr) return kErrInvalidParam;
  if (Query3D() != kOk) return kErrControlUnavailable;
  const std::lock_guard lock(mixer_->ControlMutex());
  *parameters = params3D_;
  return kOk;
}

HResult SecondaryBuffer::Set3DParameters(const Buffer3DParameters& parameters) {
  if (Query3D() != kOk) return kErrControlUnavailable;
  if (!IsValid(parameters)) return kErrInvalidParam;
  const std::lock_guard lock(mixer_->ControlMutex());
  params3D_ = parameters;
  return kOk;
}

void SecondaryBuffer::UpdateGains() {
  // Positive pan attenuates the left side, negative pan the right side.
  const int32_t volume = volume_.load(std::memory_order_relaxed);
  const int32_t pan = pan_.load(std::memory_order_relaxed);
  const uint64_t left = GainOf(volume - std::max(pan, 0));
  const uint64_t right = GainOf(volume - std::max(-pan, 0));
  gains_.store(left << 32 | right, std::memory_order_relaxed);
}

void SecondaryBuffer::MixInto(int32_t* accumulator, uint32_t frames, uint32_t outputChannels,
                              uint32_t outputRate, const Listener3DParameters& listener) noexcept {
  if ((status_.load(std::memory_order_relaxed) & kStatusPlaying) == 0 || frames_ == 0) return;
  // Pairs with Unlock: what was written into the memory is visible from here on.
  memory_->unlocks.load(std::memory_order_acquire);
  const uint32_t status = status_.load(std::memory_order_relaxed);
  const uint64_t gains = gains_.load(std::memory_order_relaxed);
  uint64_t frequency = frequency_.load(std::memory_order_relaxed);
  int64_t leftGain = static_cast<int64_t>(gains >> 32);
  int64_t rightGain = static_cast<int64_t>(gains & 0xFFFFFFFF);
  if ((flags_ & kBufferCtrl3D) != 0) {
    // A 3D buffer has no pan: its balance, level and shift come from its place.
    const SpatialResult placed = Spatialize(params3D_, listener);
    const double volumeGain = GainOf(volume_.load(std::memory_order_relaxed));
    leftGain = std::llround(volumeGain * placed.leftGain);
    rightGain = std::llround(volumeGain * placed.rightGain);
    frequency = std::clamp<uint64_t>(std::llround(frequency * placed.frequencyRatio), kFrequencyMin,
                                     kFrequencyMax);
  }
  MixState state{
      .position = position_.load(std::memory_order_relaxed),
      .step = (frequency << 32) / std::max<uint32_t>(outputRate, 1),
      .frames = frames_,
      .looping = (status & kStatusLooping) != 0,
      .leftGain = leftGain,
      .rightGain = rightGain,
  };
  const uint8_t* memory = memory_->bytes.get();
  bool stillPlaying = true;
  const uint32_t channels = format_.nChannels;
  if (format_.wBitsPerSample == 16) {
    stillPlaying = channels == 2
                       ? MixFrames<16, 2>(memory, state, accumulator, frames, outputChannels)
                       : MixFrames<16, 1>(memory, state, accumulator, frames, outputChannels);
  } else {
    stillPlaying = channels == 2
                       ? MixFrames<8, 2>(memory, state, accumulator, frames, outputChannels)
                       : MixFrames<8, 1>(memory, state, accumulator, frames, outputChannels);
  }
  if (stillPlaying) {
    position_.store(state.position, std::memory_order_release);
  } else {
    // A buffer played once stops at its end and rewinds.
    position_.store(0, std::memory_order_release);
    status_.store(0, std::memory_order_release);
  }
}

}  // namespace velmo
