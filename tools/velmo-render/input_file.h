// Reads an input file (script, MIDI file) whole into memory.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmo::render {

class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Inputs are text scripts and MIDI files; anything bigger than this is refused rather than read.
inline constexpr uint64_t kMaxInputBytes = uint64_t{1} << 30;

// `what` names the file's role in messages ("script", "MIDI file"). Throws InputError.
std::vector<uint8_t> ReadInputFile(const std::string& path, const std::string& what);

}  // namespace velmo::render
