// The built-in bank: the engine's loader accepts it, it has the layout and content the
// engine expects, every program sounds, and it is what velmo-bank makes from the SoundFont.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>

#include "assets/builtin_bank.h"
#include "bankbuilder/bank_builder.h"
#include "bankbuilder/bank_image.h"
#include "bankbuilder/bank_info.h"
#include "synth/sound_bank.h"
#include "tests/bank/engine_playback.h"

namespace velmo {
namespace {

constexpr const char* kSoundFont = "/usr/share/sounds/sf2/FluidR3_GM.sf2";

TEST(BuiltinBank, LoadsWithTheLayoutTheEngineExpects) {
  const std::span<const uint8_t> image = BuiltinBankImage();
  EXPECT_LE(image.size(), kDefaultBankBudget);
  auto bank = std::make_unique<SoundBank>();
  const std::unique_ptr<std::istream> stream = OpenBuiltinBank();
  LoadSoundBank(*bank, *stream);
  EXPECT_EQ(bank->ProgramMap[0][0], 0);
  EXPECT_EQ(bank->DrumNoteMap[0][35], 128);

  ImageLayout layout;
  const BankImage parsed = ParseBankImage(image, &layout);
  EXPECT_EQ(layout.counts, (std::array<size_t, 7>{500, 3000, 3000, 128, 128, 16, 16}));
  EXPECT_EQ(layout.trailingBytes, 0u);
  const BankReport report = InspectBank(parsed, layout);
  EXPECT_TRUE(report.problems.empty()) << FormatReportText(report);
  for (size_t i = 0; i < 175; ++i)
    EXPECT_GE(report.regionsPerInstrument[i], 1) << i;
  for (size_t i = 175; i < 500; ++i)
    EXPECT_EQ(report.regionsPerInstrument[i], 0) << i;
}

// Loud enough within 0.3 s, or within 1.5 s for sounds with a slow attack.
bool Sounds(testing::NotePlayer& player, int32_t channel, int32_t program, int32_t key) {
  for (const int32_t blocks : {30, 150}) {
    const std::vector<int32_t> played = player.Play(channel, program, key, blocks);
    if (testing::RmsOf(played, 0, played.size()) > 20.0) return true;
  }
  return false;
}

// The index linked in beside the image is the image's own, and a load through it gives the bank
// a copying load gives: the same tables, the same wave bytes.
TEST(BuiltinBank, TheIndexedLoadMatchesTheCopyingLoad) {
  const std::span<const uint8_t> image = BuiltinBankImage();
  const WaveSectionIndex& linked = BuiltinBankWaveIndex();
  const WaveSectionIndex found = IndexWaveSection(image);
  EXPECT_EQ(linked.count, found.count);
  EXPECT_EQ(linked.sectionEnd, found.sectionEnd);
  EXPECT_EQ(linked.blockOffset, found.blockOffset);

  auto copied = std::make_unique<SoundBank>();
  LoadSoundBank(*copied, *OpenBuiltinBank());
  auto borrowed = std::make_unique<SoundBank>();
  LoadResidentSoundBank(*borrowed, image, &linked);
  EXPECT_EQ(std::memcmp(&copied->InstrumentTable, &borrowed->InstrumentTable,
                        sizeof(copied->InstrumentTable)),
            0);
  EXPECT_EQ(std::memcmp(&copied->SampleTable, &borrowed->SampleTable, sizeof(copied->SampleTable)),
            0);
  EXPECT_EQ(copied->BankMap, borrowed->BankMap);
  EXPECT_EQ(copied->DrumKitMap, borrowed->DrumKitMap);
  EXPECT_EQ(copied->ProgramMap, borrowed->ProgramMap);
  EXPECT_EQ(copied->DrumNoteMap, borrowed->DrumNoteMap);
  for (int32_t slot = 0; slot < kWaveSlotCapacity; ++slot) {
    const uint8_t* a = copied->WaveSlots[slot].get();
    const uint8_t* b = borrowed->WaveSlots[slot].get();
    ASSERT_EQ(a == nullptr, b == nullptr) << slot;
    if (a == nullptr) continue;
    EXPECT_TRUE(IsBorrowedWaveBlock(borrowed->WaveSlots[slot])) << slot;
    ASSERT_EQ(WaveBlockSize(a), WaveBlockSize(b)) << slot;
    EXPECT_EQ(std::memcmp(a, b, WaveBlockSize(a)), 0) << slot;
  }
}

TEST(BuiltinBank, EveryProgramAndDrumKeySounds) {
  testing::NotePlayer player(BuiltinBankImage());
  for (int32_t program = 0; program < 128; ++program) {
    for (const int32_t key : {36, 60, 84}) {
      EXPECT_TRUE(Sounds(player, 0, program, key)) << "program " << program << " key " << key;
    }
  }
  for (int32_t key = 35; key <= 81; ++key) {
    EXPECT_TRUE(Sounds(player, 9, -1, key)) << "drum key " << key;
  }
}

TEST(BuiltinBank, IsWhatTheToolBuildsFromTheSoundFont) {
  if (!std::filesystem::exists(kSoundFont)) GTEST_SKIP() << kSoundFont << " is not installed";
  const std::vector<uint8_t> bytes = ReadWholeFile(kSoundFont);
  const SoundFont font = ParseSoundFont(bytes);
  BuildSummary summary;
  const std::vector<uint8_t> rebuilt = BuildBank(font, kDefaultBankBudget, summary);
  const std::span<const uint8_t> image = BuiltinBankImage();
  ASSERT_EQ(rebuilt.size(), image.size());
  EXPECT_TRUE(std::equal(rebuilt.begin(), rebuilt.end(), image.begin()))
      << "assets/SOUND1.bin is out of date: rebuild it with velmo-bank";
}

}  // namespace
}  // namespace velmo
