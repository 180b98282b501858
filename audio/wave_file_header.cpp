#include "audio/wave_file_header.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace velmo {

namespace {

// What follows the 18-byte record in an extensible "fmt " chunk: valid bits, channel mask and
// the sub-format identifier, whose first two bytes are the plain format tag.
struct ExtensibleTail {
  uint16_t validBits;
  uint32_t channelMask;
  std::array<uint8_t, 16> subFormat;
};
constexpr size_t kExtensibleTailBytes = 22;
constexpr std::array<uint8_t, 14> kSubFormatSuffix{0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                   0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

bool IsPcmSubFormat(const std::array<uint8_t, 16>& subFormat) {
  return subFormat[0] == kWaveFormatPcm && subFormat[1] == 0 &&
         std::equal(kSubFormatSuffix.begin(), kSubFormatSuffix.end(), subFormat.begin() + 2);
}

}  // namespace

WaveHeaderStatus ReadWaveFileHeader(RiffReader& reader, WaveFileHeader& header) {
  if (!reader.DescendRiff(FourCC("WAVE"))) return WaveHeaderStatus::kNotWave;
  const std::optional<uint32_t> fmtBytes = reader.DescendChunk(FourCC("fmt "));
  if (!fmtBytes) return WaveHeaderStatus::kNoFmtChunk;
  const size_t recordBytes = std::min<size_t>(*fmtBytes, sizeof(WaveFormat));
  uint8_t record[sizeof(WaveFormat)];
  if (reader.Read(record, recordBytes) != recordBytes) return WaveHeaderStatus::kBadFmtChunk;
  std::memcpy(&header.format, record, recordBytes);
  if (header.format.wFormatTag == kWaveFormatExtensible &&
      *fmtBytes >= sizeof(WaveFormat) + kExtensibleTailBytes) {
    uint8_t tail[kExtensibleTailBytes];
    if (reader.Read(tail, sizeof tail) != sizeof tail) return WaveHeaderStatus::kBadFmtChunk;
    ExtensibleTail extensible{};
    std::memcpy(&extensible.validBits, tail, 2);
    std::memcpy(&extensible.channelMask, tail + 2, 4);
    std::memcpy(extensible.subFormat.data(), tail + 6, 16);
    if (IsPcmSubFormat(extensible.subFormat)) {
      header.format.wFormatTag = kWaveFormatPcm;
      header.format.cbSize = 0;
    }
  }
  const std::optional<uint32_t> dataBytes = reader.DescendChunk(FourCC("data"));
  if (!dataBytes) return WaveHeaderStatus::kNoDataChunk;
  header.dataBytes = *dataBytes;
  return WaveHeaderStatus::kOk;
}

}  // namespace velmo
