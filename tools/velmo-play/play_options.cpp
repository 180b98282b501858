#include "tools/velmo-play/play_options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

namespace velmo::play {
namespace {

bool ParseNumber(const std::string& text, double& value) {
  const char* end = text.data() + text.size();
  const auto [rest, error] = std::from_chars(text.data(), end, value);
  return error == std::errc() && rest == end && std::isfinite(value);
}

bool EndsWithVrx(const std::string& text) {
  constexpr std::string_view kSuffix = ".vrx";
  return text.size() > kSuffix.size() &&
         std::equal(
             kSuffix.begin(), kSuffix.end(), text.end() - kSuffix.size(),
             [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

// "X,Y,Z" as three numbers.
std::optional<Vector3D> ParsePosition(const std::string& text) {
  double xyz[3];
  size_t start = 0;
  for (int i = 0; i < 3; ++i) {
    const size_t comma = i < 2 ? text.find(',', start) : text.size();
    if (comma == std::string::npos) return std::nullopt;
    if (!ParseNumber(text.substr(start, comma - start), xyz[i])) return std::nullopt;
    start = comma + 1;
  }
  return Vector3D{static_cast<float>(xyz[0]), static_cast<float>(xyz[1]),
                  static_cast<float>(xyz[2])};
}

}  // namespace

WaveSourceName ParseWaveSourceName(const std::string& text) {
  const size_t colon = text.rfind(':');
  if (colon != std::string::npos && EndsWithVrx(text.substr(0, colon))) {
    return {text.substr(0, colon), text.substr(colon + 1)};
  }
  return {text, std::nullopt};
}

std::optional<PlayOptions> ParsePlayOptions(std::span<const std::string> args, std::string& error) {
  PlayOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    // The value of an option that takes one, or nothing (with `error` set) when it is missing.
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= args.size()) {
        error = arg + " needs a value";
        return std::nullopt;
      }
      return args[++i];
    };
    auto number = [&](double low, double high) -> std::optional<double> {
      const std::optional<std::string> text = value();
      if (!text) return std::nullopt;
      double parsed = 0;
      if (!ParseNumber(*text, parsed) || parsed < low || parsed > high) {
        error = arg + " " + *text + ": not a number from " + std::to_string(low) + " to " +
                std::to_string(high);
        return std::nullopt;
      }
      return parsed;
    };
    if (arg == "-h" || arg == "--help") {
      options.help = true;
    } else if (arg == "--list-devices") {
      options.listDevices = true;
    } else if (arg == "--loop") {
      options.loop = true;
    } else if (arg == "--mono") {
      options.recordMono = true;
    } else if (arg == "-q" || arg == "--quiet") {
      options.quiet = true;
    } else if (arg == "--volume") {
      const std::optional<double> db = number(-100.0, 0.0);
      if (!db) return std::nullopt;
      options.volume = static_cast<int32_t>(std::lround(*db * 100.0));
    } else if (arg == "--pan") {
      const std::optional<double> db = number(-100.0, 100.0);
      if (!db) return std::nullopt;
      options.pan = static_cast<int32_t>(std::lround(*db * 100.0));
    } else if (arg == "--freq") {
      const std::optional<double> hz = number(100.0, 200000.0);
      if (!hz) return std::nullopt;
      options.frequency = *hz;
    } else if (arg == "--3d") {
      const std::optional<std::string> text = value();
      if (!text) return std::nullopt;
      options.position = ParsePosition(*text);
      if (!options.position) {
        error = "--3d " + *text + ": not X,Y,Z";
        return std::nullopt;
      }
    } else if (arg == "--channels") {
      const std::optional<double> count = number(1, 64);
      if (!count) return std::nullopt;
      options.channels = static_cast<uint32_t>(*count);
    } else if (arg == "--seconds") {
      const std::optional<double> seconds = number(0.001, 86400.0);
      if (!seconds) return std::nullopt;
      options.seconds = *seconds;
    } else if (arg == "--record") {
      const std::optional<double> seconds = number(0.001, 86400.0);
      if (!seconds) return std::nullopt;
      options.recordSeconds = *seconds;
    } else if (arg == "--rate") {
      const std::optional<double> rate = number(1000, 192000);
      if (!rate) return std::nullopt;
      options.recordRate = static_cast<uint32_t>(*rate);
    } else if (arg == "-o" || arg == "--output") {
      const std::optional<std::string> path = value();
      if (!path) return std::nullopt;
      options.outputPath = *path;
    } else if (arg == "--render") {
      const std::optional<std::string> path = value();
      if (!path) return std::nullopt;
      options.renderPath = *path;
    } else if (arg == "--device") {
      const std::optional<std::string> name = value();
      if (!name) return std::nullopt;
      options.device = *name;
    } else if (arg == "--capture-device") {
      const std::optional<std::string> name = value();
      if (!name) return std::nullopt;
      options.captureDevice = *name;
    } else if (arg.size() > 1 && arg[0] == '-') {
      error = "unknown option " + arg;
      return std::nullopt;
    } else {
      options.sources.push_back(ParseWaveSourceName(arg));
    }
  }
  if (options.help || options.listDevices) return options;
  if (options.recordSeconds) {
    if (options.outputPath.empty()) error = "--record needs -o FILE";
    if (!options.sources.empty()) error = "--record takes no files to play";
  } else if (options.sources.empty()) {
    error = "no file to play";
  } else if (options.renderPath && options.loop && !options.seconds) {
    error = "--render with --loop needs --seconds";
  }
  if (!error.empty()) return std::nullopt;
  return options;
}

const char* PlayUsage() {
  return "usage: velmo-play [options] FILE.wav|ARCHIVE.vrx:ID ...\n"
         "       velmo-play --record SECONDS -o FILE.wav|FILE.flac [--rate HZ] [--mono]\n"
         "Plays the files one after another through the audio component.\n"
         "  --loop            loop each file (until --seconds, or forever)\n"
         "  --volume DB       volume, -100 .. 0 dB\n"
         "  --pan DB          attenuate the far side by DB: negative left, positive right\n"
         "  --freq HZ         play at HZ samples per second instead of the file's own rate\n"
         "  --3d X,Y,Z        place the sound in 3D, the listener at the origin facing +Z\n"
         "  --channels N      N duplicates at once, each starting 1/N of the file later\n"
         "  --seconds S       stop each file after S seconds\n"
         "  --render OUT      write what the mixer produces to OUT (WAV, or FLAC by name)\n"
         "                    instead of playing: virtual device at the first file's rate\n"
         "  --record S -o F   record S seconds from the capture device into F\n"
         "  --rate HZ         recording rate (default 44100); --mono records one channel\n"
         "  --device NAME     output device; --capture-device NAME: capture device\n"
         "  --list-devices    list the output devices\n"
         "  -q, --quiet       no progress line\n";
}

}  // namespace velmo::play
