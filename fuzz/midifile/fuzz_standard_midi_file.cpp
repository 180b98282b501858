// Feeds arbitrary bytes to the Standard MIDI File reader and the scheduler behind it.
#include <cstddef>
#include <cstdint>
#include <span>

#include "midifile/midi_file_schedule.h"
#include "midifile/standard_midi_file.h"
#include "synth/engine_state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmo::midi;
  try {
    const StandardMidiFile file = ReadStandardMidiFile(std::span(data, size));
    const ByteSchedule schedule = ScheduleMidiFile(file);
    // Every block gets at most one queue's worth of bytes, in non-decreasing block order.
    int64_t block = -1;
    int32_t inBlock = 0;
    for (const ScheduledByte& byte : schedule) {
      if (byte.block < block) __builtin_trap();
      inBlock = byte.block == block ? inBlock + 1 : 1;
      block = byte.block;
      if (inBlock > velmo::kMidiQueueSize) __builtin_trap();
    }
  } catch (const MidiFileError&) {
  }
  return 0;
}
