// Writes rendered PCM (22050 Hz, 16-bit, stereo) to a file or to standard output, either as a
// WAV file or headerless (raw little-endian samples).
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmo::render {

inline constexpr size_t kWavHeaderSize = 44;
// The RIFF size field is 32 bits wide and counts the 36 header bytes after it.
inline constexpr uint64_t kMaxWavDataBytes = 0xFFFFFFFFu - 36 - 1;  // even

// The canonical 44-byte header of a PCM WAV file holding `dataBytes` bytes of samples.
std::array<uint8_t, kWavHeaderSize> MakeWavHeader(uint32_t dataBytes);

class OutputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class OutputContainer { kWav, kRaw };

// Sample sink for one render. The WAV header needs the data size: when the size is given up
// front it is written first; otherwise the header is patched at Finish on a seekable file, and
// on a pipe the samples are kept in memory until Finish. Every failure throws OutputError.
class PcmWriter {
 public:
  // `path` "-" is standard output.
  PcmWriter(const std::string& path, OutputContainer container,
            std::optional<uint64_t> knownDataBytes);
  ~PcmWriter();
  PcmWriter(const PcmWriter&) = delete;
  PcmWriter& operator=(const PcmWriter&) = delete;

  void Write(std::span<const int16_t> samples);
  // Completes the header and flushes; the output is valid only after this.
  void Finish();

 private:
  void WriteBytes(std::span<const uint8_t> bytes);
  void Fail(const std::string& what) const;

  std::string path_;
  std::FILE* file_ = nullptr;
  bool ownsFile_ = false;  // until Finish closes it
  bool removeIfUnfinished_ = false;
  OutputContainer container_;
  std::optional<uint64_t> knownDataBytes_;
  bool patchHeaderAtFinish_ = false;
  bool holdInMemory_ = false;
  uint64_t dataBytes_ = 0;
  std::vector<uint8_t> scratch_;
  std::vector<uint8_t> held_;
};

}  // namespace velmo::render
