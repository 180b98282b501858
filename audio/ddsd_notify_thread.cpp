#include "audio/ddsd_notify_thread.h"

#include <pthread.h>
#include <sched.h>

#include <chrono>

#include "audio/ddsd_gen_wave.h"

namespace velmo {

namespace {

constexpr std::chrono::milliseconds kPollPeriod{10};

// Round-robin real-time scheduling, below the sound server's own threads, where the system
// allows it; elsewhere the thread keeps its normal priority and nothing is said.
void RaisePriority(std::thread& thread) {
  sched_param param{};
  param.sched_priority = 10;
  static_cast<void>(pthread_setschedparam(thread.native_handle(), SCHED_RR, &param));
}

}  // namespace

TDDSDNotifyThread::TDDSDNotifyThread(TDDSDGenWave& wave, bool manualPolling) : Wave(wave) {
  if (!manualPolling) {
    thread_ = std::thread(&TDDSDNotifyThread::Execute, this);
    RaisePriority(thread_);
  }
}

TDDSDNotifyThread::~TDDSDNotifyThread() {
  Terminate();
  WaitFor();
}

void TDDSDNotifyThread::Terminate() {
  {
    const std::lock_guard lock(mutex_);
    terminated_ = true;
  }
  wake_.notify_all();
}

void TDDSDNotifyThread::WaitFor() {
  if (thread_.joinable()) thread_.join();
}

void TDDSDNotifyThread::Execute() {
  std::unique_lock lock(mutex_);
  while (!terminated_) {
    // Sleep one period; a termination request cuts it short.
    if (wake_.wait_for(lock, kPollPeriod, [this] { return terminated_; })) break;
    lock.unlock();
    try {
      Poll();
    } catch (...) {
      // An exception from the handler (EDDSD with dsoExceptOnError) ends the thread, as it
      // would end any worker thread; it is kept for whoever waits for the thread.
      FatalException_ = std::current_exception();
      return;
    }
    lock.lock();
  }
}

void TDDSDNotifyThread::Poll() {
  uint32_t play = 0;
  uint32_t write = 0;
  SecondaryBuffer* buffer = Wave.SoundBuffer().get();
  if (buffer != nullptr) buffer->GetCurrentPosition(&play, &write);
  // Both at 0 is no position yet; a negative cursor is no position either.
  if ((play == 0 && write == 0) || static_cast<int32_t>(play) < 0 ||
      static_cast<int32_t>(write) < 0) {
    return;
  }
  const uint32_t half = Wave.HalfSize();
  if (Phase_ == 0) {
    if (play < half && write < half) {
      FillSecondHalf_ = true;
      SyncIfPlaying();
      Phase_ = 1;
    }
    return;
  }
  if (play > half && write > half) {
    FillSecondHalf_ = false;
    SyncIfPlaying();
    Phase_ = 0;
  }
}

void TDDSDNotifyThread::SyncIfPlaying() {
  uint32_t status = 0;
  SecondaryBuffer* buffer = Wave.SoundBuffer().get();
  if (buffer != nullptr) buffer->GetStatus(&status);
  if ((status & kStatusPlaying) != 0) Wave.Sync();
}

}  // namespace velmo
