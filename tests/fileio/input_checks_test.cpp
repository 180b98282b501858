#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "fileio/input_file_check.h"
#include "fileio/terminal_text.h"

namespace velmo::fileio {
namespace {

namespace fs = std::filesystem;

TEST(InputFileCheck, OnlyReadableRegularFilesPassAndRefusalsSayWhy) {
  const fs::path folder = fs::temp_directory_path() / ("velmo-input-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  std::ofstream(folder / "song.mid") << "x";
  ::mkfifo((folder / "pipe").c_str(), 0600);
  struct Case {
    fs::path path;
    const char* reason;  // nullptr: accepted
  };
  const Case cases[] = {
      {folder / "song.mid", nullptr},      {folder, "a directory"},
      {folder / "pipe", "a pipe"},         {"/dev/zero", "a character device"},
      {folder / "absent", "No such file"},
  };
  for (const Case& c : cases) {
    if (c.reason == nullptr) {
      EXPECT_NO_THROW(RequireRegularFile(c.path, "source")) << c.path;
      continue;
    }
    try {
      RequireRegularFile(c.path, "source");
      ADD_FAILURE() << c.path << " accepted";
    } catch (const InputFileError& error) {
      const std::string message = error.what();
      EXPECT_NE(message.find("source " + c.path.string()), std::string::npos) << message;
      EXPECT_NE(message.find(c.reason), std::string::npos) << message;
    }
  }
  fs::remove_all(folder);
}

// Every control byte, alone or in text, comes out as visible \xNN; everything else unchanged.
TEST(TerminalText, ControlCharactersAreEscapedAndTheRestKept) {
  for (int byte = 0; byte < 256; ++byte) {
    const std::string text(1, static_cast<char>(byte));
    const std::string shown = EscapeForTerminal("a" + text + "b");
    const bool control = byte < 0x20 || byte == 0x7F;
    for (const char c : shown) {
      EXPECT_FALSE(static_cast<uint8_t>(c) < 0x20 || c == 0x7F) << byte;
    }
    EXPECT_EQ(shown == "a" + text + "b", !control) << byte;
  }
  struct Case {
    std::string text;
    std::string shown;
  };
  const Case cases[] = {
      {"\x1B[2J", "\\x1B[2J"},
      {"a\nb\tc\r", "a\\x0Ab\\x09c\\x0D"},
      {"\xC2\x9B"
       "31m",
       "\\xC2\\x9B31m"},  // C1 control sequence introducer
      {"音色\\x", "音色\\x"},
      {"\xC2", "\xC2"},  // a lone lead byte at the end is not a control
  };
  for (const Case& c : cases)
    EXPECT_EQ(EscapeForTerminal(c.text), c.shown) << c.shown;
}

}  // namespace
}  // namespace velmo::fileio
