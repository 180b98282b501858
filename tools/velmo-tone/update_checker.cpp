#include "update_checker.h"

#include <algorithm>
#include <numeric>

namespace velmo::tone {

UpdateChecker::UpdateChecker(uint32_t halfSize) : halfSize_(halfSize) {}

void UpdateChecker::OnHalfCopied(uint32_t offset, uint32_t playCursor) {
  const Clock::time_point now = Clock::now();
  const std::lock_guard lock(mutex_);
  const int half = HalfOf(offset);
  if (report_.updates == 0) report_.firstWasSecondHalf = half == 1;
  ++report_.updates;
  if (half == lastUpdatedHalf_) ++report_.doubled;
  if (HalfOf(playCursor) == half) ++report_.intoPlayingHalf;
  lastUpdatedHalf_ = half;
  refilled_[half] = true;
  copiedAt_[half] = now;
  lastUpdateAt_ = now;
}

void UpdateChecker::OnCursor(uint32_t playCursor) {
  const Clock::time_point now = Clock::now();
  const std::lock_guard lock(mutex_);
  const int half = HalfOf(playCursor);
  if (half == cursorHalf_) return;
  cursorHalf_ = half;
  ++report_.halvesEntered;
  using Ms = std::chrono::duration<double, std::milli>;
  if (!refilled_[half]) {
    ++report_.missed;
    report_.lastMissPreviousHalfMs = Ms(now - enteredAt_).count();
    report_.lastMissSinceUpdateMs = Ms(now - lastUpdateAt_).count();
    report_.lastMissAtSeconds = std::chrono::duration<double>(now - start_).count();
  } else {
    const std::chrono::duration<double, std::milli> waited = now - copiedAt_[half];
    latenciesMs_.push_back(waited.count());
    if (waited.count() >= report_.latencyMaxMs) {
      report_.latencyMaxMs = waited.count();
      report_.latencyMaxAtSeconds = std::chrono::duration<double>(now - start_).count();
    }
  }
  refilled_[half] = false;
  enteredAt_ = now;
}

UpdateReport UpdateChecker::Report() const {
  const std::lock_guard lock(mutex_);
  UpdateReport report = report_;
  if (!latenciesMs_.empty()) {
    const auto low = std::min_element(latenciesMs_.begin(), latenciesMs_.end());
    report.latencyMinMs = *low;
    report.latencyMeanMs =
        std::accumulate(latenciesMs_.begin(), latenciesMs_.end(), 0.0) / latenciesMs_.size();
    std::vector<double> sorted = latenciesMs_;
    std::sort(sorted.begin(), sorted.end());
    report.latencyMedianMs = sorted[sorted.size() / 2];
    report.latency99Ms = sorted[sorted.size() * 99 / 100];
  }
  return report;
}

}  // namespace velmo::tone
