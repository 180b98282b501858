// A one-line progress display on standard error for long renders, shown only on a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace velmo::render {

class ProgressLine {
 public:
  // `totalBlocks`: how many blocks the render has, when known in advance.
  explicit ProgressLine(std::optional<int64_t> totalBlocks);
  ~ProgressLine();  // ends the line if one was shown
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void BlockDone();

 private:
  void Show();

  bool enabled_;
  std::optional<int64_t> totalBlocks_;
  int64_t blocksDone_ = 0;
  bool shown_ = false;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastShown_;
};

}  // namespace velmo::render
