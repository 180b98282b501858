#include "midifile/standard_midi_file.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/midifile/midi_file_bytes.h"

namespace velmo::midi {
namespace {

using namespace velmo::midi::testing;

std::string ErrorFor(const Bytes& file) {
  try {
    ReadStandardMidiFile(file);
  } catch (const MidiFileError& error) {
    return error.what();
  }
  return "(no error)";
}

std::vector<Bytes> MidiBytesOf(const MidiTrack& track) {
  std::vector<Bytes> events;
  for (const TrackEvent& event : track.events) {
    if (event.kind == TrackEventKind::kMidiBytes) events.push_back(event.bytes);
  }
  return events;
}

TEST(StandardMidiFile, ReadsFormat0WithRunningStatusExpanded) {
  const Bytes file = MidiFile(
      0, 96,
      {Track({Event(0, {0x90, 0x3C, 0x64}), Event(10, {0x40, 0x64}), Event(5, {0x3C, 0x00}),
              Event(0, {0xC2, 0x05}), Event(0, {0x06}), EndOfTrack()})});
  const StandardMidiFile midi = ReadStandardMidiFile(file);
  EXPECT_EQ(midi.format, 0);
  EXPECT_FALSE(midi.division.smpte);
  EXPECT_EQ(midi.division.ticksPerQuarter, 96);
  ASSERT_EQ(midi.tracks.size(), 1u);
  const std::vector<Bytes> expected{
      {0x90, 0x3C, 0x64}, {0x90, 0x40, 0x64}, {0x90, 0x3C, 0x00}, {0xC2, 0x05}, {0xC2, 0x06}};
  EXPECT_EQ(MidiBytesOf(midi.tracks[0]), expected);
  const std::vector<uint64_t> ticks{0, 10, 15, 15, 15};
  for (size_t i = 0; i < ticks.size(); ++i)
    EXPECT_EQ(midi.tracks[0].events[i].tick, ticks[i]);
}

TEST(StandardMidiFile, SysExGetsItsF0AndEscapesPassAsTheyAre) {
  const Bytes file =
      MidiFile(0, 96,
               {Track({Event(0, {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}),  // F0 + 5 bytes
                       Event(0, {0xF7, 0x02, 0xF8, 0xFA}),  // escape: real-time bytes
                       Event(0, {0xF7, 0x00}),              // empty escape: nothing
                       EndOfTrack()})});
  const std::vector<Bytes> expected{{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, {0xF8, 0xFA}};
  EXPECT_EQ(MidiBytesOf(ReadStandardMidiFile(file).tracks[0]), expected);
}

TEST(StandardMidiFile, SkipsMetaEventsKeepsTempoAndStopsAtEndOfTrack) {
  const Bytes file = MidiFile(
      1, 480,
      {Track({Event(0, {0xFF, 0x03, 0x04, 'P', 'i', 'a', 'n'}),  // track name
              TempoEvent(0, 600000),
              Event(0, {0xFF, 0x51, 0x02, 0x01, 0x02}),      // tempo with a wrong length: skipped
              Event(7, {0xFF, 0x58, 0x04, 4, 2, 24, 8}),     // time signature
              EndOfTrack(), Event(0, {0x90, 0x3C, 0x64})}),  // after the end: ignored
       Track({Event(3, {0x80, 0x3C, 0x00}), EndOfTrack()})});
  const StandardMidiFile midi = ReadStandardMidiFile(file);
  ASSERT_EQ(midi.tracks.size(), 2u);
  ASSERT_EQ(midi.tracks[0].events.size(), 1u);
  EXPECT_EQ(midi.tracks[0].events[0].kind, TrackEventKind::kTempo);
  EXPECT_EQ(midi.tracks[0].events[0].microsecondsPerQuarter, 600000u);
  EXPECT_EQ(MidiBytesOf(midi.tracks[1]), std::vector<Bytes>({{0x80, 0x3C, 0x00}}));
}

TEST(StandardMidiFile, ToleratesCommonLooseness) {
  // Running status across a meta event, no end-of-track event, an unknown chunk between
  // tracks, a longer header and trailing bytes after the last track.
  Bytes file = Chunk("MThd", {0, 1, 0, 2, 0, 96, 0xAA, 0xBB});
  Append(file, Track({Event(0, {0x90, 0x3C, 0x64}), Event(0, {0xFF, 0x01, 0x01, 'x'}),
                      Event(1, {0x3E, 0x64})}));
  Append(file, Chunk("XYZW", {1, 2, 3}));
  Append(file, Track({Event(0, {0xB0, 0x07, 0x50})}));
  Append(file, {0, 0, 0});
  const StandardMidiFile midi = ReadStandardMidiFile(file);
  ASSERT_EQ(midi.tracks.size(), 2u);
  EXPECT_EQ(MidiBytesOf(midi.tracks[0]),
            std::vector<Bytes>({{0x90, 0x3C, 0x64}, {0x90, 0x3E, 0x64}}));
}

TEST(StandardMidiFile, ReadsSmpteDivision) {
  const Bytes file = MidiFile(0, 0xE728, {Track({EndOfTrack()})});  // -25 fps, 40 per frame
  const TimeDivision division = ReadStandardMidiFile(file).division;
  EXPECT_TRUE(division.smpte);
  EXPECT_EQ(division.framesPerSecond, 25);
  EXPECT_EQ(division.ticksPerFrame, 40);
}

TEST(StandardMidiFile, RejectsFormat2WithAClearMessage) {
  const std::string message = ErrorFor(MidiFile(2, 96, {Track({EndOfTrack()})}));
  EXPECT_NE(message.find("format 2"), std::string::npos) << message;
}

TEST(StandardMidiFile, RejectsBrokenFilesNamingTheProblem) {
  const Bytes track = Track({Event(0, {0x90, 0x3C, 0x64}), EndOfTrack()});
  Bytes overlong = Header(0, 1, 96);
  Append(overlong, Chunk("MTrk", {0x00, 0x90, 0x3C, 0x64}));
  overlong[overlong.size() - 5] = 0x40;  // chunk length far beyond the file

  const std::vector<std::pair<Bytes, std::string>> cases{
      {Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 4, 0, 0, 0, 1, 0, 96}, "MThd"},
      {MidiFile(3, 96, {track}), "format 3"},
      {MidiFile(0, 0, {track}), "0 ticks"},
      {MidiFile(0, 0xE200, {track}), "ticks per frame"},
      {MidiFile(0, 0xEC01, {track}), "frames per second"},
      {MidiFile(1, 96, {}), "no tracks"},
      {[&] {
         Bytes f = Header(1, 2, 96);
         Append(f, track);
         return f;
       }(),
       "1 of 2 tracks"},
      {overlong, "chunk claims"},
      {MidiFile(0, 96, {Track({Event(0, {0x3C, 0x64})})}), "without a status"},
      {MidiFile(0, 96, {Track({Event(0, {0x90, 0x3C, 0xE4})})}), "top bit"},
      {MidiFile(0, 96, {Track({Event(0, {0xF2, 0x01, 0x02})})}), "0xF2"},
      {MidiFile(0, 96, {Track({Bytes{0x81, 0x80, 0x80, 0x80, 0x00, 0x90, 0x3C, 0x64}})}),
       "longer than four"},
      {MidiFile(0, 96, {Track({Event(0, {0xF0, 0x7F, 0x01})})}), "claims 127 bytes"},
      {MidiFile(0, 96, {Track({Event(0, {0x90, 0x3C})})}), "middle of an event"},
  };
  for (const auto& [file, expected] : cases) {
    const std::string message = ErrorFor(file);
    EXPECT_NE(message.find(expected), std::string::npos)
        << "expected \"" << expected << "\" in: " << message;
  }
}

TEST(StandardMidiFile, EveryTruncationIsReadOrRejectedCleanly) {
  const Bytes file = MidiFile(
      1, 96,
      {Track({TempoEvent(0, 400000), Event(0, {0xF0, 0x03, 0x41, 0x10, 0xF7}), EndOfTrack()}),
       Track({Event(0x3FFF, {0x90, 0x3C, 0x64}), Event(1, {0x3C, 0x00}), EndOfTrack(20)})});
  ASSERT_NO_THROW(ReadStandardMidiFile(file));
  for (size_t size = 0; size < file.size(); ++size) {
    const Bytes prefix(file.begin(), file.begin() + static_cast<ptrdiff_t>(size));
    EXPECT_THROW(ReadStandardMidiFile(prefix), MidiFileError) << "prefix of " << size;
  }
}

}  // namespace
}  // namespace velmo::midi
