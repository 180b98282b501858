#include "bankbuilder/bank_image.h"

#include <algorithm>

namespace velmo {
namespace {

class ImageWriter {
 public:
  explicit ImageWriter(size_t capacity) { bytes_.reserve(capacity); }
  void U8(uint8_t v) { bytes_.push_back(v); }
  void I8(int8_t v) { bytes_.push_back(static_cast<uint8_t>(v)); }
  void U16(uint16_t v) {
    bytes_.push_back(static_cast<uint8_t>(v & 0xFF));
    bytes_.push_back(static_cast<uint8_t>(v >> 8));
  }
  void Bytes(std::span<const uint8_t> data) {
    bytes_.insert(bytes_.end(), data.begin(), data.end());
  }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
};

class ImageReader {
 public:
  explicit ImageReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  size_t Position() const { return pos_; }
  size_t Remaining() const { return bytes_.size() - pos_; }
  void SetSection(int section) { section_ = section; }

  std::span<const uint8_t> Take(size_t count) {
    if (count > Remaining()) {
      Fail("image ends early: needs " + std::to_string(count) + " bytes, " +
           std::to_string(Remaining()) + " left");
    }
    const auto part = bytes_.subspan(pos_, count);
    pos_ += count;
    return part;
  }
  uint16_t U16() {
    const auto b = Take(2);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
  }
  [[noreturn]] void Fail(const std::string& what) const {
    throw BankImageError("section " + std::to_string(section_) + ", byte offset " +
                         std::to_string(pos_) + ": " + what);
  }

 private:
  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
  int section_ = 1;
};

uint16_t Get16(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

}  // namespace

bool ImageInstrument::IsEmpty() const {
  return RegionCount() == 0;
}

int32_t ImageInstrument::RegionCount() const {
  int32_t count = 0;
  for (int32_t i = 0; i < 16; ++i) {
    if (regionSample[static_cast<size_t>(i)] != 0) count = i + 1;
  }
  return count;
}

std::vector<uint8_t> MakeWaveBlock(std::span<const int8_t> pcm, uint16_t loopStart,
                                   uint16_t loopEnd) {
  if (pcm.size() > kMaxWaveFrames) throw BankImageError("wave longer than a block can hold");
  const auto size = static_cast<uint16_t>(pcm.size() + kImageWaveHeaderBytes);
  std::vector<uint8_t> block;
  block.reserve(size);
  for (const uint16_t word : {size, uint16_t{0}, loopStart, loopEnd}) {
    block.push_back(static_cast<uint8_t>(word & 0xFF));
    block.push_back(static_cast<uint8_t>(word >> 8));
  }
  for (const int8_t s : pcm)
    block.push_back(static_cast<uint8_t>(s));
  return block;
}

std::vector<uint8_t> SerializeBankImage(const BankImage& image) {
  // Written in one allocation: the fixed sections alone are about 90 KB.
  size_t waveBytes = 0;
  for (const auto& block : image.waves)
    waveBytes += std::max<size_t>(2, block.size());
  ImageWriter out(7 * 2 + image.instruments.size() * kImageInstrumentBytes +
                  image.samples.size() * kImageSampleBytes + waveBytes + image.bankMap.size() +
                  image.drumKitMap.size() +
                  (image.programMap.size() + image.drumNoteMap.size()) * 128 * 2);
  out.U16(static_cast<uint16_t>(image.instruments.size()));
  for (const ImageInstrument& r : image.instruments) {
    for (const uint16_t s : r.regionSample)
      out.U16(s);
    for (const int8_t k : r.regionTopKey)
      out.I8(k);
    for (const int8_t v : r.envRate)
      out.I8(v);
    for (const int8_t v : r.envLevel)
      out.I8(v);
    for (const int8_t v : r.envRateKeyScale)
      out.I8(v);
    for (const int8_t v : {r.envMode, r.vibratoDepth, r.lfoRate, r.level, r.levelKeyScale,
                           r.pitchKeyTrack, r.tremoloDepth}) {
      out.I8(v);
    }
  }
  out.U16(static_cast<uint16_t>(image.samples.size()));
  for (const ImageSample& s : image.samples) {
    for (const uint16_t v :
         {static_cast<uint16_t>(s.tune), s.loopMode, s.start, s.loopStart, s.loopEnd, s.waveSlot}) {
      out.U16(v);
    }
  }
  out.U16(static_cast<uint16_t>(image.waves.size()));
  for (const auto& block : image.waves) {
    if (block.empty()) {
      out.U16(0);
    } else {
      out.Bytes(block);
    }
  }
  out.U16(static_cast<uint16_t>(image.bankMap.size()));
  out.Bytes(image.bankMap);
  out.U16(static_cast<uint16_t>(image.drumKitMap.size()));
  out.Bytes(image.drumKitMap);
  for (const auto* map : {&image.programMap, &image.drumNoteMap}) {
    out.U16(static_cast<uint16_t>(map->size()));
    for (const auto& row : *map) {
      for (const uint16_t v : row)
        out.U16(v);
    }
  }
  return out.Take();
}

BankImage ParseBankImage(std::span<const uint8_t> bytes, ImageLayout* layout) {
  static constexpr std::array<size_t, 7> kCapacity = {
      kImageInstruments, kImageSamples, kImageWaveSlots, kImageBankMap,
      kImageDrumKitMap,  kImageMapRows, kImageMapRows};
  BankImage image;
  ImageLayout found;
  ImageReader in(bytes);
  auto count = [&](int section) {
    in.SetSection(section);
    found.offsets[static_cast<size_t>(section - 1)] = in.Position();
    const size_t n = in.U16();
    if (n > kCapacity[static_cast<size_t>(section - 1)]) {
      in.Fail("count " + std::to_string(n) + " exceeds the table's capacity of " +
              std::to_string(kCapacity[static_cast<size_t>(section - 1)]));
    }
    found.counts[static_cast<size_t>(section - 1)] = n;
    return n;
  };

  const size_t instruments = count(1);
  const auto instrumentBytes = in.Take(instruments * kImageInstrumentBytes);
  for (size_t i = 0; i < instruments; ++i) {
    const auto b = instrumentBytes.subspan(i * kImageInstrumentBytes, kImageInstrumentBytes);
    ImageInstrument& r = image.instruments[i];
    for (size_t k = 0; k < 16; ++k)
      r.regionSample[k] = Get16(b, 2 * k);
    for (size_t k = 0; k < 16; ++k)
      r.regionTopKey[k] = static_cast<int8_t>(b[32 + k]);
    for (size_t k = 0; k < 6; ++k) {
      r.envRate[k] = static_cast<int8_t>(b[48 + k]);
      r.envLevel[k] = static_cast<int8_t>(b[54 + k]);
      r.envRateKeyScale[k] = static_cast<int8_t>(b[60 + k]);
    }
    r.envMode = static_cast<int8_t>(b[66]);
    r.vibratoDepth = static_cast<int8_t>(b[67]);
    r.lfoRate = static_cast<int8_t>(b[68]);
    r.level = static_cast<int8_t>(b[69]);
    r.levelKeyScale = static_cast<int8_t>(b[70]);
    r.pitchKeyTrack = static_cast<int8_t>(b[71]);
    r.tremoloDepth = static_cast<int8_t>(b[72]);
  }

  const size_t samples = count(2);
  const auto sampleBytes = in.Take(samples * kImageSampleBytes);
  for (size_t i = 0; i < samples; ++i) {
    const auto b = sampleBytes.subspan(i * kImageSampleBytes, kImageSampleBytes);
    ImageSample& s = image.samples[i];
    s.tune = static_cast<int16_t>(Get16(b, 0));
    s.loopMode = Get16(b, 2);
    s.start = Get16(b, 4);
    s.loopStart = Get16(b, 6);
    s.loopEnd = Get16(b, 8);
    s.waveSlot = Get16(b, 10);
  }

  const size_t waves = count(3);
  for (size_t i = 0; i < waves; ++i) {
    const size_t at = in.Position();
    const uint16_t size = in.U16();
    if (size == 0) continue;
    if (size < kImageWaveHeaderBytes) {
      in.Fail("wave slot " + std::to_string(i) + " at byte " + std::to_string(at) + " has size " +
              std::to_string(size) + ", below the 8-byte header");
    }
    const auto rest = in.Take(size - 2u);
    auto& block = image.waves[i];
    block.push_back(static_cast<uint8_t>(size & 0xFF));
    block.push_back(static_cast<uint8_t>(size >> 8));
    block.insert(block.end(), rest.begin(), rest.end());
  }

  const size_t banks = count(4);
  const auto bankBytes = in.Take(banks);
  std::copy(bankBytes.begin(), bankBytes.end(), image.bankMap.begin());
  const size_t kits = count(5);
  const auto kitBytes = in.Take(kits);
  std::copy(kitBytes.begin(), kitBytes.end(), image.drumKitMap.begin());
  for (int section : {6, 7}) {
    auto& map = section == 6 ? image.programMap : image.drumNoteMap;
    const size_t rows = count(section);
    const auto rowBytes = in.Take(rows * 256);
    for (size_t r = 0; r < rows; ++r) {
      for (size_t k = 0; k < 128; ++k)
        map[r][k] = Get16(rowBytes, r * 256 + 2 * k);
    }
  }
  found.totalBytes = in.Position();
  found.trailingBytes = in.Remaining();
  if (layout != nullptr) *layout = found;
  return image;
}

}  // namespace velmo
