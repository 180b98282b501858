#include "app/midi_hand_off.h"

#include "synth/engine_state.h"
#include "synth/midi_input.h"

namespace velmo {

static_assert((MidiHandOff::kTimedCapacity & (MidiHandOff::kTimedCapacity - 1)) == 0);
static_assert((MidiHandOff::kNowCapacity & (MidiHandOff::kNowCapacity - 1)) == 0);

namespace {

constexpr uint64_t kLengthBytes = 2;
constexpr uint8_t kEndOfExclusive = 0xF7;  // a now message is stored as u16 length, then its bytes

}  // namespace

void MidiHandOff::Attach(Engine& engine) {
  SetPreBlockHook(engine, &MidiHandOff::Hook, this);
}

void MidiHandOff::Detach(Engine& engine) {
  SetPreBlockHook(engine, nullptr, nullptr);
}

void MidiHandOff::Hook(void* context, Engine& engine) noexcept {
  static_cast<MidiHandOff*>(context)->BeforeBlock(engine);
}

bool MidiHandOff::SendNow(std::span<const uint8_t> message) {
  if (message.empty() || message.size() > static_cast<size_t>(kMidiQueueSize)) return false;
  const uint64_t write = nowWrite_.load(std::memory_order_relaxed);
  const uint64_t read = nowRead_.load(std::memory_order_acquire);
  if (kNowCapacity - (write - read) < kLengthBytes + message.size()) return false;
  uint64_t at = write;
  now_[at++ & (kNowCapacity - 1)] = static_cast<uint8_t>(message.size() & 0xFF);
  now_[at++ & (kNowCapacity - 1)] = static_cast<uint8_t>(message.size() >> 8);
  for (const uint8_t byte : message)
    now_[at++ & (kNowCapacity - 1)] = byte;
  nowWrite_.store(at, std::memory_order_release);
  return true;
}

bool MidiHandOff::SendByte(uint8_t byte) {
  constexpr uint8_t kStartOfExclusive = 0xF0;
  if (!pendingExclusive_.empty()) {
    if (byte < 0x80 || byte == kEndOfExclusive) {
      pendingExclusive_.push_back(byte);
      if (byte != kEndOfExclusive) return true;
      const bool sent = SendNow(pendingExclusive_);
      pendingExclusive_.clear();
      return sent;
    }
    pendingExclusive_.clear();  // cut short by a new status: dropped
  }
  if (byte == kStartOfExclusive) {
    pendingWanted_ = 0;
    pendingExclusive_.push_back(byte);
    return true;
  }
  if (byte >= 0x80) {
    pendingWanted_ = 1;
    if (byte < 0xF0) {
      pendingWanted_ += static_cast<uint32_t>(ChannelMessageLength[(byte >> 4) & 7]);
    } else if (byte == 0xF1 || byte == 0xF3) {
      pendingWanted_ = 2;
    } else if (byte == 0xF2) {
      pendingWanted_ = 3;
    }
    pendingSize_ = 0;
  }
  if (pendingWanted_ == 0) return SendNow(std::span<const uint8_t>(&byte, 1));
  pending_[pendingSize_++] = byte;
  if (pendingSize_ < pendingWanted_) return true;
  const bool sent = SendNow(std::span<const uint8_t>(pending_.data(), pendingSize_));
  // A channel message's status runs on: data bytes after it go out with it, as whole messages.
  if (pending_[0] < 0xF0) {
    pendingSize_ = 1;
  } else {
    pendingWanted_ = 0;
  }
  return sent;
}

bool MidiHandOff::SendTimed(std::span<const midi::ScheduledByte> message) {
  if (message.empty()) return true;
  const uint64_t write = timedWrite_.load(std::memory_order_relaxed);
  const uint64_t read = timedRead_.load(std::memory_order_acquire);
  if (kTimedCapacity - (write - read) < message.size()) return false;
  const uint32_t generation = generation_.load(std::memory_order_relaxed);
  uint64_t at = write;
  for (size_t i = 0; i < message.size(); ++i) {
    timed_[at++ & (kTimedCapacity - 1)] = {message[i].block, generation, message[i].value, i == 0};
  }
  timedWrite_.store(at, std::memory_order_release);
  return true;
}

void MidiHandOff::DiscardTimed() {
  generation_.fetch_add(1, std::memory_order_release);
}

uint64_t MidiHandOff::TimedFree() const {
  return kTimedCapacity -
         (timedWrite_.load(std::memory_order_relaxed) - timedRead_.load(std::memory_order_acquire));
}

void MidiHandOff::BeforeBlock(Engine& engine) noexcept {
  const int64_t block = nextBlock_.load(std::memory_order_relaxed);
  int32_t budget = kMidiQueueSize - engine.queue.count.load(std::memory_order_acquire);
  if (MoveTimed(engine, block, budget)) MoveNow(engine, budget);
  nextBlock_.store(block + 1, std::memory_order_release);
}

bool MidiHandOff::MoveTimed(Engine& engine, int64_t block, int32_t& budget) noexcept {
  const uint32_t generation = generation_.load(std::memory_order_acquire);
  const uint64_t write = timedWrite_.load(std::memory_order_acquire);
  uint64_t read = timedRead_.load(std::memory_order_relaxed);
  for (; read != write; ++read) {
    const TimedByte& byte = timed_[read & (kTimedCapacity - 1)];
    if (byte.generation != generation) {
      // Sent after a discard this block did not see yet: from the next block on.
      if (static_cast<int32_t>(byte.generation - generation) > 0) break;
      continue;  // sent before a discard: dropped
    }
    if (byte.block > block || budget == 0) break;
    PushMidiByte(engine, byte.value);
    --budget;
  }
  timedRead_.store(read, std::memory_order_release);
  // Messages are published whole, so the end of what was published is a boundary; a stream
  // abandoned by a discard is one too.
  if (read == write) return true;
  const TimedByte& next = timed_[read & (kTimedCapacity - 1)];
  return next.startsMessage || next.generation != generation;
}

void MidiHandOff::MoveNow(Engine& engine, int32_t& budget) noexcept {
  const uint64_t write = nowWrite_.load(std::memory_order_acquire);
  uint64_t read = nowRead_.load(std::memory_order_relaxed);
  while (read != write) {
    const uint64_t length = NowByteAt(read) | (uint64_t{NowByteAt(read + 1)} << 8);
    if (length > static_cast<uint64_t>(budget)) break;  // waits for the next block
    for (uint64_t i = 0; i < length; ++i)
      PushMidiByte(engine, NowByteAt(read + kLengthBytes + i));
    budget -= static_cast<int32_t>(length);
    read += kLengthBytes + length;
  }
  nowRead_.store(read, std::memory_order_release);
}

}  // namespace velmo
