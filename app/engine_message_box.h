// Routes the synthesis engine's reports (a timer that cannot start) to a message box.
#pragma once

#include "synth/engine.h"

namespace velmo {

// Points `engine`'s message hook at the application's message display; a report from another
// thread is shown on the user-interface thread.
void InstallEngineMessageBox(Engine& engine);

}  // namespace velmo
