// How the engine plays the bank's fields (through its own tables), as far as the builder
// needs it: level attenuation, envelope rates and timing, key tracking, pitch to step.
#pragma once

#include <cstdint>

namespace velmo::playback {

inline constexpr int32_t kOutputRate = 22050;
inline constexpr int32_t kEnvTickFrames = 51;
inline constexpr int32_t kFramesPerBlock = 221;
inline constexpr int32_t kEnvFullScale = 127 * 256;
inline constexpr int32_t kDrumFirstKey = 35;
inline constexpr int32_t kDrumLastKey = 81;
inline constexpr int32_t kDrumInstrumentOffset = 93;  // drum key k plays instrument k + 93

// Attenuation in 1/8 dB of a level, velocity or controller value 0..127.
int32_t LevelAtt(int32_t level);
// Per-tick envelope amount of rate index 0..127.
int32_t EnvRate(int32_t index);
// Pitch key-follow in 24ths of a semitone for selector 0..6.
int32_t KeyFollow(int32_t selector);
// The key that sets a drum note's pitch.
int32_t DrumPitchKey(int32_t key);
// Cents contributed by the key: ((pitchKey - 60) * T * 100) / 24, truncated.
int32_t KeyTrackCents(int32_t pitchKey, int32_t selector);
// Phase increment (16.16 source frames per output frame) for a pitch in cents.
uint32_t StepOfPitch(int32_t cents);

// Envelope ticks for a falling segment from `from` to `to` at per-tick amount `delta`,
// counting the tick that passes the target.
int32_t FallTicks(int32_t from, int32_t to, int32_t delta);
// Ticks for a rising segment from `from` past `to`.
int32_t RiseTicks(int32_t from, int32_t to, int32_t delta);

}  // namespace velmo::playback
