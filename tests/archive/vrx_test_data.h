#pragma once

#include <cstdint>
#include <vector>

namespace velmo::test {

// Sample inputs for the archive tests, benchmarks and fuzz seeds.

// English and Japanese text (UTF-8), `size` bytes.
std::vector<std::uint8_t> TextData(std::size_t size);
// Signed 16-bit little-endian mono PCM of struck, decaying notes, `size` bytes.
std::vector<std::uint8_t> PcmData(std::size_t size);
// Signed 8-bit PCM of the same notes, as the sound bank keeps its waves.
std::vector<std::uint8_t> Pcm8Data(std::size_t size);
// Uniformly random bytes from a fixed seed.
std::vector<std::uint8_t> RandomData(std::size_t size, std::uint32_t seed);
// The 256 byte values, repeated.
std::vector<std::uint8_t> AllByteValues(std::size_t size);
// An 8192-byte block whose distinct pairs, with those the first replacement
// creates, outnumber the 8192 slots of the pair counts.
std::vector<std::uint8_t> SlotFillingBlock();

}  // namespace velmo::test
