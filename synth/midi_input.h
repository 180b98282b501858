// MIDI byte intake: the lock-free byte queue and the running-status parser
// that calls the channel and note handlers.
#pragma once

#include <cstdint>

#include "synth/engine.h"

namespace velmo {

// Data bytes of a channel message, by (status >> 4) & 7.
inline constexpr int32_t ChannelMessageLength[8] = {2, 2, 2, 2, 1, 1, 2, 0};

// Takes the next byte (timer thread); 0 from an empty queue.
uint8_t PopMidiByte(Engine& engine) noexcept;
// One parser step; complete messages go to the handlers at once.
void ParseMidiByte(Engine& engine, uint8_t byte) noexcept;

}  // namespace velmo
