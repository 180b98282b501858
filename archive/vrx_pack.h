#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace velmo {

// Packs data with the archive's block-wise byte pair encoding: blocks of at
// most 8192 source bytes and at most 200 distinct byte values, each written as
// its pair table, a u32 packed length and the packed bytes. An empty input
// still gives one (empty) block.
std::vector<std::uint8_t> PackVRXData(std::span<const std::uint8_t> source);

// Expands packed data. Raises EVRXError when the data is truncated or corrupt,
// or does not expand to exactly unpacked_size bytes.
std::vector<std::uint8_t> UnpackVRXData(std::span<const std::uint8_t> packed,
                                        std::uint32_t unpacked_size);

// Receives unpacked bytes piece by piece, in order.
using VRXByteSink = std::function<void(std::span<const std::uint8_t>)>;

// UnpackVRXData handing each block's bytes (8192 at most) to `sink` as soon as it is expanded,
// so that memory stays small whatever the unpacked size. The checks are the same, but bytes
// before a fault found later have already gone to the sink.
void UnpackVRXDataTo(std::span<const std::uint8_t> packed, std::uint32_t unpacked_size,
                     const VRXByteSink& sink);

}  // namespace velmo
