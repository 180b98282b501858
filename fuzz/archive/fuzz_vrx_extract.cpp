// Feeds arbitrary bytes to the archive reader as an archive; any failure must
// be an EVRXError. The first byte is not part of the archive: its low bits
// choose the ID looked up, and its top bit asks for a well-formed signature and
// a directory of at most three entries, so that most inputs get past the header.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <istream>
#include <streambuf>
#include <string>
#include <vector>

#include "archive/vrx.h"

namespace {

// Reads a byte range in place, with seeking.
class MemoryBuffer : public std::streambuf {
 public:
  MemoryBuffer(const std::uint8_t* data, std::size_t size) {
    char* begin = const_cast<char*>(reinterpret_cast<const char*>(data));
    setg(begin, begin, begin + size);
  }

 protected:
  pos_type seekoff(off_type offset, std::ios_base::seekdir dir, std::ios_base::openmode) override {
    off_type base = 0;
    if (dir == std::ios_base::cur) base = gptr() - eback();
    if (dir == std::ios_base::end) base = egptr() - eback();
    return seekpos(pos_type(base + offset), std::ios_base::in);
  }
  pos_type seekpos(pos_type pos, std::ios_base::openmode) override {
    if (pos < 0 || pos > egptr() - eback()) return pos_type(off_type(-1));
    setg(eback(), eback() + pos, egptr());
    return pos;
  }
};

const std::string kIDs[] = {"", "a", "Voice.WAV", "x", "音"};

void ShapeHeader(std::vector<std::uint8_t>& archive) {
  constexpr std::uint8_t kSignature[] = {'V', 0, 'R', 0, 'X', 0, '0', 0};
  if (archive.size() < 16) return;
  std::copy(std::begin(kSignature), std::end(kSignature), archive.begin() + 4);
  archive[12] %= 4;
  std::fill(archive.begin() + 13, archive.begin() + 16, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string& id = kIDs[(data[0] & 0x7F) % std::size(kIDs)];
  std::vector<std::uint8_t> bytes(data + 1, data + size);
  if ((data[0] & 0x80) != 0) ShapeHeader(bytes);
  MemoryBuffer buffer(bytes.data(), bytes.size());
  std::istream archive(&buffer);
  try {
    const std::vector<std::uint8_t> entry = velmo::ExtractFromVRXStream(archive, id);
    volatile std::size_t sink = entry.size();
    (void)sink;
  } catch (const velmo::EVRXError&) {
  }
  return 0;
}
