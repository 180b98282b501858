// Fixed properties of the PCM that velmo-render writes and of the engine's MIDI intake that the
// schedulers have to respect.
#pragma once

#include <cstdint>

namespace velmo::render {

inline constexpr int32_t kSampleRate = 22050;    // frames per second
inline constexpr int32_t kFramesPerBlock = 221;  // frames the engine renders per block
inline constexpr int32_t kChannels = 2;          // interleaved left, right
inline constexpr int32_t kBytesPerSample = 2;    // signed 16-bit little-endian
inline constexpr int32_t kSamplesPerBlock = kFramesPerBlock * kChannels;
inline constexpr int32_t kBytesPerBlock = kSamplesPerBlock * kBytesPerSample;

// The engine's MIDI byte queue holds this many unread bytes; a byte pushed onto a full queue is
// dropped.
inline constexpr int32_t kMidiQueueCapacity = 512;

}  // namespace velmo::render
