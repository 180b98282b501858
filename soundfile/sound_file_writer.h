// Writes interleaved 16-bit PCM as a WAV or FLAC file (through libsndfile) or headerless.
//
// A named file is written next to its target and replaces it only when Finish succeeds
// (fileio::AtomicOutputFile), so a failed write leaves the old file as it was. "-" is standard
// output, and an existing target that is not a regular file (a device, a pipe) is written in
// place: raw samples stream out as they come; a WAV or FLAC file, whose header needs the final
// size, is assembled in memory and written at Finish.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>

namespace velmo::soundfile {

class SoundFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class Container { kWav, kFlac, kRaw };

// FLAC for a name ending in ".flac" (any case), WAV otherwise.
Container ContainerForPath(const std::string& path);

struct PcmLayout {
  uint32_t sampleRate = 22050;
  uint16_t channels = 2;  // samples per frame, interleaved
};

class SoundFileWriter {
 public:
  // Throws SoundFileError when the output cannot be created.
  SoundFileWriter(const std::string& path, Container container, PcmLayout layout);
  ~SoundFileWriter();  // without Finish, the target is left as it was
  SoundFileWriter(const SoundFileWriter&) = delete;
  SoundFileWriter& operator=(const SoundFileWriter&) = delete;

  // Writes whole frames (`samples.size()` a multiple of the channel count). Throws on failure.
  void Write(std::span<const int16_t> samples);
  // Completes the file (header, flush, replace). The output is valid only after this.
  void Finish();

 private:
  class Sink;
  std::unique_ptr<Sink> sink_;
};

}  // namespace velmo::soundfile
