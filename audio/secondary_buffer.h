// A secondary sound buffer of the software device: sample memory (shared with its duplicates),
// a play cursor of its own, playback state, frequency, volume and pan.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>

#include "audio/result_codes.h"
#include "audio/spatial_params.h"
#include "audio/wave_format.h"

namespace velmo {

class SoundMixer;

// Buffer capability flags, as a buffer description carries them.
inline constexpr uint32_t kBufferPrimary = 0x1;
inline constexpr uint32_t kBufferCtrl3D = 0x10;
inline constexpr uint32_t kBufferCtrlFrequency = 0x20;
inline constexpr uint32_t kBufferCtrlPan = 0x40;
inline constexpr uint32_t kBufferCtrlVolume = 0x80;
inline constexpr uint32_t kBufferCtrlPositionNotify = 0x100;
inline constexpr uint32_t kBufferCtrlFx = 0x200;
inline constexpr uint32_t kBufferStickyFocus = 0x4000;
inline constexpr uint32_t kBufferGetCurrentPosition2 = 0x10000;

// Play flags and status bits.
inline constexpr uint32_t kPlayLooping = 0x1;
inline constexpr uint32_t kStatusPlaying = 0x1;
inline constexpr uint32_t kStatusLooping = 0x4;

// Lock flags.
inline constexpr uint32_t kLockFromWriteCursor = 0x1;
inline constexpr uint32_t kLockEntireBuffer = 0x2;

// Volume in 1/100 dB (0 full, -10000 silent); pan in 1/100 dB of attenuation of the opposite side.
inline constexpr int32_t kVolumeMax = 0;
inline constexpr int32_t kVolumeMin = -10000;
inline constexpr int32_t kPanLeft = -10000;
inline constexpr int32_t kPanRight = 10000;
inline constexpr uint32_t kFrequencyOriginal = 0;
inline constexpr uint32_t kFrequencyMin = 100;
inline constexpr uint32_t kFrequencyMax = 200000;

// The bytes of one buffer and its duplicates. `unlocks` orders writes made between Lock and
// Unlock before the mixer's later reads.
struct SampleMemory {
  explicit SampleMemory(uint32_t byteCount)
      : bytes(std::make_unique<uint8_t[]>(byteCount)), size(byteCount) {}
  const std::unique_ptr<uint8_t[]> bytes;  // zero-initialised
  const uint32_t size;
  std::atomic<uint32_t> unlocks{0};
};

class SecondaryBuffer {
 public:
  SecondaryBuffer(std::shared_ptr<SoundMixer> mixer, const WaveFormat& format, uint32_t flags,
                  std::shared_ptr<SampleMemory> memory);
  ~SecondaryBuffer();
  SecondaryBuffer(const SecondaryBuffer&) = delete;
  SecondaryBuffer& operator=(const SecondaryBuffer&) = delete;

  // Play and write cursor in bytes, both in [0, size). Both are 0 before the first play; while
  // playing, the write cursor runs a safety margin (what the next mix may read) ahead of the
  // play cursor; when stopped it equals the play cursor. Either pointer may be null.
  HResult GetCurrentPosition(uint32_t* play, uint32_t* write) const;
  HResult GetStatus(uint32_t* status) const;
  // One or two regions covering `bytes` bytes from `offset`; the second starts at byte 0 when
  // the range wraps, and is null with length 0 otherwise.
  HResult Lock(uint32_t offset, uint32_t bytes, void** region1, uint32_t* length1, void** region2,
               uint32_t* length2, uint32_t flags);
  HResult Unlock(void* region1, uint32_t length1, void* region2, uint32_t length2);
  HResult Play(uint32_t reserved, uint32_t priority, uint32_t flags);
  HResult Stop();
  HResult SetCurrentPosition(uint32_t position);
  HResult SetFrequency(uint32_t frequency);
  HResult GetFrequency(uint32_t* frequency) const;
  HResult SetVolume(int32_t volume);
  HResult GetVolume(int32_t* volume) const;
  HResult SetPan(int32_t pan);
  HResult GetPan(int32_t* pan) const;
  // Succeeds only for buffers created with kBufferCtrlPositionNotify.
  HResult QueryNotify() const;
  // Checks the positions (each below the size, or 0xFFFFFFFF for "stopped"). Nothing waits on
  // notifications in this device, so they are not kept.
  HResult SetNotificationPositions(std::span<const uint32_t> offsets) const;
  // The 3D interface: only buffers created with kBufferCtrl3D have one. Parameters out of range
  // are refused and leave the current ones.
  HResult Query3D() const;
  HResult Get3DParameters(Buffer3DParameters* parameters) const;
  HResult Set3DParameters(const Buffer3DParameters& parameters);

  const WaveFormat& Format() const { return format_; }
  uint32_t Flags() const { return flags_; }
  uint32_t Size() const { return memory_->size; }
  const std::shared_ptr<SampleMemory>& Memory() const { return memory_; }

  // Adds `frames` output frames of this buffer, if playing, to `accumulator` and advances the
  // play cursor; a 3D buffer is placed against `listener`. Called by the mixer with its lock
  // held.
  void MixInto(int32_t* accumulator, uint32_t frames, uint32_t outputChannels, uint32_t outputRate,
               const Listener3DParameters& listener) noexcept;

 private:
  void UpdateGains();
  uint32_t WriteMarginFrames() const;

  const std::shared_ptr<SoundMixer> mixer_;
  const WaveFormat format_;
  const uint32_t flags_;
  const std::shared_ptr<SampleMemory> memory_;
  const uint32_t frames_;  // whole frames in the memory

  std::atomic<uint64_t> position_{0};  // play cursor in frames, 32.32 fixed point
  std::atomic<uint32_t> status_{0};
  std::atomic<uint32_t> frequency_;
  std::atomic<int32_t> volume_{0};
  std::atomic<int32_t> pan_{0};
  std::atomic<uint64_t> gains_;  // left gain << 32 | right gain, each 16.16 fixed point
  Buffer3DParameters params3D_;  // guarded by the mixer's control mutex
};

}  // namespace velmo
