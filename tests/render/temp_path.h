// A unique path under the test temporary directory, removed when it goes out of scope.
#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>

namespace velmo::render::testing {

class TempPath {
 public:
  explicit TempPath(const std::string& name) {
    static std::atomic<int> counter{0};
    path_ =
        std::filesystem::temp_directory_path() / ("velmo-render-test-" + std::to_string(getpid()) +
                                                  "-" + std::to_string(counter++) + "-" + name);
  }
  ~TempPath() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  TempPath(const TempPath&) = delete;
  TempPath& operator=(const TempPath&) = delete;

  std::string str() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace velmo::render::testing
