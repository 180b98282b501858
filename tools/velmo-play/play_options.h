// The command line of velmo-play.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "audio/spatial_params.h"

namespace velmo::play {

// A WAVE file, or the entry `dataId` of a VRX archive ("ARCHIVE.vrx:ID").
struct WaveSourceName {
  std::string file;
  std::optional<std::string> dataId;
  std::string Display() const { return dataId ? file + ":" + *dataId : file; }
};

// "NAME.vrx:ID" (any case of ".vrx") names an archive entry; anything else is a file name.
WaveSourceName ParseWaveSourceName(const std::string& text);

struct PlayOptions {
  std::vector<WaveSourceName> sources;
  bool loop = false;
  int32_t volume = 0;  // 1/100 dB, -10000 .. 0
  int32_t pan = 0;     // 1/100 dB taken off the far side, -10000 (left) .. 10000 (right)
  std::optional<double> frequency;      // Hz
  std::optional<Vector3D> position;     // 3D place, listener at the origin
  uint32_t channels = 1;                // duplicates playing at once
  std::optional<double> seconds;        // stop after this long
  std::optional<double> recordSeconds;  // record instead of playing
  std::string outputPath;               // -o, for --record
  uint32_t recordRate = 44100;
  bool recordMono = false;
  std::optional<std::string> renderPath;  // render on the virtual device instead of playing
  std::string device;                     // output device name (empty: default)
  std::string captureDevice;              // capture device name (empty: default)
  bool quiet = false;                     // no progress line
  bool help = false;
  bool listDevices = false;
};

// Parses `args` (without the program name). On a mistake returns nothing and sets `error`.
std::optional<PlayOptions> ParsePlayOptions(std::span<const std::string> args, std::string& error);

const char* PlayUsage();

}  // namespace velmo::play
