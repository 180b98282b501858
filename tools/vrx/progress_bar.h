#pragma once

#include <cstdint>
#include <ostream>
#include <string>

namespace velmo::vrx_tool {

// A one-line progress bar redrawn in place on a terminal.
class ProgressBar {
 public:
  explicit ProgressBar(std::ostream& out) : out_(out) {}
  ~ProgressBar();

  void Show(std::int32_t done, std::int32_t total, const std::string& label);

 private:
  std::ostream& out_;
  bool drawn_ = false;
};

}  // namespace velmo::vrx_tool
