#include "synth/engine.h"

#include <chrono>
#include <cstring>
#include <iostream>
#include <system_error>
#include <utility>

#include "synth/channel_control.h"
#include "synth/engine_messages.h"
#include "synth/midi_input.h"

namespace velmo {

namespace {

constexpr auto kTickPeriod = std::chrono::milliseconds(10);
constexpr int32_t kFirstRenderedBlock = 6;
constexpr int32_t kHalfBlocks = 5;

void WriteToStandardError(const std::string& message) {
  std::cerr << message << '\n';
}

}  // namespace

Engine::Engine() : messageHook(WriteToStandardError) {}

Engine::~Engine() {
  timer.Stop();
}

Engine& TheEngine() {
  static Engine engine;
  return engine;
}

void EngineReset(Engine& engine, int32_t resetChannels) {
  engine.writeBlock.store(kFirstRenderedBlock, std::memory_order_relaxed);
  engine.nextTakeBlock.store(0, std::memory_order_relaxed);
  engine.ring.fill(0);
  engine.parser.state = MidiParserState::Idle;
  engine.queue.count.store(0, std::memory_order_relaxed);
  engine.queue.readIndex = 0;
  engine.queue.writeIndex = 0;
  for (Voice& voice : engine.voices) {
    voice.active = 0;
    voice.allocStamp = 0;
  }
  for (LoopStream& stream : engine.loopStreams)
    stream.built = false;
  engine.EnvTickPeriod = 50;
  engine.OutputRateShift = 1;
  if (resetChannels != 0) ResetChannels(engine);
}

void EngineLoadAndReset(Engine& engine, std::istream& image) {
  LoadSoundBank(engine.bank, image);
  EngineReset(engine, 1);
}

void EngineLoadResidentAndReset(Engine& engine, std::span<const uint8_t> image,
                                const WaveSectionIndex* index) {
  LoadResidentSoundBank(engine.bank, image, index);
  EngineReset(engine, 1);
}

void EngineStart(Engine& engine) {
  if (engine.timerId != 0) return;
  try {
    engine.timer.Start(kTickPeriod, [&engine] { EngineTick(engine); });
    engine.timerId = 1;
  } catch (const std::system_error& error) {
    engine.messageHook(TimerStartFailureMessage(error));
  }
}

void EngineStop(Engine& engine) {
  if (engine.timerId != 0) engine.timer.Stop();
  engine.timerId = 0;
  EngineReset(engine, 1);
}

void EngineShutdown(Engine& engine) {
  EngineStop(engine);
  FreeWaveSlots(engine.bank);
}

void EngineTick(Engine& engine) noexcept {
  RenderIfDue(engine);
}

void RenderIfDue(Engine& engine) noexcept {
  if (engine.writeBlock.load(std::memory_order_relaxed) ==
      engine.nextTakeBlock.load(std::memory_order_acquire)) {
    return;  // rendered up to the half that waits to be taken
  }
  if (engine.preBlockHook != nullptr) engine.preBlockHook(engine.preBlockContext, engine);
  DrainMidiQueue(engine);
  RenderBlock(engine);
}

const uint8_t* TakeRingHalf(Engine& engine) {
  // Acquire pairs with RenderBlock's release of writeBlock: the blocks rendered
  // so far are visible. The half is copied before nextTakeBlock moves on, so the
  // renderer never writes into bytes still being read.
  (void)engine.writeBlock.load(std::memory_order_acquire);
  const int32_t first = engine.nextTakeBlock.load(std::memory_order_relaxed);
  std::memcpy(engine.takenHalf.data(), engine.ring.data() + first * kBlockSamples, kHalfBytes);
  engine.nextTakeBlock.store(first == 0 ? kHalfBlocks : 0, std::memory_order_release);
  return engine.takenHalf.data();
}

int32_t WriteBlock(const Engine& engine) {
  return engine.writeBlock.load(std::memory_order_acquire);
}

const int16_t* RingBlock(const Engine& engine, int32_t blockIndex) {
  return engine.ring.data() + blockIndex * kBlockSamples;
}

bool AnyVoiceActive(const Engine& engine) {
  for (int32_t v = 0; v < PolyphonyLimit; ++v) {
    if (engine.voices[v].active) return true;
  }
  return false;
}

void SetPreBlockHook(Engine& engine, PreBlockHook hook, void* context) {
  engine.preBlockHook = hook;
  engine.preBlockContext = context;
}

void SetEngineMessageHook(Engine& engine, std::function<void(const std::string&)> hook) {
  engine.messageHook =
      hook ? std::move(hook) : std::function<void(const std::string&)>(WriteToStandardError);
}

}  // namespace velmo
