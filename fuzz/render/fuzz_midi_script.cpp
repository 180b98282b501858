// Feeds arbitrary bytes to the MIDI byte script parser and scheduler.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tools/velmo-render/midi_script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const auto lines = velmo::render::ParseMidiScript(text);
    const auto schedule = velmo::render::ScheduleMidiScript(lines, 1000);
    for (size_t i = 1; i < schedule.bytes.size(); ++i) {
      if (schedule.bytes[i].block < schedule.bytes[i - 1].block) __builtin_trap();
    }
  } catch (const velmo::render::ScriptError&) {
  }
  return 0;
}
