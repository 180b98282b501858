#include "synth/periodic_timer.h"

#include <pthread.h>
#include <sched.h>

#include <utility>

namespace velmo {

namespace {

// Round-robin real-time scheduling, below the sound server's own threads, where the system
// allows it; elsewhere the thread keeps its normal priority and nothing is said.
void RaisePriority(std::thread& thread) {
  sched_param param{};
  param.sched_priority = 10;
  static_cast<void>(pthread_setschedparam(thread.native_handle(), SCHED_RR, &param));
}

}  // namespace

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
  RaisePriority(thread_);
}

void PeriodicTimer::Stop() {
  if (!thread_.joinable()) return;
  stopRequested_.store(true, std::memory_order_release);
  thread_.join();
}

}  // namespace velmo
