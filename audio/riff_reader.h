// A RIFF chunk reader over a byte source: finds a RIFF form and the chunks inside it, skipping
// every other chunk (with its pad byte when its size is odd), and never reads past a chunk.
#pragma once

#include <cstdint>
#include <optional>

#include "audio/byte_source.h"

namespace velmo {

// A chunk identifier: four characters, the first in the lowest byte.
constexpr uint32_t FourCC(const char (&text)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(text[0])) |
         static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(text[3])) << 24;
}

class RiffReader {
 public:
  explicit RiffReader(ByteSource& source) : source_(source) {}

  // Finds a top-level "RIFF" chunk whose form type is `formType`, skipping other top-level
  // chunks; afterwards the reader stands at the first chunk inside the form.
  bool DescendRiff(uint32_t formType);
  // Finds the chunk `id` inside the form, searching forward from where the reader stands.
  // Returns its declared size, the reader standing at its first byte.
  std::optional<uint32_t> DescendChunk(uint32_t id);
  // Reads from the chunk descended into, never past its declared end. Returns the bytes read.
  size_t Read(void* destination, size_t size);
  // Leaves the current chunk: skips what is left of it and its pad byte.
  bool Ascend();

 private:
  struct Header {
    uint32_t id;
    uint32_t size;
  };
  std::optional<Header> ReadHeader();
  bool SkipBody(uint32_t size);

  ByteSource& source_;
  bool inForm_ = false;
  bool inChunk_ = false;
  uint64_t chunkLeft_ = 0;  // bytes of the current chunk not yet read
  bool chunkPadded_ = false;
};

}  // namespace velmo
