#include "audio/byte_source.h"

#include <sys/stat.h>
#include <algorithm>
#include <cstring>

namespace velmo {

namespace {

size_t ReadSpan(std::span<const uint8_t> bytes, size_t& position, void* destination, size_t size) {
  const size_t count = std::min(size, bytes.size() - position);
  if (count > 0) std::memcpy(destination, bytes.data() + position, count);
  position += count;
  return count;
}

bool SkipSpan(std::span<const uint8_t> bytes, size_t& position, uint64_t count) {
  const size_t left = bytes.size() - position;
  if (count > left) {
    position = bytes.size();
    return false;
  }
  position += static_cast<size_t>(count);
  return true;
}

}  // namespace

size_t MemoryByteSource::Read(void* destination, size_t size) {
  return ReadSpan(bytes_, position_, destination, size);
}

bool MemoryByteSource::Skip(uint64_t count) {
  return SkipSpan(bytes_, position_, count);
}

size_t SpanByteSource::Read(void* destination, size_t size) {
  return ReadSpan(bytes_, position_, destination, size);
}

bool SpanByteSource::Skip(uint64_t count) {
  return SkipSpan(bytes_, position_, count);
}

FileByteSource::FileByteSource(const std::filesystem::path& path)
    : file_(std::fopen(path.c_str(), "rb")) {
  // A folder opens on Linux but is no file to read.
  struct stat info {};
  if (file_ != nullptr && (fstat(fileno(file_.get()), &info) != 0 || !S_ISREG(info.st_mode))) {
    file_.reset();
  }
}

size_t FileByteSource::Read(void* destination, size_t size) {
  if (file_ == nullptr) return 0;
  return std::fread(destination, 1, size, file_.get());
}

bool FileByteSource::Skip(uint64_t count) {
  if (file_ == nullptr) return false;
  // Seeking past the end succeeds on a file, so compare with its size.
  const long here = std::ftell(file_.get());
  struct stat info {};
  if (here < 0 || fstat(fileno(file_.get()), &info) != 0) return false;
  const uint64_t left = static_cast<uint64_t>(info.st_size) > static_cast<uint64_t>(here)
                            ? static_cast<uint64_t>(info.st_size) - static_cast<uint64_t>(here)
                            : 0;
  if (count > left) {
    std::fseek(file_.get(), 0, SEEK_END);
    return false;
  }
  return std::fseek(file_.get(), static_cast<long>(count), SEEK_CUR) == 0;
}

}  // namespace velmo
