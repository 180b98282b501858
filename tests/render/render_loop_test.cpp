#include "tools/velmo-render/render_loop.h"

#include <gtest/gtest.h>

#include <array>

namespace velmo::render {
namespace {

// Records what reaches the synthesizer and when; a voice "sounds" for a set number of blocks
// after a byte 0x90 arrives.
class RecordingRenderer : public BlockRenderer {
 public:
  void PushMidiByte(uint8_t byte) override {
    queued_.push_back(byte);
    if (byte == 0x90) activeBlocks_ = sustainBlocks;
  }
  std::span<const int16_t> RenderNextBlock() override {
    drains.push_back(queued_);
    queued_.clear();
    if (activeBlocks_ > 0) --activeBlocks_;
    block_.fill(static_cast<int16_t>(drains.size()));
    return block_;
  }
  bool AnyVoiceActive() const override { return activeBlocks_ > 0; }

  int sustainBlocks = 0;
  std::vector<std::vector<uint8_t>> drains;  // bytes parsed before each rendered block

 private:
  std::vector<uint8_t> queued_;
  int activeBlocks_ = 0;
  std::array<int16_t, 442> block_{};
};

TEST(RenderLoop, PushesEachBlocksBytesBeforeRenderingIt) {
  RecordingRenderer renderer;
  const ByteSchedule schedule{{0, 0xC0}, {0, 0x05}, {2, 0xB0}, {2, 0x07}, {2, 0x7F}, {3, 0xFE}};
  std::vector<int16_t> firstSamples;
  const int64_t rendered =
      RenderSchedule(renderer, schedule, {.blocks = 5}, [&](std::span<const int16_t> block) {
        EXPECT_EQ(block.size(), 442u);
        firstSamples.push_back(block[0]);
      });
  EXPECT_EQ(rendered, 5);
  const std::vector<std::vector<uint8_t>> expected{
      {0xC0, 0x05}, {}, {0xB0, 0x07, 0x7F}, {0xFE}, {}};
  EXPECT_EQ(renderer.drains, expected);
  EXPECT_EQ(firstSamples, (std::vector<int16_t>{1, 2, 3, 4, 5}));
}

TEST(RenderLoop, TailRunsWhileAVoiceSoundsAndStopsAtItsLimit) {
  RecordingRenderer renderer;
  renderer.sustainBlocks = 4;
  const ByteSchedule schedule{{1, 0x90}};
  EXPECT_EQ(RenderSchedule(renderer, schedule, {.blocks = 2, .maxTailBlocks = 100},
                           [](std::span<const int16_t>) {}),
            5);  // voice active for blocks 1..4

  RecordingRenderer endless;
  endless.sustainBlocks = 1'000'000;
  EXPECT_EQ(RenderSchedule(endless, schedule, {.blocks = 2, .maxTailBlocks = 7},
                           [](std::span<const int16_t>) {}),
            9);

  RecordingRenderer silent;
  EXPECT_EQ(RenderSchedule(silent, {}, {.blocks = 0, .maxTailBlocks = 7},
                           [](std::span<const int16_t>) {}),
            0);
}

TEST(RenderLoop, BlocksForSecondsRoundsUp) {
  EXPECT_EQ(BlocksForSeconds(0), 0);
  EXPECT_EQ(BlocksForSeconds(1), 100);  // 99.77 blocks
  EXPECT_EQ(BlocksForSeconds(10), 998);
  EXPECT_EQ(BlocksForSeconds(221), 22050);
}

}  // namespace
}  // namespace velmo::render
