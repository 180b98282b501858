// The synthesis engine: all state in one Engine record, driven by a 10 ms
// periodic timer that renders blocks of 221 stereo frames into a ring of ten
// blocks, which the output side takes five at a time.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <istream>
#include <span>
#include <string>

#include "synth/engine_constants.h"
#include "synth/engine_state.h"
#include "synth/loop_stream.h"
#include "synth/mix_kernels.h"
#include "synth/periodic_timer.h"
#include "synth/sound_bank.h"

namespace velmo {

struct Engine;

// Runs on the timer thread right before each block that RenderIfDue renders, ahead of the queue
// drain: a source of bytes timed to blocks can push them there, so that they take effect exactly
// before that block. It must not allocate, lock or wait.
using PreBlockHook = void (*)(void* context, Engine& engine) noexcept;

struct Engine {
  Engine();
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  SoundBank bank;
  std::array<ChannelState, kChannelCount> channels{};
  std::array<Voice, kVoiceRecords> voices{};
  MidiByteQueue queue;
  MidiParser parser;

  // BlockRing: 10 blocks of 221 frames, each frame left then right (int16).
  alignas(64) std::array<int16_t, kRingBlocks * kBlockSamples> ring{};
  std::atomic<int32_t> writeBlock{6};           // block the next RenderBlock fills (timer thread)
  std::atomic<int32_t> nextTakeBlock{0};        // 0 or 5: first block of the half taken next
  std::array<uint8_t, kHalfBytes> takenHalf{};  // copy of the half TakeRingHalf handed out

  // Renderer scratch: the unrolled loop of each allocatable voice.
  std::array<LoopStream, PolyphonyLimit> loopStreams{};

  // Instruction set of the plain-run kernels; tests may set any available one.
  RenderPath renderPath = RenderPathFromEnvironment();

  int32_t EnvTickPeriod = 50;        // an envelope tick every EnvTickPeriod + 1 frames
  int32_t OutputRateShift = 1;       // octave offset between cents and the 16.16 step
  uint32_t AllocStampCounter = 100;  // numbers note starts; never reset

  PreBlockHook preBlockHook = nullptr;  // set only while no timer runs
  void* preBlockContext = nullptr;

  uint32_t timerId = 0;  // non-zero while the timer runs
  PeriodicTimer timer;
  std::function<void(const std::string&)> messageHook;  // timer start failure text
};

// The one process-wide engine (the application and the exported C functions).
Engine& TheEngine();

// Clears ring, queue, parser and voices; with resetChannels != 0 also the
// channels. Only while no timer runs.
void EngineReset(Engine& engine, int32_t resetChannels);
// LoadSoundBank, then EngineReset(1). Throws BankLoadError before resetting.
void EngineLoadAndReset(Engine& engine, std::istream& image);
// LoadResidentSoundBank (waves borrowed from an image that stays valid for the life of the
// program, found through `index` when given), then EngineReset(1). Throws BankLoadError before
// resetting.
void EngineLoadResidentAndReset(Engine& engine, std::span<const uint8_t> image,
                                const WaveSectionIndex* index = nullptr);
// Starts the 10 ms timer that runs EngineTick; a running timer is left alone.
// If the timer cannot start, the message hook gets the failure text.
void EngineStart(Engine& engine);
// Stops the timer (waiting for it), then EngineReset(1).
void EngineStop(Engine& engine);
// EngineStop, then FreeWaveSlots.
void EngineShutdown(Engine& engine);
// The timer procedure: RenderIfDue.
void EngineTick(Engine& engine) noexcept;
// Renders one block unless the ring is full up to the half waiting to be taken.
void RenderIfDue(Engine& engine) noexcept;
// Hands out the next half (five blocks, 4420 bytes), alternately blocks 0..4
// and 5..9. The bytes stay valid until the next call.
const uint8_t* TakeRingHalf(Engine& engine);

// MIDI input (user-interface thread): a push onto a full queue drops the byte.
void PushMidiByte(Engine& engine, uint8_t byte) noexcept;
// Parses every queued byte (timer thread).
void DrainMidiQueue(Engine& engine) noexcept;

// Renders block WriteBlock(engine), then advances it.
void RenderBlock(Engine& engine) noexcept;
int32_t WriteBlock(const Engine& engine);
// 442 samples of one ring block, L R L R ...
const int16_t* RingBlock(const Engine& engine, int32_t blockIndex);
bool AnyVoiceActive(const Engine& engine);

// Installs (or, with null, removes) the hook RenderIfDue runs before each block. Only while no
// timer runs; EngineReset leaves it in place.
void SetPreBlockHook(Engine& engine, PreBlockHook hook, void* context);

void SetEngineMessageHook(Engine& engine, std::function<void(const std::string&)> hook);

}  // namespace velmo
