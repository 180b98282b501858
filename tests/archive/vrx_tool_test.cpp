#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "archive/vrx_file.h"
#include "archive/vrx_messages.h"
#include "tests/archive/vrx_temp_dir.h"
#include "tests/archive/vrx_test_data.h"

namespace velmo {
namespace {

struct ToolResult {
  int status;
  std::string out;
  std::string err;
};

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text)
    quoted += (c == '\'') ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// `shell_prefix` runs first in the same shell (limits for the tool, say).
ToolResult RunVrx(const test::TempDir& dir, const std::string& args,
                  const std::string& shell_prefix = "") {
  const std::string out = dir.File("stdout.txt");
  const std::string err = dir.File("stderr.txt");
  const std::string command = shell_prefix + Quote(VRX_TOOL_PATH) + " " + args + " >" + Quote(out) +
                              " 2>" + Quote(err) + " </dev/null";
  const int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadText(out), ReadText(err)};
}

TEST(VrxTool, CreatesListsExtractsAndDescribesArchives) {
  test::TempDir dir;
  const auto text = test::TextData(5000);
  const std::string text_file = dir.Write("text.txt", text);
  const std::string pcm_file = dir.Write("tone.pcm", test::PcmData(3000));
  const std::string archive = dir.File("a.vrx");

  ASSERT_EQ(RunVrx(dir, "create " + Quote(archive) + " " + Quote(text_file) + " " +
                            Quote(pcm_file + "=音色/Tone=1") + " " + Quote(text_file + "="))
                .status,
            0);
  EXPECT_EQ(ExtractFromVRXFile(archive, "TEXT.txt"), text);
  EXPECT_EQ(ExtractFromVRXFile(archive, "音色/tone=1"), test::PcmData(3000))
      << "split at the first =";
  EXPECT_EQ(ExtractFromVRXFile(archive, ""), text) << "FILE= gives the empty ID";

  const ToolResult list = RunVrx(dir, "list " + Quote(archive));
  EXPECT_EQ(list.status, 0);
  EXPECT_NE(list.out.find("  text.txt\n"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("5000"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("  音色/Tone=1\n"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("3 entries, packed"), std::string::npos) << list.out;

  const std::string out_file = dir.File("out.bin");
  EXPECT_EQ(RunVrx(dir, "extract " + Quote(archive) + " TEXT.TXT -o " + Quote(out_file)).status, 0);
  EXPECT_EQ(test::TempDir::Read(out_file), text);
  const ToolResult to_stdout = RunVrx(dir, "extract " + Quote(archive) + " text.txt");
  EXPECT_EQ(to_stdout.out, std::string(text.begin(), text.end()));

  const ToolResult info = RunVrx(dir, "info " + Quote(archive));
  EXPECT_EQ(info.status, 0);
  EXPECT_NE(info.out.find("DataCount:  3"), std::string::npos) << info.out;

  ASSERT_EQ(RunVrx(dir, "create " + Quote(archive) + " --store " + Quote(text_file)).status, 0);
  EXPECT_EQ(GetVRXFileInfo(archive).Compressed, 0u);
}

TEST(VrxTool, FailsWithTheArchiveMessagesOnStandardError) {
  test::TempDir dir;
  const std::string archive = dir.File("a.vrx");
  ASSERT_EQ(RunVrx(dir, "create " + Quote(archive) + " " + Quote(dir.Write("x", {'x'}))).status, 0);

  const ToolResult missing = RunVrx(dir, "extract " + Quote(archive) + " nothing -o /dev/null");
  EXPECT_NE(missing.status, 0);
  EXPECT_EQ(missing.err, VRXIDNotFoundMessage("nothing") + "\n");

  const std::string not_archive = dir.Write("plain.txt", test::TextData(300));
  for (const char* command : {"list ", "info ", "extract "}) {
    const ToolResult bad = RunVrx(dir, command + Quote(not_archive) + " x -o /dev/null");
    const ToolResult bad_list =
        std::string(command) == "extract " ? bad : RunVrx(dir, command + Quote(not_archive));
    EXPECT_NE(bad_list.status, 0) << command;
    EXPECT_EQ(bad_list.err, std::string(kVRXBadSignatureMessage) + "\n") << command;
  }

  const ToolResult no_file =
      RunVrx(dir, "create " + Quote(archive) + " " + Quote(dir.File("none")));
  EXPECT_NE(no_file.status, 0);
  EXPECT_NE(no_file.err.find("none"), std::string::npos) << no_file.err;

  const ToolResult usage = RunVrx(dir, "frobnicate");
  EXPECT_NE(usage.status, 0);
  EXPECT_NE(usage.err.find("usage:"), std::string::npos);
}

// Whatever goes wrong, the archive and an extracted file that were there stay as they were,
// and no new file is left behind; the message names what is wrong.
TEST(VrxTool, FailuresLeaveExistingFilesAsTheyWere) {
  test::TempDir dir;
  const std::string archive = dir.File("a.vrx");
  const std::string big = dir.Write("big.pcm", test::PcmData(200000));
  ASSERT_EQ(RunVrx(dir, "create " + Quote(archive) + " " + Quote(big)).status, 0);
  const std::string out = dir.Write("out.bin", {'o', 'l', 'd'});
  std::filesystem::create_directory(dir.File("folder"));
  ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0600), 0);
  const auto archive_before = test::TempDir::Read(archive);
  // SIGXFSZ ignored, a write past the limit fails with EFBIG as on a full disk.
  const std::string small_disk = "trap '' XFSZ; ulimit -f 64; ";
  struct Case {
    std::string args;
    std::string prefix;
    std::string reason;
  };
  const Case cases[] = {
      {"create " + Quote(archive) + " " + Quote(dir.File("missing")), "", "missing"},
      {"create " + Quote(archive) + " " + Quote(dir.File("folder")), "", "a directory"},
      {"create " + Quote(archive) + " " + Quote(dir.File("pipe")), "", "a pipe"},
      {"create " + Quote(archive) + " /dev/zero", "", "a character device"},
      {"create " + Quote(archive) + " " + Quote(big) + " " + Quote(archive), "", "same file"},
      {"create " + Quote(archive) + " --store " + Quote(big), small_disk, "a.vrx"},
      {"extract " + Quote(archive) + " big.pcm -o " + Quote(archive), "", "same file"},
      {"extract " + Quote(archive) + " big.pcm -o " + Quote(out), small_disk, "out.bin"},
  };
  for (const Case& c : cases) {
    const ToolResult result = RunVrx(dir, c.args, c.prefix);
    EXPECT_EQ(result.status, 1) << c.args;
    EXPECT_NE(result.err.find(c.reason), std::string::npos) << c.args << ": " << result.err;
    EXPECT_EQ(test::TempDir::Read(archive), archive_before) << c.args;
    EXPECT_EQ(test::TempDir::Read(out), (std::vector<std::uint8_t>{'o', 'l', 'd'})) << c.args;
    // big.pcm, a.vrx, out.bin, folder, pipe and the two captured streams
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.File("")), {}), 7) << c.args;
  }
  const ToolResult special =
      RunVrx(dir, "create " + Quote(archive) + " --allow-special /dev/null=empty");
  EXPECT_EQ(special.status, 0) << special.err;
  EXPECT_TRUE(ExtractFromVRXFile(archive, "empty").empty());
}

TEST(VrxTool, ListShowsControlCharactersInIdsEscaped) {
  test::TempDir dir;
  const std::string archive = dir.File("a.vrx");
  CreateVRXFile(archive, {dir.Write("x", {'x'})}, {"a\x1B[2Jb\nforged\x7F"}, true);
  const ToolResult list = RunVrx(dir, "list " + Quote(archive));
  EXPECT_EQ(list.status, 0);
  EXPECT_NE(list.out.find("  a\\x1B[2Jb\\x0Aforged\\x7F\n"), std::string::npos) << list.out;
  EXPECT_EQ(list.out.find('\x1B'), std::string::npos);
}

}  // namespace
}  // namespace velmo
