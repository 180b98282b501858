// Command line of velmo-tone.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velmo::tone {

struct ToneOptions {
  double seconds = 3.0;
  double frequency = 440.0;  // Hz
  int32_t volume = 0;        // 1/100 dB, 0 = full
  int32_t pan = 0;           // -10000 (left) .. 10000 (right)
  std::string device;        // empty: the default output
  bool listDevices = false;
  bool checkUpdates = false;  // count updates, check their order and report latency
  bool help = false;
};

// The options, or nullopt with `error` set.
std::optional<ToneOptions> ParseToneOptions(int argc, char** argv, std::string& error);
const char* ToneUsage();

}  // namespace velmo::tone
