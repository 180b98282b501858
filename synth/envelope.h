// Per-voice envelope (nine stages, amplitude 0..32512) and LFO/pitch update.
#pragma once

#include <cstdint>

#include "synth/engine.h"

namespace velmo {

// Highest pitch whose 16.16 step fits in 32 bits with OutputRateShift 1;
// higher pitches play at this pitch.
inline constexpr int32_t kHighestPitchCents = 25199;

// One envelope update of `voice`. Returns true when it stepped the amplitude,
// i.e. the voice's gains must be recomputed.
bool EnvTick(const Engine& engine, Voice& voice) noexcept;

// Advances the LFO (ordinary channels), sets tremoloValue and the step from the
// pitch in cents. Rhythm-channel voices change only at note-on.
void UpdateVoicePitch(const Engine& engine, Voice& voice, bool atNoteOn) noexcept;

// Pitch in cents -> unsigned 16.16 phase step; 6000 cents with shift 1 gives
// 0x10000 (one source sample per output frame).
uint32_t StepFromPitch(int32_t pitchCents, int32_t outputRateShift) noexcept;

// Gain of one side, signed 16 bit: envelope amplitude (0..32512) times the
// block's curve value (0..32767) >> 16, then the tremolo factor applied.
inline int16_t VoiceGain(int32_t envAmp, int32_t curveValue, int32_t tremoloValue) noexcept {
  const auto g = static_cast<int16_t>((envAmp * curveValue) >> 16);
  return static_cast<int16_t>(g + ((g * tremoloValue) >> 16));
}

}  // namespace velmo
