#include "synth/periodic_timer.h"

#include <utility>

namespace velmo {

PeriodicTimer::~PeriodicTimer() {
  Stop();
}

void PeriodicTimer::Start(std::chrono::nanoseconds period, std::function<void()> tick) {
  stopRequested_.store(false, std::memory_order_relaxed);
  thread_ = std::thread([this, period, tick = std::move(tick)] {
    auto deadline = std::chrono::steady_clock::now() + period;
    while (!stopRequested_.load(std::memory_order_acquire)) {
      std::this_thread::sleep_until(deadline);
      if (stopRequested_.load(std::memory_order_acquire)) break;
      tick();
      deadline += period;
    }
  });
}

void PeriodicTimer::Stop() {
  if (!thread_.joinable()) return;
  stopRequested_.store(true, std::memory_order_release);
  thread_.join();
}

}  // namespace velmo
