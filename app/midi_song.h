// A Standard MIDI File made ready to play in the window: the byte schedule velmo-render uses
// (events at block boundaries), the whole messages along it, and its notes for the keyboard.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "midifile/scheduled_byte.h"

namespace velmo {

// One whole message: schedule[first .. first + size).
struct SongMessage {
  uint32_t first = 0;
  uint32_t size = 0;
};

// A note starting (on) or ending at a block of the song.
struct SongNote {
  int64_t block = 0;
  uint8_t channel = 0;
  uint8_t key = 0;
  bool on = false;
};

struct Song {
  midi::ByteSchedule schedule;
  std::vector<SongMessage> messages;  // in schedule order, covering every byte
  std::vector<SongNote> notes;        // in block order
  int64_t lengthBlocks = 0;           // the last event's block + 1, as velmo-render renders it

  // The block of a message: that of its first byte.
  int64_t BlockOf(const SongMessage& message) const { return schedule[message.first].block; }
};

// Reads and schedules a file; throws midi::MidiFileError for a broken one.
Song MakeSong(std::span<const uint8_t> fileBytes);

// Cuts a schedule into whole messages: a status byte (other than the end of a system exclusive
// message) starts one; data bytes belong to the message before them.
std::vector<SongMessage> SplitMessages(const midi::ByteSchedule& schedule);

// The messages that, sent before the song starts at block `position`, make every channel what
// the song has made it by then: for each channel All Sound Off, All Notes Off, Reset All
// Controllers, the engine's channel defaults (bank 0, volume 100, pan 64, bend range 2, no
// tuning, program 0), then the song's program changes, controllers and pitch bends before
// `position`, without those a later one of the same kind on the same channel overrides.
// From position 0 a song so started sounds as if the engine had just been reset.
std::vector<std::vector<uint8_t>> StartMessages(const Song& song, int64_t position);

}  // namespace velmo
