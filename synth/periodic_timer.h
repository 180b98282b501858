// A periodic timer service: one thread that calls a procedure every period,
// on absolute deadlines of the steady clock (no drift).
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace velmo {

class PeriodicTimer {
 public:
  PeriodicTimer() = default;
  ~PeriodicTimer();
  PeriodicTimer(const PeriodicTimer&) = delete;
  PeriodicTimer& operator=(const PeriodicTimer&) = delete;

  // Starts calling `tick` every `period` on a new thread. Throws
  // std::system_error when the thread cannot be created. Must not be running.
  void Start(std::chrono::nanoseconds period, std::function<void()> tick);

  // Ends the thread and waits for it; the current tick, if any, completes first.
  void Stop();

  bool Running() const { return thread_.joinable(); }

 private:
  std::thread thread_;
  std::atomic<bool> stopRequested_{false};
};

}  // namespace velmo
