// One run of velmo-render, from parsed options to the written output.
#pragma once

#include "tools/velmo-render/command_line.h"

namespace velmo::render {

// Renders as `options` asks. Throws std::exception subclasses with a message meant for the user
// (bad input, rejected bank, output failure).
void RunRender(const RenderOptions& options);

}  // namespace velmo::render
