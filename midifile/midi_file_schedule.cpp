#include "midifile/midi_file_schedule.h"

#include <algorithm>
#include <string>
#include <vector>

#include "synth/engine_constants.h"
#include "synth/engine_state.h"

namespace velmo::midi {
namespace {

using Wide = unsigned __int128;

constexpr uint32_t kDefaultMicrosecondsPerQuarter = 500'000;
constexpr int64_t kMaxBlock =
    (kMaxMidiFileSeconds * kOutputRate + kFramesPerBlock - 1) / kFramesPerBlock;

// Time in seconds = elapsed / denominator, where elapsed grows by `ticks x step` per stretch of
// ticks; exact, so that an event never lands one block off through rounding.
struct TickClock {
  uint64_t denominator = 1;
  uint64_t step = 1;
  bool followsTempo = false;  // ticks per quarter note: `step` is the current tempo
};

TickClock MakeClock(const TimeDivision& division) {
  TickClock clock;
  if (!division.smpte) {
    clock.denominator = uint64_t{division.ticksPerQuarter} * 1'000'000;
    clock.step = kDefaultMicrosecondsPerQuarter;
    clock.followsTempo = true;
  } else if (division.framesPerSecond == 29) {  // 29.97 frames per second = 30000 / 1001
    clock.denominator = uint64_t{30'000} * division.ticksPerFrame;
    clock.step = 1001;
  } else {
    clock.denominator = uint64_t{division.framesPerSecond} * division.ticksPerFrame;
  }
  return clock;
}

[[noreturn]] void TooLong(const std::string& how = "") {
  throw MidiFileError("MIDI file plays longer than " + std::to_string(kMaxMidiFileSeconds) +
                      " seconds" + how + ", which is more than velmo-render renders");
}

}  // namespace

ByteSchedule SpreadOverflow(const ByteSchedule& schedule, int32_t capacity) {
  ByteSchedule spread;
  spread.reserve(schedule.size());
  int64_t block = -1;
  int32_t used = 0;
  for (const ScheduledByte& byte : schedule) {
    if (byte.block > block) {
      block = byte.block;
      used = 0;
    }
    if (used == capacity) {
      ++block;
      used = 0;
    }
    spread.push_back({block, byte.value});
    ++used;
  }
  return spread;
}

ByteSchedule ScheduleMidiFile(const StandardMidiFile& file) {
  // Both lists are sized up front: grown step by step, their copies and fresh pages would cost
  // a long file more than the scheduling itself.
  size_t eventCount = 0;
  for (const MidiTrack& track : file.tracks)
    eventCount += track.events.size();
  std::vector<const TrackEvent*> merged;
  merged.reserve(eventCount);
  size_t byteCount = 0;
  for (const MidiTrack& track : file.tracks) {
    for (const TrackEvent& event : track.events) {
      merged.push_back(&event);
      byteCount += event.bytes.size();
    }
  }
  std::stable_sort(merged.begin(), merged.end(),
                   [](const TrackEvent* a, const TrackEvent* b) { return a->tick < b->tick; });

  TickClock clock = MakeClock(file.division);
  const Wide blockDenominator = Wide{clock.denominator} * kFramesPerBlock;
  Wide elapsed = 0;
  uint64_t lastTick = 0;
  ByteSchedule schedule;
  schedule.reserve(byteCount);
  for (const TrackEvent* event : merged) {
    elapsed += Wide{event->tick - lastTick} * clock.step;
    lastTick = event->tick;
    if (event->kind == TrackEventKind::kTempo) {
      if (clock.followsTempo) clock.step = event->microsecondsPerQuarter;
      continue;
    }
    const Wide block = (elapsed * kOutputRate + blockDenominator - 1) / blockDenominator;
    if (block > Wide{kMaxBlock}) TooLong();
    for (const uint8_t byte : event->bytes) {
      schedule.push_back({static_cast<int64_t>(block), byte});
    }
  }
  ByteSchedule spread = SpreadOverflow(schedule, kMidiQueueSize);
  // Bytes moved on to later blocks may reach past the limit that their events kept to.
  if (!spread.empty() && spread.back().block > kMaxBlock) {
    TooLong(" once its MIDI bytes are sent at most " + std::to_string(kMidiQueueSize) +
            " per block");
  }
  return spread;
}

}  // namespace velmo::midi
