// Checks on input files made before any work starts, so that a tool refuses a directory, a
// FIFO or a device with a message that says so, instead of reading it as an endless or empty
// file.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace velmo::fileio {

class InputFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws InputFileError naming `role` ("MIDI file", "source") and `path` unless the path is a
// regular file (after following links) that this process may read.
void RequireRegularFile(const std::filesystem::path& path, const std::string& role);

}  // namespace velmo::fileio
