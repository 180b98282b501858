#include "tools/velmo-render/wav_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/render/temp_path.h"

namespace velmo::render {
namespace {

using testing::TempPath;
using Bytes = std::vector<uint8_t>;

Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

uint32_t U32At(const Bytes& bytes, size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t{bytes[at + 3]} << 24;
}

uint16_t U16At(const Bytes& bytes, size_t at) {
  return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

const std::vector<int16_t> kSamples{0, -1, 0x1234, -32768, 32767, 0x00FF};
const Bytes kSampleBytes{0x00, 0x00, 0xFF, 0xFF, 0x34, 0x12, 0x00, 0x80, 0xFF, 0x7F, 0xFF, 0x00};

TEST(WavWriter, HeaderDescribes22050HzStereo16BitPcm) {
  const TempPath path("header.wav");
  PcmWriter writer(path.str(), OutputContainer::kWav, 884 * 3);
  writer.Write(std::vector<int16_t>(884 * 3 / 2));
  writer.Finish();
  const Bytes header = ReadAll(path.str());
  ASSERT_EQ(header.size(), 44u + 884 * 3);
  EXPECT_EQ(std::string(header.begin(), header.begin() + 4), "RIFF");
  EXPECT_EQ(U32At(header, 4), 36u + 884 * 3);
  EXPECT_EQ(std::string(header.begin() + 8, header.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(U32At(header, 16), 16u);
  EXPECT_EQ(U16At(header, 20), 1);  // PCM
  EXPECT_EQ(U16At(header, 22), 2);
  EXPECT_EQ(U32At(header, 24), 22050u);
  EXPECT_EQ(U32At(header, 28), 22050u * 4);
  EXPECT_EQ(U16At(header, 32), 4);
  EXPECT_EQ(U16At(header, 34), 16);
  EXPECT_EQ(std::string(header.begin() + 36, header.begin() + 40), "data");
  EXPECT_EQ(U32At(header, 40), 884u * 3);
}

TEST(WavWriter, WritesLittleEndianSamplesAfterACorrectHeader) {
  // Size known up front, and size found at the end: same file.
  for (const bool sizeKnown : {true, false}) {
    const TempPath path("out.wav");
    PcmWriter writer(path.str(), OutputContainer::kWav,
                     sizeKnown ? std::optional<uint64_t>(2 * kSampleBytes.size()) : std::nullopt);
    writer.Write(kSamples);
    writer.Write(kSamples);
    writer.Finish();

    const Bytes file = ReadAll(path.str());
    ASSERT_EQ(file.size(), 44 + 2 * kSampleBytes.size()) << sizeKnown;
    EXPECT_EQ(U32At(file, 4), 36u + 2 * kSampleBytes.size());
    EXPECT_EQ(U32At(file, 40), 2 * kSampleBytes.size());
    EXPECT_TRUE(std::equal(kSampleBytes.begin(), kSampleBytes.end(), file.begin() + 44));
    EXPECT_TRUE(std::equal(kSampleBytes.begin(), kSampleBytes.end(), file.begin() + 56));
  }
}

TEST(WavWriter, RawOutputIsTheBareSamples) {
  const TempPath path("out.raw");
  PcmWriter writer(path.str(), OutputContainer::kRaw, std::nullopt);
  writer.Write(kSamples);
  writer.Finish();
  EXPECT_EQ(ReadAll(path.str()), kSampleBytes);
}

TEST(WavWriter, EmptyRenderIsAValidEmptyWav) {
  const TempPath path("empty.wav");
  PcmWriter writer(path.str(), OutputContainer::kWav, std::nullopt);
  writer.Finish();
  const Bytes file = ReadAll(path.str());
  ASSERT_EQ(file.size(), 44u);
  EXPECT_EQ(U32At(file, 40), 0u);
}

TEST(WavWriter, FailuresAreReportedAndLeaveNoHalfWrittenFile) {
  EXPECT_THROW(PcmWriter("/nonexistent-dir/x.wav", OutputContainer::kWav, 0), OutputError);
  EXPECT_THROW(PcmWriter("/tmp/x.wav", OutputContainer::kWav, uint64_t{5} << 30), OutputError);

  const TempPath path("abandoned.wav");
  {
    PcmWriter writer(path.str(), OutputContainer::kWav, std::nullopt);
    writer.Write(kSamples);
  }  // destroyed without Finish, as when rendering fails half way
  EXPECT_FALSE(std::filesystem::exists(path.str()));

  // A failed render over an existing file leaves that file as it was.
  const TempPath kept("kept.wav");
  { std::ofstream(kept.str()) << "old"; }
  {
    PcmWriter writer(kept.str(), OutputContainer::kWav, std::nullopt);
    writer.Write(kSamples);
  }
  EXPECT_EQ(ReadAll(kept.str()), (Bytes{'o', 'l', 'd'}));

  const TempPath shortPath("short.wav");
  PcmWriter writer(shortPath.str(), OutputContainer::kWav, 100);
  writer.Write(kSamples);
  EXPECT_THROW(writer.Finish(), OutputError);  // fewer bytes than the header announced
}

TEST(WavWriter, DiskFullIsAnError) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  EXPECT_THROW(
      {
        PcmWriter writer("/dev/full", OutputContainer::kRaw, std::nullopt);
        for (int i = 0; i < 10000; ++i)
          writer.Write(kSamples);
        writer.Finish();
      },
      OutputError);
}

}  // namespace
}  // namespace velmo::render
