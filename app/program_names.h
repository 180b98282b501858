// The 128 General MIDI program names of the program list, by program number.
#pragma once

#include <array>

namespace velmo {

inline constexpr int kProgramCount = 128;

extern const std::array<const char*, kProgramCount> kProgramNames;

}  // namespace velmo
