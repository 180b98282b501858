// The MIDI byte script read by `velmo-render --script`.
//
// UTF-8 text, one entry per line: `<block> <hex byte> <hex byte> ...`, for example
// `12 90 3C 64`. The block is a decimal number from 0, each byte exactly two hex digits (either
// case), separated by spaces or tabs. Blank lines and lines whose first non-blank character is
// `#` are skipped, and a `#` token ends a line early (trailing comment). A UTF-8 byte order mark
// at the start and Windows line endings are accepted. Lines may come in any block order; the
// bytes of one block are pushed in file order, across lines too.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "midifile/scheduled_byte.h"

namespace velmo::render {

using midi::ByteSchedule;
using midi::ScheduledByte;

// A malformed script line. what() names the line by number and quotes its content.
class ScriptError : public std::runtime_error {
 public:
  ScriptError(int64_t lineNumber, const std::string& message);
  int64_t lineNumber() const { return lineNumber_; }

 private:
  int64_t lineNumber_;
};

struct ScriptLine {
  int64_t lineNumber = 0;  // 1-based, as an editor shows it
  int64_t block = 0;
  std::vector<uint8_t> bytes;
};

// Most entry lines and MIDI bytes a script may hold: far above any real render, they keep a
// hostile script from taking gigabytes once parsed and scheduled.
inline constexpr int64_t kMaxScriptEntryLines = int64_t{1} << 21;  // 2,097,152
inline constexpr int64_t kMaxScriptMidiBytes = int64_t{1} << 23;   // 8,388,608

struct ScriptLimits {
  int64_t entryLines = kMaxScriptEntryLines;
  int64_t midiBytes = kMaxScriptMidiBytes;
};

// Parses every entry line in file order. Throws ScriptError on the first malformed line and on
// the line that goes past the limits' entry lines or MIDI bytes.
std::vector<ScriptLine> ParseMidiScript(std::string_view text, const ScriptLimits& limits = {});

struct ScriptSchedule {
  ByteSchedule bytes;        // sorted by block, file order within a block
  int64_t ignoredLines = 0;  // entry lines whose block is blockCount or more
};

// Orders the bytes for a render of `blockCount` blocks. Lines at block `blockCount` or later
// would never be rendered and are left out (counted in ignoredLines).
ScriptSchedule ScheduleMidiScript(const std::vector<ScriptLine>& lines, int64_t blockCount);

}  // namespace velmo::render
