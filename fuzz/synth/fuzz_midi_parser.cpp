// Random MIDI bytes through the queue, the parser and every handler, with a
// few blocks rendered on a small bank that has every loop mode.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>

#include "synth/engine.h"
#include "synth/sound_bank.h"

namespace {

void PutU16(std::string& out, uint32_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

template <typename T>
void PutRecord(std::string& out, const T& record) {
  out.append(reinterpret_cast<const char*>(&record), sizeof record);
}

// Eight instruments on eight sample records: one-shot, forward, both
// alternating modes (one from frame 0), loop points beyond the wave, an
// unknown loop mode, a late start; drums 35..81 on the one-shot.
std::string FuzzBankImage() {
  std::string out;
  PutU16(out, 175);
  for (int32_t i = 0; i < 175; ++i) {
    velmo::InstrumentRecord record;
    std::memset(&record, 0, sizeof record);
    const int32_t sample = i < 8 ? i + 1 : (i >= 128 ? 1 : 0);
    record.regionSample[0] = static_cast<uint16_t>(sample);
    record.regionTopKey[0] = 90;
    record.regionSample[1] = static_cast<uint16_t>(sample == 0 ? 0 : 8 - (sample % 8));
    for (int32_t r = 1; r < 16; ++r)
      record.regionTopKey[r] = 127;
    const int8_t rates[6] = {127, 100, 90, 110, 100, 0};
    const int8_t levels[6] = {127, 100, 80, 60, 0, 0};
    std::memcpy(record.envRate, rates, 6);
    std::memcpy(record.envLevel, levels, 6);
    record.envRateKeyScale[1] = static_cast<int8_t>(i % 4);
    record.envMode = static_cast<int8_t>(i % 6);
    record.vibratoDepth = static_cast<int8_t>(i * 13 % 128);
    record.lfoRate = static_cast<int8_t>(i * 7 % 60 - 10);
    record.level = static_cast<int8_t>(60 + i % 68);
    record.levelKeyScale = static_cast<int8_t>(i % 7);
    record.pitchKeyTrack = static_cast<int8_t>(i % 7);
    record.tremoloDepth = static_cast<int8_t>(i * 5 % 128);
    PutRecord(out, record);
  }
  const velmo::SampleRecord samples[] = {
      {0, 0, 0, 0, 0, 0},      {0, 0, 0, 50, 199, 1},   {-300, 1, 0, 20, 199, 1},
      {700, 2, 5, 10, 150, 1}, {-1200, 3, 0, 0, 64, 2}, {1500, 1, 0, 300, 400, 2},
      {0, 2, 0, 250, 260, 2},  {0, 7, 0, 0, 10, 1},     {-2400, 1, 60, 10, 30, 2},
  };
  PutU16(out, std::size(samples));
  for (const velmo::SampleRecord& record : samples)
    PutRecord(out, record);
  PutU16(out, 3);
  PutU16(out, 0);
  for (const int32_t frames : {200, 65}) {
    PutU16(out, static_cast<uint32_t>(frames + velmo::kWaveHeaderBytes));
    PutU16(out, 0);
    PutU16(out, 0);
    PutU16(out, 0);
    for (int32_t n = 0; n < frames; ++n) {
      out.push_back(static_cast<char>(std::lround(127 * std::sin(0.37 * n))));
    }
  }
  PutU16(out, 128);
  for (int32_t b = 0; b < 128; ++b)
    out.push_back(static_cast<char>(b % 3));  // row 2 is empty
  PutU16(out, 0);
  PutU16(out, 2);
  for (int32_t p = 0; p < 128; ++p)
    PutU16(out, static_cast<uint32_t>(p % 9 == 8 ? 0xFFFF : p % 8));
  for (int32_t p = 0; p < 128; ++p)
    PutU16(out, static_cast<uint32_t>(p % 200));
  PutU16(out, 0);
  return out;
}

const std::string& FuzzBank() {
  static const std::string image = FuzzBankImage();
  return image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto engine = std::make_unique<velmo::Engine>();
  std::istringstream image(FuzzBank());
  velmo::EngineLoadAndReset(*engine, image);
  // The bytes go through the queue (drained whenever it fills); a block is
  // rendered after each quarter of the input and once at the end.
  const size_t quarter = size / 4 + 1;
  for (size_t i = 0; i < size; ++i) {
    if (engine->queue.count.load() == velmo::kMidiQueueSize) velmo::DrainMidiQueue(*engine);
    velmo::PushMidiByte(*engine, data[i]);
    if ((i + 1) % quarter == 0) velmo::RenderIfDue(*engine);
  }
  velmo::DrainMidiQueue(*engine);
  velmo::RenderBlock(*engine);
  velmo::RenderBlock(*engine);
  return 0;
}
