// Block ring flow control, lifecycle operations and the timer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include "synth/engine.h"
#include "synth/engine_messages.h"
#include "synth/midi_input.h"
#include "tests/synth/test_bank.h"

namespace velmo {
namespace {

using test::Send;

class EngineLifecycle : public ::testing::Test {
 protected:
  void SetUp() override { test::LoadBank(*engine, test::SmallBank()); }
  std::unique_ptr<Engine> engine = std::make_unique<Engine>();
};

TEST_F(EngineLifecycle, RendersUpToTheHalfWaitingToBeTaken) {
  PushMidiByte(*engine, 0x90);
  PushMidiByte(*engine, 60);
  PushMidiByte(*engine, 100);
  for (int expected : {7, 8, 9, 0}) {
    RenderIfDue(*engine);
    EXPECT_EQ(WriteBlock(*engine), expected);
  }
  RenderIfDue(*engine);  // block 0 is in the half that waits
  EXPECT_EQ(WriteBlock(*engine), 0);

  PushMidiByte(*engine, 0xC0);  // stays queued while the ring is full
  PushMidiByte(*engine, 3);
  RenderIfDue(*engine);
  EXPECT_EQ(engine->queue.count.load(), 2);
  EXPECT_EQ(engine->channels[0].program, 0);

  const uint8_t* half = TakeRingHalf(*engine);
  for (int i = 0; i < kHalfBytes; ++i)
    ASSERT_EQ(half[i], 0) << i;  // silence from the reset
  RenderIfDue(*engine);
  EXPECT_EQ(WriteBlock(*engine), 1);
  EXPECT_EQ(engine->channels[0].program, 3);
  for (int i = 0; i < 6; ++i)
    RenderIfDue(*engine);
  EXPECT_EQ(WriteBlock(*engine), 5);

  half = TakeRingHalf(*engine);  // blocks 5..9: 5 silent, 6..9 hold the note
  EXPECT_EQ(std::memcmp(half, RingBlock(*engine, 5), kHalfBytes), 0);
  const auto* block6 = reinterpret_cast<const int16_t*>(half + kBlockBytes);
  bool sounding = false;
  for (int i = 0; i < kBlockSamples; ++i)
    sounding |= block6[i] != 0;
  EXPECT_TRUE(sounding);
  const auto* block5 = reinterpret_cast<const int16_t*>(half);
  for (int i = 0; i < kBlockSamples; ++i)
    ASSERT_EQ(block5[i], 0);

  RenderIfDue(*engine);
  EXPECT_EQ(WriteBlock(*engine), 6);
  half = TakeRingHalf(*engine);
  EXPECT_EQ(std::memcmp(half, RingBlock(*engine, 0), kHalfBytes), 0);
}

TEST_F(EngineLifecycle, ResetStartsOverAtBlockSix) {
  Send(*engine, {0x90, 60, 100, 0xB3, 7, 10});
  RenderBlock(*engine);
  TakeRingHalf(*engine);
  PushMidiByte(*engine, 0x90);
  EngineReset(*engine, 0);
  EXPECT_EQ(WriteBlock(*engine), 6);
  EXPECT_EQ(engine->nextTakeBlock.load(), 0);
  EXPECT_EQ(engine->queue.count.load(), 0);
  EXPECT_FALSE(AnyVoiceActive(*engine));
  EXPECT_EQ(engine->voices[0].allocStamp, 0u);
  EXPECT_EQ(engine->voices[0].key, 60);  // other fields stay
  EXPECT_EQ(engine->channels[3].volumeAtt, 353);
  for (int i = 0; i < kRingBlocks; ++i) {
    const int16_t* block = RingBlock(*engine, i);
    for (int s = 0; s < kBlockSamples; ++s)
      ASSERT_EQ(block[s], 0);
  }
  Send(*engine, {0x90, 61, 100});
  EXPECT_EQ(engine->voices[0].allocStamp, 102u);  // the counter is never reset
}

TEST_F(EngineLifecycle, TimerRendersAndStopResets) {
  std::string message;
  SetEngineMessageHook(*engine, [&message](const std::string& text) { message = text; });
  Send(*engine, {0xB0, 7, 10});
  EngineStart(*engine);
  const uint32_t timerId = engine->timerId;
  EXPECT_NE(timerId, 0u);
  EngineStart(*engine);  // a running timer is left alone
  EXPECT_EQ(engine->timerId, timerId);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (WriteBlock(*engine) != 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(WriteBlock(*engine), 0);  // four ticks rendered blocks 6..9
  EngineStop(*engine);
  EXPECT_EQ(engine->timerId, 0u);
  EXPECT_EQ(WriteBlock(*engine), 6);
  EXPECT_EQ(engine->channels[0].volumeAtt, 33);
  EngineStop(*engine);  // no timer: only resets
  EXPECT_EQ(engine->timerId, 0u);
  EXPECT_TRUE(message.empty());
}

TEST_F(EngineLifecycle, ShutdownFreesTheWaves) {
  Send(*engine, {0x90, 60, 100});
  EngineStart(*engine);
  EngineShutdown(*engine);
  EXPECT_EQ(engine->timerId, 0u);
  EXPECT_FALSE(AnyVoiceActive(*engine));
  for (const WaveBlock& slot : engine->bank.WaveSlots)
    EXPECT_EQ(slot, nullptr);
  Send(*engine, {0x90, 60, 100});  // nothing to play until a bank is loaded
  EXPECT_FALSE(AnyVoiceActive(*engine));
}

TEST(EngineMessages, TimerFailureNamesTheSystemError) {
  const std::system_error error(EAGAIN, std::generic_category(), "thread");
  const std::string message = TimerStartFailureMessage(error);
  EXPECT_EQ(message, std::string("タイマーの作製に失敗しました。\n") + error.what());
  EXPECT_NE(message.find("Resource temporarily unavailable"), std::string::npos);
}

TEST(EngineInstance, OneProcessWideEngine) {
  EXPECT_EQ(&TheEngine(), &TheEngine());
  EXPECT_EQ(WriteBlock(TheEngine()), 6);
}

// One producer thread pushes a million bytes while a consumer thread drains:
// every byte arrives once and in order. A side that finds the queue full or
// empty sleeps on the count until the other side has moved it.
TEST(MidiByteQueueThreads, EveryByteArrivesOnceInOrder) {
  auto engine = std::make_unique<Engine>();
  std::atomic<int32_t>& count = engine->queue.count;
  constexpr int32_t kBytes = 1'000'000;
  std::thread producer([&] {
    for (int32_t i = 0; i < kBytes; ++i) {
      count.wait(kMidiQueueSize, std::memory_order_acquire);
      PushMidiByte(*engine, static_cast<uint8_t>(i * 7 + (i >> 8)));
      count.notify_one();
    }
  });
  int32_t received = 0;
  int32_t mismatches = 0;
  std::thread consumer([&] {
    while (received < kBytes) {
      count.wait(0, std::memory_order_acquire);
      const uint8_t byte = PopMidiByte(*engine);
      count.notify_one();
      mismatches += byte != static_cast<uint8_t>(received * 7 + (received >> 8));
      ++received;
    }
  });
  producer.join();
  consumer.join();
  EXPECT_EQ(received, kBytes);
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(count.load(), 0);
}

}  // namespace
}  // namespace velmo
