// Writes rendered PCM (22050 Hz, 16-bit, stereo) to a file or to standard output: as a WAV file
// (a FLAC file when the name ends in ".flac") or headerless (raw little-endian samples).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

#include "soundfile/sound_file_writer.h"

namespace velmo::render {

// The RIFF size field is 32 bits wide and counts the 36 header bytes after it.
inline constexpr uint64_t kMaxWavDataBytes = 0xFFFFFFFFu - 36 - 1;  // even

class OutputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class OutputContainer { kWav, kRaw };

// Sample sink for one render. A named file replaces its target only once Finish succeeds; a
// render that fails half way leaves the old file untouched. Every failure throws OutputError.
class PcmWriter {
 public:
  // `path` "-" is standard output. `knownDataBytes`, when given, is checked at Finish.
  PcmWriter(const std::string& path, OutputContainer container,
            std::optional<uint64_t> knownDataBytes);

  void Write(std::span<const int16_t> samples);
  // Completes the file and flushes; the output is valid only after this.
  void Finish();

 private:
  OutputContainer container_;
  std::optional<uint64_t> knownDataBytes_;
  uint64_t dataBytes_ = 0;
  std::unique_ptr<soundfile::SoundFileWriter> file_;
};

}  // namespace velmo::render
