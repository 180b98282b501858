// Builds a sound bank image from a General MIDI SoundFont: programs 0..127 of bank 0 as
// instruments 0..127, the standard kit's keys 35..81 as instruments 128..174.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bankbuilder/bank_image.h"
#include "bankbuilder/soundfont.h"

namespace velmo {

inline constexpr size_t kDefaultBankBudget = 16u << 20;
inline constexpr int32_t kBuildVelocity = 100;

struct BuildSummary {
  int32_t programs = 0;  // melodic instruments with at least one region
  int32_t drumKeys = 0;  // drum instruments with a region
  int32_t regions = 0;
  int32_t waves = 0;
  size_t bytes = 0;
  std::vector<std::string> warnings;  // presets or keys the SoundFont does not have
};

// Called with (done, total) while waves are made.
using BuildProgress = std::function<void(size_t, size_t)>;

// Builds the image; the result is at most `maxBytes` long (throws std::runtime_error when the
// budget cannot be met) and depends only on the SoundFont's bytes.
std::vector<uint8_t> BuildBank(const SoundFont& font, size_t maxBytes, BuildSummary& summary,
                               const BuildProgress& progress = {});

}  // namespace velmo
