// The header of a RIFF WAVE file: the "WAVE" form, its "fmt " record and where "data" starts.
#pragma once

#include <cstdint>

#include "audio/riff_reader.h"
#include "audio/wave_format.h"

namespace velmo {

inline constexpr uint16_t kWaveFormatExtensible = 0xFFFE;

enum class WaveHeaderStatus { kOk, kNotWave, kNoFmtChunk, kBadFmtChunk, kNoDataChunk };

struct WaveFileHeader {
  WaveFormat format;       // fields the "fmt " chunk does not reach keep their defaults
  uint32_t dataBytes = 0;  // the declared size of "data"
};

// Finds the "WAVE" form, reads its "fmt " chunk into the 18-byte record and descends into
// "data", where `reader` then stands. The record gets the first 18 bytes of a longer chunk; an
// extensible record whose sub-format is PCM becomes a plain PCM record (tag 1, no extra bytes).
// Nothing checks whether the format can be played: the device refuses what it cannot mix.
WaveHeaderStatus ReadWaveFileHeader(RiffReader& reader, WaveFileHeader& header);

}  // namespace velmo
