// TDDSDNotifyThread: watches a stream's play and write cursors every 10 ms and raises the
// stream's update once per free half.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>

namespace velmo {

class TDDSDGenWave;

class TDDSDNotifyThread {
 public:
  // Starts polling at once, unless `manualPolling`: then only Poll calls poll.
  TDDSDNotifyThread(TDDSDGenWave& wave, bool manualPolling);
  // Terminates and waits for the thread.
  ~TDDSDNotifyThread();
  TDDSDNotifyThread(const TDDSDNotifyThread&) = delete;
  TDDSDNotifyThread& operator=(const TDDSDNotifyThread&) = delete;

  void Terminate();
  void WaitFor();
  // One pass of the polling state machine (the thread runs it every 10 ms).
  void Poll();

  // The free region is the second half (true) or the first half (false).
  bool FillSecondHalf() const { return FillSecondHalf_; }
  // 0: waiting for both cursors inside the first half; 1: inside the second half.
  int32_t Phase() const { return Phase_; }
  // What ended the thread early (an exception out of the update handler); read after WaitFor.
  std::exception_ptr FatalException() const { return FatalException_; }

 private:
  void Execute();
  void SyncIfPlaying();

  TDDSDGenWave& Wave;
  bool FillSecondHalf_ = false;
  int32_t Phase_ = 0;
  std::exception_ptr FatalException_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool terminated_ = false;  // guarded by mutex_
  std::thread thread_;       // last: starts once everything above is built
};

}  // namespace velmo
