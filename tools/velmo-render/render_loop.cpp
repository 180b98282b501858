#include "tools/velmo-render/render_loop.h"

#include "tools/velmo-render/render_format.h"

namespace velmo::render {

int64_t RenderSchedule(BlockRenderer& renderer, const ByteSchedule& schedule,
                       const RenderLength& length, const BlockSink& sink) {
  size_t next = 0;
  int64_t block = 0;
  const auto renderOne = [&] {
    for (; next < schedule.size() && schedule[next].block <= block; ++next) {
      renderer.PushMidiByte(schedule[next].value);
    }
    sink(renderer.RenderNextBlock());
    ++block;
  };

  while (block < length.blocks)
    renderOne();
  const int64_t end = length.blocks + length.maxTailBlocks;
  while (block < end && renderer.AnyVoiceActive())
    renderOne();
  return block;
}

int64_t BlocksForSeconds(int64_t seconds) {
  return (seconds * kSampleRate + kFramesPerBlock - 1) / kFramesPerBlock;
}

}  // namespace velmo::render
