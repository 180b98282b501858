// The SoundFont reader and zone resolution: what a well-formed file yields, and that broken
// or hostile files are rejected with an error instead of being read out of bounds.
#include <gtest/gtest.h>

#include "bankbuilder/soundfont.h"
#include "bankbuilder/soundfont_zones.h"
#include "tests/bank/soundfont_builder.h"

namespace velmo {
namespace {

using testing::Range;
using testing::Sine;
using testing::TestPreset;
using testing::TestSample;
using testing::TestZone;
using testing::WriteSoundFont;

std::vector<uint8_t> TwoZoneFont() {
  TestSample low{"low", Sine(1000, 100, 8000), 100, 900, 44100, 48};
  TestSample high{"high", Sine(800, 50, 16000), 0, 0, 22050, 72, -12};
  TestPreset preset;
  preset.name = "Piano";
  preset.presetGenerators = {{kGenKeyRange, Range(20, 100)}, {kGenCoarseTune, 2}};
  preset.globalInstrumentGenerators = {{kGenInitialAttenuation, 30}};
  preset.zones = {TestZone{{{kGenKeyRange, Range(0, 59)}, {kGenSampleModes, 1}}, 0},
                  TestZone{{{kGenKeyRange, Range(60, 127)}, {kGenCoarseTune, 1}}, 1},
                  TestZone{{{kGenKeyRange, Range(60, 127)}, {kGenVelRange, Range(0, 50)}}, 1}};
  return WriteSoundFont({low, high}, {preset});
}

TEST(SoundFontReader, ReadsPresetsInstrumentsAndSamples) {
  const std::vector<uint8_t> bytes = TwoZoneFont();
  const SoundFont font = ParseSoundFont(bytes);
  EXPECT_EQ(font.bankName, "Test");
  ASSERT_EQ(font.presets.size(), 1u);
  EXPECT_EQ(font.presets[0].name, "Piano");
  ASSERT_EQ(font.instruments.size(), 1u);
  EXPECT_EQ(font.instruments[0].zones.size(), 4u);  // global zone + three
  ASSERT_EQ(font.samples.size(), 2u);
  EXPECT_EQ(font.samples[1].name, "high");
  EXPECT_EQ(font.samples[1].end - font.samples[1].start, 800u);
  EXPECT_EQ(font.samples[1].pitchCorrection, -12);
  EXPECT_EQ(font.samples[0].startLoop - font.samples[0].start, 100u);
  EXPECT_EQ(font.Frame(font.samples[0].start + 25), 8000);  // quarter period of the sine
}

TEST(SoundFontZones, CombinesPresetAndInstrumentLevels) {
  const std::vector<uint8_t> bytes = TwoZoneFont();
  const SoundFont font = ParseSoundFont(bytes);
  const std::vector<ResolvedZone> zones = ResolveZones(font, font.presets[0], 100);
  ASSERT_EQ(zones.size(), 2u);  // the third zone is for velocities up to 50
  // Key ranges are intersected with the preset zone's 20..100.
  EXPECT_EQ(zones[0].keyLo, 20);
  EXPECT_EQ(zones[0].keyHi, 59);
  EXPECT_EQ(zones[1].keyLo, 60);
  EXPECT_EQ(zones[1].keyHi, 100);
  // Preset values add to instrument values; the instrument global zone supplies defaults.
  EXPECT_EQ(zones[0].gen[kGenCoarseTune], 2);
  EXPECT_EQ(zones[1].gen[kGenCoarseTune], 3);
  EXPECT_EQ(zones[0].gen[kGenInitialAttenuation], 30);
  EXPECT_EQ(zones[0].gen[kGenScaleTuning], 100);
  EXPECT_EQ(zones[1].gen[kGenDecayVolEnv], -12000);
  EXPECT_TRUE(zones[0].Loops());
  EXPECT_FALSE(zones[1].Loops());
  EXPECT_EQ(zones[1].RootKey(font.samples[1]), 72);
  EXPECT_EQ(ResolveZones(font, font.presets[0], 40).size(), 3u);
  EXPECT_EQ(FindPreset(font, 0, 0), &font.presets[0]);
  EXPECT_EQ(FindPreset(font, 128, 0), nullptr);
}

TEST(SoundFontReader, RejectsWhatIsNotASoundFont) {
  std::vector<uint8_t> bytes = TwoZoneFont();
  bytes[8] = 'X';  // form type
  EXPECT_THROW(ParseSoundFont(bytes), SoundFontError);
  EXPECT_THROW(ParseSoundFont(std::vector<uint8_t>{}), SoundFontError);
  const std::vector<uint8_t> wave = {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'};
  EXPECT_THROW(ParseSoundFont(wave), SoundFontError);
}

TEST(SoundFontReader, EveryTruncationIsRejectedOrReadSafely) {
  const std::vector<uint8_t> bytes = TwoZoneFont();
  for (size_t length = 0; length < bytes.size(); length += 7) {
    std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
    // Keep the RIFF size consistent with the cut so the inner chunks are what is short.
    if (length >= 8) {
      const auto body = static_cast<uint32_t>(length - 8);
      for (int i = 0; i < 4; ++i)
        cut[4 + i] = static_cast<uint8_t>(body >> (8 * i));
    }
    try {
      const SoundFont font = ParseSoundFont(cut);
      for (const SfPreset& preset : font.presets)
        ResolveZones(font, preset, 100);
    } catch (const SoundFontError&) {
    }
  }
}

// Finds the first occurrence of a 4-byte tag.
size_t FindTag(const std::vector<uint8_t>& bytes, const char* tag) {
  for (size_t i = 0; i + 4 <= bytes.size(); ++i) {
    if (std::equal(tag, tag + 4, bytes.begin() + static_cast<std::ptrdiff_t>(i))) return i;
  }
  return std::string::npos;
}

TEST(SoundFontReader, RejectsReferencesOutsideTheirTables) {
  {
    std::vector<uint8_t> bytes = TwoZoneFont();
    const size_t pgen = FindTag(bytes, "pgen");
    // The preset zone's instrument generator: last real entry before the terminal one.
    const size_t instrumentAmount = pgen + 8 + 2 * 4 + 2;
    bytes[instrumentAmount] = 7;
    EXPECT_THROW(ParseSoundFont(bytes), SoundFontError);
  }
  {
    std::vector<uint8_t> bytes = TwoZoneFont();
    const size_t shdr = FindTag(bytes, "shdr");
    bytes[shdr + 8 + 24 + 2] = 0x7F;  // end of sample 0 far beyond the pool
    const SoundFont font = ParseSoundFont(bytes);
    EXPECT_THROW(ResolveZones(font, font.presets[0], 100), SoundFontError);
  }
  {
    std::vector<uint8_t> bytes = TwoZoneFont();
    const size_t ibag = FindTag(bytes, "ibag");
    bytes[ibag + 8 + 4] = 0xFF;  // generator index of a zone beyond the generators
    bytes[ibag + 8 + 5] = 0x7F;
    EXPECT_THROW(ParseSoundFont(bytes), SoundFontError);
  }
  {
    std::vector<uint8_t> bytes = TwoZoneFont();
    const size_t phdr = FindTag(bytes, "phdr");
    bytes[phdr + 4] = 37;  // not a whole number of preset headers
    EXPECT_THROW(ParseSoundFont(bytes), SoundFontError);
  }
}

}  // namespace
}  // namespace velmo
