// Writes small SoundFont files in memory for the tests: one preset per entry, each preset
// one instrument, each instrument a list of zones over generated samples.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace velmo::testing {

struct TestSample {
  std::string name = "s";
  std::vector<int16_t> frames;
  uint32_t loopStart = 0;  // relative to the sample's first frame
  uint32_t loopEnd = 0;    // exclusive
  uint32_t sampleRate = 44100;
  uint8_t originalPitch = 60;
  int8_t pitchCorrection = 0;
  uint16_t sampleType = 1;
};

struct TestZone {
  std::vector<std::pair<uint16_t, int16_t>> generators;  // sampleID is appended
  uint16_t sample = 0;
};

struct TestPreset {
  std::string name = "p";
  uint16_t bank = 0;
  uint16_t program = 0;
  std::vector<std::pair<uint16_t, int16_t>> presetGenerators;  // one preset zone
  std::vector<std::pair<uint16_t, int16_t>> globalInstrumentGenerators;
  std::vector<TestZone> zones;
};

std::vector<uint8_t> WriteSoundFont(const std::vector<TestSample>& samples,
                                    const std::vector<TestPreset>& presets);

// A sine of `frames` frames with `period` frames per cycle at the given amplitude.
std::vector<int16_t> Sine(size_t frames, double period, double amplitude);

// A keyRange / velRange generator amount: low byte lo, high byte hi.
inline int16_t Range(int lo, int hi) {
  return static_cast<int16_t>(lo | (hi << 8));
}

}  // namespace velmo::testing
