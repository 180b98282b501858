#include "tests/bank/engine_playback.h"

#include <cmath>
#include <memory>
#include <sstream>
#include <string>

#include "synth/engine.h"
#include "synth/engine_constants.h"

namespace velmo::testing {

NotePlayer::NotePlayer(std::span<const uint8_t> image) : engine_(std::make_unique<Engine>()) {
  std::istringstream stream(std::string(image.begin(), image.end()));
  EngineLoadAndReset(*engine_, stream);
}

NotePlayer::~NotePlayer() = default;

std::vector<int32_t> NotePlayer::Play(int32_t channel, int32_t program, int32_t key,
                                      int32_t blocks) {
  Engine& engine = *engine_;
  EngineReset(engine, 1);
  if (program >= 0) {
    PushMidiByte(engine, static_cast<uint8_t>(0xC0 | channel));
    PushMidiByte(engine, static_cast<uint8_t>(program));
  }
  PushMidiByte(engine, static_cast<uint8_t>(0x90 | channel));
  PushMidiByte(engine, static_cast<uint8_t>(key));
  PushMidiByte(engine, 100);
  std::vector<int32_t> mono;
  for (int32_t b = 0; b < blocks; ++b) {
    const int32_t block = WriteBlock(engine);
    DrainMidiQueue(engine);
    RenderBlock(engine);
    const int16_t* samples = RingBlock(engine, block);
    for (int32_t f = 0; f < kFramesPerBlock; ++f) {
      mono.push_back(samples[2 * f] + samples[2 * f + 1]);
    }
  }
  return mono;
}

std::vector<int32_t> PlayNote(std::span<const uint8_t> image, int32_t channel, int32_t program,
                              int32_t key, int32_t blocks) {
  return NotePlayer(image).Play(channel, program, key, blocks);
}

double ZeroCrossingFrequency(const std::vector<int32_t>& samples, size_t from, size_t count) {
  double first = -1, last = -1;
  int32_t crossings = 0;
  for (size_t i = from + 1; i < from + count && i < samples.size(); ++i) {
    if (samples[i - 1] < 0 && samples[i] >= 0) {
      const double at = static_cast<double>(i - 1) +
                        static_cast<double>(-samples[i - 1]) / (samples[i] - samples[i - 1]);
      if (first < 0)
        first = at;
      else
        ++crossings;
      last = at;
    }
  }
  return crossings > 0 ? kOutputRate * crossings / (last - first) : 0.0;
}

double RmsOf(const std::vector<int32_t>& samples, size_t from, size_t count) {
  double sum = 0;
  for (size_t i = from; i < from + count && i < samples.size(); ++i)
    sum += double(samples[i]) * samples[i];
  return std::sqrt(sum / static_cast<double>(count));
}

}  // namespace velmo::testing
