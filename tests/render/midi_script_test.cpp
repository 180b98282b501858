#include "tools/velmo-render/midi_script.h"

#include <gtest/gtest.h>

#include <string>

namespace velmo::render {
namespace {

ByteSchedule Schedule(const std::string& text, int64_t blocks = 100) {
  return ScheduleMidiScript(ParseMidiScript(text), blocks).bytes;
}

std::string ErrorFor(const std::string& text) {
  try {
    ParseMidiScript(text);
  } catch (const ScriptError& error) {
    return error.what();
  }
  return "(no error)";
}

TEST(MidiScript, OrdersByBlockAndKeepsFileOrderWithinABlock) {
  const ByteSchedule bytes = Schedule(
      "5 90 3C 64\n"
      "0 c0 05\n"
      "5 80 3c 00\n"
      "2 B0 07 7F\n"
      "0 C1 06\n");
  const ByteSchedule expected{{0, 0xC0}, {0, 0x05}, {0, 0xC1}, {0, 0x06}, {2, 0xB0},
                              {2, 0x07}, {2, 0x7F}, {5, 0x90}, {5, 0x3C}, {5, 0x64},
                              {5, 0x80}, {5, 0x3C}, {5, 0x00}};
  EXPECT_EQ(bytes, expected);
}

TEST(MidiScript, SkipsBlankAndCommentLinesAndTrailingComments) {
  const ByteSchedule bytes = Schedule(
      "# a comment\n"
      "\n"
      "   \t  \n"
      "  # indented comment\n"
      "1\t90  3C\t64   # note on\n"
      "3\n");  // a block with no bytes
  const ByteSchedule expected{{1, 0x90}, {1, 0x3C}, {1, 0x64}};
  EXPECT_EQ(bytes, expected);
}

TEST(MidiScript, AcceptsWindowsLineEndingsByteOrderMarkAndMissingFinalNewline) {
  const ByteSchedule bytes = Schedule("\xEF\xBB\xBF# first line\r\n0 90 3C 64\r\n\r\n1 80 3C 00");
  const ByteSchedule expected{{0, 0x90}, {0, 0x3C}, {0, 0x64}, {1, 0x80}, {1, 0x3C}, {1, 0x00}};
  EXPECT_EQ(bytes, expected);
}

TEST(MidiScript, LinesAtOrPastTheBlockCountAreIgnoredAndCounted) {
  const ScriptSchedule schedule =
      ScheduleMidiScript(ParseMidiScript("3 90 3C 64\n4 80 3C 00\n9 90\n2 FE\n"), 4);
  EXPECT_EQ(schedule.ignoredLines, 2);
  const ByteSchedule expected{{2, 0xFE}, {3, 0x90}, {3, 0x3C}, {3, 0x64}};
  EXPECT_EQ(schedule.bytes, expected);
}

TEST(MidiScript, KeepsEveryByteOfAnOverfullBlock) {
  // The engine drops what does not fit in its queue; the script passes all bytes on.
  std::string text;
  for (int i = 0; i < 300; ++i)
    text += "7 F8 F8\n";
  EXPECT_EQ(Schedule(text).size(), 600u);
}

TEST(MidiScript, ErrorsNameTheLineNumberAndContent) {
  const std::string message = ErrorFor("# header\n0 90 3C 64\n1 90 3G 64\n");
  EXPECT_NE(message.find("line 3"), std::string::npos) << message;
  EXPECT_NE(message.find("\"1 90 3G 64\""), std::string::npos) << message;
  EXPECT_NE(message.find("3G"), std::string::npos) << message;

  try {
    ParseMidiScript("\r\n\r\n-1 90\r\n");
    FAIL() << "negative block accepted";
  } catch (const ScriptError& error) {
    EXPECT_EQ(error.lineNumber(), 3);
    EXPECT_EQ(std::string(error.what()).find('\r'), std::string::npos) << error.what();
  }
}

TEST(MidiScript, RejectsMalformedEntries) {
  for (const char* text : {
           "x 90 3C\n",                  // block not a number
           "1.5 90\n",                   // not a whole number
           "+1 90\n",                    // signs are not numbers here
           "0 9\n",                      // one hex digit
           "0 903C\n",                   // bytes run together
           "0 0x90\n",                   // prefixed
           "0 90,3C\n",                  // wrong separator
           "99999999999999999999 90\n",  // block out of range
           "0 90 \xC3\xA9\n",            // non-ASCII in a byte position
       }) {
    EXPECT_THROW(ParseMidiScript(text), ScriptError) << text;
  }
}

TEST(MidiScript, QuotesControlCharactersHarmlessly) {
  const std::string message = ErrorFor(std::string("0 9\x1b[2J\n"));
  EXPECT_EQ(message.find('\x1b'), std::string::npos) << message;
}

TEST(MidiScript, SizeLimitsAreExactAndNamedWhenRefusing) {
  const ScriptLimits limits{4, 6};
  struct Case {
    std::string text;
    std::string error;
  };
  const std::string refusal = "script too large at line ";
  const Case cases[] = {
      {"0 F8\n1 F8\n\n2 F8\n3 F8 F8 F8\n# a comment past the limit\n", "(no error)"},
      {"0 F8\n1 F8\n2 F8\n3 F8\n\n4 F8\n", refusal + "6: a script may hold at most 4 entry lines"},
      {"0 F8 F8 F8 F8 F8 F8\n", "(no error)"},
      {"0 F8 F8 F8 F8\n1 F8 F8 F8\n", refusal + "2"},
      {"0 F8 F8 F8 F8 F8 F8 F8 F8 F8 F8 F8 F8 F8 F8 F8 F8", refusal + "1"},
  };
  for (const Case& c : cases) {
    std::string error = "(no error)";
    try {
      ParseMidiScript(c.text, limits);
    } catch (const ScriptError& e) {
      error = e.what();
    }
    EXPECT_EQ(error.substr(0, c.error.size()), c.error) << c.text;
  }
  EXPECT_EQ(ScriptLimits{}.entryLines, kMaxScriptEntryLines);
  EXPECT_EQ(ScriptLimits{}.midiBytes, kMaxScriptMidiBytes);
}

}  // namespace
}  // namespace velmo::render
