// The exported wave slot functions: conversion, copying, replacing, rejection, and a wave put
// into a slot playing through a sample record that names it.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "bankbuilder/bank_image.h"
#include "synth/engine.h"
#include "synth/engine_constants.h"
#include "synth/velmo_wave_api.h"
#include "tests/bank/engine_playback.h"

namespace velmo {
namespace {

constexpr int kSlot = 7;

std::vector<uint8_t> Header(size_t total, uint16_t loopStart, uint16_t loopEnd) {
  std::vector<uint8_t> image(64, 0xEE);  // the unused header bytes hold junk
  const uint16_t words[4] = {static_cast<uint16_t>(total), 0x1234, loopStart, loopEnd};
  for (size_t i = 0; i < 4; ++i) {
    image[2 * i] = static_cast<uint8_t>(words[i] & 0xFF);
    image[2 * i + 1] = static_cast<uint8_t>(words[i] >> 8);
  }
  return image;
}

std::vector<uint8_t> Image16(const std::vector<int16_t>& samples) {
  std::vector<uint8_t> image = Header(64 + 2 * samples.size(), 3, 9);
  for (const int16_t s : samples) {
    image.push_back(static_cast<uint8_t>(s & 0xFF));
    image.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8));
  }
  return image;
}

std::vector<uint8_t> Image8(const std::vector<int8_t>& samples) {
  std::vector<uint8_t> image =
      Header(64 + samples.size(), 0, static_cast<uint16_t>(samples.size() - 1));
  for (const int8_t s : samples)
    image.push_back(static_cast<uint8_t>(s));
  return image;
}

const uint8_t* Block(int slot) {
  return TheEngine().bank.WaveSlots[static_cast<size_t>(slot)].get();
}

class WaveApi : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int slot = 0; slot < VELMO_WAVE_SLOT_COUNT; ++slot)
      VelmoWaveFree(slot);
  }
  void TearDown() override { FreeWaveSlots(TheEngine().bank); }
};

TEST_F(WaveApi, SixteenBitSamplesKeepTheirTopBitsAndSaturate) {
  const std::vector<uint8_t> image = Image16({0x7FFF, static_cast<int16_t>(0x8000), 0x0040,
                                              static_cast<int16_t>(0xFFC0), 0x3F80, -0x4000});
  VelmoWaveLoad(kSlot, image.data());
  ASSERT_EQ(VelmoWaveSlotSize(kSlot), 6 + 8);
  const uint8_t* block = Block(kSlot);
  EXPECT_EQ(block[2] | (block[3] << 8), 0x1234);  // reserved word copied
  EXPECT_EQ(block[4], 3);                         // loop start copied
  EXPECT_EQ(block[6], 9);                         // loop end copied
  const auto* pcm = reinterpret_cast<const int8_t*>(block + 8);
  EXPECT_EQ(pcm[0], 127);
  EXPECT_EQ(pcm[1], -128);
  EXPECT_EQ(pcm[2], 0);
  EXPECT_EQ(pcm[3], -1);
  EXPECT_EQ(pcm[4], 127);   // 0x3F80 >> 7 = 127
  EXPECT_EQ(pcm[5], -128);  // -0x4000 >> 7 = -128
}

TEST_F(WaveApi, EightBitSamplesAreCopiedAndLoadsReplaceAndFree) {
  const std::vector<int8_t> samples = {1, -2, 3, -128, 127};
  const std::vector<uint8_t> image = Image8(samples);
  VelmoWaveLoad2(kSlot, image.data());
  ASSERT_EQ(VelmoWaveSlotSize(kSlot), 5 + 8);
  EXPECT_EQ(std::vector<int8_t>(reinterpret_cast<const int8_t*>(Block(kSlot)) + 8,
                                reinterpret_cast<const int8_t*>(Block(kSlot)) + 13),
            samples);
  // A load into an occupied slot replaces the block.
  VelmoWaveLoad(kSlot, Image16({100, 200}).data());
  EXPECT_EQ(VelmoWaveSlotSize(kSlot), 10);
  VelmoWaveFree(kSlot);
  EXPECT_EQ(VelmoWaveSlotSize(kSlot), 0);
  VelmoWaveFree(kSlot);  // an empty slot stays empty
  EXPECT_EQ(VelmoWaveSlotSize(kSlot), 0);
  // A header-only image gives a block with no samples.
  VelmoWaveLoad2(kSlot, Header(64, 0, 0).data());
  EXPECT_EQ(VelmoWaveSlotSize(kSlot), 8);
}

TEST_F(WaveApi, BadSlotsAndLengthsChangeNothing) {
  const std::vector<uint8_t> image = Image8({5, 6, 7});
  VelmoWaveLoad2(kSlot, image.data());
  for (const int slot : {-1, 3000, 1 << 30}) {
    VelmoWaveLoad(slot, image.data());
    VelmoWaveLoad2(slot, image.data());
    VelmoWaveFree(slot);
    EXPECT_EQ(VelmoWaveSlotSize(slot), -1);
  }
  for (const size_t total : {size_t{0}, size_t{8}, size_t{63}}) {
    const std::vector<uint8_t> tooShort = Header(total, 0, 0);
    VelmoWaveLoad(kSlot, tooShort.data());
    VelmoWaveLoad2(kSlot, tooShort.data());
    EXPECT_EQ(VelmoWaveSlotSize(kSlot), 11) << total;
  }
  VelmoWaveLoad(kSlot, nullptr);
  EXPECT_EQ(VelmoWaveSlotSize(kSlot), 11);
}

// On a slot that borrows its block from a resident bank image, each call empties or replaces
// that slot with an owned block; the image and the neighbouring borrowed slot stay as they were.
TEST_F(WaveApi, CallsOnABorrowedSlotLeaveTheImageAlone) {
  BankImage bank;
  const std::vector<int8_t> pcm = {9, 8, 7, 6};
  bank.waves[kSlot] = MakeWaveBlock(pcm, 0, 3);
  bank.waves[kSlot + 1] = MakeWaveBlock(pcm, 1, 2);
  const std::vector<uint8_t> pristine = SerializeBankImage(bank);
  const std::vector<uint8_t> image = pristine;
  struct Case {
    const char* name;
    void (*call)();
    int expectedSize;
  };
  const Case cases[] = {
      {"free", [] { VelmoWaveFree(kSlot); }, 0},
      {"16-bit load",
       [] {
         VelmoWaveLoad(kSlot, Image16({1, 2, 3}).data());
       },
       3 + 8},
      {"8-bit load",
       [] {
         VelmoWaveLoad2(kSlot, Image8({1, 2}).data());
       },
       2 + 8},
  };
  for (const Case& c : cases) {
    EngineLoadResidentAndReset(TheEngine(), image);
    const WaveBlock& slot = TheEngine().bank.WaveSlots[kSlot];
    const uint8_t* neighbour = Block(kSlot + 1);
    ASSERT_TRUE(IsBorrowedWaveBlock(slot)) << c.name;
    c.call();
    EXPECT_EQ(VelmoWaveSlotSize(kSlot), c.expectedSize) << c.name;
    EXPECT_FALSE(IsBorrowedWaveBlock(slot)) << c.name;
    EXPECT_EQ(Block(kSlot + 1), neighbour) << c.name;
    EXPECT_TRUE(IsBorrowedWaveBlock(TheEngine().bank.WaveSlots[kSlot + 1])) << c.name;
    EXPECT_EQ(image, pristine) << c.name;
  }
  FreeWaveSlots(TheEngine().bank);  // before the image goes
  EXPECT_EQ(image, pristine);
}

TEST_F(WaveApi, ALoadedWavePlaysThroughTheSampleRecordThatNamesIt) {
  // Program 0 plays sample record 1, which names the empty slot 7: a square wave of 20 frames
  // per cycle looped over its whole length, played at its own rate at key 60.
  BankImage bank;
  bank.instruments[0].regionSample[0] = 1;
  bank.instruments[0].regionTopKey.fill(127);
  bank.instruments[0].envRate = {127, 127, 127, 127, 127, 127};
  bank.instruments[0].envLevel = {127, 127, 127, 127, 0, 0};
  bank.instruments[0].envMode = 1;
  bank.instruments[0].level = 127;
  bank.samples[1] = ImageSample{0, 1, 0, 0, 199, kSlot};
  const std::vector<uint8_t> bytes = SerializeBankImage(bank);
  std::istringstream stream(std::string(bytes.begin(), bytes.end()));
  EngineLoadAndReset(TheEngine(), stream);

  auto play = [] {
    Engine& engine = TheEngine();
    EngineReset(engine, 1);
    for (const uint8_t byte : {0x90, 60, 100})
      PushMidiByte(engine, byte);
    std::vector<int32_t> mono;
    for (int32_t b = 0; b < 10; ++b) {
      const int32_t block = WriteBlock(engine);
      DrainMidiQueue(engine);
      RenderBlock(engine);
      const int16_t* samples = RingBlock(engine, block);
      for (int32_t f = 0; f < kFramesPerBlock; ++f)
        mono.push_back(samples[2 * f] + samples[2 * f + 1]);
    }
    return mono;
  };
  EXPECT_EQ(testing::RmsOf(play(), 0, 2210), 0.0);  // no wave in the slot: no voice

  std::vector<int8_t> square(200);
  for (size_t i = 0; i < square.size(); ++i)
    square[i] = (i % 20) < 10 ? 100 : -100;
  VelmoWaveLoad2(kSlot, Image8(square).data());
  const std::vector<int32_t> played = play();
  EXPECT_GT(testing::RmsOf(played, 200, 2000), 1000.0);
  EXPECT_NEAR(testing::ZeroCrossingFrequency(played, 200, 2000), 22050.0 / 20, 2.0);
}

}  // namespace
}  // namespace velmo
