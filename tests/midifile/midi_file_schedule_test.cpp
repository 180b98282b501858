#include "midifile/midi_file_schedule.h"

#include <gtest/gtest.h>

#include <map>

#include "tests/midifile/midi_file_bytes.h"

namespace velmo::midi {
namespace {

using namespace velmo::midi::testing;

ByteSchedule ScheduleOf(const Bytes& file) {
  return ScheduleMidiFile(ReadStandardMidiFile(file));
}

// First block of each distinct status byte, for files where each status occurs once.
std::map<uint8_t, int64_t> BlockOfStatus(const ByteSchedule& schedule) {
  std::map<uint8_t, int64_t> blocks;
  for (const ScheduledByte& byte : schedule) {
    if (byte.value >= 0x80) blocks.emplace(byte.value, byte.block);
  }
  return blocks;
}

TEST(MidiFileSchedule, TempoChangesInTheFirstTrackTimeEveryTrack) {
  // 96 ticks per quarter. Default tempo 0.5 s per quarter until tick 96, then 0.25 s.
  const Bytes file =
      MidiFile(1, 96,
               {Track({TempoEvent(96, 250000), EndOfTrack()}),
                Track({Event(0, {0x90, 0x3C, 0x64}),    // 0 s       -> block 0
                       Event(48, {0x91, 0x3C, 0x64}),   // 0.25 s    -> ceil(24.94) = 25
                       Event(48, {0x92, 0x3C, 0x64}),   // 0.5 s     -> ceil(49.89) = 50
                       Event(96, {0x93, 0x3C, 0x64}),   // 0.75 s    -> ceil(74.83) = 75
                       Event(384, {0x94, 0x3C, 0x64}),  // 1.75 s    -> ceil(174.60) = 175
                       EndOfTrack()})});
  const std::map<uint8_t, int64_t> expected{
      {0x90, 0}, {0x91, 25}, {0x92, 50}, {0x93, 75}, {0x94, 175}};
  EXPECT_EQ(BlockOfStatus(ScheduleOf(file)), expected);
}

TEST(MidiFileSchedule, EventExactlyOnABlockBoundaryIsNotRoundedUp) {
  // 4.42 s is exactly 441 blocks of 221 frames; one tick later belongs to block 442.
  const Bytes file = MidiFile(0, 1000,
                              {Track({TempoEvent(0, 4420000), Event(1000, {0x90, 0x3C, 0x64}),
                                      Event(1, {0x91, 0x3C, 0x64}), EndOfTrack()})});
  const std::map<uint8_t, int64_t> expected{{0x90, 441}, {0x91, 442}};
  EXPECT_EQ(BlockOfStatus(ScheduleOf(file)), expected);
}

TEST(MidiFileSchedule, MergesTracksByTimeKeepingTrackOrderForEqualTimes) {
  const Bytes file =
      MidiFile(1, 96,
               {Track({Event(10, {0xB0, 0x07, 0x50}), EndOfTrack()}),
                Track({Event(0, {0xC1, 0x05}), Event(10, {0xC1, 0x06}),
                       Event(0, {0xF0, 0x02, 0x01, 0xF7}), EndOfTrack()}),
                Track({Event(5, {0xC2, 0x07}), Event(5, {0xC2, 0x08}), EndOfTrack()})});
  std::vector<uint8_t> order;
  for (const ScheduledByte& byte : ScheduleOf(file))
    order.push_back(byte.value);
  const std::vector<uint8_t> expected{0xC1, 0x05, 0xC2, 0x07, 0xB0, 0x07, 0x50,
                                      0xC1, 0x06, 0xF0, 0x01, 0xF7, 0xC2, 0x08};
  EXPECT_EQ(order, expected);
}

TEST(MidiFileSchedule, SmpteDivisionIgnoresTempo) {
  // 25 frames x 40 ticks: one millisecond per tick. 29 means 29.97 frames per second.
  const Bytes smpte25 = MidiFile(
      0, 0xE728, {Track({TempoEvent(0, 100000), Event(1000, {0x90, 0x3C, 0x64}), EndOfTrack()})});
  EXPECT_EQ(ScheduleOf(smpte25).front().block, 100);  // ceil(99.77)
  const Bytes smpte2997 =
      MidiFile(0, 0xE301, {Track({Event(2997, {0x90, 0x3C, 0x64}), EndOfTrack()})});
  EXPECT_EQ(ScheduleOf(smpte2997).front().block, 9978);  // 100.0 s -> ceil(9977.38)
}

TEST(MidiFileSchedule, OverfullBlocksSpillIntoFollowingBlocksInOrder) {
  ByteSchedule input;
  for (int i = 0; i < 1200; ++i)
    input.push_back({3, static_cast<uint8_t>(i)});
  for (int i = 0; i < 10; ++i)
    input.push_back({4, 0xFE});
  input.push_back({9, 0x90});
  const ByteSchedule spread = SpreadOverflow(input, 512);
  ASSERT_EQ(spread.size(), input.size());
  std::map<int64_t, int> perBlock;
  for (size_t i = 0; i < spread.size(); ++i) {
    EXPECT_EQ(spread[i].value, input[i].value);
    ++perBlock[spread[i].block];
  }
  const std::map<int64_t, int> expected{{3, 512}, {4, 512}, {5, 186}, {9, 1}};
  EXPECT_EQ(perBlock, expected);
}

TEST(MidiFileSchedule, LargeSysExIsSpreadRatherThanDropped) {
  Bytes sysex{0xF0};
  Append(sysex, VarLen(1500));
  sysex.insert(sysex.end(), 1499, 0x11);
  sysex.push_back(0xF7);
  Bytes body = VarLen(0);
  Append(body, sysex);
  Bytes file = Header(0, 1, 96);
  Append(file, Chunk("MTrk", body));
  const ByteSchedule schedule = ScheduleOf(file);
  ASSERT_EQ(schedule.size(), 1501u);
  EXPECT_EQ(schedule[511].block, 0);
  EXPECT_EQ(schedule[512].block, 1);
  EXPECT_EQ(schedule.back().block, 2);
  EXPECT_EQ(schedule.back().value, 0xF7);
}

TEST(MidiFileSchedule, RefusesFilesPlayingLongerThanTheLimit) {
  // 0x0FFFFFFF ticks at 96 per quarter and 16.7 s per quarter: far beyond an hour.
  const Bytes file =
      MidiFile(0, 96, {Track({TempoEvent(0, 0xFFFFFF), Event(0x0FFFFFFF, {0x90, 0x3C, 0x64})})});
  EXPECT_THROW(ScheduleOf(file), MidiFileError);
  const Bytes justInside = MidiFile(0, 1, {Track({Event(7200, {0x90, 0x3C, 0x64})})});
  EXPECT_EQ(ScheduleOf(justInside).front().block, 359186);  // 3600 s, ceil(359185.52)
}

// A track of one system exclusive event of `length` data bytes (its F7 included) at `delta`.
Bytes SysExFile(uint32_t delta, uint32_t length) {
  Bytes body = VarLen(delta);
  body.push_back(0xF0);
  Append(body, VarLen(length));
  body.insert(body.end(), length - 1, 0x11);
  body.push_back(0xF7);
  Bytes file = Header(0, 1, 1);
  Append(file, Chunk("MTrk", body));
  return file;
}

// `count` note-ons, all but the first in running status.
Bytes NotesFile(uint64_t count) {
  Bytes body{0x00, 0x90, 0x3C, 0x64};
  for (uint64_t i = 1; i < count; ++i)
    body.insert(body.end(), {0x00, 0x3C, 0x64});
  Bytes file = Header(0, 1, 96);
  Append(file, Chunk("MTrk", body));
  return file;
}

// Each limit lets its last unit through and refuses the next with a message naming the limit.
TEST(MidiFileSchedule, LimitsAreExactAndNamedWhenRefusing) {
  const MidiFileLimits small{5, 100};
  struct Case {
    Bytes file;
    MidiFileLimits limits;
    const char* refusal;  // nullptr: accepted
  };
  const Case cases[] = {
      {NotesFile(5), small, nullptr},
      {NotesFile(6), small, "more than 5 events"},
      {SysExFile(0, 99), small, nullptr},  // with its F0: the limit
      {SysExFile(0, 100), small, "more than 100 bytes of MIDI messages"},
      // 7200 quarters of 0.5 s: exactly an hour; 512 bytes still fit its block, 513 spill on.
      {SysExFile(7200, 511), {}, nullptr},
      {SysExFile(7200, 512), {}, "longer than 3600 seconds once its MIDI bytes are sent"},
  };
  for (const Case& c : cases) {
    std::string error = "(accepted)";
    try {
      ScheduleMidiFile(ReadStandardMidiFile(c.file, c.limits));
    } catch (const MidiFileError& refusal) {
      error = refusal.what();
    }
    if (c.refusal == nullptr) {
      EXPECT_EQ(error, "(accepted)");
    } else {
      EXPECT_NE(error.find(c.refusal), std::string::npos) << error;
    }
  }
  EXPECT_EQ(MidiFileLimits{}.events, kMaxMidiFileEvents);
  EXPECT_EQ(MidiFileLimits{}.eventBytes, kMaxMidiFileEventBytes);
}

}  // namespace
}  // namespace velmo::midi
