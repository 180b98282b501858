#include "tools/velmo-render/progress_line.h"

#include <unistd.h>

#include <cstdio>

#include "tools/velmo-render/render_format.h"

namespace velmo::render {
namespace {

// A render quicker than this never shows a line; after that the line is refreshed this often.
constexpr auto kFirstShow = std::chrono::milliseconds(500);
constexpr auto kRefresh = std::chrono::milliseconds(200);
constexpr int64_t kBlocksBetweenClockReads = 64;

double Seconds(int64_t blocks) {
  return static_cast<double>(blocks) * kFramesPerBlock / kSampleRate;
}

}  // namespace

ProgressLine::ProgressLine(std::optional<int64_t> totalBlocks)
    : enabled_(isatty(STDERR_FILENO) == 1),
      totalBlocks_(totalBlocks),
      start_(std::chrono::steady_clock::now()),
      lastShown_(start_) {}

ProgressLine::~ProgressLine() {
  if (shown_) {
    Show();
    std::fputc('\n', stderr);
  }
}

void ProgressLine::BlockDone() {
  ++blocksDone_;
  if (!enabled_ || blocksDone_ % kBlocksBetweenClockReads != 0) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - start_ < kFirstShow || now - lastShown_ < kRefresh) return;
  lastShown_ = now;
  Show();
}

void ProgressLine::Show() {
  shown_ = true;
  if (totalBlocks_ && *totalBlocks_ > 0) {
    std::fprintf(stderr, "\rrendering: %.1f of %.1f s (%3d%%)", Seconds(blocksDone_),
                 Seconds(*totalBlocks_), static_cast<int>(blocksDone_ * 100 / *totalBlocks_));
  } else {
    std::fprintf(stderr, "\rrendering: %.1f s", Seconds(blocksDone_));
  }
  std::fflush(stderr);
}

}  // namespace velmo::render
