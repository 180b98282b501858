#include "bankbuilder/generator_ranges.h"

#include <algorithm>

namespace velmo {
namespace {

struct GeneratorRange {
  uint16_t oper;
  int32_t lo;
  int32_t hi;
};

// Generator numbers without a named constant: chorus and reverb sends (15, 16), the modulation
// envelope's release and its key scaling (30, 31, 32).
constexpr GeneratorRange kGeneratorRanges[] = {
    {kGenModLfoToPitch, -12000, 12000},
    {kGenVibLfoToPitch, -12000, 12000},
    {kGenModEnvToPitch, -12000, 12000},
    {kGenInitialFilterFc, 1500, 13500},
    {kGenInitialFilterQ, 0, 960},
    {kGenModLfoToFilterFc, -12000, 12000},
    {kGenModEnvToFilterFc, -12000, 12000},
    {kGenModLfoToVolume, -960, 960},
    {15, 0, 1000},
    {16, 0, 1000},
    {kGenPan, -500, 500},
    {kGenDelayModLfo, -12000, 5000},
    {kGenFreqModLfo, -16000, 4500},
    {kGenDelayVibLfo, -12000, 5000},
    {kGenFreqVibLfo, -16000, 4500},
    {kGenDelayModEnv, -12000, 5000},
    {kGenAttackModEnv, -12000, 8000},
    {kGenHoldModEnv, -12000, 5000},
    {kGenDecayModEnv, -12000, 8000},
    {kGenSustainModEnv, 0, 1000},
    {30, -12000, 8000},
    {31, -1200, 1200},
    {32, -1200, 1200},
    {kGenDelayVolEnv, -12000, 5000},
    {kGenAttackVolEnv, -12000, 8000},
    {kGenHoldVolEnv, -12000, 5000},
    {kGenDecayVolEnv, -12000, 8000},
    {kGenSustainVolEnv, 0, 1440},
    {kGenReleaseVolEnv, -12000, 8000},
    {kGenKeynumToVolEnvHold, -1200, 1200},
    {kGenKeynumToVolEnvDecay, -1200, 1200},
    {kGenInitialAttenuation, 0, 1440},
    {kGenCoarseTune, -120, 120},
    {kGenFineTune, -99, 99},
    {kGenScaleTuning, 0, 1200},
};

}  // namespace

void ClampGeneratorValues(std::array<int32_t, kGenCount>& values) {
  for (const GeneratorRange& range : kGeneratorRanges) {
    values[range.oper] = std::clamp(values[range.oper], range.lo, range.hi);
  }
}

}  // namespace velmo
