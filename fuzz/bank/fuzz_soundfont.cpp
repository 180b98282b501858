// Feeds the SoundFont reader arbitrary bytes, and a small valid SoundFont with the input written
// over part of it (so the fuzzer reaches the hydra and zone checks), then resolves every preset
// it accepts and reads every frame the resolved zones claim.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "bankbuilder/soundfont.h"
#include "bankbuilder/soundfont_zones.h"
#include "tests/bank/soundfont_builder.h"

namespace {

void ParseAndResolve(std::span<const uint8_t> bytes) {
  try {
    const velmo::SoundFont font = velmo::ParseSoundFont(bytes);
    for (const velmo::SfPreset& preset : font.presets) {
      for (const velmo::ResolvedZone& zone : velmo::ResolveZones(font, preset, 100)) {
        const velmo::SfSample& sample = font.samples[zone.sampleIndex];
        volatile int32_t sum = 0;
        for (int64_t i = zone.Start(sample); i < zone.End(sample); ++i) {
          sum = sum + font.Frame(static_cast<uint32_t>(i));
        }
      }
    }
  } catch (const velmo::SoundFontError&) {
  }
}

const std::vector<uint8_t>& Template() {
  static const std::vector<uint8_t> bytes = [] {
    using namespace velmo::testing;
    TestSample sample{"s", Sine(64, 16, 1000), 8, 40, 22050, 60};
    TestPreset preset;
    preset.presetGenerators = {{43, 0x7F00}, {51, 1}};
    preset.globalInstrumentGenerators = {{48, 20}};
    preset.zones = {TestZone{{{43, 0x3C00}, {54, 1}}, 0}, TestZone{{{43, 0x7F3D}}, 0}};
    TestPreset kit = preset;
    kit.bank = 128;
    return WriteSoundFont({sample, sample}, {preset, kit});
  }();
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ParseAndResolve(std::span<const uint8_t>(data, size));
  if (size >= 2) {
    std::vector<uint8_t> bytes = Template();
    size_t at = (data[0] | (data[1] << 8)) % bytes.size();
    for (size_t i = 2; i < size && at < bytes.size(); ++i)
      bytes[at++] = data[i];
    ParseAndResolve(bytes);
  }
  return 0;
}
