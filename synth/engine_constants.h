// Fixed sizes of the engine's output stream.
#pragma once

#include <cstdint>

namespace velmo {

inline constexpr int32_t kOutputRate = 22050;    // frames per second
inline constexpr int32_t kFramesPerBlock = 221;  // frames rendered per tick
inline constexpr int32_t kRingBlocks = 10;       // blocks in the ring
inline constexpr int32_t kBlockBytes = 884;      // 221 frames x 2 channels x 2 bytes
inline constexpr int32_t kHalfBytes = 4420;      // five blocks, what the output takes at once
inline constexpr int32_t kBlockSamples = kFramesPerBlock * 2;  // int16 slots per block, L R L R

}  // namespace velmo
