// A set of auto-reset events a thread can wait on together, the way position notifications
// are delivered: Signal marks one, WaitAny takes the one signalled first.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>

namespace velmo {

template <size_t Count>
class NotifyEventSet {
 public:
  void Signal(size_t index) {
    {
      const std::lock_guard lock(mutex_);
      if (stamps_[index] == 0) stamps_[index] = ++serial_;
    }
    wake_.notify_all();
  }
  // Wakes a waiter without signalling anything (to let it see a termination request).
  void Interrupt() {
    {
      const std::lock_guard lock(mutex_);
      interrupted_ = true;
    }
    wake_.notify_all();
  }
  // The index of the earliest signalled event, which is reset; none on time-out or interrupt.
  std::optional<size_t> WaitAny(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, timeout, [this] { return interrupted_ || Earliest().has_value(); });
    interrupted_ = false;
    const std::optional<size_t> index = Earliest();
    if (index) stamps_[*index] = 0;
    return index;
  }

 private:
  std::optional<size_t> Earliest() const {
    std::optional<size_t> earliest;
    for (size_t i = 0; i < Count; ++i) {
      if (stamps_[i] != 0 && (!earliest || stamps_[i] < stamps_[*earliest])) earliest = i;
    }
    return earliest;
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::array<uint64_t, Count> stamps_{};  // 0: not signalled; else the order it was signalled in
  uint64_t serial_ = 0;
  bool interrupted_ = false;
};

}  // namespace velmo
