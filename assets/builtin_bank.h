// The built-in sound bank (resource SOUND1): the image made by velmo-bank from FluidR3_GM,
// linked into the program.
#pragma once

#include <cstdint>
#include <istream>
#include <memory>
#include <span>

#include "synth/sound_bank.h"

namespace velmo {

// The image bytes, valid for the life of the program.
std::span<const uint8_t> BuiltinBankImage();

// Where the image's wave blocks lie (made from the image at build time), for
// LoadResidentSoundBank / EngineLoadResidentAndReset.
const WaveSectionIndex& BuiltinBankWaveIndex();

// A seekable stream over the image, for LoadSoundBank / EngineLoadAndReset.
std::unique_ptr<std::istream> OpenBuiltinBank();

}  // namespace velmo
