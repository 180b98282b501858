#include "tools/vrx/progress_bar.h"

namespace velmo::vrx_tool {

namespace {
constexpr std::int32_t kBarWidth = 30;
}

ProgressBar::~ProgressBar() {
  if (drawn_) out_ << "\n" << std::flush;
}

void ProgressBar::Show(std::int32_t done, std::int32_t total, const std::string& label) {
  const std::int32_t filled =
      total > 0 ? static_cast<std::int32_t>(std::int64_t{done} * kBarWidth / total) : kBarWidth;
  out_ << "\r\x1b[K[" << std::string(static_cast<std::size_t>(filled), '#')
       << std::string(static_cast<std::size_t>(kBarWidth - filled), '.') << "] " << done << "/"
       << total << " " << label << std::flush;
  drawn_ = true;
}

}  // namespace velmo::vrx_tool
