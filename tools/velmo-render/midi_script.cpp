#include "tools/velmo-render/midi_script.h"

#include <algorithm>
#include <optional>

namespace velmo::render {
namespace {

// Larger block numbers are refused rather than overflowing: at 100 blocks a second, 10^15
// blocks are far beyond any render.
constexpr int64_t kMaxBlockNumber = 1'000'000'000'000'000;
constexpr size_t kMaxQuotedLength = 80;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// Text as it is safe to show in a message, in quotes: control bytes become '?', long text is cut.
std::string Quote(std::string_view text) {
  std::string shown;
  for (const char c : text.substr(0, kMaxQuotedLength)) {
    const auto byte = static_cast<unsigned char>(c);
    shown += (byte < 0x20 && c != '\t') || byte == 0x7F ? '?' : c;
  }
  if (text.size() > kMaxQuotedLength) shown += "...";
  return "\"" + shown + "\"";
}

std::optional<int> HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return std::nullopt;
}

// Splits at most `maxTokens` tokens into `tokens` (the rest of the line is left unread).
void SplitTokens(std::string_view line, size_t maxTokens, std::vector<std::string_view>& tokens) {
  tokens.clear();
  size_t pos = 0;
  while (pos < line.size() && tokens.size() < maxTokens) {
    while (pos < line.size() && IsBlank(line[pos]))
      ++pos;
    if (pos == line.size()) break;
    size_t end = pos;
    while (end < line.size() && !IsBlank(line[end]))
      ++end;
    const std::string_view token = line.substr(pos, end - pos);
    if (token.front() == '#') break;  // comment to the end of the line
    tokens.push_back(token);
    pos = end;
  }
}

ScriptLine ParseEntryLine(int64_t lineNumber, std::string_view line,
                          const std::vector<std::string_view>& tokens) {
  const auto fail = [&](const std::string& what) -> ScriptError {
    return ScriptError(
        lineNumber, "script line " + std::to_string(lineNumber) + " " + Quote(line) + ": " + what);
  };

  ScriptLine entry;
  entry.lineNumber = lineNumber;
  const std::string_view blockToken = tokens.front();
  for (const char c : blockToken) {
    if (c < '0' || c > '9') {
      throw fail("block " + Quote(blockToken) + " is not a decimal number");
    }
    entry.block = entry.block * 10 + (c - '0');
    if (entry.block > kMaxBlockNumber) throw fail("block number is out of range");
  }

  entry.bytes.reserve(tokens.size() - 1);
  for (size_t i = 1; i < tokens.size(); ++i) {
    const std::string_view token = tokens[i];
    const auto high = token.size() == 2 ? HexDigit(token[0]) : std::nullopt;
    const auto low = token.size() == 2 ? HexDigit(token[1]) : std::nullopt;
    if (!high || !low) {
      throw fail("byte " + Quote(token) + " is not two hex digits");
    }
    entry.bytes.push_back(static_cast<uint8_t>(*high * 16 + *low));
  }
  return entry;
}

}  // namespace

ScriptError::ScriptError(int64_t lineNumber, const std::string& message)
    : std::runtime_error(message), lineNumber_(lineNumber) {}

std::vector<ScriptLine> ParseMidiScript(std::string_view text, const ScriptLimits& limits) {
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());

  // Room for every line up to the limit, so a long script is not moved as it grows.
  const auto lines = static_cast<int64_t>(std::count(text.begin(), text.end(), '\n')) + 1;
  std::vector<ScriptLine> entries;
  entries.reserve(static_cast<size_t>(std::min(lines, limits.entryLines)));
  std::vector<std::string_view> tokens;  // one line's, reused
  int64_t lineNumber = 0;
  int64_t midiBytes = 0;
  while (!text.empty()) {
    ++lineNumber;
    const size_t newline = text.find('\n');
    std::string_view line = text.substr(0, newline);
    text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);

    // One token more than the byte budget allows is enough to see it is over.
    SplitTokens(line, static_cast<size_t>(limits.midiBytes - midiBytes) + 2, tokens);
    if (tokens.empty()) continue;  // blank or comment line
    midiBytes += static_cast<int64_t>(tokens.size()) - 1;
    if (static_cast<int64_t>(entries.size()) == limits.entryLines || midiBytes > limits.midiBytes) {
      throw ScriptError(lineNumber, "script too large at line " + std::to_string(lineNumber) +
                                        ": a script may hold at most " +
                                        std::to_string(limits.entryLines) + " entry lines and " +
                                        std::to_string(limits.midiBytes) + " MIDI bytes");
    }
    entries.push_back(ParseEntryLine(lineNumber, line, tokens));
  }
  return entries;
}

ScriptSchedule ScheduleMidiScript(const std::vector<ScriptLine>& lines, int64_t blockCount) {
  ScriptSchedule schedule;
  for (const ScriptLine& line : lines) {
    if (line.block >= blockCount) {
      ++schedule.ignoredLines;
      continue;
    }
    for (const uint8_t byte : line.bytes)
      schedule.bytes.push_back({line.block, byte});
  }
  std::stable_sort(
      schedule.bytes.begin(), schedule.bytes.end(),
      [](const ScheduledByte& a, const ScheduledByte& b) { return a.block < b.block; });
  return schedule;
}

}  // namespace velmo::render
