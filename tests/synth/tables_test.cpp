// The engine's constant tables against the rules they come from and the values
// the sound depends on.
#include <gtest/gtest.h>

#include <cmath>

#include "synth/engine_tables.h"

namespace velmo {
namespace {

TEST(EngineTables, LevelAttenuationFollowsFortyLogTen) {
  EXPECT_EQ(LevelAttTable[0], 800);
  for (int i = 1; i < 128; ++i) {
    EXPECT_EQ(LevelAttTable[i], static_cast<int>(std::floor(320.0 * std::log10(127.0 / i))))
        << "entry " << i;
  }
  const int stated[][2] = {{1, 673}, {2, 576},  {10, 353}, {32, 191},
                           {64, 95}, {100, 33}, {126, 1},  {127, 0}};
  for (const auto& [index, value] : stated)
    EXPECT_EQ(LevelAttTable[index], value);
}

TEST(EngineTables, PanAttenuationEndsAndCentre) {
  EXPECT_EQ(PanAttTable[0], 1000);
  EXPECT_EQ(PanAttTable[1], 336);
  EXPECT_EQ(PanAttTable[63], 29);
  EXPECT_EQ(PanAttTable[64], 28);
  EXPECT_EQ(PanAttTable[94], 1);
  for (int p = 95; p < 128; ++p)
    EXPECT_EQ(PanAttTable[p], 0);
  for (int p = 1; p < 128; ++p)
    EXPECT_LE(PanAttTable[p], PanAttTable[p - 1]) << p;
}

TEST(EngineTables, GainCurveHalfDecibelSteps) {
  for (int i = 0; i < 128; ++i) {
    EXPECT_EQ(GainCurve[i], static_cast<int>(std::floor(32767.0 * std::pow(10.0, -i / 40.0)))) << i;
  }
  EXPECT_EQ(GainCurve[0], 32767);
  EXPECT_EQ(GainCurve[1], 30934);
  EXPECT_EQ(GainCurve[127], 21);
}

TEST(EngineTables, InterpolationKernelShapeAndWeightSums) {
  EXPECT_EQ(InterpKernel[0], 58871);
  EXPECT_EQ(InterpKernel[128], 30809);
  EXPECT_EQ(InterpKernel[256], 0);
  for (int j = 1; j < 257; ++j)
    EXPECT_LT(InterpKernel[j], InterpKernel[j - 1]) << j;
  for (int f = 0; f < 128; ++f) {
    const int sum =
        InterpKernel[128 + f] + InterpKernel[f] + InterpKernel[128 - f] + InterpKernel[256 - f];
    EXPECT_GE(sum, 120489) << f;
    EXPECT_LE(sum, 120774) << f;
  }
}

TEST(EngineTables, EnvelopeRatesDoubleEveryEightSteps) {
  for (int i = 0; i <= 120; ++i) {
    EXPECT_EQ(EnvRateTable[i],
              static_cast<int>(std::floor(6308.0 * std::pow(2.0, (i - 120) / 8.0))))
        << i;
  }
  for (int i = 0; i < 20; ++i)
    EXPECT_EQ(EnvRateTable[i], 0);
  for (int i = 20; i < 28; ++i)
    EXPECT_EQ(EnvRateTable[i], 1);
  EXPECT_EQ(EnvRateTable[100], 1115);
  EXPECT_EQ(EnvRateTable[120], 6308);
  const int top[] = {7981, 10099, 12778, 16168, 20457, 25885, 32766};
  for (int i = 0; i < 7; ++i)
    EXPECT_EQ(EnvRateTable[121 + i], top[i]);
}

TEST(EngineTables, LfoIsTruncatedSineWithFourKeptEntries) {
  for (int i = 0; i < 512; ++i) {
    const int formula = static_cast<int>(127.0 * std::sin(6.283185307179586 * i / 512.0));
    if (i == 247 || i == 332 || i == 344 || i == 503) continue;
    EXPECT_EQ(LfoTable[i], formula) << i;
  }
  EXPECT_EQ(LfoTable[247], 14);
  EXPECT_EQ(LfoTable[332], -101);
  EXPECT_EQ(LfoTable[344], -111);
  EXPECT_EQ(LfoTable[503], -14);
  EXPECT_EQ(LfoTable[128], 127);
  EXPECT_EQ(LfoTable[384], -127);
}

TEST(EngineTables, PitchTableOneOctave) {
  for (int c = 0; c < 1200; ++c) {
    EXPECT_EQ(PitchTable[c], static_cast<int>(std::floor(4096.0 * std::pow(2.0, c / 1200.0)))) << c;
  }
  EXPECT_EQ(PitchTable[0], 4096);
  EXPECT_EQ(PitchTable[1199], 8187);
}

TEST(EngineTables, KeyTables) {
  EXPECT_EQ(KeyFollowTable, (std::array<int16_t, 7>{24, 12, 8, 6, 4, 3, 0}));
  EXPECT_EQ(KeyScaleFactors, (std::array<int32_t, 4>{0, 2, 4, 8}));
  EXPECT_EQ(DecayShiftTable, (std::array<int32_t, 8>{3, 2, 1, 1, 0, 0, 0, 0}));
  for (int k = 0; k < 27; ++k)
    EXPECT_EQ(KeyPanTable[k], 64);
  for (int k = 88; k < 128; ++k)
    EXPECT_EQ(KeyPanTable[k], 64);
  EXPECT_EQ(KeyPanTable[27], 49);
  EXPECT_EQ(KeyPanTable[41], 34);
  EXPECT_EQ(KeyPanTable[42], 84);
  EXPECT_EQ(KeyPanTable[84], 104);
  EXPECT_EQ(KeyPanTable[87], 44);
  const int drumKeys[][2] = {{41, 48}, {43, 52}, {45, 55}, {47, 59}, {48, 62},
                             {50, 66}, {55, 69}, {57, 61}, {59, 61}, {63, 65},
                             {65, 61}, {66, 56}, {67, 65}, {76, 68}, {77, 63}};
  int changed = 0;
  for (int k = 35; k <= 81; ++k) {
    int expected = 60;
    for (const auto& [key, pitch] : drumKeys) {
      if (key == k) expected = pitch;
    }
    changed += expected != 60;
    EXPECT_EQ(DrumKeyTable[k], expected) << k;
  }
  EXPECT_EQ(changed, 15);
}

}  // namespace
}  // namespace velmo
