// Turns a Standard MIDI File into the bytes pushed before each rendered block.
//
// All tracks are merged by time; events at the same time keep track order, then file order.
// Tempo changes from any track apply to the whole file (500000 microseconds per quarter note
// until the first one). An event at time t seconds is pushed before block
// ceil(t x 22050 / 221). The engine's MIDI queue holds 512 bytes, so when more bytes fall on
// one block than that, the excess moves on to the following blocks in order, up to 512 per
// block, instead of being dropped by the engine.
#pragma once

#include <cstdint>

#include "midifile/scheduled_byte.h"
#include "midifile/standard_midi_file.h"

namespace velmo::midi {

// Files whose events reach past this time are refused: rendering them would take the machine's
// memory and time for something that is almost certainly a broken file.
inline constexpr int64_t kMaxMidiFileSeconds = 3600;

// Throws MidiFileError when an event lies beyond kMaxMidiFileSeconds.
ByteSchedule ScheduleMidiFile(const StandardMidiFile& file);

// Moves bytes so that no block receives more than `capacity`, keeping their order and delaying
// each by as little as possible. `schedule` must be sorted by block.
ByteSchedule SpreadOverflow(const ByteSchedule& schedule, int32_t capacity);

}  // namespace velmo::midi
