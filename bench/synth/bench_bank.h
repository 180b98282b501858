// A bank and a chord that keep 18 looping voices sounding, for measuring
// RenderBlock.
#pragma once

#include <memory>

#include "synth/engine.h"

namespace velmo::bench {

// An engine loaded with the benchmark bank, 18 voices started and one block
// rendered (every voice past its attack).
std::unique_ptr<Engine> EngineWithEighteenVoices();

// Active voices among the first PolyphonyLimit.
int32_t ActiveVoiceCount(const Engine& engine);

}  // namespace velmo::bench
