// Bank image loading: layout, counts, rejected images and what a failed load
// leaves behind.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <list>
#include <memory>
#include <sstream>
#include <vector>

#include "synth/sound_bank.h"
#include "tests/synth/test_bank.h"

namespace velmo {
namespace {

using test::BankImage;
using test::MakeWave;
using test::SmallBank;

// Every loading test runs on each way to load: from a stream (waves copied into owned blocks),
// from a resident image (waves borrowed in place), and from a resident image through the index
// of its wave section (made first, which checks the image as a load does). Each resident image
// is an exact-size heap block kept alive until the test ends, so a read past its end is caught.
enum class Loader { kStream, kResident, kIndexed };

class SoundBankLoad : public ::testing::TestWithParam<Loader> {
 protected:
  void Load(SoundBank& bank, const std::string& bytes) {
    if (GetParam() == Loader::kStream) {
      std::istringstream stream(bytes);
      LoadSoundBank(bank, stream);
      return;
    }
    images_.emplace_back(bytes.begin(), bytes.end());
    if (GetParam() == Loader::kResident) {
      LoadResidentSoundBank(bank, images_.back());
      return;
    }
    const WaveSectionIndex index = IndexWaveSection(images_.back());
    LoadResidentSoundBank(bank, images_.back(), &index);
  }

  // Loads `bytes` expecting a rejection; returns the error.
  BankLoadError Reject(SoundBank& bank, const std::string& bytes) {
    try {
      Load(bank, bytes);
    } catch (const BankLoadError& error) {
      return error;
    }
    ADD_FAILURE() << "image accepted";
    return BankLoadError(-1, 0, "");
  }

 private:
  std::list<std::vector<uint8_t>> images_;
};

std::string LoaderName(const ::testing::TestParamInfo<Loader>& info) {
  constexpr const char* kNames[] = {"Stream", "Resident", "Indexed"};
  return kNames[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Loaders, SoundBankLoad,
                         ::testing::Values(Loader::kStream, Loader::kResident, Loader::kIndexed),
                         LoaderName);

TEST_P(SoundBankLoad, ReadsEverySection) {
  BankImage image = SmallBank();
  image.bankMap[1] = 1;
  image.drumKitMap[25] = 1;
  auto bank = std::make_unique<SoundBank>();
  Load(*bank, image.Bytes());

  EXPECT_EQ(bank->InstrumentTable[0].regionSample[0], 1);
  EXPECT_EQ(bank->InstrumentTable[0].regionTopKey[15], 127);
  EXPECT_EQ(bank->InstrumentTable[0].level, 127);
  EXPECT_EQ(bank->InstrumentTable[128].envMode, 5);
  EXPECT_EQ(bank->SampleTable[3].loopMode, 2);
  EXPECT_EQ(bank->SampleTable[3].loopStart, 10);
  EXPECT_EQ(bank->SampleTable[3].loopEnd, 20);
  EXPECT_EQ(bank->SampleTable[3].waveSlot, 3);
  EXPECT_EQ(bank->WaveSlots[0], nullptr);  // size 0 entry
  ASSERT_NE(bank->WaveSlots[1], nullptr);
  EXPECT_EQ(WaveBlockSize(bank->WaveSlots[1].get()), 72);
  EXPECT_EQ(std::memcmp(bank->WaveSlots[1].get(), image.waves[1].data(), 72), 0);
  EXPECT_EQ(bank->WaveSlots[4], nullptr);  // beyond the wave count
  EXPECT_EQ(bank->BankMap[1], 1);
  EXPECT_EQ(bank->DrumKitMap[25], 1);
  EXPECT_EQ(bank->ProgramMap[0][3], 3);
  EXPECT_EQ(bank->ProgramMap[0][4], kNoInstrument);
  EXPECT_EQ(bank->ProgramMap[1][0], 0);  // beyond the row count: still zero
  EXPECT_EQ(bank->DrumNoteMap[0][35], 128);
}

TEST_P(SoundBankLoad, EntriesBeyondCountsKeepThePreviousImage) {
  auto bank = std::make_unique<SoundBank>();
  Load(*bank, SmallBank().Bytes());

  BankImage smaller;
  smaller.instruments.push_back(test::SimpleInstrument(2));
  smaller.samples.resize(1);
  smaller.waves.push_back({});
  smaller.waves.push_back(MakeWave({1, 2, 3, 4}));
  smaller.bankMap = {5};
  Load(*bank, smaller.Bytes());

  EXPECT_EQ(bank->InstrumentTable[0].regionSample[0], 2);  // overwritten
  EXPECT_EQ(bank->InstrumentTable[1].regionSample[0], 2);  // kept from the first image
  EXPECT_EQ(bank->SampleTable[1].loopEnd, 63);             // kept
  EXPECT_EQ(bank->BankMap[0], 5);
  EXPECT_EQ(bank->ProgramMap[0][2], 2);  // kept
  ASSERT_NE(bank->WaveSlots[1], nullptr);
  EXPECT_EQ(WaveBlockSize(bank->WaveSlots[1].get()), 12);  // replaced
  EXPECT_EQ(bank->WaveSlots[2], nullptr);                  // old blocks all freed
  EXPECT_EQ(bank->WaveSlots[3], nullptr);
}

TEST_P(SoundBankLoad, TruncatedImageNamesSectionAndOffset) {
  const std::string bytes = SmallBank().Bytes();
  const uint64_t instrumentsEnd = 2 + 175 * 73;
  const uint64_t samplesEnd = instrumentsEnd + 2 + 5 * 12;
  const uint64_t wave1 = samplesEnd + 2 + 2;  // count, empty slot 0
  struct Case {
    uint64_t length;
    int32_t section;
    uint64_t offset;
  };
  const Case cases[] = {
      {0, 1, 0},                                // no count word
      {1, 1, 1},                                // half a count word
      {100, 1, 100},                            // inside the instrument records
      {instrumentsEnd, 2, instrumentsEnd},      // sample count missing
      {samplesEnd + 1, 3, samplesEnd + 1},      // half the wave count
      {wave1 + 1, 3, wave1 + 1},                // half a size word
      {wave1 + 30, 3, wave1 + 30},              // inside a wave block
      {bytes.size() - 1, 7, bytes.size() - 1},  // last byte of the drum note map
  };
  for (const Case& c : cases) {
    auto bank = std::make_unique<SoundBank>();
    const BankLoadError error = Reject(*bank, bytes.substr(0, c.length));
    EXPECT_EQ(error.section(), c.section) << "length " << c.length;
    EXPECT_EQ(error.offset(), c.offset) << "length " << c.length;
    EXPECT_NE(std::string(error.what()).find("section " + std::to_string(c.section)),
              std::string::npos)
        << error.what();
    EXPECT_NE(std::string(error.what()).find(std::to_string(c.offset)), std::string::npos)
        << error.what();
  }
}

TEST_P(SoundBankLoad, CountAboveCapacityIsRejected) {
  auto bank = std::make_unique<SoundBank>();
  std::string instruments("\xF5\x01", 2);  // 501 instruments
  instruments.append(501 * 73, '\0');
  BankLoadError error = Reject(*bank, instruments);
  EXPECT_EQ(error.section(), 1);
  EXPECT_EQ(error.offset(), 0u);
  EXPECT_NE(std::string(error.what()).find("capacity of 500"), std::string::npos);

  BankImage image = SmallBank();
  image.programMap.resize(17, image.programMap[0]);
  error = Reject(*bank, image.Bytes());
  EXPECT_EQ(error.section(), 6);
  EXPECT_NE(std::string(error.what()).find("capacity of 16"), std::string::npos);

  image = SmallBank();
  image.bankMap.resize(129);
  EXPECT_EQ(Reject(*bank, image.Bytes()).section(), 4);

  image = SmallBank();
  image.waves.resize(3001);
  EXPECT_EQ(Reject(*bank, image.Bytes()).section(), 3);
}

TEST_P(SoundBankLoad, WaveSizeBelowHeaderIsRejected) {
  for (uint16_t size = 1; size <= 7; ++size) {
    BankImage image = SmallBank();
    image.waves[2] = {static_cast<uint8_t>(size), 0};  // the size word alone
    auto bank = std::make_unique<SoundBank>();
    const BankLoadError error = Reject(*bank, image.Bytes());
    EXPECT_EQ(error.section(), 3);
    const uint64_t slot2 = 2 + 175 * 73 + 2 + 5 * 12 + 2 + 2 + 72;
    EXPECT_EQ(error.offset(), slot2);
    EXPECT_NE(std::string(error.what()).find("size " + std::to_string(size)), std::string::npos);
  }
  BankImage image = SmallBank();
  image.waves[2] = MakeWave({});  // size 8: a header and no frames is accepted
  auto bank = std::make_unique<SoundBank>();
  Load(*bank, image.Bytes());
  EXPECT_EQ(WaveBlockSize(bank->WaveSlots[2].get()), 8);
}

TEST_P(SoundBankLoad, FailedLoadKeepsTheLoadedBank) {
  auto bank = std::make_unique<SoundBank>();
  const BankImage good = SmallBank();
  Load(*bank, good.Bytes());
  const uint8_t* wave1 = bank->WaveSlots[1].get();

  BankImage other = SmallBank();
  other.instruments[0].level = 1;
  other.samples[1].tune = 99;
  other.bankMap[0] = 7;
  std::string bytes = other.Bytes();
  bytes.resize(bytes.size() - 10);  // breaks in the drum note map, after everything else
  Reject(*bank, bytes);

  EXPECT_EQ(bank->InstrumentTable[0].level, 127);
  EXPECT_EQ(bank->SampleTable[1].tune, 0);
  EXPECT_EQ(bank->BankMap[0], 0);
  EXPECT_EQ(bank->WaveSlots[1].get(), wave1);  // the same block, still in the slot
  EXPECT_EQ(std::memcmp(wave1, good.waves[1].data(), good.waves[1].size()), 0);
}

TEST(SoundBankStreamLoad, ReadsFromTheStreamStart) {
  std::istringstream stream(SmallBank().Bytes());
  stream.seekg(100);
  auto bank = std::make_unique<SoundBank>();
  LoadSoundBank(*bank, stream);
  EXPECT_EQ(bank->InstrumentTable[0].regionSample[0], 1);
}

TEST_P(SoundBankLoad, FreeWaveSlotsEmptiesAll) {
  auto bank = std::make_unique<SoundBank>();
  Load(*bank, SmallBank().Bytes());
  FreeWaveSlots(*bank);
  for (const WaveBlock& slot : bank->WaveSlots)
    EXPECT_EQ(slot, nullptr);
  EXPECT_EQ(bank->InstrumentTable[0].regionSample[0], 1);  // tables stay
}

// Whether a slot owns its block or borrows it from a resident image follows the source of the
// last accepted load; a rejected load changes nothing, and the image is never written or freed
// (a borrowed block freed as owned would abort on this heap image).
TEST(WaveSlotOwnership, FollowsTheLastAcceptedLoad) {
  const BankImage source = SmallBank();
  const std::string bytes = source.Bytes();
  const std::vector<uint8_t> pristine(bytes.begin(), bytes.end());
  const std::vector<uint8_t> image = pristine;
  const std::vector<uint8_t> truncated(image.begin(), image.end() - 10);
  // Where each block stands in the image: after the tables, the wave count and the empty slot 0.
  std::array<size_t, 4> entry{};
  entry[1] = 2 + 175 * sizeof(InstrumentRecord) + 2 + 5 * sizeof(SampleRecord) + 2 + 2;
  for (size_t slot = 2; slot < entry.size(); ++slot)
    entry[slot] = entry[slot - 1] + source.waves[slot - 1].size();

  enum class Step { kResident, kStream, kResidentRejected, kStreamRejected, kFree };
  enum class Slots { kBorrowed, kOwned, kEmpty };
  struct Case {
    Step step;
    Slots expected;  // slots 1..3 afterwards
  };
  const Case cases[] = {
      {Step::kResident, Slots::kBorrowed}, {Step::kStreamRejected, Slots::kBorrowed},
      {Step::kStream, Slots::kOwned},      {Step::kResidentRejected, Slots::kOwned},
      {Step::kResident, Slots::kBorrowed}, {Step::kResidentRejected, Slots::kBorrowed},
      {Step::kFree, Slots::kEmpty},        {Step::kStream, Slots::kOwned},
      {Step::kFree, Slots::kEmpty},
  };
  auto bank = std::make_unique<SoundBank>();
  int step = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE("step " + std::to_string(step++));
    switch (c.step) {
      case Step::kResident:
        LoadResidentSoundBank(*bank, image);
        break;
      case Step::kResidentRejected:
        EXPECT_THROW(LoadResidentSoundBank(*bank, truncated), BankLoadError);
        break;
      case Step::kStream:
      case Step::kStreamRejected: {
        std::istringstream stream(
            c.step == Step::kStream ? bytes : std::string(truncated.begin(), truncated.end()));
        if (c.step == Step::kStream) {
          LoadSoundBank(*bank, stream);
        } else {
          EXPECT_THROW(LoadSoundBank(*bank, stream), BankLoadError);
        }
        break;
      }
      case Step::kFree:
        FreeWaveSlots(*bank);
        break;
    }
    for (size_t slot = 1; slot < entry.size(); ++slot) {
      const WaveBlock& block = bank->WaveSlots[slot];
      if (c.expected == Slots::kEmpty) {
        EXPECT_EQ(block, nullptr) << slot;
        continue;
      }
      ASSERT_NE(block, nullptr) << slot;
      const bool borrowed = c.expected == Slots::kBorrowed;
      EXPECT_EQ(IsBorrowedWaveBlock(block), borrowed) << slot;
      EXPECT_EQ(block.get() == image.data() + entry[slot], borrowed) << slot;
      EXPECT_EQ(std::memcmp(block.get(), source.waves[slot].data(), source.waves[slot].size()), 0)
          << slot;
    }
    EXPECT_EQ(image, pristine);
  }
}

// An index that does not fit the image is rejected before anything is borrowed through it, and
// the loaded bank stays.
TEST(WaveSectionIndexFit, AnIndexThatDoesNotFitIsRejected) {
  const std::string bytes = SmallBank().Bytes();
  const std::vector<uint8_t> image(bytes.begin(), bytes.end());
  const WaveSectionIndex good = IndexWaveSection(image);
  ASSERT_EQ(good.count, 4u);
  ASSERT_NE(good.blockOffset[1], 0u);
  ASSERT_EQ(good.blockOffset[0], 0u);
  // Slot 1's block follows the count word and empty slot 0's size word.
  const uint32_t countOffset = good.blockOffset[1] - 4;
  struct Case {
    const char* name;
    void (*spoil)(WaveSectionIndex&);
  };
  const Case cases[] = {
      {"count", [](WaveSectionIndex& index) { ++index.count; }},
      {"end past the image", [](WaveSectionIndex& index) { index.sectionEnd += 1'000'000; }},
      {"end before the count", [](WaveSectionIndex& index) { index.sectionEnd = 3; }},
      {"block past the end",
       [](WaveSectionIndex& index) { index.blockOffset[3] = index.sectionEnd - 7; }},
      {"block before the section", [](WaveSectionIndex& index) { index.blockOffset[2] = 5; }},
  };
  auto bank = std::make_unique<SoundBank>();
  LoadResidentSoundBank(*bank, image, &good);
  const uint8_t* wave1 = bank->WaveSlots[1].get();
  EXPECT_EQ(wave1, image.data() + good.blockOffset[1]);
  for (const Case& c : cases) {
    WaveSectionIndex spoilt = good;
    c.spoil(spoilt);
    try {
      LoadResidentSoundBank(*bank, image, &spoilt);
      ADD_FAILURE() << c.name << ": accepted";
    } catch (const BankLoadError& error) {
      EXPECT_EQ(error.section(), 3) << c.name;
      EXPECT_EQ(error.offset(), countOffset) << c.name;
    }
    EXPECT_EQ(bank->WaveSlots[1].get(), wave1) << c.name;
  }
}

}  // namespace
}  // namespace velmo
