// velmo-bank build --max-bytes: a whole number of bytes from 1 to 2^32 - 1, nothing else; a
// budget the bank cannot meet is refused by the builder, not by the option parser.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/bank/soundfont_builder.h"

namespace velmo {
namespace {

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(BankCli, MaxBytesTakesOnlyAWholeNumberInRange) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("velmo-bank-cli-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::filesystem::path font = dir / "font.sf2", bank = dir / "bank.bin", err = dir / "err";
  {
    testing::TestPreset preset;
    preset.zones = {testing::TestZone{}};
    const std::vector<uint8_t> bytes =
        testing::WriteSoundFont({{"s", testing::Sine(2000, 100, 20000)}}, {preset});
    std::ofstream(font, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  struct Case {
    const char* value;
    int exitCode;
    const char* message;  // part of standard error; "" = none expected
  };
  const char* const kRefused = "--max-bytes needs a whole number of bytes from 1 to 4294967295";
  const Case cases[] = {
      {"12abc", 2, kRefused}, {"-1", 2, kRefused},
      {"0", 2, kRefused},     {"4294967296", 2, kRefused},
      {"+5", 2, kRefused},    {"' 5'", 2, kRefused},
      {"1e6", 2, kRefused},   {"0x10", 2, kRefused},
      {"''", 2, kRefused},    {"1", 1, "size budget is too small"},
      {"4294967295", 0, ""},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(bank);
    const std::string command = std::string(VELMO_BANK_PATH) + " build " + font.string() + " -o " +
                                bank.string() + " --max-bytes " + c.value + " 2>" + err.string() +
                                " >/dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << c.value;
    EXPECT_EQ(WEXITSTATUS(status), c.exitCode) << c.value;
    EXPECT_NE(ReadText(err).find(c.message), std::string::npos) << c.value << ": " << ReadText(err);
    EXPECT_EQ(std::filesystem::exists(bank), c.exitCode == 0) << c.value;
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace velmo
