#include "audio/sound_mixer.h"

#include <algorithm>
#include <cstring>

#include "audio/secondary_buffer.h"

namespace velmo {

void SoundMixer::Configure(const OutputFormat& format) {
  const std::lock_guard lock(mutex_);
  outputChannels_ = format.channels;
  outputBits_ = format.bitsPerSample;
  accumulator_.assign(
      static_cast<size_t>(std::max<uint32_t>(format.periodFrames, 1)) * format.channels, 0);
  outputRate_.store(format.samplesPerSec, std::memory_order_relaxed);
  periodFrames_.store(format.periodFrames, std::memory_order_relaxed);
}

void SoundMixer::Attach(SecondaryBuffer& buffer) {
  const std::lock_guard lock(mutex_);
  buffers_.push_back(&buffer);
}

void SoundMixer::Detach(SecondaryBuffer& buffer) {
  const std::lock_guard lock(mutex_);
  std::erase(buffers_, &buffer);
}

void SoundMixer::SetListener(const Listener3DParameters& listener) {
  const std::lock_guard lock(mutex_);
  listener_ = listener;
}

Listener3DParameters SoundMixer::Listener() {
  const std::lock_guard lock(mutex_);
  return listener_;
}

void SoundMixer::Render(uint8_t* out, uint32_t bytes) noexcept {
  const std::lock_guard lock(mutex_);
  const uint32_t frameBytes = outputChannels_ * outputBits_ / 8u;
  const uint32_t capacity = static_cast<uint32_t>(accumulator_.size() / outputChannels_);
  uint32_t frames = bytes / frameBytes;
  while (frames > 0) {
    const uint32_t chunk = std::min(frames, capacity);
    MixChunk(out, chunk);
    out += static_cast<size_t>(chunk) * frameBytes;
    frames -= chunk;
  }
}

void SoundMixer::MixChunk(uint8_t* out, uint32_t frames) noexcept {
  const uint32_t samples = frames * outputChannels_;
  std::fill_n(accumulator_.begin(), samples, 0);
  const uint32_t rate = outputRate_.load(std::memory_order_relaxed);
  for (SecondaryBuffer* buffer : buffers_) {
    buffer->MixInto(accumulator_.data(), frames, outputChannels_, rate, listener_);
  }
  // Saturate the sum into the output's sample type.
  for (uint32_t i = 0; i < samples; ++i) {
    const int32_t sample = std::clamp<int32_t>(accumulator_[i], -32768, 32767);
    if (outputBits_ == 8) {
      out[i] = static_cast<uint8_t>((sample >> 8) + 128);
    } else {
      const uint16_t bits = static_cast<uint16_t>(sample);
      out[2 * i] = static_cast<uint8_t>(bits & 0xFF);
      out[2 * i + 1] = static_cast<uint8_t>(bits >> 8);
    }
  }
}

}  // namespace velmo
