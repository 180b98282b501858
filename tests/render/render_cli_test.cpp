// End-to-end: runs the velmo-render executable on a tiny bank built here.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/midifile/midi_file_bytes.h"
#include "tests/render/temp_path.h"
#include "tests/render/test_bank.h"

namespace velmo::render {
namespace {

using namespace velmo::render::testing;
using namespace velmo::midi::testing;

constexpr size_t kBlockBytes = 884;
constexpr size_t kWavHeader = 44;

Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

struct RunResult {
  int exitCode = -1;
  Bytes out;
  std::string err;
};

class RenderCli : public ::testing::Test {
 protected:
  RenderCli() { WriteAll(bank_.str(), TinyBankImage()); }

  // Runs velmo-render with `args` (shell words) and collects its output. `stdoutTo` is the shell
  // redirection of standard output to the file named after it.
  RunResult Run(const std::string& args, const std::string& stdoutTo = ">",
                const Bytes& stdoutBefore = {}) {
    const TempPath out("stdout"), err("stderr");
    WriteAll(out.str(), stdoutBefore);
    const std::string command = shellPrefix_ + VELMO_RENDER_PATH + " " + args + " 2>" + err.str() +
                                " " + stdoutTo + out.str();
    const int status = std::system(command.c_str());
    RunResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadAll(out.str());
    const Bytes errBytes = ReadAll(err.str());
    result.err.assign(errBytes.begin(), errBytes.end());
    return result;
  }

  // Renders a script to a WAV file and returns the file.
  Bytes RenderScript(const std::string& script, int blocks, const std::string& extra = "") {
    WriteText(script_.str(), script);
    const RunResult result = Run("--bank " + bank_.str() + " --script " + script_.str() +
                                 " --blocks " + std::to_string(blocks) + " -o - " + extra);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return result.out;
  }

  std::string shellPrefix_;  // run first in the same shell: limits for the tool, say
  TempPath bank_{"bank.bin"};
  TempPath script_{"script.txt"};
  TempPath midi_{"song.mid"};
};

// Peak absolute sample of block `block` of a WAV file's data.
int Peak(const Bytes& wav, size_t block) {
  int peak = 0;
  const size_t begin = kWavHeader + block * kBlockBytes;
  for (size_t at = begin; at + 1 < begin + kBlockBytes && at + 1 < wav.size(); at += 2) {
    peak = std::max(peak, std::abs(static_cast<int16_t>(wav[at] | wav[at + 1] << 8)));
  }
  return peak;
}

TEST_F(RenderCli, SilentWithoutNotesAndSoundingFromTheNoteOnBlock) {
  const Bytes silent = RenderScript("0 C0 05\n3 B0 07 7F\n", 20);
  ASSERT_EQ(silent.size(), kWavHeader + 20 * kBlockBytes);
  EXPECT_TRUE(
      std::all_of(silent.begin() + kWavHeader, silent.end(), [](uint8_t b) { return b == 0; }));

  // The note-on at block 0 sounds in the first output block: no leading silence.
  const Bytes note = RenderScript("0 90 3C 64\n10 90 3C 00\n", 100);
  ASSERT_EQ(note.size(), kWavHeader + 100 * kBlockBytes);
  EXPECT_GT(Peak(note, 0), 0);
  EXPECT_GT(Peak(note, 9), 0);
  EXPECT_EQ(Peak(note, 99), 0);  // released long before

  const Bytes late = RenderScript("7 90 3C 64\n", 10);
  EXPECT_EQ(Peak(late, 6), 0);
  EXPECT_GT(Peak(late, 7), 0);
}

TEST_F(RenderCli, BuiltInBankPlaysWhenNoBankIsGiven) {
  // Piano on channel 1 and a bass drum on channel 10, both from the built-in bank.
  WriteText(script_.str(), "0 90 3C 64\n0 99 24 64\n");
  const RunResult result = Run("--script " + script_.str() + " --blocks 20 -o -");
  ASSERT_EQ(result.exitCode, 0) << result.err;
  ASSERT_EQ(result.out.size(), kWavHeader + 20 * kBlockBytes);
  EXPECT_GT(Peak(result.out, 0), 0);
  EXPECT_GT(Peak(result.out, 19), 0);
}

TEST_F(RenderCli, RawOutputIsTheWavDataChunkAndFileEqualsPipe) {
  const std::string script = "2 90 3C 64\n5 90 40 64\n12 80 3C 00 80 40 00\n";
  const Bytes wav = RenderScript(script, 30);
  const Bytes raw = RenderScript(script, 30, "--raw");
  EXPECT_EQ(raw, Bytes(wav.begin() + kWavHeader, wav.end()));

  const TempPath file("out.wav");
  const RunResult toFile =
      Run("--bank " + bank_.str() + " --script " + script_.str() + " --blocks 30 -o " + file.str());
  ASSERT_EQ(toFile.exitCode, 0) << toFile.err;
  EXPECT_EQ(ReadAll(file.str()), wav);
}

TEST_F(RenderCli, AllBytesOfABlockArePushedBeforeOneDrain) {
  // The queue holds 512 bytes: with 509 filler bytes the note-on fits, with 510 its velocity is
  // dropped and the note never starts.
  const auto script = [](int filler) {
    std::string text = "0";
    for (int i = 0; i < filler; ++i)
      text += " FE";
    return text + " 90 3C 64\n";
  };
  EXPECT_GT(Peak(RenderScript(script(509), 2), 0), 0);
  const Bytes dropped = RenderScript(script(510), 2);
  EXPECT_EQ(Peak(dropped, 0), 0);
  EXPECT_EQ(Peak(dropped, 1), 0);
}

TEST_F(RenderCli, MidiFileRendersLikeTheEquivalentScript) {
  // 480 ticks per quarter at 0.5 s: tick 48 is 0.05 s (block 5), tick 960 is 1 s (block 100),
  // tempo doubles at tick 960, so tick 1440 is 1.25 s (block 125).
  const Bytes song =
      MidiFile(1, 480,
               {Track({Event(0, {0xFF, 0x03, 0x01, 'x'}), TempoEvent(960, 250000), EndOfTrack()}),
                Track({Event(48, {0xF0, 0x03, 0x7E, 0x7F, 0xF7}), Event(0, {0x90, 0x3C, 0x64}),
                       Event(912, {0x3C, 0x00}), Event(0, {0x91, 0x43, 0x50}),
                       Event(480, {0x81, 0x43, 0x00}), EndOfTrack()})});
  WriteAll(midi_.str(), song);
  const std::string args = "--bank " + bank_.str() + " " + midi_.str() + " -o -";
  const RunResult fromMidi = Run(args);
  ASSERT_EQ(fromMidi.exitCode, 0) << fromMidi.err;
  const Bytes& wav = fromMidi.out;
  // The length is known only at the end: through a pipe and appended to a file the output is
  // the same complete WAV file.
  EXPECT_EQ(Run(args, "| cat >").out, wav);
  const Bytes before{'x', 'y', 'z'};
  Bytes appended = before;
  Append(appended, wav);
  EXPECT_EQ(Run(args, ">>", before).out, appended);

  ASSERT_EQ((wav.size() - kWavHeader) % kBlockBytes, 0u);
  const size_t blocks = (wav.size() - kWavHeader) / kBlockBytes;
  EXPECT_GT(blocks, 126u);         // renders on after the last event while the release sounds
  EXPECT_LT(blocks, 126u + 998u);  // and stops once every voice is silent
  EXPECT_GT(Peak(wav, blocks - 2), 0);

  const Bytes script = RenderScript("5 F0 7E 7F F7 90 3C 64\n100 90 3C 00 91 43 50\n125 81 43 00\n",
                                    static_cast<int>(blocks) + 3);
  ASSERT_EQ(script.size(), wav.size() + 3 * kBlockBytes);
  EXPECT_TRUE(std::equal(wav.begin() + kWavHeader, wav.end(), script.begin() + kWavHeader));
  for (size_t block = blocks; block < blocks + 3; ++block)
    EXPECT_EQ(Peak(script, block), 0);
}

TEST_F(RenderCli, OverfullMidiBlockSpillsOverInsteadOfLosingTheNote) {
  Bytes body;
  for (int i = 0; i < 600; ++i)
    Append(body, Event(0, {0xF7, 0x01, 0xFE}));
  Append(body, Event(0, {0x90, 0x3C, 0x64}));
  Append(body, Event(96, {0x80, 0x3C, 0x00}));
  Bytes song = Header(0, 1, 96);
  Append(song, Chunk("MTrk", body));
  WriteAll(midi_.str(), song);
  const RunResult result = Run("--bank " + bank_.str() + " " + midi_.str() + " -o -");
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(Peak(result.out, 0), 0);  // 512 filler bytes
  EXPECT_GT(Peak(result.out, 1), 0);  // the rest, then the note
}

TEST_F(RenderCli, BenchReportsOnItsLastLine) {
  WriteText(script_.str(), "0 90 3C 64\n");
  const RunResult result =
      Run("--bank " + bank_.str() + " --script " + script_.str() + " --blocks 50 --bench");
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const std::string out(result.out.begin(), result.out.end());
  ASSERT_TRUE(out.ends_with("\n")) << out;
  const size_t lastLine = out.find_last_of('\n', out.size() - 2);
  const std::string line = out.substr(lastLine == std::string::npos ? 0 : lastLine + 1);
  long long blocks = 0;
  double seconds = -1, factor = -1;
  int consumed = 0;
  ASSERT_EQ(std::sscanf(line.c_str(), "bench: %lld blocks in %lf s, %lfx real time\n%n", &blocks,
                        &seconds, &factor, &consumed),
            3)
      << line;
  EXPECT_EQ(static_cast<size_t>(consumed), line.size()) << line;
  EXPECT_EQ(blocks, 50);
  EXPECT_GE(seconds, 0.0);
  EXPECT_GE(factor, 0.0);
}

TEST_F(RenderCli, FailuresExitNonZeroWithAClearMessage) {
  WriteText(script_.str(), "0 90 3C 64\n# fine\n4 90 3C\n2 80 3C 0\n");
  const RunResult badLine =
      Run("--bank " + bank_.str() + " --script " + script_.str() + " --blocks 5 -o -");
  EXPECT_NE(badLine.exitCode, 0);
  EXPECT_NE(badLine.err.find("line 4"), std::string::npos) << badLine.err;
  EXPECT_NE(badLine.err.find("2 80 3C 0"), std::string::npos) << badLine.err;
  EXPECT_TRUE(badLine.out.empty());

  WriteText(script_.str(), "0 90 3C 64\n");
  const Bytes image = TinyBankImage();
  const TempPath shortBank("short.bin");
  WriteAll(shortBank.str(), Bytes(image.begin(), image.begin() + 100));
  const RunResult badBank =
      Run("--bank " + shortBank.str() + " --script " + script_.str() + " --blocks 5 -o -");
  EXPECT_NE(badBank.exitCode, 0);
  EXPECT_NE(badBank.err.find("sound bank"), std::string::npos) << badBank.err;

  const RunResult missingBank =
      Run("--bank " + script_.str() + ".absent --script " + script_.str() + " --blocks 5 -o -");
  EXPECT_NE(missingBank.exitCode, 0);
  EXPECT_NE(missingBank.err.find("cannot open sound bank"), std::string::npos) << missingBank.err;

  WriteAll(midi_.str(), MidiFile(2, 96, {Track({EndOfTrack()})}));
  const RunResult format2 = Run("--bank " + bank_.str() + " " + midi_.str() + " -o -");
  EXPECT_NE(format2.exitCode, 0);
  EXPECT_NE(format2.err.find("format 2"), std::string::npos) << format2.err;

  const RunResult usage = Run("--bank " + bank_.str() + " --script " + script_.str());
  EXPECT_NE(usage.exitCode, 0);
  EXPECT_NE(usage.err.find("--help"), std::string::npos) << usage.err;

  const RunResult help = Run("--help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(std::string(help.out.begin(), help.out.end()).find("--script"), std::string::npos);
}

// An output naming an input is refused, and a write that fails (the file size limit stands in
// for a full disk) keeps the old output: no file a user had is lost or changed.
TEST_F(RenderCli, NoInputOrOldOutputIsLostOrChanged) {
  const TempPath old("old.wav");
  const Bytes oldBytes{'o', 'l', 'd'};
  const std::string script =
      "--bank " + bank_.str() + " --script " + script_.str() + " --blocks 500 ";
  const std::string song = "--bank " + bank_.str() + " " + midi_.str();
  struct Case {
    std::string args;
    std::string prefix;
    std::string reason;
  };
  const Case cases[] = {
      {script + "-o " + script_.str(), "", "same file as input " + script_.str()},
      {script + "-o " + bank_.str(), "", "same file as input " + bank_.str()},
      {song + " -o " + midi_.str(), "", "same file as input " + midi_.str()},
      {script + "-o " + old.str(), "trap '' XFSZ; ulimit -f 64; ", old.str()},
  };
  WriteText(script_.str(), "0 90 3C 64\n");
  WriteAll(midi_.str(), MidiFile(0, 96, {Track({Event(0, {0x90, 0x3C, 0x64}), EndOfTrack(96)})}));
  const Bytes inputs[] = {ReadAll(script_.str()), ReadAll(bank_.str()), ReadAll(midi_.str())};
  WriteAll(old.str(), oldBytes);
  for (const Case& c : cases) {
    shellPrefix_ = c.prefix;
    const RunResult result = Run(c.args);
    EXPECT_EQ(result.exitCode, 1) << c.args;
    EXPECT_NE(result.err.find(c.reason), std::string::npos) << c.args << ": " << result.err;
    EXPECT_EQ(ReadAll(script_.str()), inputs[0]);
    EXPECT_EQ(ReadAll(bank_.str()), inputs[1]);
    EXPECT_EQ(ReadAll(midi_.str()), inputs[2]);
    EXPECT_EQ(ReadAll(old.str()), oldBytes);
  }
}

}  // namespace
}  // namespace velmo::render
