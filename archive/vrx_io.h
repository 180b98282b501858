#pragma once

#include <cstdint>
#include <fstream>
#include <istream>
#include <span>
#include <string>

namespace velmo {

// File and stream helpers of the archive unit.

// Opens a file for reading; raises std::system_error naming the file on failure, a directory
// included.
std::ifstream OpenVRXInputFile(const std::string& file_name);

// The stream's length in bytes (it must be seekable); leaves it at position 0.
std::uint64_t VRXStreamLength(std::istream& stream);

// Reads out.size() bytes at absolute position `pos`; raises EVRXError with
// "VRX archive is truncated: " + what when the stream holds fewer.
void ReadVRXBytesAt(std::istream& stream, std::uint64_t pos, std::span<std::uint8_t> out,
                    const std::string& what);

}  // namespace velmo
