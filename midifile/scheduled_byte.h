// A MIDI byte together with the block before which it is pushed into the engine.
#pragma once

#include <cstdint>
#include <vector>

namespace velmo::midi {

struct ScheduledByte {
  int64_t block = 0;  // pushed right before this block is rendered
  uint8_t value = 0;

  friend bool operator==(const ScheduledByte&, const ScheduledByte&) = default;
};

// Bytes in push order; blocks never decrease along the list.
using ByteSchedule = std::vector<ScheduledByte>;

}  // namespace velmo::midi
