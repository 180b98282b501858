#include "tone_options.h"

#include <charconv>
#include <cmath>
#include <string_view>

#include "fileio/terminal_text.h"

namespace velmo::tone {

namespace {

// Longest tone played: a day. Longer values, infinity among them, would never end in practice.
constexpr double kMaxSeconds = 86400;

// A finite decimal number with nothing before or after it (no spaces, no "inf" or "nan").
bool ParseDouble(std::string_view text, double& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

bool ParseInt(std::string_view text, int32_t& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

const char* ToneUsage() {
  return "usage: velmo-tone [--seconds S] [--freq HZ] [--volume CB] [--pan P]\n"
         "                  [--device NAME | --device list] [--check-updates]\n"
         "  --seconds S      play for S seconds, 0..86400 (default 3)\n"
         "  --freq HZ        sine frequency (default 440)\n"
         "  --volume CB      volume in 1/100 dB, -10000..0 (default 0)\n"
         "  --pan P          pan -10000 (left) .. 10000 (right) (default 0)\n"
         "  --device NAME    output device; 'list' lists them\n"
         "  --check-updates  count stream updates, check their order, report latency\n";
}

std::optional<ToneOptions> ParseToneOptions(int argc, char** argv, std::string& error) {
  ToneOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool hasValue = i + 1 < argc;
    const std::string_view value = hasValue ? std::string_view(argv[i + 1]) : std::string_view();
    bool ok = true;
    if (arg == "--help" || arg == "-h") {
      options.help = true;
      continue;
    } else if (arg == "--check-updates") {
      options.checkUpdates = true;
      continue;
    } else if (!hasValue) {
      error = "missing value after " + std::string(arg);
      return std::nullopt;
    } else if (arg == "--seconds") {
      ok = ParseDouble(value, options.seconds) && options.seconds >= 0 &&
           options.seconds <= kMaxSeconds;
    } else if (arg == "--freq") {
      ok = ParseDouble(value, options.frequency) && options.frequency > 0 &&
           options.frequency < 11025;
    } else if (arg == "--volume") {
      ok = ParseInt(value, options.volume) && options.volume >= -10000 && options.volume <= 0;
    } else if (arg == "--pan") {
      ok = ParseInt(value, options.pan) && options.pan >= -10000 && options.pan <= 10000;
    } else if (arg == "--device") {
      options.listDevices = value == "list";
      if (!options.listDevices) options.device = value;
    } else {
      error = "unknown option " + fileio::EscapeForTerminal(arg);
      return std::nullopt;
    }
    if (!ok) {
      // The words are echoed as typed, with control characters escaped so that a pasted
      // escape sequence cannot rewrite the terminal.
      error = "bad value for " + std::string(arg) + ": " + fileio::EscapeForTerminal(value);
      return std::nullopt;
    }
    ++i;
  }
  return options;
}

}  // namespace velmo::tone
