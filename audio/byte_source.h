// Sequential byte sources a RIFF file is read from: a file on disk or bytes already in memory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

namespace velmo {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to `size` bytes; returns how many arrived (fewer only at the end of the source).
  virtual size_t Read(void* destination, size_t size) = 0;
  // Moves `count` bytes ahead; false when the source ends first.
  virtual bool Skip(uint64_t count) = 0;
};

// Bytes in memory, owned by the source.
class MemoryByteSource final : public ByteSource {
 public:
  explicit MemoryByteSource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  size_t Read(void* destination, size_t size) override;
  bool Skip(uint64_t count) override;

 private:
  std::vector<uint8_t> bytes_;
  size_t position_ = 0;
};

// Bytes viewed in memory (the caller keeps them alive).
class SpanByteSource final : public ByteSource {
 public:
  explicit SpanByteSource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  size_t Read(void* destination, size_t size) override;
  bool Skip(uint64_t count) override;

 private:
  std::span<const uint8_t> bytes_;
  size_t position_ = 0;
};

// A file opened for buffered reading; closed with the source.
class FileByteSource final : public ByteSource {
 public:
  // Check IsOpen: a file that cannot be opened gives a source that reads nothing.
  explicit FileByteSource(const std::filesystem::path& path);
  bool IsOpen() const { return file_ != nullptr; }
  size_t Read(void* destination, size_t size) override;
  bool Skip(uint64_t count) override;

 private:
  struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  std::unique_ptr<std::FILE, Closer> file_;
};

}  // namespace velmo
