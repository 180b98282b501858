#include "bench/synth/bench_bank.h"

#include <cmath>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace velmo::bench {

namespace {

void PutU16(std::string& out, uint32_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

// Waves: long looped tones and single-cycle loops, as a General MIDI bank has.
struct WaveShape {
  int32_t frames;
  double cycles;
};
constexpr WaveShape kWaves[] = {{6000, 180.5}, {2400, 75.25}, {32, 1}, {24, 1}};

// Samples: wave, loop mode, loop start, loop end.
struct SampleLayout {
  uint16_t wave;
  uint16_t loopMode;
  uint16_t loopStart;
  uint16_t loopEnd;
};
constexpr SampleLayout kSamples[] = {
    {},
    {1, 1, 1200, 5999},
    {2, 1, 400, 2399},
    {3, 1, 0, 31},
    {4, 1, 0, 23},
    {2, 2, 300, 2300},
    {1, 3, 2000, 5000},
};

std::string BenchImage() {
  std::string out;
  constexpr int32_t kInstruments = 7;
  PutU16(out, kInstruments);
  for (int32_t i = 0; i < kInstruments; ++i) {
    InstrumentRecord record;
    std::memset(&record, 0, sizeof record);
    record.regionSample[0] = static_cast<uint16_t>(i == 0 ? 1 : i);
    for (int8_t& top : record.regionTopKey)
      top = 127;
    const int8_t levels[6] = {127, 110, 100, 100, 0, 0};
    std::memcpy(record.envLevel, levels, 6);
    for (int8_t& rate : record.envRate)
      rate = 120;
    record.envMode = 1;  // holds at sustain until key-off
    record.level = 120;
    record.lfoRate = static_cast<int8_t>(10 + i);
    record.vibratoDepth = static_cast<int8_t>(i % 2 == 0 ? 30 : 0);
    record.tremoloDepth = static_cast<int8_t>(i % 3 == 0 ? 20 : 0);
    out.append(reinterpret_cast<const char*>(&record), sizeof record);
  }
  PutU16(out, std::size(kSamples));
  for (const SampleLayout& layout : kSamples) {
    const SampleRecord record{0, layout.loopMode, 0, layout.loopStart, layout.loopEnd, layout.wave};
    out.append(reinterpret_cast<const char*>(&record), sizeof record);
  }
  PutU16(out, std::size(kWaves) + 1);
  PutU16(out, 0);  // slot 0 empty
  for (const WaveShape& wave : kWaves) {
    PutU16(out, static_cast<uint32_t>(wave.frames + kWaveHeaderBytes));
    PutU16(out, 0);
    PutU16(out, 0);
    PutU16(out, 0);
    for (int32_t n = 0; n < wave.frames; ++n) {
      const double phase = 6.283185307179586 * wave.cycles * n / wave.frames;
      out.push_back(
          static_cast<char>(std::lround(100 * std::sin(phase) + 20 * std::sin(3 * phase))));
    }
  }
  PutU16(out, 128);
  out.append(128, '\0');
  PutU16(out, 0);
  PutU16(out, 1);
  for (int32_t p = 0; p < 128; ++p)
    PutU16(out, static_cast<uint32_t>(p < kInstruments ? p : 0));
  PutU16(out, 0);
  return out;
}

}  // namespace

std::unique_ptr<Engine> EngineWithEighteenVoices(VoiceMix mix) {
  auto engine = std::make_unique<Engine>();
  std::istringstream image(BenchImage());
  EngineLoadAndReset(*engine, image);
  // Programs 1..6 on channels 0..5, three keys each, spread over the two
  // octaves around middle C (keys 48..70).
  for (uint8_t channel = 0; channel < 6; ++channel) {
    PushMidiByte(*engine, static_cast<uint8_t>(0xC0 | channel));
    const uint8_t program = mix == VoiceMix::Mixed ? channel + 1 : 3 + channel % 2;
    PushMidiByte(*engine, program);
    for (uint8_t n = 0; n < 3; ++n) {
      PushMidiByte(*engine, static_cast<uint8_t>(0x90 | channel));
      PushMidiByte(*engine, static_cast<uint8_t>(48 + ((channel * 3 + n) * 4) / 3));
      PushMidiByte(*engine, 100);
    }
  }
  DrainMidiQueue(*engine);
  RenderBlock(*engine);
  return engine;
}

int32_t ActiveVoiceCount(const Engine& engine) {
  int32_t count = 0;
  for (int32_t v = 0; v < PolyphonyLimit; ++v)
    count += engine.voices[v].active;
  return count;
}

}  // namespace velmo::bench
