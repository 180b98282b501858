#include "app/engine_message_box.h"

#include <cstdio>

#include "app/application.h"

namespace velmo {

void InstallEngineMessageBox(Engine& engine) {
  SetEngineMessageHook(engine, [](const std::string& text) {
    if (TApplication* application = TApplication::Instance()) {
      application->ShowMessage(TMessageKind::EngineMessage, QString::fromStdString(text));
      return;
    }
    std::fprintf(stderr, "%s\n", text.c_str());
  });
}

}  // namespace velmo
