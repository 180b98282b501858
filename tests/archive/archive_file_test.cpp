#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <system_error>
#include <tuple>
#include <vector>

#include "archive/vrx.h"
#include "archive/vrx_bytes.h"
#include "tests/archive/vrx_temp_dir.h"
#include "tests/archive/vrx_test_data.h"

namespace velmo {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<std::uint8_t> ExtractFromBytes(const Bytes& archive, const std::string& id) {
  std::istringstream stream(std::string(archive.begin(), archive.end()));
  return ExtractFromVRXStream(stream, id);
}

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EVRXError& error) {
    return error.what();
  }
  return "(no EVRXError)";
}

TEST(CreateVRXFile, WritesHeaderDirectoryAndDataByteForByte) {
  test::TempDir dir;
  const std::string source = dir.Write("abc.txt", {'a', 'b', 'c'});
  const std::string archive = dir.File("one.vrx");
  CreateVRXFile(archive, {source}, {"Aé"}, true);

  Bytes expected(260 + 524, 0);
  expected[0] = 1;
  const char signature[] = {'V', 0, 'R', 0, 'X', 0, '0', 0};
  std::copy(signature, signature + 8, expected.begin() + 4);
  expected[12] = 1;
  WriteU32LE(expected.data() + 260, 784);
  WriteU32LE(expected.data() + 264, 11);
  WriteU32LE(expected.data() + 268, 3);
  expected[272] = 'A';
  expected[274] = 0xE9;  // U+00E9
  const Bytes packed = {0xFE, 0x7F, 0xFE, 0xFF, 3, 0, 0, 0, 'a', 'b', 'c'};
  expected.insert(expected.end(), packed.begin(), packed.end());
  EXPECT_EQ(test::TempDir::Read(archive), expected);

  CreateVRXFile(archive, {source}, {"Aé"}, false);
  expected[0] = 0;
  WriteU32LE(expected.data() + 264, 3);
  expected.resize(784);
  expected.insert(expected.end(), {'a', 'b', 'c'});
  EXPECT_EQ(test::TempDir::Read(archive), expected) << "stored, and the old archive overwritten";
}

TEST(CreateVRXFile, WritesAnArchiveWithoutEntriesAsItsHeaderAlone) {
  test::TempDir dir;
  CreateVRXFile(dir.File("empty.vrx"), {}, {}, true);
  const Bytes bytes = test::TempDir::Read(dir.File("empty.vrx"));
  ASSERT_EQ(bytes.size(), 260u);
  EXPECT_EQ(ReadU32LE(bytes.data() + 12), 0u);
  EXPECT_EQ(ErrorOf([&] { ExtractFromVRXFile(dir.File("empty.vrx"), "x"); }),
            VRXIDNotFoundMessage("x"));
}

TEST(VRXArchive, RoundTripsEntriesPackedAndStored) {
  test::TempDir dir;
  const std::vector<Bytes> contents = {test::TextData(12000),
                                       test::PcmData(20000),
                                       {},
                                       test::RandomData(9000, 5),
                                       test::AllByteValues(700)};
  const std::vector<std::string> ids = {"text.txt", "トーン.wav", "empty", "𝄞 random", "Ωmega"};
  std::vector<std::string> files;
  for (std::size_t i = 0; i < contents.size(); ++i) {
    files.push_back(dir.Write("f" + std::to_string(i), contents[i]));
  }
  for (const bool compress : {true, false}) {
    const std::string archive = dir.File(compress ? "packed.vrx" : "stored.vrx");
    CreateVRXFile(archive, files, ids, compress);
    EXPECT_EQ(GetVRXFileInfo(archive).Compressed, compress ? 1u : 0u);
    for (std::size_t i = 0; i < ids.size(); ++i) {
      EXPECT_EQ(ExtractFromVRXFile(archive, ids[i]), contents[i]) << ids[i] << " " << compress;
      const TVRXDataInfo entry = GetVRXDataInfo(archive, static_cast<std::uint32_t>(i));
      EXPECT_EQ(entry.UnpackedSize, contents[i].size());
      EXPECT_EQ(VRXIDToUtf8(StoredVRXID(entry)), ids[i]);
    }
  }
}

TEST(VRXArchive, MatchesIDsCaseInsensitivelyAndTheFirstEqualEntryWins) {
  test::TempDir dir;
  const std::string first = dir.Write("first", {'1'});
  const std::string second = dir.Write("second", {'2'});
  const std::string third = dir.Write("third", {'3'});
  const std::string archive = dir.File("ids.vrx");
  CreateVRXFile(archive, {first, second, third}, {"Voice.WAV", "VOICE.wav", "ÄΣЖＡ"}, true);
  EXPECT_EQ(ExtractFromVRXFile(archive, "voice.wav"), Bytes{'1'});
  EXPECT_EQ(ExtractFromVRXFile(archive, "VOICE.WAV"), Bytes{'1'});
  EXPECT_EQ(ExtractFromVRXFile(archive, "äσжａ"), Bytes{'3'});
  EXPECT_EQ(ErrorOf([&] { ExtractFromVRXFile(archive, "voice.wa"); }),
            "アーカイブ内には指定されたID 'voice.wa' を持つデータが見つかりません");
}

TEST(VRXArchive, ReportsInvalidIndexAndBadSignatureWithTheirMessages) {
  test::TempDir dir;
  const std::string archive = dir.File("two.vrx");
  const std::string source = dir.Write("s", {'s'});
  CreateVRXFile(archive, {source, source}, {"a", "b"}, true);
  EXPECT_EQ(GetVRXDataInfo(archive, 1).DataPos, 260u + 2 * 524 + 9);
  EXPECT_EQ(ErrorOf([&] { GetVRXDataInfo(archive, 2); }),
            "2 は、無効なVRXファイル内のインデクスです");
  EXPECT_EQ(ErrorOf([&] { GetVRXDataInfo(archive, 0xFFFFFFFF); }),
            "4294967295 は、無効なVRXファイル内のインデクスです");

  const std::string not_archive = dir.Write("text.txt", test::TextData(400));
  EXPECT_EQ(ErrorOf([&] { ExtractFromVRXFile(not_archive, "a"); }),
            "Vorand Archiveの扱えるデータではありません");
  EXPECT_EQ(GetVRXFileInfo(not_archive).Compressed, ReadU32LE(test::TextData(4).data()))
      << "the header is returned without a signature test";
  EXPECT_THROW(ExtractFromVRXFile(dir.File("missing.vrx"), "a"), std::system_error);
}

TEST(VRXArchive, RejectsEveryTruncationOfAnArchive) {
  test::TempDir dir;
  const std::string archive = dir.File("cut.vrx");
  CreateVRXFile(archive,
                {dir.Write("a", test::TextData(3000)), dir.Write("b", test::PcmData(9000))},
                {"a", "b"}, true);
  const Bytes whole = test::TempDir::Read(archive);
  ASSERT_EQ(ExtractFromBytes(whole, "b"), test::PcmData(9000));
  for (std::size_t length = 0; length < whole.size(); ++length) {
    const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
    const std::string error = ErrorOf([&] { ExtractFromBytes(cut, "b"); });
    const std::string expected = length < 12 ? "Vorand Archive" : "truncated";
    ASSERT_NE(error.find(expected), std::string::npos) << length << ": " << error;
  }
}

TEST(VRXArchive, RejectsDirectoriesAndEntriesPointingPastTheArchive) {
  test::TempDir dir;
  const std::string archive = dir.File("h.vrx");
  CreateVRXFile(archive, {dir.Write("a", test::TextData(100))}, {"a"}, true);
  const Bytes whole = test::TempDir::Read(archive);
  const auto patched = [&](std::size_t offset, std::uint32_t value) {
    Bytes bytes = whole;
    WriteU32LE(bytes.data() + offset, value);
    return bytes;
  };
  const std::vector<std::tuple<std::string, std::size_t, std::uint32_t>> cases = {
      {"DataCount", 12, 0xFFFFFFFF},
      {"DataPos", 260, 0xFFFFFFF0},
      {"PackedSize", 264, 0xFFFFFFFF},
      {"UnpackedSize", 268, 0x7FFFFFFF}};
  for (const auto& [field, offset, value] : cases) {
    const std::string error = ErrorOf([&] { ExtractFromBytes(patched(offset, value), "a"); });
    EXPECT_TRUE(error.find("truncated") != std::string::npos ||
                error.find("corrupt") != std::string::npos)
        << field << ": " << error;
  }
  // Stored entries read UnpackedSize bytes, which must lie inside the archive too.
  Bytes stored = patched(0, 0);
  WriteU32LE(stored.data() + 268, 0x7FFFFFFF);
  EXPECT_NE(ErrorOf([&] { ExtractFromBytes(stored, "a"); }).find("runs past its end"),
            std::string::npos);
}

TEST(CreateVRXFile, ReportsProgressPerFileAlsoWhenAFileFails) {
  test::TempDir dir;
  const std::string good = dir.Write("good", {'g'});
  const std::string missing = dir.File("missing");
  std::vector<std::tuple<std::int32_t, std::int32_t, std::string>> calls;
  const TVRXNotifyEvent record = [&](std::int32_t progress, std::int32_t count,
                                     const std::string& file) {
    calls.emplace_back(progress, count, file);
  };
  EXPECT_THROW(
      CreateVRXFile(dir.File("p.vrx"), {good, missing, good}, {"a", "b", "c"}, true, record),
      std::system_error);
  EXPECT_EQ(calls, (decltype(calls){{1, 3, good}, {2, 3, missing}}));
  // The entry written before the failure stays readable.
  EXPECT_EQ(ExtractFromVRXFile(dir.File("p.vrx"), "a"), Bytes{'g'});

  CreateVRXFile(dir.File("q.vrx"), {good}, {"a"}, true, nullptr);
  EXPECT_EQ(ExtractFromVRXFile(dir.File("q.vrx"), "a"), Bytes{'g'});
}

TEST(CreateVRXFile, RejectsIDsItCannotStoreBeforeTouchingTheArchive) {
  test::TempDir dir;
  const std::string source = dir.Write("s", {'s'});
  const std::string archive = dir.File("ids.vrx");
  const std::string longest(255, 'x');
  const std::string supplementary_longest = std::string(253, 'x') + "𝄞";  // 255 units
  CreateVRXFile(archive, {source, source}, {longest, supplementary_longest}, true);
  EXPECT_EQ(ExtractFromVRXFile(archive, std::string(255, 'X')), Bytes{'s'});
  EXPECT_EQ(ExtractFromVRXFile(archive, supplementary_longest), Bytes{'s'});
  EXPECT_THROW(ExtractFromVRXFile(archive, "bad\xFF"), EVRXError);

  for (const std::string& bad :
       {std::string(256, 'x'), std::string(254, 'x') + "𝄞", std::string("bad\xC3"),
        std::string("over\xC0\xAF"), std::string("nul\0id", 6)}) {
    std::filesystem::remove(archive);
    EXPECT_THROW(CreateVRXFile(archive, {source}, {bad}, true), EVRXError);
    EXPECT_FALSE(std::filesystem::exists(archive));
  }
  EXPECT_THROW(CreateVRXFile(archive, {source}, {"a", "b"}, true), EVRXError);
}

}  // namespace
}  // namespace velmo
