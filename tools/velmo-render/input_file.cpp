#include "tools/velmo-render/input_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace velmo::render {

std::vector<uint8_t> ReadInputFile(const std::string& path, const std::string& what,
                                   uint64_t maxBytes) {
  const auto fail = [&](const std::string& problem) {
    return InputError("cannot read " + what + " " + path + ": " + problem);
  };
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                             &std::fclose);
  if (!file) throw fail(std::strerror(errno));

  std::vector<uint8_t> bytes;
  uint8_t chunk[65536];
  while (true) {
    const size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
    if (got == 0) break;
    if (bytes.size() + got > maxBytes) {
      throw fail("larger than " + std::to_string(maxBytes >> 20) + " MiB");
    }
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
  if (std::ferror(file.get())) throw fail(std::strerror(errno));
  return bytes;
}

}  // namespace velmo::render
