#include "archive/vrx_io.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "archive/vrx_error.h"

namespace velmo {

std::ifstream OpenVRXInputFile(const std::string& file_name) {
  // A directory opens as a stream that claims to be 2^63 bytes long.
  std::error_code ignored;
  if (std::filesystem::is_directory(file_name, ignored)) {
    throw std::system_error(EISDIR, std::generic_category(), "cannot open '" + file_name + "'");
  }
  errno = 0;
  std::ifstream file(file_name, std::ios::binary);
  if (!file) {
    throw std::system_error(errno != 0 ? errno : EIO, std::generic_category(),
                            "cannot open '" + file_name + "'");
  }
  return file;
}

std::uint64_t VRXStreamLength(std::istream& stream) {
  stream.clear();
  stream.seekg(0, std::ios::end);
  const std::streamoff end = stream.tellg();
  stream.seekg(0, std::ios::beg);
  if (end < 0 || !stream) throw EVRXError("VRX archive stream cannot be measured (not seekable)");
  return static_cast<std::uint64_t>(end);
}

void ReadVRXBytesAt(std::istream& stream, std::uint64_t pos, std::span<std::uint8_t> out,
                    const std::string& what) {
  stream.clear();
  stream.seekg(static_cast<std::streamoff>(pos), std::ios::beg);
  if (stream)
    stream.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
  if (!stream || static_cast<std::size_t>(stream.gcount()) != out.size()) {
    throw EVRXError("VRX archive is truncated: " + what);
  }
}

}  // namespace velmo
