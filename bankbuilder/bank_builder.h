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
// Most zones (programs 0..127 of bank 0 and the standard kit, at kBuildVelocity), most sample
// frames one zone spans, and most frames spanned by all those zones counted once per zone, that
// a build reads. A build's time grows linearly with the frames it reads; these keep it to
// seconds. Real General MIDI SoundFonts stay well below: a 148 MB one
// has 1840 zones spanning 104 million frames, the longest 376 thousand.
inline constexpr uint64_t kMaxBuildZones = 16384;
inline constexpr uint64_t kMaxBuildFramesPerZone = uint64_t{1} << 22;  // 4,194,304
inline constexpr uint64_t kMaxBuildZoneFrames = uint64_t{1} << 27;     // 134,217,728

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
// budget cannot be met, or when the SoundFont is over one of the limits above, naming it)
// and depends only on the SoundFont's bytes.
std::vector<uint8_t> BuildBank(const SoundFont& font, size_t maxBytes, BuildSummary& summary,
                               const BuildProgress& progress = {});

}  // namespace velmo
