// A plain, frame-by-frame transcription of block rendering, kept as the
// reference that the engine's RenderBlock must match bit for bit.
#pragma once

#include "synth/engine.h"

namespace velmo::test {

// One whole-sample step of the source position, as StepSourcePosition.
bool ReferenceStep(Voice& voice);

// Renders block WriteBlock(engine) like RenderBlock and advances it.
void ReferenceRenderBlock(Engine& engine);

}  // namespace velmo::test
