// Command-line options of velmo-render.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace velmo::render {

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct RenderOptions {
  bool help = false;
  std::optional<std::string> bankPath;      // none: the built-in bank
  std::optional<std::string> scriptPath;    // --script: a MIDI byte script ...
  int64_t blocks = 0;                       // ... rendered for this many blocks
  std::optional<std::string> midiFilePath;  // or a Standard MIDI File
  std::optional<std::string> outputPath;    // "-" is standard output
  bool raw = false;
  bool bench = false;
};

// `args` excludes the program name. Throws UsageError for anything inconsistent.
RenderOptions ParseCommandLine(std::span<const std::string_view> args);

std::string UsageText();

}  // namespace velmo::render
