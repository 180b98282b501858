// SoundFont 2 reader: the parts of an sfbk RIFF file that the bank builder uses.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmo {

// A malformed or hostile SoundFont: says what is wrong and where.
class SoundFontError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Generator operators used by the builder (numbering of the SoundFont format).
enum SfGenerator : uint16_t {
  kGenStartAddrsOffset = 0,
  kGenEndAddrsOffset = 1,
  kGenStartloopAddrsOffset = 2,
  kGenEndloopAddrsOffset = 3,
  kGenStartAddrsCoarseOffset = 4,
  kGenModLfoToPitch = 5,
  kGenVibLfoToPitch = 6,
  kGenModEnvToPitch = 7,
  kGenInitialFilterFc = 8,
  kGenInitialFilterQ = 9,
  kGenModLfoToFilterFc = 10,
  kGenModEnvToFilterFc = 11,
  kGenEndAddrsCoarseOffset = 12,
  kGenModLfoToVolume = 13,
  kGenPan = 17,
  kGenDelayModLfo = 21,
  kGenFreqModLfo = 22,
  kGenDelayVibLfo = 23,
  kGenFreqVibLfo = 24,
  kGenDelayModEnv = 25,
  kGenAttackModEnv = 26,
  kGenHoldModEnv = 27,
  kGenDecayModEnv = 28,
  kGenSustainModEnv = 29,
  kGenDelayVolEnv = 33,
  kGenAttackVolEnv = 34,
  kGenHoldVolEnv = 35,
  kGenDecayVolEnv = 36,
  kGenSustainVolEnv = 37,
  kGenReleaseVolEnv = 38,
  kGenKeynumToVolEnvHold = 39,
  kGenKeynumToVolEnvDecay = 40,
  kGenInstrument = 41,
  kGenKeyRange = 43,
  kGenVelRange = 44,
  kGenStartloopAddrsCoarseOffset = 45,
  kGenKeynum = 46,
  kGenVelocity = 47,
  kGenInitialAttenuation = 48,
  kGenEndloopAddrsCoarseOffset = 50,
  kGenCoarseTune = 51,
  kGenFineTune = 52,
  kGenSampleId = 53,
  kGenSampleModes = 54,
  kGenScaleTuning = 56,
  kGenExclusiveClass = 57,
  kGenOverridingRootKey = 58,
  kGenCount = 61,
};

struct SfGeneratorEntry {
  uint16_t oper = 0;
  int16_t amount = 0;  // ranges: low byte = lo, high byte = hi
};

// A zone: its generators in file order (modulators are not used by the builder).
struct SfZone {
  std::vector<SfGeneratorEntry> generators;
};

struct SfPreset {
  std::string name;
  uint16_t program = 0;
  uint16_t bank = 0;
  std::vector<SfZone> zones;
};

struct SfInstrument {
  std::string name;
  std::vector<SfZone> zones;
};

struct SfSample {
  std::string name;
  uint32_t start = 0;  // frame indexes into the sample pool; end and endLoop exclusive
  uint32_t end = 0;
  uint32_t startLoop = 0;
  uint32_t endLoop = 0;
  uint32_t sampleRate = 0;
  uint8_t originalPitch = 60;
  int8_t pitchCorrection = 0;
  uint16_t sampleLink = 0;
  uint16_t sampleType = 0;
};

struct SoundFont {
  std::string bankName;
  std::span<const uint8_t> samplePool;  // 16-bit little-endian PCM, points into the file bytes
  std::vector<SfPreset> presets;        // terminal record dropped
  std::vector<SfInstrument> instruments;
  std::vector<SfSample> samples;

  uint32_t SampleFrames() const { return static_cast<uint32_t>(samplePool.size() / 2); }
  int16_t Frame(uint32_t index) const {
    return static_cast<int16_t>(samplePool[2 * index] | (samplePool[2 * index + 1] << 8));
  }
};

// Parses a whole SoundFont held in `bytes` (which must outlive the result). Every index and
// range is checked: instruments named by presets, samples named by instruments and sample
// bounds inside the sample pool; violations throw SoundFontError.
SoundFont ParseSoundFont(std::span<const uint8_t> bytes);

// Reads a file into memory; throws SoundFontError when it cannot be read.
std::vector<uint8_t> ReadWholeFile(const std::string& path);

}  // namespace velmo
