// Block rendering: every active voice interpolated, enveloped and mixed into
// the ring block `writeBlock` (RenderBlock is declared in synth/engine.h).
#pragma once

#include <cstdint>

#include "synth/engine.h"

namespace velmo {

// Moves the voice's source position by one whole sample according to its loop
// mode. Returns false when a one-shot wave has run past loopEnd (no fetch then).
bool StepSourcePosition(Voice& voice) noexcept;

// Moves the position by `steps` whole samples at once (no fetch), as that many
// StepSourcePosition calls would; a one-shot stops at loopEnd.
void SkipSourcePosition(Voice& voice, uint32_t steps) noexcept;

}  // namespace velmo
