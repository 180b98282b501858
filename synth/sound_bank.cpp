#include "synth/sound_bank.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

namespace velmo {

// Tables are read from the image in bulk: multi-byte fields are little-endian.
static_assert(std::endian::native == std::endian::little);

namespace {

struct SectionInfo {
  int32_t number;
  const char* name;
  int32_t capacity;  // items the table holds
};

constexpr SectionInfo kInstruments{1, "instruments", kInstrumentCapacity};
constexpr SectionInfo kSamples{2, "sample records", kSampleCapacity};
constexpr SectionInfo kWaves{3, "wave slots", kWaveSlotCapacity};
constexpr SectionInfo kBankMap{4, "bank map", kBankMapCapacity};
constexpr SectionInfo kDrumKitMap{5, "drum kit map", kDrumKitMapCapacity};
constexpr SectionInfo kProgramMap{6, "program map", kMapRows};
constexpr SectionInfo kDrumNoteMap{7, "drum note map", kMapRows};

std::string Describe(const SectionInfo& section) {
  return "sound bank section " + std::to_string(section.number) + " (" + section.name + ")";
}

// Exact reads from the image (a stream, or resident memory), counting the byte
// offset for error messages.
class ImageReader {
 public:
  explicit ImageReader(std::istream& image) : stream_(&image) {}
  explicit ImageReader(std::span<const uint8_t> image) : resident_(image) {}

  // Whether the image is resident memory, whose blocks slots may borrow.
  bool resident() const { return stream_ == nullptr; }

  void Read(const SectionInfo& section, void* destination, uint64_t byteCount, const char* what) {
    if (byteCount == 0) return;
    uint64_t got = 0;
    if (stream_ != nullptr) {
      stream_->read(static_cast<char*>(destination), static_cast<std::streamsize>(byteCount));
      got = static_cast<uint64_t>(stream_->gcount());
    } else {
      got = std::min(byteCount, resident_.size() - offset_);
      if (got > 0) std::memcpy(destination, resident_.data() + offset_, got);  // data() may be null
    }
    if (got != byteCount) throw ShortImage(section, got, byteCount, what);
    offset_ += byteCount;
  }

  // Resident images only: the address of the next `byteCount` bytes, which the
  // reader then passes over.
  const uint8_t* Borrow(const SectionInfo& section, uint64_t byteCount, const char* what) {
    const uint64_t got = std::min(byteCount, resident_.size() - offset_);
    if (got != byteCount) throw ShortImage(section, got, byteCount, what);
    const uint8_t* bytes = resident_.data() + offset_;
    offset_ += byteCount;
    return bytes;
  }

  uint16_t ReadU16(const SectionInfo& section, const char* what) {
    uint8_t bytes[2];
    Read(section, bytes, 2, what);
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
  }

  // Reads a section's count word and checks it against the table's capacity.
  uint16_t ReadCount(const SectionInfo& section) {
    const uint64_t countOffset = offset_;
    const uint16_t count = ReadU16(section, "the count word");
    if (count > section.capacity) {
      throw BankLoadError(section.number, countOffset,
                          Describe(section) + ": count " + std::to_string(count) +
                              " at byte offset " + std::to_string(countOffset) +
                              " exceeds the table's capacity of " +
                              std::to_string(section.capacity));
    }
    return count;
  }

  uint64_t offset() const { return offset_; }

  // Resident images only: the image's length, and the address of a byte in it.
  uint64_t size() const { return resident_.size(); }
  const uint8_t* At(uint64_t offset) const { return resident_.data() + offset; }

 private:
  BankLoadError ShortImage(const SectionInfo& section, uint64_t got, uint64_t byteCount,
                           const char* what) const {
    return BankLoadError(section.number, offset_ + got,
                         Describe(section) + ": the image ends at byte offset " +
                             std::to_string(offset_ + got) + " inside " + what + " (" +
                             std::to_string(byteCount) + " bytes from offset " +
                             std::to_string(offset_) + " expected)");
  }

  std::istream* stream_ = nullptr;
  std::span<const uint8_t> resident_;
  uint64_t offset_ = 0;
};

// The wave section read from the image: each block's size word is checked and
// the block copied, or borrowed when the image is resident. `found`, when
// given, records where the blocks lie.
void ReadWaveSection(ImageReader& reader, SoundBank& bank, WaveSectionIndex* found) {
  const uint16_t count = reader.ReadCount(kWaves);
  for (int32_t slot = 0; slot < count; ++slot) {
    const uint64_t sizeOffset = reader.offset();
    const uint16_t size = reader.ReadU16(kWaves, "a wave size word");
    if (size == 0) continue;  // empty slot
    if (size < kWaveHeaderBytes) {
      throw BankLoadError(kWaves.number, sizeOffset,
                          Describe(kWaves) + ": wave " + std::to_string(slot) + " at byte offset " +
                              std::to_string(sizeOffset) + " has size " + std::to_string(size) +
                              ", below the 8-byte block header");
    }
    if (reader.resident()) {
      // The image entry, size word included, is the block itself.
      const uint8_t* rest = reader.Borrow(kWaves, size - 2u, "a wave block");
      bank.WaveSlots[slot] = BorrowedWaveBlock(rest - 2);
      if (found != nullptr) found->blockOffset[slot] = static_cast<uint32_t>(sizeOffset);
      continue;
    }
    std::unique_ptr<uint8_t[]> block(new uint8_t[size]);
    block[0] = static_cast<uint8_t>(size & 0xFF);
    block[1] = static_cast<uint8_t>(size >> 8);
    reader.Read(kWaves, block.get() + 2, size - 2u, "a wave block");
    bank.WaveSlots[slot] = OwnedWaveBlock(std::move(block));
  }
  if (found != nullptr) {
    found->count = count;
    found->sectionEnd = static_cast<uint32_t>(reader.offset());
  }
}

// The wave section of a resident image taken from its index: only the count
// word is read; the blocks are borrowed where the index puts them.
void TakeIndexedWaveSection(ImageReader& reader, SoundBank& bank, const WaveSectionIndex& index) {
  const uint64_t countOffset = reader.offset();
  const uint16_t count = reader.ReadCount(kWaves);
  if (count != index.count || index.sectionEnd < reader.offset() ||
      index.sectionEnd > reader.size()) {
    throw BankLoadError(kWaves.number, countOffset,
                        Describe(kWaves) + ": the wave index does not fit this image");
  }
  for (uint32_t slot = 0; slot < count; ++slot) {
    const uint32_t offset = index.blockOffset[slot];
    if (offset == 0) continue;
    if (offset < countOffset || uint64_t{offset} + kWaveHeaderBytes > index.sectionEnd) {
      throw BankLoadError(kWaves.number, countOffset,
                          Describe(kWaves) + ": the wave index does not fit this image");
    }
    bank.WaveSlots[slot] = BorrowedWaveBlock(reader.At(offset));
  }
  reader.Borrow(kWaves, index.sectionEnd - reader.offset(), "the wave blocks");
}

void LoadImage(SoundBank& bank, ImageReader& reader, const WaveSectionIndex* known,
               WaveSectionIndex* found) {
  // Read into a fresh bank so that a rejected image leaves `bank` as it was.
  // Entries beyond a section's count keep the current bank's values, so the
  // non-wave tables start as copies; the wave slots start empty.
  auto fresh = std::make_unique<SoundBank>();
  fresh->InstrumentTable = bank.InstrumentTable;
  fresh->SampleTable = bank.SampleTable;
  fresh->BankMap = bank.BankMap;
  fresh->DrumKitMap = bank.DrumKitMap;
  fresh->ProgramMap = bank.ProgramMap;
  fresh->DrumNoteMap = bank.DrumNoteMap;

  const uint16_t instruments = reader.ReadCount(kInstruments);
  reader.Read(kInstruments, fresh->InstrumentTable.data(),
              uint64_t{instruments} * sizeof(InstrumentRecord), "the instrument records");
  const uint16_t samples = reader.ReadCount(kSamples);
  reader.Read(kSamples, fresh->SampleTable.data(), uint64_t{samples} * sizeof(SampleRecord),
              "the sample records");
  if (known != nullptr) {
    TakeIndexedWaveSection(reader, *fresh, *known);
  } else {
    ReadWaveSection(reader, *fresh, found);
  }
  const uint16_t banks = reader.ReadCount(kBankMap);
  reader.Read(kBankMap, fresh->BankMap.data(), banks, "the bank map");
  const uint16_t kits = reader.ReadCount(kDrumKitMap);
  reader.Read(kDrumKitMap, fresh->DrumKitMap.data(), kits, "the drum kit map");
  const uint16_t programRows = reader.ReadCount(kProgramMap);
  reader.Read(kProgramMap, fresh->ProgramMap.data(), uint64_t{programRows} * kMapColumns * 2,
              "the program map");
  const uint16_t drumRows = reader.ReadCount(kDrumNoteMap);
  reader.Read(kDrumNoteMap, fresh->DrumNoteMap.data(), uint64_t{drumRows} * kMapColumns * 2,
              "the drum note map");

  // Commit: the old wave blocks are freed here, the tables take the new content.
  bank.InstrumentTable = fresh->InstrumentTable;
  bank.SampleTable = fresh->SampleTable;
  bank.WaveSlots = std::move(fresh->WaveSlots);
  bank.BankMap = fresh->BankMap;
  bank.DrumKitMap = fresh->DrumKitMap;
  bank.ProgramMap = fresh->ProgramMap;
  bank.DrumNoteMap = fresh->DrumNoteMap;
}

}  // namespace

BankLoadError::BankLoadError(int32_t section, uint64_t offset, const std::string& what)
    : std::runtime_error(what), section_(section), offset_(offset) {}

void FreeWaveSlots(SoundBank& bank) {
  for (WaveBlock& slot : bank.WaveSlots)
    slot.reset();
}

void LoadSoundBank(SoundBank& bank, std::istream& image) {
  image.clear();
  image.seekg(0);
  if (!image) {
    throw BankLoadError(0, 0, "sound bank: the image stream cannot be positioned at its start");
  }
  ImageReader reader(image);
  LoadImage(bank, reader, nullptr, nullptr);
}

void LoadResidentSoundBank(SoundBank& bank, std::span<const uint8_t> image,
                           const WaveSectionIndex* index) {
  ImageReader reader(image);
  LoadImage(bank, reader, index, nullptr);
}

WaveSectionIndex IndexWaveSection(std::span<const uint8_t> image) {
  auto scratch = std::make_unique<SoundBank>();
  WaveSectionIndex index;
  ImageReader reader(image);
  LoadImage(*scratch, reader, nullptr, &index);
  return index;
}

}  // namespace velmo
