// The sound bank image as the builder writes it and `velmo-bank info` reads it: seven
// count-prefixed sections, little-endian, no header.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmo {

inline constexpr size_t kImageInstruments = 500;
inline constexpr size_t kImageSamples = 3000;
inline constexpr size_t kImageWaveSlots = 3000;
inline constexpr size_t kImageBankMap = 128;
inline constexpr size_t kImageDrumKitMap = 128;
inline constexpr size_t kImageMapRows = 16;
inline constexpr size_t kImageInstrumentBytes = 73;
inline constexpr size_t kImageSampleBytes = 12;
inline constexpr size_t kImageWaveHeaderBytes = 8;
inline constexpr size_t kMaxWaveFrames = 65535 - kImageWaveHeaderBytes;
inline constexpr uint16_t kImageNoInstrument = 0xFFFF;

// One instrument record, field for field as stored (73 bytes).
struct ImageInstrument {
  std::array<uint16_t, 16> regionSample{};
  std::array<int8_t, 16> regionTopKey{};
  std::array<int8_t, 6> envRate{};
  std::array<int8_t, 6> envLevel{};
  std::array<int8_t, 6> envRateKeyScale{};
  int8_t envMode = 0;
  int8_t vibratoDepth = 0;
  int8_t lfoRate = 0;
  int8_t level = 0;
  int8_t levelKeyScale = 0;
  int8_t pitchKeyTrack = 0;
  int8_t tremoloDepth = 0;

  bool IsEmpty() const;
  int32_t RegionCount() const;  // regions up to and including the last with a sample
};

// One sample record (12 bytes).
struct ImageSample {
  int16_t tune = 0;
  uint16_t loopMode = 0;
  uint16_t start = 0;
  uint16_t loopStart = 0;
  uint16_t loopEnd = 0;  // inclusive
  uint16_t waveSlot = 0;
};

struct BankImage {
  std::vector<ImageInstrument> instruments = std::vector<ImageInstrument>(kImageInstruments);
  std::vector<ImageSample> samples = std::vector<ImageSample>(kImageSamples);
  // Whole wave blocks (size word, reserved, loop start, loop end, 8-bit PCM); empty = no wave.
  std::vector<std::vector<uint8_t>> waves = std::vector<std::vector<uint8_t>>(kImageWaveSlots);
  std::vector<uint8_t> bankMap = std::vector<uint8_t>(kImageBankMap);
  std::vector<uint8_t> drumKitMap = std::vector<uint8_t>(kImageDrumKitMap);
  std::vector<std::array<uint16_t, 128>> programMap =
      std::vector<std::array<uint16_t, 128>>(kImageMapRows);
  std::vector<std::array<uint16_t, 128>> drumNoteMap =
      std::vector<std::array<uint16_t, 128>>(kImageMapRows);
};

// Where each section's count word lies and how many items it has.
struct ImageLayout {
  std::array<size_t, 7> counts{};
  std::array<size_t, 7> offsets{};
  size_t totalBytes = 0;     // bytes the seven sections take
  size_t trailingBytes = 0;  // bytes after section 7 (the loader ignores them)
};

class BankImageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A wave block holding `pcm` with the header's loop copies.
std::vector<uint8_t> MakeWaveBlock(std::span<const int8_t> pcm, uint16_t loopStart,
                                   uint16_t loopEnd);

std::vector<uint8_t> SerializeBankImage(const BankImage& image);

// Reads an image, checking every count against its table's capacity, every wave size
// (8 bytes at least) and every read; bytes after section 7 are counted in the layout.
// Throws BankImageError naming the section and byte offset.
BankImage ParseBankImage(std::span<const uint8_t> bytes, ImageLayout* layout = nullptr);

}  // namespace velmo
