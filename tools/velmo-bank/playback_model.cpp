#include "tools/velmo-bank/playback_model.h"

#include <array>
#include <cmath>
#include <limits>

namespace velmo::playback {
namespace {

constexpr std::array<int32_t, 7> kKeyFollow = {24, 12, 8, 6, 4, 3, 0};
constexpr std::array<int32_t, 8> kDecayShift = {3, 2, 1, 1, 0, 0, 0, 0};

}  // namespace

int32_t LevelAtt(int32_t level) {
  if (level <= 0) return 800;
  if (level >= 127) return 0;
  return static_cast<int32_t>(std::floor(320.0 * std::log10(127.0 / level) + 1e-9));
}

int32_t EnvRate(int32_t index) {
  static constexpr std::array<int32_t, 7> kTop = {7981, 10099, 12778, 16168, 20457, 25885, 32766};
  if (index < 0) index = 0;
  if (index > 127) index = 127;
  if (index > 120) return kTop[static_cast<size_t>(index - 121)];
  return static_cast<int32_t>(std::floor(6308.0 * std::pow(2.0, (index - 120) / 8.0) + 1e-9));
}

int32_t KeyFollow(int32_t selector) {
  return selector >= 0 && selector <= 6 ? kKeyFollow[static_cast<size_t>(selector)] : 24;
}

int32_t DrumPitchKey(int32_t key) {
  switch (key) {
    case 41:
      return 48;
    case 43:
      return 52;
    case 45:
      return 55;
    case 47:
      return 59;
    case 48:
      return 62;
    case 50:
      return 66;
    case 55:
      return 69;
    case 57:
      return 61;
    case 59:
      return 61;
    case 63:
      return 65;
    case 65:
      return 61;
    case 66:
      return 56;
    case 67:
      return 65;
    case 76:
      return 68;
    case 77:
      return 63;
    default:
      return 60;
  }
}

int32_t KeyTrackCents(int32_t pitchKey, int32_t selector) {
  return ((pitchKey - 60) * KeyFollow(selector) * 100) / 24;
}

uint32_t StepOfPitch(int32_t cents) {
  const int32_t octave = (cents >= 0 ? cents / 1200 : -((-cents + 1199) / 1200));
  const int32_t c = cents - 1200 * octave;
  const auto base = static_cast<uint32_t>(std::floor(4096.0 * std::pow(2.0, c / 1200.0) + 1e-9));
  const int32_t shift = octave - 1;
  if (shift > 0) return shift >= 32 ? 0 : base << shift;
  if (shift < 0) return -shift >= 32 ? 0 : base >> -shift;
  return base;
}

int32_t FallTicks(int32_t from, int32_t to, int32_t delta) {
  int32_t amp = from;
  int32_t ticks = 0;
  while (amp >= to && ticks < std::numeric_limits<int32_t>::max()) {
    const int32_t shift = kDecayShift[static_cast<size_t>((amp >> 12) & 7)];
    amp -= (delta >> shift) + 1;
    ++ticks;
    if (amp < to) break;
  }
  return ticks;
}

int32_t RiseTicks(int32_t from, int32_t to, int32_t delta) {
  if (delta <= 0) return std::numeric_limits<int32_t>::max();
  return (to - from) / delta + 1;
}

}  // namespace velmo::playback
