// RIFF WAVE files built byte by byte for the tests: any chunk order, sizes that lie, any fmt.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace velmo::testing {

struct Chunk {
  std::string id;                      // four characters
  std::vector<uint8_t> body;           // written as is, then a pad byte when odd
  std::optional<uint32_t> declared{};  // the size field, when it is to differ from the body
};

// "RIFF", the size of what follows, the form type, then the chunks.
std::vector<uint8_t> RiffFile(const std::string& form, const std::vector<Chunk>& chunks);

// A "fmt " body of 16, 18 or 40 bytes (40: extensible, with `subFormatTag` as sub-format).
std::vector<uint8_t> FmtBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                             uint32_t size = 16, uint16_t subFormatTag = 1);

// Interleaved test samples: 16-bit little-endian or 8-bit unsigned, `frames` x `channels`,
// each different from its neighbours.
std::vector<uint8_t> PcmBytes(uint32_t frames, uint16_t channels, uint16_t bits, uint32_t seed);

// A plain PCM WAVE file holding `data`.
std::vector<uint8_t> PcmWave(uint16_t channels, uint32_t rate, uint16_t bits,
                             const std::vector<uint8_t>& data, uint32_t fmtSize = 16);

void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

// A fresh empty folder under the test temp folder, removed with the object.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace velmo::testing
