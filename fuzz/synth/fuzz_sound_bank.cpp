// Bank images from random bytes: the loader must accept or reject them with a
// BankLoadError, never read out of bounds; an accepted image must play notes
// without faults.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>

#include "synth/engine.h"
#include "synth/sound_bank.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto engine = std::make_unique<velmo::Engine>();
  std::istringstream image(std::string(reinterpret_cast<const char*>(data), size));
  try {
    velmo::EngineLoadAndReset(*engine, image);
  } catch (const velmo::BankLoadError&) {
    return 0;
  }
  // Notes on every channel and a spread of programs and keys, then two blocks.
  for (uint8_t channel = 0; channel < 16; ++channel) {
    velmo::PushMidiByte(*engine, static_cast<uint8_t>(0xC0 | channel));
    velmo::PushMidiByte(*engine, static_cast<uint8_t>(channel * 8));
    velmo::PushMidiByte(*engine, static_cast<uint8_t>(0x90 | channel));
    velmo::PushMidiByte(*engine, static_cast<uint8_t>(20 + channel * 6));
    velmo::PushMidiByte(*engine, 100);
  }
  velmo::DrainMidiQueue(*engine);
  velmo::RenderBlock(*engine);
  velmo::RenderBlock(*engine);
  return 0;
}
