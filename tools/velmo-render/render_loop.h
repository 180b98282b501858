// The offline render loop: pushes each block's MIDI bytes into a synthesizer, renders the block
// and hands it on, with no real-time clock and no ring flow control.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "midifile/scheduled_byte.h"

namespace velmo::render {

using midi::ByteSchedule;
using midi::ScheduledByte;

// One synthesizer, driven block by block.
class BlockRenderer {
 public:
  virtual ~BlockRenderer() = default;
  virtual void PushMidiByte(uint8_t byte) = 0;
  // Parses every queued byte, renders the next block and returns its interleaved samples
  // (left, right, ...), valid until the next call.
  virtual std::span<const int16_t> RenderNextBlock() = 0;
  virtual bool AnyVoiceActive() const = 0;
};

struct RenderLength {
  int64_t blocks = 0;         // rendered in any case
  int64_t maxTailBlocks = 0;  // then more, while a voice still sounds, at most this many
};

using BlockSink = std::function<void(std::span<const int16_t> block)>;

// For each block b: pushes the bytes scheduled for b (all of them, before the block renders),
// renders it and passes it to `sink`. Bytes scheduled at or after `length.blocks` are pushed
// before their block if the tail reaches it. Returns the number of blocks rendered.
int64_t RenderSchedule(BlockRenderer& renderer, const ByteSchedule& schedule,
                       const RenderLength& length, const BlockSink& sink);

// Blocks in `seconds` of audio, rounded up.
int64_t BlocksForSeconds(int64_t seconds);

}  // namespace velmo::render
