// What the mixer makes of channels: duplicates at two positions, volume, pan, frequency,
// play once, saturation and the output format.
#include <gtest/gtest.h>

#include <cmath>

#include "audio_test_support.h"

namespace velmo::testing {
namespace {

constexpr uint32_t kRampFrames = 1000;
constexpr int16_t kRampScale = 16;

int32_t Left(const std::vector<int16_t>& out, size_t frame) {
  return out[2 * frame];
}
int32_t Right(const std::vector<int16_t>& out, size_t frame) {
  return out[2 * frame + 1];
}
double DbGain(int32_t hundredthsOfDb) {
  return std::pow(10.0, hundredthsOfDb / 2000.0);
}

class ChannelMixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wave = MakeRampWave(audio.device, kRampFrames, kRampScale);
    first = audio.device.GetChannels(0);
    second = audio.device.GetChannels(1);
    first->setWaveData(wave.get());
  }
  std::vector<int16_t> Play(uint32_t frames) {
    audio.Backend().Advance(frames);
    return audio.TakeOutput();
  }

  VirtualAudio audio;
  std::unique_ptr<TDDSDWaveData> wave;
  TDDSDChannel* first = nullptr;
  TDDSDChannel* second = nullptr;
};

TEST_F(ChannelMixTest, DuplicatesPlayOneWaveAtTwoPositions) {
  second->setWaveData(wave.get());
  ASSERT_NE(first->SoundBuffer(), second->SoundBuffer());
  EXPECT_EQ(first->SoundBuffer()->Memory(), second->SoundBuffer()->Memory());
  first->PlayAt(0);
  second->PlayAt(400 * 4);
  const std::vector<int16_t> out = Play(300);
  for (size_t i = 0; i < 300; ++i) {
    ASSERT_EQ(Left(out, i), kRampScale * (i + 400 + i)) << i;
    ASSERT_EQ(Right(out, i), -kRampScale * static_cast<int32_t>(i + 400 + i)) << i;
  }
  EXPECT_EQ(first->getPlayPosition(), 300u * 4);
  EXPECT_EQ(second->getPlayPosition(), 700u * 4);
  uint32_t waveCursor = 1;
  wave->SoundBuffer()->GetCurrentPosition(&waveCursor, nullptr);
  EXPECT_EQ(waveCursor, 0u);  // the wave's own buffer never played
}

TEST_F(ChannelMixTest, PlayOnceStopsAtTheEndAndRewinds) {
  first->PlayAt(900 * 4);
  EXPECT_EQ(first->getStatus() & kStatusPlaying, kStatusPlaying);
  const std::vector<int16_t> out = Play(200);
  EXPECT_EQ(Left(out, 99), kRampScale * 999);
  for (size_t i = 100; i < 200; ++i)
    ASSERT_EQ(Left(out, i), 0) << i;
  EXPECT_EQ(first->getStatus(), 0u);
  EXPECT_EQ(first->getPlayPosition(), 0u);
}

TEST_F(ChannelMixTest, LoopingWrapsToTheStart) {
  first->LoopPlayAt(990 * 4);
  EXPECT_EQ(first->getStatus(), kStatusPlaying | kStatusLooping);
  const std::vector<int16_t> out = Play(20);
  EXPECT_EQ(Left(out, 9), kRampScale * 999);
  EXPECT_EQ(Left(out, 10), 0);
  EXPECT_EQ(Left(out, 19), kRampScale * 9);
}

TEST_F(ChannelMixTest, VolumeAndPanAttenuateInHundredthsOfADecibel) {
  struct Case {
    int32_t volume;
    int32_t pan;
    double left;
    double right;
  };
  const Case cases[] = {
      {-600, 0, DbGain(-600), DbGain(-600)},
      {0, -600, 1.0, DbGain(-600)},  // negative pan attenuates the right side
      {0, 600, DbGain(-600), 1.0},
      {-600, 600, DbGain(-1200), DbGain(-600)},
      {0, 10000, 0.0, 1.0},
      {-10000, 0, 0.0, 0.0},
  };
  for (const Case& c : cases) {
    first->setVolume(c.volume);
    first->setPan(c.pan);
    first->PlayAt(500 * 4);
    const std::vector<int16_t> out = Play(1);
    const double input = kRampScale * 500.0;
    EXPECT_NEAR(Left(out, 0) / input, c.left, 1e-3) << c.volume << " " << c.pan;
    EXPECT_NEAR(-Right(out, 0) / input, c.right, 1e-3) << c.volume << " " << c.pan;
  }
}

TEST_F(ChannelMixTest, FrequencyRateResamples) {
  first->setFreqRate(2.0);
  EXPECT_EQ(first->getFrequency(), 44100);
  first->Play();
  std::vector<int16_t> out = Play(100);
  for (size_t i = 0; i < 100; ++i)
    ASSERT_EQ(Left(out, i), kRampScale * 2 * i) << i;

  first->setFreqRate(0.5);  // half speed: every other frame is interpolated
  EXPECT_EQ(first->getFrequency(), 11025);
  first->Play();
  out = Play(100);
  for (size_t k = 0; k < 50; ++k) {
    ASSERT_EQ(Left(out, 2 * k), kRampScale * k) << k;
    ASSERT_EQ(Left(out, 2 * k + 1), kRampScale * k + kRampScale / 2) << k;
  }
}

TEST_F(ChannelMixTest, SumSaturatesInsteadOfWrapping) {
  second->setWaveData(wave.get());
  first->PlayAt(999 * 4);  // 15984 each, twice: 31968 fits
  second->PlayAt(999 * 4);
  EXPECT_EQ(Left(Play(1), 0), 31968);
  auto loud = MakeRampWave(audio.device, kRampFrames, 32);  // 31968 each
  first->setWaveData(loud.get());
  second->setWaveData(loud.get());
  first->PlayAt(999 * 4);
  second->PlayAt(999 * 4);
  const std::vector<int16_t> out = Play(1);
  EXPECT_EQ(Left(out, 0), 32767);
  EXPECT_EQ(Right(out, 0), -32768);
}

TEST_F(ChannelMixTest, MonoEightBitOutputAveragesTheSides) {
  first->setPan(10000);  // left silent, right -(500 * 16)
  audio.device.SetPrimaryBufferFotmat(kRate, 8, false);
  first->PlayAt(500 * 4);
  audio.Backend().Advance(1);
  ASSERT_EQ(audio.Backend().Output().size(), 1u);
  EXPECT_EQ(audio.Backend().Output()[0], ((-500 * kRampScale / 2) >> 8) + 128);
}

}  // namespace
}  // namespace velmo::testing
