#include "tests/synth/test_bank.h"

#include <cmath>
#include <cstring>
#include <sstream>

namespace velmo::test {

namespace {

void PutU16(std::string& out, uint16_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>(value >> 8));
}

template <typename T>
void PutBytes(std::string& out, const T* items, size_t count) {
  out.append(reinterpret_cast<const char*>(items), count * sizeof(T));
}

std::vector<int8_t> Pcm(size_t frames, double cycles, double amplitude, double phase) {
  std::vector<int8_t> pcm(frames);
  for (size_t i = 0; i < frames; ++i) {
    pcm[i] = static_cast<int8_t>(
        std::lround(amplitude * std::sin(phase + 6.283185307179586 * cycles * i / frames)));
  }
  return pcm;
}

}  // namespace

std::string BankImage::Bytes() const {
  std::string out;
  PutU16(out, static_cast<uint16_t>(instruments.size()));
  PutBytes(out, instruments.data(), instruments.size());
  PutU16(out, static_cast<uint16_t>(samples.size()));
  PutBytes(out, samples.data(), samples.size());
  PutU16(out, static_cast<uint16_t>(waves.size()));
  for (const auto& wave : waves) {
    if (wave.empty()) {
      PutU16(out, 0);
    } else {
      PutBytes(out, wave.data(), wave.size());
    }
  }
  PutU16(out, static_cast<uint16_t>(bankMap.size()));
  PutBytes(out, bankMap.data(), bankMap.size());
  PutU16(out, static_cast<uint16_t>(drumKitMap.size()));
  PutBytes(out, drumKitMap.data(), drumKitMap.size());
  PutU16(out, static_cast<uint16_t>(programMap.size()));
  for (const auto& row : programMap)
    PutBytes(out, row.data(), row.size());
  PutU16(out, static_cast<uint16_t>(drumNoteMap.size()));
  for (const auto& row : drumNoteMap)
    PutBytes(out, row.data(), row.size());
  return out;
}

std::vector<uint8_t> MakeWave(const std::vector<int8_t>& pcm, uint16_t loopStart,
                              uint16_t loopEnd) {
  const auto size = static_cast<uint16_t>(pcm.size() + kWaveHeaderBytes);
  std::vector<uint8_t> block = {static_cast<uint8_t>(size & 0xFF),
                                static_cast<uint8_t>(size >> 8),
                                0,
                                0,
                                static_cast<uint8_t>(loopStart & 0xFF),
                                static_cast<uint8_t>(loopStart >> 8),
                                static_cast<uint8_t>(loopEnd & 0xFF),
                                static_cast<uint8_t>(loopEnd >> 8)};
  for (const int8_t sample : pcm)
    block.push_back(static_cast<uint8_t>(sample));
  return block;
}

InstrumentRecord SimpleInstrument(uint16_t sample) {
  InstrumentRecord record;
  std::memset(&record, 0, sizeof record);
  record.regionSample[0] = sample;
  for (int8_t& top : record.regionTopKey)
    top = 127;
  const int8_t rates[6] = {127, 90, 80, 80, 100, 100};
  const int8_t levels[6] = {127, 100, 90, 80, 0, 0};
  std::memcpy(record.envRate, rates, 6);
  std::memcpy(record.envLevel, levels, 6);
  record.envMode = 1;
  record.lfoRate = 20;
  record.level = 127;
  return record;
}

BankImage SmallBank() {
  BankImage bank;
  bank.instruments.resize(175);
  for (InstrumentRecord& record : bank.instruments)
    std::memset(&record, 0, sizeof record);
  for (int i = 0; i < 4; ++i)
    bank.instruments[i] = SimpleInstrument(static_cast<uint16_t>(i + 1));
  for (int i = 128; i < 175; ++i) {
    bank.instruments[i] = SimpleInstrument(2);
    bank.instruments[i].envMode = 5;
  }
  bank.samples.resize(5);
  bank.samples[0] = {};
  bank.samples[1] = {0, 1, 0, 8, 63, 1};
  bank.samples[2] = {0, 0, 0, 39, 39, 2};
  bank.samples[3] = {0, 2, 0, 10, 20, 3};
  bank.samples[4] = {0, 3, 0, 0, 15, 3};
  bank.waves.resize(4);
  bank.waves[1] = MakeWave(Pcm(64, 4, 100, 0.3), 8, 63);
  bank.waves[2] = MakeWave(Pcm(40, 3, 120, 0.0), 39, 39);
  bank.waves[3] = MakeWave(Pcm(32, 1.5, 127, 1.0), 10, 20);
  bank.bankMap.assign(128, 0);
  bank.drumKitMap.assign(128, 0);
  std::array<uint16_t, 128> row;
  row.fill(kNoInstrument);
  for (uint16_t p = 0; p < 4; ++p)
    row[p] = p;
  bank.programMap.push_back(row);
  row.fill(kNoInstrument);
  for (uint16_t k = 35; k <= 81; ++k)
    row[k] = static_cast<uint16_t>(k + 93);
  bank.drumNoteMap.push_back(row);
  return bank;
}

void LoadBank(Engine& engine, const BankImage& image) {
  std::istringstream stream(image.Bytes());
  EngineLoadAndReset(engine, stream);
}

void Send(Engine& engine, const std::vector<uint8_t>& bytes) {
  for (const uint8_t byte : bytes)
    PushMidiByte(engine, byte);
  DrainMidiQueue(engine);
}

uint64_t Fnv1a64(const void* data, size_t size, uint64_t hash) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < size; ++i) {
    hash ^= bytes[i];
    hash *= 0x100000001b3ull;
  }
  return hash;
}

}  // namespace velmo::test
