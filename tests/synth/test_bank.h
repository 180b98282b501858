// Bank images built in memory for the engine's tests.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "synth/engine.h"
#include "synth/sound_bank.h"

namespace velmo::test {

struct BankImage {
  std::vector<InstrumentRecord> instruments;
  std::vector<SampleRecord> samples;
  std::vector<std::vector<uint8_t>> waves;  // whole blocks, header included; empty = size 0
  std::vector<uint8_t> bankMap;
  std::vector<uint8_t> drumKitMap;
  std::vector<std::array<uint16_t, 128>> programMap;
  std::vector<std::array<uint16_t, 128>> drumNoteMap;

  std::string Bytes() const;
};

// A wave block holding `pcm`, header loop points as given.
std::vector<uint8_t> MakeWave(const std::vector<int8_t>& pcm, uint16_t loopStart = 0,
                              uint16_t loopEnd = 0);

// An instrument with one region (all keys) on `sample`: instant attack to 127,
// decays to 100, 90, 80, release to 0; holds at sustain (envMode 1); level 127.
InstrumentRecord SimpleInstrument(uint16_t sample);

// Sample slots of SmallBank():
//   1: forward loop 8..63 on a 64-frame wave (slot 1)
//   2: one-shot on a 40-frame wave (slot 2)
//   3: alternating loop with inverted backward pass (mode 2), 10..20, slot 3
//   4: alternating loop (mode 3), 0..15, slot 3
// Instruments 0..3 play samples 1..4 (program p -> instrument p); drum
// instruments 128..174 play sample 2. Programs 4..127 map to no instrument.
BankImage SmallBank();

// EngineLoadAndReset from the image's bytes.
void LoadBank(Engine& engine, const BankImage& image);

// Pushes bytes and drains them at once.
void Send(Engine& engine, const std::vector<uint8_t>& bytes);

// FNV-1a 64 of the bytes.
uint64_t Fnv1a64(const void* data, size_t size, uint64_t hash = 0xcbf29ce484222325ull);

}  // namespace velmo::test
