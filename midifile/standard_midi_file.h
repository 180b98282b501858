// Reader for Standard MIDI Files (formats 0 and 1) from a byte span.
//
// The reader trusts no length in the file: every chunk length and variable-length number is
// checked against the bytes that are really there, and a file that breaks the format is refused
// with a MidiFileError that says what is wrong and where. Only what playback needs is kept:
// channel messages (always with their status byte, running status expanded), system exclusive
// messages as the bytes to send, and tempo changes. Other meta events are skipped.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmo::midi {

// Most events and MIDI bytes a file may hold, all tracks together. Far above any real piece
// (an hour of dense playing is about a million events), they keep a small hostile file from
// taking gigabytes once parsed and scheduled.
inline constexpr uint64_t kMaxMidiFileEvents = uint64_t{1} << 21;      // 2,097,152
inline constexpr uint64_t kMaxMidiFileEventBytes = uint64_t{1} << 23;  // 8,388,608

struct MidiFileLimits {
  uint64_t events = kMaxMidiFileEvents;
  uint64_t eventBytes = kMaxMidiFileEventBytes;
};

class MidiFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TrackEventKind : uint8_t {
  kMidiBytes,  // `bytes` go to the synthesizer as they are
  kTempo,      // `microsecondsPerQuarter` takes effect from this tick on
};

struct TrackEvent {
  uint64_t tick = 0;  // absolute, from the start of the track
  TrackEventKind kind = TrackEventKind::kMidiBytes;
  uint32_t microsecondsPerQuarter = 0;  // kTempo only
  std::vector<uint8_t> bytes;           // kMidiBytes only
};

struct MidiTrack {
  std::vector<TrackEvent> events;  // in file order, ticks never decrease
};

// The header's time division: either ticks per quarter note (tempo-dependent) or SMPTE
// frames per second and ticks per frame (tempo-independent).
struct TimeDivision {
  bool smpte = false;
  uint16_t ticksPerQuarter = 0;  // !smpte: 1..32767
  uint8_t framesPerSecond = 0;   // smpte: 24, 25, 29 (29.97 drop frame) or 30
  uint8_t ticksPerFrame = 0;     // smpte: 1..255
};

struct StandardMidiFile {
  uint16_t format = 0;  // 0 or 1
  TimeDivision division;
  std::vector<MidiTrack> tracks;  // as many as the header announces
};

// Throws MidiFileError for anything that is not a well-formed format 0 or 1 file, including
// format 2 files, and for a file over the limits' events or MIDI bytes (all tracks together).
StandardMidiFile ReadStandardMidiFile(std::span<const uint8_t> data,
                                      const MidiFileLimits& limits = {});

}  // namespace velmo::midi
