// velmo-render: renders a MIDI byte script or a Standard MIDI File through the synthesizer.
#include <cstdio>
#include <exception>
#include <string_view>
#include <vector>

#include "fileio/terminal_text.h"
#include "tools/velmo-render/command_line.h"
#include "tools/velmo-render/render_command.h"

int main(int argc, char** argv) {
  using namespace velmo::render;
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  RenderOptions options;
  try {
    options = ParseCommandLine(args);
  } catch (const UsageError& error) {
    std::fprintf(stderr, "velmo-render: %s\nTry 'velmo-render --help'.\n",
                 velmo::fileio::EscapeForTerminal(error.what()).c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(UsageText().c_str(), stdout);
    return 0;
  }
  try {
    RunRender(options);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "velmo-render: %s\n",
                 velmo::fileio::EscapeForTerminal(error.what()).c_str());
    return 1;
  }
  return 0;
}
