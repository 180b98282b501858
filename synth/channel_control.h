// Channel-message handlers: they store controller values in the ChannelState
// (as attenuations in 1/8 dB or pitches in cents); only the channel-mode
// operations touch voices at once.
#pragma once

#include <cstdint>

#include "synth/engine.h"

namespace velmo {

void ControlChange(Engine& engine, int32_t channel, uint8_t controller, uint8_t value) noexcept;
void ProgramChange(Engine& engine, int32_t channel, uint8_t program) noexcept;
// first: low 7 bits, second: high 7 bits of the bend.
void PitchBend(Engine& engine, int32_t channel, uint8_t first, uint8_t second) noexcept;
// Silences every one of the 64 voices of the channel at once.
void AllSoundOff(Engine& engine, int32_t channel) noexcept;
// Requests key-off for the channel's voices among the first PolyphonyLimit.
void AllNotesOff(Engine& engine, int32_t channel) noexcept;
void ResetAllControllers(Engine& engine, int32_t channel) noexcept;
// Start state of all 16 channels (channel index 9 plays the drum kit).
void ResetChannels(Engine& engine) noexcept;

}  // namespace velmo
