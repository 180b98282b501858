// Builds a whole bank from a tiny SoundFont whose generators, sample rates, pitches and loop
// points come from the input, so that extreme tunings, times and levels reach every step of
// the builder (pitch, rates, gains, envelopes, resampling, shortening to a budget). The kit
// covers one or two keys and the program one to three zones, so an input builds in milliseconds.
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <utility>
#include <vector>

#include "bankbuilder/bank_builder.h"
#include "bankbuilder/soundfont.h"
#include "tests/bank/soundfont_builder.h"

namespace {

using velmo::testing::TestPreset;
using velmo::testing::TestSample;
using velmo::testing::TestZone;
using Generators = std::vector<std::pair<uint16_t, int16_t>>;
constexpr uint16_t kKeyRange = 43;
constexpr uint16_t kDrumBank = 128;
// An image with no wave takes about this many bytes.
constexpr size_t kFixedBytes = 86000;

// Reads the input front to back; past its end every read gives 0.
class InputReader {
 public:
  explicit InputReader(std::span<const uint8_t> data) : data_(data) {}
  bool AtEnd() const { return pos_ >= data_.size(); }
  uint8_t Byte() { return AtEnd() ? 0 : data_[pos_++]; }
  int16_t Word() {
    const uint8_t low = Byte();
    return static_cast<int16_t>(low | Byte() << 8);
  }

 private:
  std::span<const uint8_t> data_;
  size_t pos_ = 0;
};

// Generators that choose instruments and samples are left to the SoundFont writer.
Generators ReadGenerators(InputReader& in, int count) {
  Generators generators;
  for (int i = 0; i < count && !in.AtEnd(); ++i) {
    const uint16_t oper = in.Byte() % 61;
    const int16_t amount = in.Word();
    if (oper != 41 && oper != 53) generators.emplace_back(oper, amount);
  }
  return generators;
}

TestSample ReadSample(InputReader& in, const char* name) {
  const uint32_t frames = 64 + in.Byte() % 192;
  TestSample sample{
      name, velmo::testing::Sine(frames, 4 + in.Byte() % 60, 1 + in.Word() % 32767), 0, 0, 0, 0};
  sample.loopStart = in.Byte() % frames;
  sample.loopEnd = sample.loopStart + in.Byte() % (frames - sample.loopStart + 1);
  sample.sampleRate = 400 + static_cast<uint16_t>(in.Word()) * 3;
  sample.originalPitch = in.Byte();
  sample.pitchCorrection = static_cast<int8_t>(in.Byte());
  return sample;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InputReader in(std::span<const uint8_t>(data, size));
  const std::vector<TestSample> samples = {ReadSample(in, "a"), ReadSample(in, "b")};
  std::vector<TestPreset> presets;
  for (const uint16_t bank : {uint16_t{0}, kDrumBank}) {
    TestPreset preset;
    preset.bank = bank;
    preset.program = bank == 0 ? in.Byte() % 2 : 0;
    preset.presetGenerators = ReadGenerators(in, in.Byte() % 8);
    if (bank == kDrumBank) {
      // A few drum keys (each becomes an instrument with its own loudness analysis) keep an
      // input cheap; which keys, and whether a zone covers them, still comes from the input.
      const int lo = 33 + in.Byte() % 51;
      preset.presetGenerators.insert(preset.presetGenerators.begin(),
                                     {kKeyRange, velmo::testing::Range(lo, lo + in.Byte() % 2)});
    }
    preset.globalInstrumentGenerators = ReadGenerators(in, in.Byte() % 8);
    const int zones = 1 + in.Byte() % 3;
    for (int z = 0; z < zones; ++z) {
      preset.zones.push_back(TestZone{ReadGenerators(in, in.Byte() % 8),
                                      static_cast<uint16_t>(in.Byte() % samples.size())});
    }
    presets.push_back(std::move(preset));
  }
  // Most inputs get the usual budget; the rest one just above the image's fixed part, so that
  // the waves must be shortened (or the budget is refused).
  const uint8_t budget = in.Byte();
  const size_t maxBytes = budget < 128 ? velmo::kDefaultBankBudget : kFixedBytes + budget * 24;
  try {
    // The parsed SoundFont reads its samples from these bytes: they must outlive it.
    const std::vector<uint8_t> bytes = velmo::testing::WriteSoundFont(samples, presets);
    const velmo::SoundFont font = velmo::ParseSoundFont(bytes);
    velmo::BuildSummary summary;
    (void)velmo::BuildBank(font, maxBytes, summary);
  } catch (const std::runtime_error&) {
    // SoundFontError and the builder's refusals are both runtime errors: a clean rejection.
  }
  return 0;
}
