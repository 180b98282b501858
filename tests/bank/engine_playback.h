// Plays single notes of a bank image through the engine for the tests.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace velmo::testing {

// Loads the image into a fresh engine, sends a program change (melodic channels) and a note-on
// with velocity 100, and returns `blocks` rendered blocks as mono (left + right) samples.
std::vector<int32_t> PlayNote(std::span<const uint8_t> image, int32_t channel, int32_t program,
                              int32_t key, int32_t blocks);

// Frequency from the mean spacing of rising zero crossings in samples [from, from + count).
double ZeroCrossingFrequency(const std::vector<int32_t>& samples, size_t from, size_t count);

double RmsOf(const std::vector<int32_t>& samples, size_t from, size_t count);

}  // namespace velmo::testing
