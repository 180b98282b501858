// Bank images from random bytes: the loaders must accept or reject them with a
// BankLoadError, never read out of bounds; an accepted image must play notes
// without faults. Each input goes through the stream loader (waves copied) and
// through the resident loader (waves borrowed from the input bytes).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <sstream>
#include <string>

#include "synth/engine.h"
#include "synth/sound_bank.h"

namespace {

// Notes on every channel and a spread of programs and keys, then two blocks.
void PlayNotes(velmo::Engine& engine) {
  for (uint8_t channel = 0; channel < 16; ++channel) {
    velmo::PushMidiByte(engine, static_cast<uint8_t>(0xC0 | channel));
    velmo::PushMidiByte(engine, static_cast<uint8_t>(channel * 8));
    velmo::PushMidiByte(engine, static_cast<uint8_t>(0x90 | channel));
    velmo::PushMidiByte(engine, static_cast<uint8_t>(20 + channel * 6));
    velmo::PushMidiByte(engine, 100);
  }
  velmo::DrainMidiQueue(engine);
  velmo::RenderBlock(engine);
  velmo::RenderBlock(engine);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto engine = std::make_unique<velmo::Engine>();
  std::istringstream image(std::string(reinterpret_cast<const char*>(data), size));
  try {
    velmo::EngineLoadAndReset(*engine, image);
  } catch (const velmo::BankLoadError&) {
    return 0;
  }
  PlayNotes(*engine);
  // The input bytes outlive this engine, so its slots may borrow from them.
  velmo::EngineLoadResidentAndReset(*engine, std::span<const uint8_t>(data, size));
  PlayNotes(*engine);
  return 0;
}
