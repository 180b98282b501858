// Loading WAVE files and archive entries into wave buffers: the reports of every malformed
// file, the chunk layouts that load, refused formats, flags and frequency.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "archive/vrx_file.h"
#include "audio/ddsd_report.h"
#include "audio/ddsd_wave_3d.h"
#include "audio_test_support.h"
#include "wave_test_files.h"

namespace velmo::testing {
namespace {

const std::vector<uint8_t> kData = PcmBytes(40, 2, 16, 7);

std::vector<uint8_t> BufferBytes(const TDDSDGenWave& wave) {
  const auto& memory = wave.SoundBuffer()->Memory();
  return {memory->bytes.get(), memory->bytes.get() + memory->size};
}

struct BadFile {
  const char* name;
  std::vector<uint8_t> bytes;  // empty name: no file at all
  const char* message;
};

TEST(WaveLoad, MalformedFileIsReportedOnceAndYieldsNoBuffer) {
  const std::vector<BadFile> cases = {
      {"missing", {}, "が、見つかりません"},
      {"empty", {0}, "は、WAVEファイルではありません"},
      // A valid fmt and data inside another form: rejected before any fmt search.
      {"avi", RiffFile("AVI ", {{"fmt ", FmtBody(1, 2, 22050, 16)}, {"data", kData}}),
       "は、WAVEファイルではありません"},
      {"no_fmt", RiffFile("WAVE", {{"data", kData}}), "には、fmtチャンクが有りません"},
      {"short_fmt", RiffFile("WAVE", {{"fmt ", {1, 0, 2, 0, 0x22}, 18}}),
       "のfmtチャンクが不正です"},
      {"no_data", RiffFile("WAVE", {{"fmt ", FmtBody(1, 2, 22050, 16)}, {"LIST", {1, 2, 3}}}),
       "には、dataチャンクが有りません"},
  };
  for (const BadFile& bad : cases) {
    SCOPED_TRACE(bad.name);
    TempFolder folder;
    LogCapture log;
    VirtualAudio audio;
    const std::string path = (folder.path() / bad.name).string();
    if (std::string(bad.name) != "missing") {
      std::vector<uint8_t> bytes = bad.bytes;
      if (bytes == std::vector<uint8_t>{0}) bytes.clear();
      WriteBytes(path, bytes);
    }
    TDDSDWaveData wave(audio.device, path, false);
    EXPECT_EQ(wave.SoundBuffer(), nullptr);
    EXPECT_EQ(log.Messages(), std::vector<std::string>{path + bad.message});
  }
}

struct GoodFile {
  const char* name;
  std::vector<Chunk> chunks;
  uint16_t expectedTag;
  uint16_t expectedCbSize;
};

TEST(WaveLoad, ChunkLayoutsLoadTheDataAndTheRate) {
  const std::vector<uint8_t> fmt18 = FmtBody(1, 2, 11025, 16, 18);
  const std::vector<GoodFile> cases = {
      {"fmt16", {{"fmt ", FmtBody(1, 2, 11025, 16)}, {"data", kData}}, 1, 0},
      {"fmt18", {{"fmt ", fmt18}, {"data", kData}}, 1, 0},
      {"extensible", {{"fmt ", FmtBody(0xFFFE, 2, 11025, 16, 40)}, {"data", kData}}, 1, 0},
      {"list_first",
       {{"junk", {1, 2, 3}},
        {"fmt ", FmtBody(1, 2, 11025, 16)},
        {"LIST", {9, 9, 9, 9, 9}},
        {"fact", {0, 0, 0, 0}},
        {"data", kData}},
       1,
       0},
  };
  for (const GoodFile& good : cases) {
    SCOPED_TRACE(good.name);
    TempFolder folder;
    LogCapture log;
    VirtualAudio audio;
    const std::string path = (folder.path() / "x.wav").string();
    WriteBytes(path, RiffFile("WAVE", good.chunks));
    TDDSDWaveData wave(audio.device, path, false);
    ASSERT_NE(wave.SoundBuffer(), nullptr);
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_EQ(wave.WaveFormat().wFormatTag, good.expectedTag);
    EXPECT_EQ(wave.WaveFormat().cbSize, good.expectedCbSize);
    EXPECT_EQ(wave.BufferBytes(), kData.size());
    EXPECT_EQ(BufferBytes(wave), kData);
    uint32_t frequency = 0;
    wave.SoundBuffer()->GetFrequency(&frequency);
    EXPECT_EQ(frequency, 11025u);
    EXPECT_FALSE(wave.IsStream());
  }
}

TEST(WaveLoad, UnplayableFormatIsRefusedWithACode) {
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> cases = {
      {"float", FmtBody(3, 2, 22050, 32)},
      {"24bit", FmtBody(1, 2, 22050, 24)},
      {"quad", FmtBody(1, 4, 22050, 16)},
      {"extensible_float", FmtBody(0xFFFE, 2, 22050, 32, 40, 3)},
  };
  for (const auto& [name, fmt] : cases) {
    SCOPED_TRACE(name);
    TempFolder folder;
    LogCapture log;
    VirtualAudio audio;
    const std::string path = (folder.path() / "x.wav").string();
    WriteBytes(path, RiffFile("WAVE", {{"fmt ", fmt}, {"data", PcmBytes(24, 4, 16, 1)}}));
    TDDSDWaveData wave(audio.device, path, false);
    EXPECT_EQ(wave.SoundBuffer(), nullptr);
    EXPECT_EQ(log.Messages(), std::vector<std::string>{
                                  "サウンドバッファの作成に失敗しました(Error Code(88780064))"});
  }
}

TEST(WaveLoad, ShortDataChunkEndsInSilence) {
  for (const uint16_t bits : {uint16_t{8}, uint16_t{16}}) {
    SCOPED_TRACE(bits);
    TempFolder folder;
    VirtualAudio audio;
    const std::vector<uint8_t> present = PcmBytes(5, 1, bits, 3);
    const std::string path = (folder.path() / "x.wav").string();
    WriteBytes(path,
               RiffFile("WAVE", {{"fmt ", FmtBody(1, 1, 8000, bits)},
                                 {"data", present, static_cast<uint32_t>(present.size() + 64)}}));
    TDDSDWaveData wave(audio.device, path, false);
    ASSERT_NE(wave.SoundBuffer(), nullptr);
    std::vector<uint8_t> expected = present;
    expected.resize(present.size() + 64, bits == 8 ? 0x80 : 0x00);
    EXPECT_EQ(BufferBytes(wave), expected);
  }
}

TEST(WaveLoad, FlagsFollowThe3DAndEffectsRequests) {
  struct Case {
    bool use3D, useFX, sticky;
    uint32_t flags;
  };
  const Case cases[] = {{false, false, true, 0x40E0},
                        {true, false, true, 0x40B0},
                        {false, true, false, 0x2E0},
                        {true, true, false, 0x2E0},
                        {true, false, false, 0xB0}};
  TempFolder folder;
  const std::string path = (folder.path() / "x.wav").string();
  WriteBytes(path, PcmWave(1, 22050, 16, kData));
  for (const Case& c : cases) {
    VirtualAudio audio;
    audio.device.setStickyFocus(c.sticky);
    TDDSDGenWave wave(audio.device, path, c.use3D, c.useFX);
    ASSERT_NE(wave.SoundBuffer(), nullptr);
    EXPECT_EQ(wave.SoundBuffer()->Flags(), c.flags) << c.use3D << c.useFX << c.sticky;
    EXPECT_EQ(wave.UseFX(), c.useFX);
  }
}

TEST(WaveLoad, ArchiveEntriesParseFromMemoryAndLeaveNoFile) {
  TempFolder folder;
  const std::string wavePath = (folder.path() / "x.wav").string();
  const std::string textPath = (folder.path() / "t.txt").string();
  WriteBytes(wavePath, PcmWave(2, 22050, 16, kData));
  WriteBytes(textPath, {'h', 'e', 'l', 'l', 'o'});
  const std::string archive = (folder.path() / "a.vrx").string();
  CreateVRXFile(archive, {wavePath, textPath}, {"WAVE1", "TEXT"}, true);

  const std::filesystem::path temp = folder.path() / "tmp";
  std::filesystem::create_directories(temp);
  const char* oldTmp = std::getenv("TMPDIR");
  const std::string saved = oldTmp != nullptr ? oldTmp : "";
  setenv("TMPDIR", temp.c_str(), 1);
  {
    LogCapture log;
    VirtualAudio audio;
    TDDSDWaveData wave(audio.device, archive, "wave1", false);
    ASSERT_NE(wave.SoundBuffer(), nullptr);
    EXPECT_EQ(BufferBytes(wave), kData);
    TDDSDWave3D text(audio.device, archive, "TEXT", false);
    EXPECT_EQ(text.SoundBuffer(), nullptr);
    EXPECT_EQ(log.Messages(),
              std::vector<std::string>{archive + ":TEXTは、WAVEファイルではありません"});
    // An entry that cannot be extracted raises whatever the debug options say.
    audio.device.SetDebugOption(0);
    try {
      TDDSDWaveData missing(audio.device, archive, "NONE", false);
      ADD_FAILURE() << "no exception";
    } catch (const EDDSD& error) {
      EXPECT_EQ(std::string(error.what()),
                "アーカイブファイル " + archive + " からの NONE のオープンに失敗しました");
    }
  }
  if (oldTmp != nullptr) {
    setenv("TMPDIR", saved.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
  EXPECT_TRUE(std::filesystem::is_empty(temp));
}

}  // namespace
}  // namespace velmo::testing
