#include "synth/loop_stream.h"

#include <algorithm>
#include <cstring>

namespace velmo {

void BuildLoopStream(const SourceCursor& c, LoopStream& stream) {
  stream.built = true;
  stream.usable = false;
  const LoopKind kind = KindOf(c.mode);
  const uint32_t a = c.loopStart;
  const uint32_t b = c.loopEnd;
  uint32_t cycle = 0;
  if (kind == LoopKind::Forward) {
    cycle = b - a + 1;
  } else if (kind == LoopKind::Alternating && a < b) {
    cycle = 2 * (b - a);
  } else {
    return;
  }
  if (cycle > kLoopStreamMaxCycle) return;
  const int32_t backwardSign = c.mode == 2 ? -1 : 1;
  // Value fetched at phase u: forward positions a + u; for an alternating loop
  // the backward pass (phases b - a + 1 .. cycle - 1, and 0 = back at a).
  const auto valueAt = [&](uint32_t u) -> int16_t {
    if (kind == LoopKind::Forward || (u >= 1 && u <= b - a)) {
      return static_cast<int16_t>(c.data[a + u]);
    }
    return static_cast<int16_t>(backwardSign * c.data[a + (cycle - u) % cycle]);
  };
  int16_t* values = stream.values.data();
  const uint32_t first = 3 + cycle;
  for (uint32_t j = 0; j < first; ++j)
    values[j] = valueAt((j + 3 * cycle - 3) % cycle);
  // Whole cycles are appended by copying the ones already there (length - 3
  // stays a multiple of the cycle until the last, partial copy).
  uint32_t length = first;
  while (length < kLoopStreamCapacity) {
    const uint32_t chunk = std::min(length - 3, kLoopStreamCapacity - length);
    std::memcpy(values + length, values + 3, chunk * sizeof(int16_t));
    length += chunk;
  }
  stream.cycle = cycle;
  stream.length = length;
  stream.usable = true;
}

}  // namespace velmo
