#include "audio/riff_reader.h"

#include <algorithm>

namespace velmo {

namespace {

constexpr uint32_t kRiffId = FourCC("RIFF");

uint32_t LittleEndian32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

}  // namespace

std::optional<RiffReader::Header> RiffReader::ReadHeader() {
  uint8_t bytes[8];
  if (source_.Read(bytes, sizeof bytes) != sizeof bytes) return std::nullopt;
  return Header{LittleEndian32(bytes), LittleEndian32(bytes + 4)};
}

bool RiffReader::SkipBody(uint32_t size) {
  return source_.Skip(static_cast<uint64_t>(size) + (size & 1u));
}

bool RiffReader::DescendRiff(uint32_t formType) {
  inForm_ = false;
  inChunk_ = false;
  while (const std::optional<Header> header = ReadHeader()) {
    if (header->id == kRiffId) {
      uint8_t form[4];
      if (header->size < 4 || source_.Read(form, sizeof form) != sizeof form) return false;
      if (LittleEndian32(form) == formType) {
        inForm_ = true;
        return true;
      }
      if (!SkipBody(header->size - 4)) return false;
    } else if (!SkipBody(header->size)) {
      return false;
    }
  }
  return false;
}

std::optional<uint32_t> RiffReader::DescendChunk(uint32_t id) {
  if (!inForm_) return std::nullopt;
  if (inChunk_ && !Ascend()) return std::nullopt;
  // The form's own size is not trusted as a bound: writers that stream leave it wrong, and the
  // chunks themselves end where the source ends.
  while (const std::optional<Header> header = ReadHeader()) {
    if (header->id == id) {
      inChunk_ = true;
      chunkLeft_ = header->size;
      chunkPadded_ = (header->size & 1u) != 0;
      return header->size;
    }
    if (!SkipBody(header->size)) return std::nullopt;
  }
  return std::nullopt;
}

size_t RiffReader::Read(void* destination, size_t size) {
  if (!inChunk_) return 0;
  const size_t wanted = static_cast<size_t>(std::min<uint64_t>(size, chunkLeft_));
  const size_t count = source_.Read(destination, wanted);
  chunkLeft_ -= count;
  return count;
}

bool RiffReader::Ascend() {
  if (!inChunk_) return false;
  inChunk_ = false;
  const uint64_t left = chunkLeft_ + (chunkPadded_ ? 1 : 0);
  chunkLeft_ = 0;
  return source_.Skip(left);
}

}  // namespace velmo
