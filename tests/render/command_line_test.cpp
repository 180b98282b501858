#include "tools/velmo-render/command_line.h"

#include <gtest/gtest.h>

#include <vector>

namespace velmo::render {
namespace {

RenderOptions Parse(std::vector<std::string_view> args) {
  return ParseCommandLine(args);
}

std::string ErrorFor(std::vector<std::string_view> args) {
  try {
    ParseCommandLine(args);
  } catch (const UsageError& error) {
    return error.what();
  }
  return "(no error)";
}

TEST(CommandLine, ReadsScriptRender) {
  const RenderOptions options =
      Parse({"--bank", "b.bin", "--script", "s.txt", "--blocks", "250", "-o", "-", "--raw"});
  EXPECT_EQ(options.bankPath, "b.bin");
  EXPECT_EQ(options.scriptPath, "s.txt");
  EXPECT_EQ(options.blocks, 250);
  EXPECT_EQ(options.outputPath, "-");
  EXPECT_TRUE(options.raw);
  EXPECT_FALSE(options.bench);
  EXPECT_FALSE(options.midiFilePath);
}

TEST(CommandLine, ReadsMidiFileRenderAndBench) {
  const RenderOptions render = Parse({"song.mid", "--output=out.wav"});
  EXPECT_EQ(render.midiFilePath, "song.mid");
  EXPECT_EQ(render.outputPath, "out.wav");
  EXPECT_FALSE(render.bankPath);

  const RenderOptions bench = Parse({"--bank=x", "--bench", "song.mid"});
  EXPECT_TRUE(bench.bench);
  EXPECT_FALSE(bench.outputPath);

  EXPECT_TRUE(Parse({"--help"}).help);
  EXPECT_TRUE(Parse({"--blocks", "x", "-h"}).help);  // help wins over everything else
}

TEST(CommandLine, RejectsInconsistentArguments) {
  const std::vector<std::pair<std::vector<std::string_view>, std::string>> cases{
      {{}, "nothing to render"},
      {{"--script", "s", "-o", "o"}, "--blocks"},
      {{"--script", "s", "--blocks", "-3", "-o", "o"}, "whole number"},
      {{"--script", "s", "--blocks", "12x", "-o", "o"}, "whole number"},
      {{"--script", "s", "--blocks", "99999999999999999999", "-o", "o"}, "whole number"},
      {{"a.mid", "--blocks", "5", "-o", "o"}, "only to --script"},
      {{"a.mid", "b.mid", "-o", "o"}, "one MIDI file"},
      {{"--script", "s", "--blocks", "1", "a.mid", "-o", "o"}, "not both"},
      {{"a.mid"}, "no output"},
      {{"a.mid", "--bench", "-o", "o"}, "--bench"},
      {{"a.mid", "-o"}, "needs a value"},
      {{"a.mid", "-o", "o", "--raw=yes"}, "takes no value"},
      {{"a.mid", "-o", "o", "--loud"}, "unknown option --loud"},
  };
  for (const auto& [args, expected] : cases) {
    const std::string message = ErrorFor(args);
    EXPECT_NE(message.find(expected), std::string::npos)
        << "expected \"" << expected << "\" in: " << message;
  }
}

}  // namespace
}  // namespace velmo::render
