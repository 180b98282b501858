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

// Largest inputs read, far above any real script or MIDI file: the parsed form takes several
// times the file's size in memory, so a giant file is refused instead of exhausting it.
inline constexpr uint64_t kMaxScriptBytes = uint64_t{64} << 20;
inline constexpr uint64_t kMaxMidiFileBytes = uint64_t{64} << 20;

// `what` names the file's role in messages ("script", "MIDI file"). Throws InputError.
std::vector<uint8_t> ReadInputFile(const std::string& path, const std::string& what,
                                   uint64_t maxBytes);

}  // namespace velmo::render
