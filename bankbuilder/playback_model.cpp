#include "bankbuilder/playback_model.h"

#include <algorithm>
#include <limits>

#include "synth/engine_tables.h"

namespace velmo::playback {

int32_t LevelAtt(int32_t level) {
  return LevelAttTable[static_cast<size_t>(std::clamp(level, 0, 127))];
}

int32_t EnvRate(int32_t index) {
  return EnvRateTable[static_cast<size_t>(std::clamp(index, 0, 127))];
}

int32_t KeyFollow(int32_t selector) {
  return selector >= 0 && selector <= 6 ? KeyFollowTable[static_cast<size_t>(selector)] : 0;
}

int32_t DrumPitchKey(int32_t key) {
  return DrumKeyTable[static_cast<size_t>(std::clamp(key, 0, 127))];
}

int32_t KeyTrackCents(int32_t pitchKey, int32_t selector) {
  return ((pitchKey - 60) * KeyFollow(selector) * 100) / 24;
}

uint32_t StepOfPitch(int32_t cents) {
  const int32_t octave = cents >= 0 ? cents / 1200 : -((-cents + 1199) / 1200);
  const int32_t c = cents - 1200 * octave;
  const uint32_t base = PitchTable[static_cast<size_t>(c)];
  const int32_t shift = octave - 1;  // the engine's output-rate shift is one octave
  if (shift > 0) return shift >= 32 ? 0 : base << shift;
  if (shift < 0) return -shift >= 32 ? 0 : base >> -shift;
  return base;
}

int32_t FallTicks(int32_t from, int32_t to, int32_t delta) {
  int32_t amp = from;
  int32_t ticks = 0;
  while (amp >= to) {
    amp -= (delta >> DecayShiftTable[static_cast<size_t>((amp >> 12) & 7)]) + 1;
    ++ticks;
  }
  return ticks;
}

int32_t RiseTicks(int32_t from, int32_t to, int32_t delta) {
  if (delta <= 0) return std::numeric_limits<int32_t>::max();
  return (to - from) / delta + 1;
}

}  // namespace velmo::playback
