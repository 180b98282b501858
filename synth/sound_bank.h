// The sound bank: seven fixed-capacity tables read from a bank image, and the
// loader that fills them.
//
// Image layout: seven sections, each a little-endian u16 count followed by that
// many items (instrument records, sample records, wave entries, bank map bytes,
// drum kit map bytes, program map rows, drum note map rows). No magic, no padding.
#pragma once

#include <array>
#include <cstdint>
#include <istream>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>

namespace velmo {

inline constexpr int32_t kInstrumentCapacity = 500;
inline constexpr int32_t kSampleCapacity = 3000;
inline constexpr int32_t kWaveSlotCapacity = 3000;
inline constexpr int32_t kBankMapCapacity = 128;
inline constexpr int32_t kDrumKitMapCapacity = 128;
inline constexpr int32_t kMapRows = 16;
inline constexpr int32_t kMapColumns = 128;
inline constexpr uint16_t kNoInstrument = 0xFFFF;  // map entry: the note produces nothing
inline constexpr int32_t kWaveHeaderBytes = 8;     // size, reserved, loopStart, loopEnd

// One instrument as stored in the image, byte for byte (73 bytes, packed).
struct __attribute__((packed)) InstrumentRecord {
  uint16_t regionSample[16];  // SampleTable index per key region; 0 = no sample
  int8_t regionTopKey[16];    // highest MIDI key of each region, ascending
  int8_t envRate[6];          // rate index of envelope segments 0..4 ([5] unused)
  int8_t envLevel[6];         // target level 0..127 of segments 0..4 and of the damp [5]
  int8_t envRateKeyScale[6];  // key-scaling selector 0..3 of envRate 0..4
  int8_t envMode;             // 0..5, note-off and sustain behaviour (m and m + 3 alike)
  int8_t vibratoDepth;        // LFO pitch depth
  int8_t lfoRate;             // LFO phase step per rendered block
  int8_t level;               // instrument level 0..127 (LevelAttTable index)
  int8_t levelKeyScale;       // key-level scaling mode 0..6
  int8_t pitchKeyTrack;       // key-tracking selector 0..6 (KeyFollowTable index)
  int8_t tremoloDepth;        // LFO amplitude depth
};
static_assert(sizeof(InstrumentRecord) == 73);

// One sample record as stored in the image (12 bytes, packed).
struct __attribute__((packed)) SampleRecord {
  int16_t tune;        // pitch offset in cents
  uint16_t loopMode;   // 0 one-shot, 1 forward, 2 alternating (backward inverted), 3 alternating
  uint16_t start;      // first frame played
  uint16_t loopStart;  // loop start frame
  uint16_t loopEnd;    // loop end frame, inclusive
  uint16_t waveSlot;   // index into WaveSlots
};
static_assert(sizeof(SampleRecord) == 12);

// A wave block: u16 size (header included), u16 reserved, u16 loopStart,
// u16 loopEnd, then size - 8 signed 8-bit PCM frames. Memory and image agree.
//
// A slot either owns its block (allocated with new[], freed with the slot) or
// borrows it from a resident bank image, whose wave entries are blocks as they
// stand; releasing a borrowed block leaves the image alone.
struct WaveBlockRelease {
  bool owned = true;
  void operator()(const uint8_t* block) const {
    if (owned) delete[] block;
  }
};
using WaveBlock = std::unique_ptr<const uint8_t[], WaveBlockRelease>;

// A slot's content that owns `block`.
inline WaveBlock OwnedWaveBlock(std::unique_ptr<uint8_t[]> block) {
  return WaveBlock(block.release(), WaveBlockRelease{true});
}

// A slot's content that borrows `block` from memory that outlives the slot.
inline WaveBlock BorrowedWaveBlock(const uint8_t* block) {
  return WaveBlock(block, WaveBlockRelease{false});
}

// Whether the slot's block is borrowed (false for an empty slot).
inline bool IsBorrowedWaveBlock(const WaveBlock& block) {
  return block != nullptr && !block.get_deleter().owned;
}

// Size field of a wave block (its first u16, little-endian).
inline uint16_t WaveBlockSize(const uint8_t* block) {
  return static_cast<uint16_t>(block[0] | (block[1] << 8));
}

struct SoundBank {
  std::array<InstrumentRecord, kInstrumentCapacity> InstrumentTable{};
  std::array<SampleRecord, kSampleCapacity> SampleTable{};
  std::array<WaveBlock, kWaveSlotCapacity> WaveSlots{};   // null = empty slot
  std::array<uint8_t, kBankMapCapacity> BankMap{};        // bank number -> ProgramMap row
  std::array<uint8_t, kDrumKitMapCapacity> DrumKitMap{};  // program -> DrumNoteMap row
  std::array<std::array<uint16_t, kMapColumns>, kMapRows> ProgramMap{};   // -> instrument index
  std::array<std::array<uint16_t, kMapColumns>, kMapRows> DrumNoteMap{};  // -> instrument index
};

// A rejected bank image: what is wrong, in which section (1..7, 0 before the
// first section) and at which byte offset of the image.
class BankLoadError : public std::runtime_error {
 public:
  BankLoadError(int32_t section, uint64_t offset, const std::string& what);
  int32_t section() const { return section_; }
  uint64_t offset() const { return offset_; }

 private:
  int32_t section_;
  uint64_t offset_;
};

// Reads a bank image from the start of `image` into `bank`. Entries beyond a
// section's count keep their previous content, except wave slots, which are all
// replaced. Throws BankLoadError on a short stream, a count above its table's
// capacity or a wave size of 1..7; `bank` is then left as it was.
void LoadSoundBank(SoundBank& bank, std::istream& image);

// Where the blocks of an image's wave section lie: the section's wave count,
// the byte offset just past the section, and per slot the byte offset of its
// block in the image (0 for an empty slot: no block starts at offset 0).
struct WaveSectionIndex {
  uint32_t count = 0;
  uint32_t sectionEnd = 0;
  std::array<uint32_t, kWaveSlotCapacity> blockOffset{};
};

// LoadSoundBank from an image in memory that stays valid and unchanged for as
// long as the program runs (the built-in bank, linked into the program): the
// wave slots borrow their blocks from the image instead of copying them, so a
// load costs no allocation per wave. Without an index the load reads every
// block's size word, a page of the image per wave; with the index made from
// this very image it reads only the tables and maps, and a wave's pages are
// first touched when a note plays it. An index whose count or section end
// does not fit the image is rejected as a BankLoadError.
void LoadResidentSoundBank(SoundBank& bank, std::span<const uint8_t> image,
                           const WaveSectionIndex* index = nullptr);

// Checks the whole image as LoadResidentSoundBank does (throwing BankLoadError)
// and returns the index of its wave section.
WaveSectionIndex IndexWaveSection(std::span<const uint8_t> image);

// Frees every wave block and empties all slots.
void FreeWaveSlots(SoundBank& bank);

}  // namespace velmo
