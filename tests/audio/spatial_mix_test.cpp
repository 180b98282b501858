// 3D placement as heard in the mixed output: distance roll-off, left/right balance and cones,
// with the channel's pan ignored once it plays a 3D wave.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "audio/ddsd_params_3d.h"
#include "audio/ddsd_wave_3d.h"
#include "audio_test_support.h"

namespace velmo::testing {
namespace {

constexpr int16_t kLevel = 10000;
constexpr uint32_t kFrames = 2205;

struct Placement {
  const char* name;
  Vector3D position;
  Vector3D coneOrientation;
  TDDSDConeAngle cone;
  int32_t outsideVolume;
  double left, right;  // expected gains
};

// Far ear at 90 degrees: -20 dB.
constexpr double kFar = 0.1;

TEST(SpatialMix, PositionAndConeSetTheLevelOfEachSide) {
  const Vector3D ahead{0, 0, 1};
  const std::vector<Placement> cases = {
      {"at_min_distance", {0, 0, 5}, ahead, {}, 0, 1.0, 1.0},
      {"twice_min_distance", {0, 0, 10}, ahead, {}, 0, 0.5, 0.5},
      {"inside_min_distance", {0, 0, 1}, ahead, {}, 0, 1.0, 1.0},
      {"beyond_max_distance", {0, 0, 400}, ahead, {}, 0, 5.0 / 100.0, 5.0 / 100.0},
      {"right", {10, 0, 0}, ahead, {}, 0, 0.5 * kFar, 0.5},
      {"left", {-10, 0, 0}, ahead, {}, 0, 0.5, 0.5 * kFar},
      {"behind", {0, 0, -5}, ahead, {}, 0, 1.0, 1.0},
      {"above", {0, 5, 0}, ahead, {}, 0, 1.0, 1.0},
      // The cone points away from the listener: outside volume.
      {"cone_away", {0, 0, 5}, ahead, {90, 180}, -2000, 0.1, 0.1},
      {"cone_towards", {0, 0, 5}, {0, 0, -1}, {90, 180}, -2000, 1.0, 1.0},
      // 90 degrees off the cone axis, between half the inside (30) and half the outside (120)
      // angle: two thirds of the outside volume.
      {"cone_between", {0, 0, 5}, {1, 0, 0}, {60, 240}, -2000, 0.21544, 0.21544},
  };
  for (const Placement& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualAudio audio(dsoDebugMessage, kRate, true);
    TDDSDWave3D wave(audio.device, kRate, 16, 200, false);
    ASSERT_NE(wave.SoundBuffer(), nullptr);
    void* region = nullptr;
    uint32_t length = 0;
    wave.SoundBuffer()->Lock(0, 200, &region, &length, nullptr, nullptr, 0);
    std::fill_n(static_cast<int16_t*>(region), length / 2, kLevel);
    wave.SoundBuffer()->Unlock(region, length, nullptr, 0);

    TDDSDChannel* channel = audio.device.GetChannels(0);
    channel->setWaveData(&wave);
    ASSERT_TRUE(channel->Is3D());
    channel->setPan(10000);  // ignored
    TDDSDParams3D& params = channel->getParams3D();
    params.setPosition(c.position);
    params.setConeOrientation(c.coneOrientation);
    params.setConeAngle(c.cone);
    params.setConeOutsideVolume(c.outsideVolume);
    channel->LoopPlayAt(0);
    audio.Backend().Advance(kFrames);
    const std::vector<int16_t> out = audio.TakeOutput();
    ASSERT_EQ(out.size(), 2u * kFrames);
    for (size_t frame = 0; frame < kFrames; frame += 97) {
      EXPECT_NEAR(out[2 * frame], kLevel * c.left, 2.0 + kLevel * c.left * 0.005) << frame;
      EXPECT_NEAR(out[2 * frame + 1], kLevel * c.right, 2.0 + kLevel * c.right * 0.005) << frame;
    }
  }
}

TEST(SpatialMix, ListenerTurnedRightHearsAheadOnTheLeft) {
  VirtualAudio audio(dsoDebugMessage, kRate, true);
  ASSERT_NE(audio.device.getListener(), nullptr);
  audio.device.getListener()->setOrientation({{1, 0, 0}, {0, 1, 0}});
  audio.device.getListener()->setRollOffFactor(2.0f);
  TDDSDWave3D wave(audio.device, kRate, 16, 200, false);
  void* region = nullptr;
  uint32_t length = 0;
  wave.SoundBuffer()->Lock(0, 200, &region, &length, nullptr, nullptr, 0);
  std::fill_n(static_cast<int16_t*>(region), length / 2, kLevel);
  wave.SoundBuffer()->Unlock(region, length, nullptr, 0);
  TDDSDChannel* channel = audio.device.GetChannels(0);
  channel->setWaveData(&wave);
  channel->getParams3D().setPosition({0, 0, 10});
  channel->LoopPlayAt(0);
  audio.Backend().Advance(100);
  const std::vector<int16_t> out = audio.TakeOutput();
  // Roll-off 2 at twice the minimum distance: 5 / (5 + 2 * 5).
  EXPECT_NEAR(out[0], kLevel / 3.0, 2.0 + kLevel / 300.0);
  EXPECT_NEAR(out[1], kLevel / 3.0 * kFar, 2.0 + kLevel / 3000.0);
}

}  // namespace
}  // namespace velmo::testing
