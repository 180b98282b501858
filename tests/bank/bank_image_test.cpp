// The bank image layout: what the builder writes is what the reader and the engine's loader
// read, with the section offsets of a full-size image, and broken images are rejected.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "bankbuilder/bank_image.h"
#include "bankbuilder/bank_info.h"
#include "synth/sound_bank.h"

namespace velmo {
namespace {

BankImage SmallImage() {
  BankImage image;
  image.instruments[0].regionSample[0] = 1;
  image.instruments[0].regionTopKey.fill(127);
  image.instruments[0].level = 100;
  image.instruments[0].envRate = {127, 90, 127, 127, 80, 127};
  image.samples[1] = ImageSample{-250, 1, 0, 10, 40, 2};
  const std::vector<int8_t> pcm(64, 5);
  image.waves[2] = MakeWaveBlock(pcm, 10, 40);
  for (size_t p = 0; p < 128; ++p)
    image.programMap[0][p] = static_cast<uint16_t>(p);
  image.drumNoteMap[0][35] = 128;
  return image;
}

std::string ToString(const std::vector<uint8_t>& bytes) {
  return {bytes.begin(), bytes.end()};
}

TEST(BankImage, FullSizeImageHasTheSectionOffsetsOfTheLayout) {
  const std::vector<uint8_t> bytes = SerializeBankImage(SmallImage());
  ImageLayout layout;
  const BankImage back = ParseBankImage(bytes, &layout);
  EXPECT_EQ(layout.counts, (std::array<size_t, 7>{500, 3000, 3000, 128, 128, 16, 16}));
  EXPECT_EQ(layout.offsets[0], 0u);
  EXPECT_EQ(layout.offsets[1], 36502u);
  EXPECT_EQ(layout.offsets[2], 72504u);
  // 2999 empty slots of 2 bytes and one block of 72 bytes.
  EXPECT_EQ(layout.offsets[3], 72504u + 2 + 2999 * 2 + 72);
  EXPECT_EQ(layout.totalBytes, bytes.size());
  EXPECT_EQ(back.samples[1].tune, -250);
  EXPECT_EQ(back.samples[1].loopEnd, 40);
  EXPECT_EQ(back.waves[2], SmallImage().waves[2]);
  EXPECT_EQ(back.instruments[0].envRate[1], 90);
  EXPECT_EQ(SerializeBankImage(back), bytes);
}

TEST(BankImage, TheEnginesLoaderReadsTheSameRecords) {
  const std::vector<uint8_t> bytes = SerializeBankImage(SmallImage());
  std::istringstream stream(ToString(bytes));
  auto bank = std::make_unique<SoundBank>();
  LoadSoundBank(*bank, stream);
  EXPECT_EQ(bank->InstrumentTable[0].regionSample[0], 1);
  EXPECT_EQ(bank->InstrumentTable[0].level, 100);
  EXPECT_EQ(bank->SampleTable[1].tune, -250);
  EXPECT_EQ(bank->SampleTable[1].waveSlot, 2);
  ASSERT_NE(bank->WaveSlots[2], nullptr);
  EXPECT_EQ(WaveBlockSize(bank->WaveSlots[2].get()), 72);
  EXPECT_EQ(bank->ProgramMap[0][5], 5);
  EXPECT_EQ(bank->DrumNoteMap[0][35], 128);
}

TEST(BankImage, RejectsOverfullCountsShortWavesAndTruncation) {
  std::vector<uint8_t> bytes = SerializeBankImage(SmallImage());
  {
    std::vector<uint8_t> overfull = bytes;
    overfull[0] = 0xF5;  // 501 instruments
    overfull[1] = 0x01;
    EXPECT_THROW(ParseBankImage(overfull), BankImageError);
  }
  {
    std::vector<uint8_t> shortWave = bytes;
    shortWave[72504 + 2] = 5;  // slot 0 claims a 5-byte block
    EXPECT_THROW(ParseBankImage(shortWave), BankImageError);
  }
  for (const size_t cut : {size_t{1}, size_t{100}, size_t{40000}, bytes.size() - 1}) {
    const std::vector<uint8_t> part(bytes.begin(),
                                    bytes.begin() + static_cast<std::ptrdiff_t>(cut));
    EXPECT_THROW(ParseBankImage(part), BankImageError) << cut;
  }
  try {
    std::vector<uint8_t> part(bytes.begin(), bytes.begin() + 40000);
    ParseBankImage(part);
  } catch (const BankImageError& error) {
    EXPECT_NE(std::string(error.what()).find("section 2"), std::string::npos) << error.what();
  }
}

TEST(BankInfo, ReportsReferencesThatPointNowhere) {
  BankImage image = SmallImage();
  EXPECT_TRUE(InspectBank(image, ImageLayout{}).problems.empty());
  image.instruments[3].regionSample[0] = 7;  // sample record 7 names empty slot 0
  image.samples[7] = ImageSample{0, 1, 0, 5, 3, 0};
  image.programMap[1][0] = 600;
  image.bankMap[2] = 16;
  const BankReport report = InspectBank(image, ImageLayout{});
  EXPECT_EQ(report.problems.size(), 3u);
  EXPECT_EQ(report.regionsPerInstrument[0], 1);
  EXPECT_EQ(report.waveCount, 1);
  EXPECT_EQ(report.waveBytes, 72u);
  const std::string json = FormatReportJson(report);
  EXPECT_NE(json.find("\"waveSlotsInUse\": 1"), std::string::npos);
}

}  // namespace
}  // namespace velmo
