// The 18-byte PCM format record shared by sound buffers, the primary buffer and wave files.
#pragma once

#include <cstdint>

namespace velmo {

inline constexpr uint16_t kWaveFormatPcm = 1;

#pragma pack(push, 1)
struct WaveFormat {
  uint16_t wFormatTag = kWaveFormatPcm;
  uint16_t nChannels = 0;
  uint32_t nSamplesPerSec = 0;   // frames per second
  uint32_t nAvgBytesPerSec = 0;  // nSamplesPerSec x nBlockAlign
  uint16_t nBlockAlign = 0;      // bytes per frame
  uint16_t wBitsPerSample = 0;   // 8 (unsigned) or 16 (signed)
  uint16_t cbSize = 0;           // extra bytes after the record, always 0 for PCM
};
#pragma pack(pop)
static_assert(sizeof(WaveFormat) == 18);

// A PCM record with nBlockAlign = (channels x bits) >> 3 and the matching byte rate.
inline WaveFormat MakePcmFormat(uint32_t samplesPerSec, uint32_t bitsPerSample, bool stereo) {
  WaveFormat format;
  format.wFormatTag = kWaveFormatPcm;
  format.nChannels = stereo ? 2 : 1;
  format.nSamplesPerSec = samplesPerSec;
  format.nBlockAlign = static_cast<uint16_t>((format.nChannels * bitsPerSample) >> 3);
  format.nAvgBytesPerSec = samplesPerSec * format.nBlockAlign;
  format.wBitsPerSample = static_cast<uint16_t>(bitsPerSample);
  format.cbSize = 0;
  return format;
}

// Formats the software device can mix: PCM, one or two channels, 8 or 16 bits, a sane rate.
inline bool IsMixablePcm(const WaveFormat& format) {
  const uint32_t channels = format.nChannels;
  const uint32_t bits = format.wBitsPerSample;
  return format.wFormatTag == kWaveFormatPcm && (channels == 1 || channels == 2) &&
         (bits == 8 || bits == 16) && format.nBlockAlign == channels * bits / 8 &&
         format.nSamplesPerSec >= 100 && format.nSamplesPerSec <= 200000;
}

}  // namespace velmo
