// Watches a stream's updates against its play cursor: one update per half, every half, in
// alternating order, and how long a copied half waits before the mixer starts playing it.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

namespace velmo::tone {

struct UpdateReport {
  uint64_t updates = 0;
  uint64_t halvesEntered = 0;    // times the play cursor moved into the other half
  uint64_t doubled = 0;          // an update for the same half as the one before
  uint64_t missed = 0;           // a half entered without an update since it was last played
  uint64_t intoPlayingHalf = 0;  // an update for the half the cursor was in
  bool firstWasSecondHalf = false;
  // For the last miss: how long the cursor had been in the half before, and since the last
  // update. A short stay means the device pulled in a burst; a long gap, a late notify pass.
  double lastMissPreviousHalfMs = 0;
  double lastMissSinceUpdateMs = 0;
  double lastMissAtSeconds = 0;
  double latencyMinMs = 0;
  double latencyMeanMs = 0;
  double latencyMedianMs = 0;
  double latency99Ms = 0;  // 99th percentile
  double latencyMaxMs = 0;
  double latencyMaxAtSeconds = 0;  // when the longest wait ended, from the start
};

class UpdateChecker {
 public:
  using Clock = std::chrono::steady_clock;

  // The stream starts playing at 0 with the first half primed.
  explicit UpdateChecker(uint32_t halfSize);
  // After the handler's BlockCopy into the half at `offset`; `playCursor` as read then.
  void OnHalfCopied(uint32_t offset, uint32_t playCursor);
  // The play cursor as a watcher sees it, polled far more often than halves change.
  void OnCursor(uint32_t playCursor);
  UpdateReport Report() const;

 private:
  int HalfOf(uint32_t offset) const { return offset < halfSize_ ? 0 : 1; }

  const uint32_t halfSize_;
  mutable std::mutex mutex_;
  UpdateReport report_;
  int lastUpdatedHalf_ = -1;
  int cursorHalf_ = 0;
  std::array<bool, 2> refilled_{true, false};
  std::array<Clock::time_point, 2> copiedAt_{};
  Clock::time_point enteredAt_ = Clock::now();
  Clock::time_point lastUpdateAt_ = Clock::now();
  std::vector<double> latenciesMs_;
  const Clock::time_point start_ = Clock::now();
};

}  // namespace velmo::tone
