#include "tools/velmo-render/input_file.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/render/temp_path.h"

namespace velmo::render {
namespace {

std::string ErrorFor(const std::string& path, uint64_t maxBytes) {
  try {
    ReadInputFile(path, "script", maxBytes);
  } catch (const InputError& error) {
    return error.what();
  }
  return "(no error)";
}

TEST(InputFile, ReadsWholeFilesUpToTheLimitAndNamesTheFileOnFailure) {
  const testing::TempPath path("input.txt");
  std::ofstream(path.str(), std::ios::binary) << std::string(100000, 'x');
  EXPECT_EQ(ReadInputFile(path.str(), "script", 100000).size(), 100000u);

  const std::string tooBig = ErrorFor(path.str(), 99999);
  EXPECT_NE(tooBig.find("script " + path.str()), std::string::npos) << tooBig;

  const std::string missing = ErrorFor("/nonexistent/x.txt", 100);
  EXPECT_NE(missing.find("/nonexistent/x.txt"), std::string::npos) << missing;
  EXPECT_NE(missing.find("No such file"), std::string::npos) << missing;

  const std::string directory = ErrorFor("/tmp", 100);
  EXPECT_NE(directory.find("/tmp"), std::string::npos) << directory;
}

}  // namespace
}  // namespace velmo::render
