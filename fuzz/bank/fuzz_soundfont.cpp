// Feeds arbitrary bytes to the SoundFont reader and resolves every preset it accepts.
#include <cstddef>
#include <cstdint>
#include <span>

#include "tools/velmo-bank/soundfont.h"
#include "tools/velmo-bank/soundfont_zones.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    const velmo::SoundFont font = velmo::ParseSoundFont(std::span<const uint8_t>(data, size));
    for (const velmo::SfPreset& preset : font.presets) {
      for (const velmo::ResolvedZone& zone : velmo::ResolveZones(font, preset, 100)) {
        const velmo::SfSample& sample = font.samples[zone.sampleIndex];
        // The checked bounds must allow reading every frame of the zone.
        volatile int32_t sum = 0;
        for (int64_t i = zone.Start(sample); i < zone.End(sample); ++i) {
          sum = sum + font.Frame(static_cast<uint32_t>(i));
        }
      }
    }
  } catch (const velmo::SoundFontError&) {
  }
  return 0;
}
