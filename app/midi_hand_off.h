// The one road of MIDI bytes into the engine's queue while the window runs.
//
// The engine's queue has exactly one producer. Everything the window sends (clicks, program
// choices, MIDI input, panic, a playing file) is handed over here on the user-interface thread,
// and the engine's pre-block hook, on the timer thread, is that one producer: right before each
// block it moves into the queue the file bytes timed to that block, then the messages to send
// at once. Two lock-free single-producer single-consumer rings carry them:
//  - timed bytes, each tagged with the number of the block it must precede (the same rule as
//    velmo-render: all bytes for block N are in the queue before block N renders), and
//  - "now" messages, whole, sent before the next block rendered.
// Now messages go between whole file messages only, never inside one, and never in excess of
// the engine's 512-byte queue (what does not fit waits for the next block; a message longer
// than the queue is dropped, as the engine could never take it whole).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

#include "midifile/scheduled_byte.h"
#include "synth/engine.h"

namespace velmo {

class MidiHandOff {
 public:
  static constexpr uint64_t kTimedCapacity = 32768;  // timed bytes in flight
  static constexpr uint64_t kNowCapacity = 8192;     // bytes of now messages, with their lengths

  MidiHandOff() = default;
  MidiHandOff(const MidiHandOff&) = delete;
  MidiHandOff& operator=(const MidiHandOff&) = delete;

  // Installs this hand-off as the engine's pre-block hook (only while the engine's timer is
  // stopped); Detach removes it.
  void Attach(Engine& engine);
  static void Detach(Engine& engine);

  // --- user-interface thread ---
  // Queues one whole message to go out before the next block. False (and dropped) when the
  // ring is full or the message is empty or longer than the engine's queue.
  bool SendNow(std::span<const uint8_t> message);
  // Takes a byte stream one byte at a time and queues it as whole now messages: a status byte
  // starts a message, which goes out once complete (a channel message's data bytes, system
  // exclusive up to F7, a one-byte system message at once). Data bytes without a status before
  // them go alone (the engine applies its running status). False when a message was dropped.
  bool SendByte(uint8_t byte);
  // Queues one whole message, each byte to go out right before its block (numbers of
  // NextBlock's count; a block already past goes out before the next one). Blocks must not
  // decrease along the timed stream. False when the timed ring lacks room for all of it.
  bool SendTimed(std::span<const midi::ScheduledByte> message);
  // Timed bytes sent so far that have not reached the engine are dropped.
  void DiscardTimed();
  // Room in the timed ring.
  uint64_t TimedFree() const;
  // The number of the block rendered next: blocks rendered since the hand-off was made.
  int64_t NextBlock() const { return nextBlock_.load(std::memory_order_acquire); }

  // --- timer thread ---
  // What the hook does before each block: fills the engine's queue, then counts the block.
  void BeforeBlock(Engine& engine) noexcept;

 private:
  struct TimedByte {
    int64_t block = 0;
    uint32_t generation = 0;
    uint8_t value = 0;
    bool startsMessage = false;
  };

  static void Hook(void* context, Engine& engine) noexcept;
  // Moves due timed bytes; returns whether the timed stream stands between two messages.
  bool MoveTimed(Engine& engine, int64_t block, int32_t& budget) noexcept;
  void MoveNow(Engine& engine, int32_t& budget) noexcept;
  uint8_t NowByteAt(uint64_t index) const { return now_[index & (kNowCapacity - 1)]; }

  std::array<uint8_t, 3> pending_{};  // SendByte's message under way (not sysex)
  uint32_t pendingSize_ = 0;
  uint32_t pendingWanted_ = 0;             // complete at this size; 0: nothing pending
  std::vector<uint8_t> pendingExclusive_;  // SendByte's system exclusive message under way

  std::array<TimedByte, kTimedCapacity> timed_{};
  alignas(64) std::atomic<uint64_t> timedWrite_{0};  // user-interface thread
  alignas(64) std::atomic<uint64_t> timedRead_{0};   // timer thread
  std::atomic<uint32_t> generation_{0};              // DiscardTimed moves it on

  std::array<uint8_t, kNowCapacity> now_{};
  alignas(64) std::atomic<uint64_t> nowWrite_{0};  // user-interface thread
  alignas(64) std::atomic<uint64_t> nowRead_{0};   // timer thread

  alignas(64) std::atomic<int64_t> nextBlock_{0};  // timer thread
};

}  // namespace velmo
