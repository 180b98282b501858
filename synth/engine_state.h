// The engine's running state records: one ChannelState per MIDI channel, one
// Voice per synthesis voice, the MIDI byte queue and the MIDI parser.
// Units: attenuations in 1/8 dB (larger is quieter), pitches in cents,
// positions in source samples.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "synth/sound_bank.h"

namespace velmo {

inline constexpr int32_t kChannelCount = 16;
inline constexpr int32_t kVoiceRecords = 64;
inline constexpr int16_t PolyphonyLimit = 18;  // voices 0..17 are allocated and rendered
inline constexpr int32_t kRhythmChannel = 9;   // MIDI channel 10
inline constexpr int32_t kMidiQueueSize = 512;
inline constexpr int32_t kMidiQueueMask = 0x1FF;

struct ChannelState {
  int16_t volumeAtt = 0;        // 1/8 dB, LevelAttTable[controller 7]
  int16_t panAttRight = 0;      // 1/8 dB, PanAttTable[pan]
  int16_t panAttLeft = 0;       // 1/8 dB, PanAttTable[127 - pan]
  int16_t expressionAtt = 0;    // 1/8 dB, LevelAttTable[controller 11]
  int16_t bend = 0;             // -8192..8191, 0 = centre
  int16_t bendRangeCents = 0;   // bend sensitivity in cents
  int16_t bendCents = 0;        // (bend * bendRangeCents) >> 13
  int16_t coarseTuneCents = 0;  // -2400..2400 in steps of 100
  int16_t fineTuneCents = 0;    // -100..99
  uint8_t modulation = 0;       // 0..127
  uint8_t hold = 0;             // 0 pedal up, 64 down
  uint8_t dataEntryMsb = 0;
  uint8_t dataEntryLsb = 0;
  uint8_t rpnMsb = 0;
  uint8_t rpnLsb = 0;
  uint8_t program = 0;
  uint8_t paramSelect = 0;  // 0 nothing, 1 non-registered, 2 registered (rpnMsb, rpnLsb)
  uint8_t rhythm = 0;       // 1: drum kit with per-key pan (channel index 9 only)
  uint8_t bank = 0;         // bank in force for note-on
  uint8_t bankSelect = 0;   // taken over by the next program change
};

struct Voice {
  uint32_t allocStamp = 0;             // note start number; 0 once freed by the envelope
  uint32_t phaseFrac = 0;              // fraction of a source sample, 0..0xFFFF between frames
  uint32_t step = 0;                   // phase increment per output frame, unsigned 16.16
  int32_t envTarget = 0;               // target amplitude of the current segment, 0..32512
  int32_t envAmp = 0;                  // envelope amplitude, 0..32512 (127 x 256)
  const int8_t* sampleData = nullptr;  // PCM of the wave played
  std::array<int16_t, 4> history{};    // last four samples x 128, oldest first
  const InstrumentRecord* instrument = nullptr;  // record the note started from
  int16_t drumPanAttRight = 0;                   // 1/8 dB, per-key pan (rhythm channel only)
  int16_t drumPanAttLeft = 0;                    // 1/8 dB
  int16_t tremoloDepth = 0;                      // LFO amplitude depth
  int16_t tremoloValue = 0;   // LfoTable[lfoPhase] x tremoloDepth, refreshed per block
  int16_t pitchCents = 0;     // note pitch in cents; 6000 plays the wave at its own rate
  uint16_t lfoPhase = 0;      // 0..511
  int16_t lfoRate = 0;        // LFO phase increment per block
  uint16_t vibratoDepth = 0;  // LFO pitch depth
  uint16_t sampleIndex = 0;   // source position of history[3]
  uint16_t loopStart = 0;     // first sample of the loop
  uint16_t loopEnd = 0;       // last sample of the loop (inclusive)
  uint16_t loopMode = 0;      // 0 one-shot, 1 forward, 2 alternating inverted, 3 alternating
  int16_t regionTune = 0;     // sample record tune in cents
  uint16_t sampleLength = 0;  // PCM samples in the wave
  int16_t levelAtt = 0;       // 1/8 dB: key scaling + instrument level + velocity
  int16_t envStage = 0;       // -1..8
  uint16_t envCountdown = 0;  // frames until the next envelope tick
  int16_t envDelta = 0;       // per-tick amount of the current segment
  int8_t envDirection = 0;    // +1 rising, -1 falling, 0 holding
  uint8_t envAdvance = 0;     // 1: enter the next stage at the next tick
  uint8_t active = 0;
  uint8_t channel = 0;
  uint8_t key = 0;
  uint8_t velocity = 0;
  uint8_t keyHeld = 0;
  uint8_t keyOffPending = 0;
  uint8_t loopReached = 0;    // position reached loopStart on a forward move
  uint8_t loopDirection = 0;  // 0 forward, 1 backward inverted, 2 backward
};

// Single-producer single-consumer ring of raw MIDI bytes. The producer owns
// writeIndex, the consumer readIndex; count is the only value both write.
struct MidiByteQueue {
  std::array<uint8_t, kMidiQueueSize> bytes{};
  int32_t writeIndex = 0;
  int32_t readIndex = 0;
  std::atomic<int32_t> count{0};
};

enum class MidiParserState : uint8_t { Idle, CollectingData, InSysEx };

struct MidiParser {
  MidiParserState state = MidiParserState::Idle;
  uint8_t runningStatus = 0;  // channel status with channel bits cleared, or a system status
  uint8_t channel = 0;        // 0..15
  std::array<uint8_t, 2> data{};
  int32_t received = 0;  // data bytes collected so far
  int32_t expected = 0;  // data bytes that complete the message
};

}  // namespace velmo
