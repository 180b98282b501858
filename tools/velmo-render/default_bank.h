// Where the sound bank comes from when no --bank is given.
#pragma once

#include <cstdint>
#include <span>

#include "synth/sound_bank.h"

namespace velmo::render {

// The bank image linked into the program (the checker's own bank), valid for the life of the
// program; empty when the build has none.
std::span<const uint8_t> BuiltInBankImage();

// Where that image's wave blocks lie, made from it at build time.
const WaveSectionIndex& BuiltInBankWaveIndex();

}  // namespace velmo::render
