// velmo: the checker window for the built-in synthesizer.
#include <exception>
#include <optional>

#include "app/application.h"
#include "app/engine_message_box.h"
#include "app/main_form.h"
#include "synth/engine.h"

int main(int argc, char** argv) {
  std::optional<velmo::TNoDisplayExit> noDisplayExit(std::in_place);
  velmo::TApplication application(argc, argv);
  noDisplayExit.reset();
  try {
    velmo::InstallEngineMessageBox(velmo::TheEngine());
    velmo::TForm1 form;
    form.show();
    application.exec();
  } catch (...) {
    application.HandleException(std::current_exception());
  }
  return 0;
}
