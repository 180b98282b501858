// A bank and a chord that keep 18 looping voices sounding, for measuring
// RenderBlock.
#pragma once

#include <memory>

#include "synth/engine.h"

namespace velmo::bench {

// Which waves the 18 voices play.
enum class VoiceMix {
  Mixed,        // long and short forward loops and alternating loops
  SingleCycle,  // single-cycle forward loops of 24 and 32 frames only
};

// An engine loaded with the benchmark bank, 18 voices started and one block
// rendered (every voice past its attack).
std::unique_ptr<Engine> EngineWithEighteenVoices(VoiceMix mix = VoiceMix::Mixed);

// Active voices among the first PolyphonyLimit.
int32_t ActiveVoiceCount(const Engine& engine);

}  // namespace velmo::bench
