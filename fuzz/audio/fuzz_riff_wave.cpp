// Feeds arbitrary bytes to the RIFF reader as a WAVE file: the header is read, then the "data"
// chunk is read in pieces of a size chosen by the first byte, as the loader fills its buffer.
// Nothing may be read past a chunk's end or the input's end.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "audio/byte_source.h"
#include "audio/riff_reader.h"
#include "audio/wave_file_header.h"

namespace {

constexpr size_t kMaxDataRead = 1 << 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t piece = 1 + data[0] % 64;
  velmo::SpanByteSource source(std::span<const uint8_t>(data + 1, size - 1));
  velmo::RiffReader reader(source);
  velmo::WaveFileHeader header;
  if (velmo::ReadWaveFileHeader(reader, header) != velmo::WaveHeaderStatus::kOk) return 0;
  std::vector<uint8_t> samples(std::min<size_t>(header.dataBytes, kMaxDataRead));
  size_t filled = 0;
  while (filled < samples.size()) {
    const size_t count =
        reader.Read(samples.data() + filled, std::min(piece, samples.size() - filled));
    if (count == 0) break;
    filled += count;
  }
  if (filled > size) __builtin_trap();
  reader.Ascend();
  return 0;
}
