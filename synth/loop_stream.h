// A voice's loop unrolled into the sample sequence it plays: the values the
// renderer fetches, in order, once the position runs around the loop (a
// forward loop's samples, or an alternating loop's forward pass followed by
// its backward pass, sign-inverted in loop mode 2). Reading this sequence
// straight through renders across wraps and turns like plain runs of the wave.
// Built for short loops on a voice's first block and kept until its next note.
#pragma once

#include <array>
#include <cstdint>

#include "synth/source_cursor.h"

namespace velmo {

// Loops with a cycle up to this many steps are unrolled.
inline constexpr uint32_t kLoopStreamMaxCycle = 512;
inline constexpr uint32_t kLoopStreamCapacity = 1536;

struct LoopStream {
  bool built = false;   // false: build before use (cleared by note-on)
  bool usable = false;  // the voice's loop is short enough to be unrolled
  uint32_t cycle = 0;   // steps per cycle of the loop
  uint32_t length = 0;  // values held
  // values[3 + u] is the value fetched at cycle phase u; the three values
  // before phase 0 come first, so every phase has its full history window.
  std::array<int16_t, kLoopStreamCapacity> values{};
};

// Unrolls the loop of the voice at cursor `c` into `stream` when its cycle is
// short (marks the stream built, and usable if it was unrolled).
void BuildLoopStream(const SourceCursor& c, LoopStream& stream);

}  // namespace velmo
