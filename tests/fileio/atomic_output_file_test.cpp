#include "fileio/atomic_output_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace velmo::fileio {
namespace {

namespace fs = std::filesystem;

class AtomicOutputFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("velmo-fileio-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  fs::path Put(const std::string& name, const std::string& text) const {
    std::ofstream(folder_ / name, std::ios::binary) << text;
    return folder_ / name;
  }
  static std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  size_t EntryCount() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder_), {}));
  }

  fs::path folder_;
};

const std::vector<uint8_t> kNewBytes{'n', 'e', 'w'};

TEST_F(AtomicOutputFileTest, CommitReplacesTheTargetWhole) {
  const fs::path target = Put("out.bin", "old contents");
  {
    AtomicOutputFile out(target);
    out.Write(kNewBytes);
    EXPECT_EQ(Read(target), "old contents");  // untouched until the commit
    out.Commit();
  }
  EXPECT_EQ(Read(target), "new");
  EXPECT_EQ(EntryCount(), 1u);
  EXPECT_NE(fs::status(target).permissions() & fs::perms::others_read, fs::perms::none);
}

// Every way a write can end before its commit leaves the old file and nothing else.
TEST_F(AtomicOutputFileTest, UnfinishedWritesKeepTheOldFile) {
  const fs::path target = Put("out.bin", "old contents");
  {  // abandoned (an exception on the way out, say)
    AtomicOutputFile out(target);
    out.Write(kNewBytes);
  }
  {  // a write error: the file size limit stands in for a full disk
    AtomicOutputFile out(target);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 2;
    ::setrlimit(RLIMIT_FSIZE, &small);
    EXPECT_THROW(out.Write(kNewBytes), OutputFileError);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
  }
  EXPECT_EQ(Read(target), "old contents");
  EXPECT_EQ(EntryCount(), 1u);
  EXPECT_THROW(AtomicOutputFile(folder_ / "missing" / "out.bin"), OutputFileError);
}

// A target that cannot be renamed over (a device) is written in place; a link is followed, so
// the file it names is replaced and the link itself stays.
TEST_F(AtomicOutputFileTest, DevicesAreWrittenInPlaceAndLinksAreFollowed) {
  const fs::path pointed = Put("real.bin", "old contents");
  fs::create_symlink(pointed, folder_ / "link.bin");
  struct Case {
    fs::path target;
    fs::path replaced;  // the file that must hold the new bytes afterwards, if any
  };
  const Case cases[] = {{"/dev/null", {}}, {folder_ / "link.bin", pointed}};
  for (const Case& c : cases) {
    AtomicOutputFile out(c.target);
    out.Write(kNewBytes);
    out.Commit();
    if (!c.replaced.empty()) {
      EXPECT_EQ(Read(c.replaced), "new") << c.target;
    }
  }
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  EXPECT_TRUE(fs::is_symlink(folder_ / "link.bin"));
  EXPECT_EQ(EntryCount(), 2u);
}

TEST_F(AtomicOutputFileTest, SameFileIsRefusedUnderAnyName) {
  const fs::path input = Put("in.mid", "x");
  const fs::path other = Put("other.mid", "x");
  fs::create_hard_link(input, folder_ / "link.mid");
  struct Case {
    fs::path output;
    bool refused;
  };
  const Case cases[] = {
      {input, true},  {folder_ / "." / "in.mid", true}, {folder_ / "link.mid", true},
      {other, false}, {folder_ / "not-yet.wav", false},
  };
  const std::vector<fs::path> inputs{folder_ / "missing.mid", input};
  for (const Case& c : cases) {
    if (c.refused) {
      EXPECT_THROW(RefuseSameFile(c.output, inputs), OutputFileError) << c.output;
    } else {
      EXPECT_NO_THROW(RefuseSameFile(c.output, inputs)) << c.output;
    }
  }
}

}  // namespace
}  // namespace velmo::fileio
