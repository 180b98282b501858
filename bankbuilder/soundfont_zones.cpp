#include "bankbuilder/soundfont_zones.h"

#include <algorithm>
#include <string>

#include "bankbuilder/generator_ranges.h"

namespace velmo {
namespace {

using GeneratorValues = std::array<int32_t, kGenCount>;
using GeneratorSet = std::array<bool, kGenCount>;

GeneratorValues InstrumentDefaults() {
  GeneratorValues values{};
  values[8] = 13500;  // initialFilterFc
  for (const int timecents : {21, 23, 25, 26, 27, 28, 30, 33, 34, 35, 36, 38}) {
    values[timecents] = -12000;
  }
  values[kGenKeyRange] = 127 << 8;
  values[kGenVelRange] = 127 << 8;
  values[kGenKeynum] = -1;
  values[kGenVelocity] = -1;
  values[kGenScaleTuning] = 100;
  values[kGenOverridingRootKey] = -1;
  return values;
}

bool IsRange(uint16_t oper) {
  return oper == kGenKeyRange || oper == kGenVelRange;
}

int32_t RangeLo(int32_t amount) {
  return amount & 0xFF;
}
int32_t RangeHi(int32_t amount) {
  return (amount >> 8) & 0xFF;
}

// Generators a preset zone may not add to (indexes, ranges, sample addressing and modes).
bool PresetMayAdd(uint16_t oper) {
  switch (oper) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4:
    case 12:
    case 45:
    case 50:
    case kGenInstrument:
    case kGenKeyRange:
    case kGenVelRange:
    case kGenKeynum:
    case kGenVelocity:
    case kGenSampleId:
    case kGenSampleModes:
    case kGenExclusiveClass:
    case kGenOverridingRootKey:
      return false;
    default:
      return oper < kGenCount;
  }
}

bool IsGlobalZone(const SfZone& zone, uint16_t terminal) {
  return zone.generators.empty() || zone.generators.back().oper != terminal;
}

int32_t Terminal(const SfZone& zone) {
  return static_cast<uint16_t>(zone.generators.back().amount);
}

void Apply(const SfZone& zone, GeneratorValues& values, GeneratorSet& set) {
  for (const SfGeneratorEntry& entry : zone.generators) {
    if (entry.oper >= kGenCount) continue;
    values[entry.oper] = IsRange(entry.oper) ? static_cast<uint16_t>(entry.amount) : entry.amount;
    set[entry.oper] = true;
  }
}

bool VelocityIn(int32_t range, int32_t velocity) {
  return RangeLo(range) <= velocity && velocity <= RangeHi(range);
}

void CheckSample(const SoundFont& font, uint16_t index, const ResolvedZone& zone) {
  const SfSample& s = font.samples[index];
  const int64_t start = zone.Start(s);
  const int64_t end = zone.End(s);
  if ((s.sampleType & 0x8000) != 0) {
    throw SoundFontError("SoundFont sample '" + s.name + "' is a ROM sample");
  }
  if (start < 0 || end > font.SampleFrames() || end - start < 4) {
    throw SoundFontError("SoundFont sample '" + s.name + "': frames " + std::to_string(start) +
                         ".." + std::to_string(end) + " outside the sample pool of " +
                         std::to_string(font.SampleFrames()));
  }
  if (s.sampleRate < 400 || s.sampleRate > 192000) {
    throw SoundFontError("SoundFont sample '" + s.name + "': sample rate " +
                         std::to_string(s.sampleRate) + " out of range");
  }
}

}  // namespace

int64_t ResolvedZone::Start(const SfSample& s) const {
  return int64_t{s.start} + gen[kGenStartAddrsOffset] +
         int64_t{32768} * gen[kGenStartAddrsCoarseOffset];
}
int64_t ResolvedZone::End(const SfSample& s) const {
  return int64_t{s.end} + gen[kGenEndAddrsOffset] + int64_t{32768} * gen[kGenEndAddrsCoarseOffset];
}
int64_t ResolvedZone::LoopStart(const SfSample& s) const {
  return int64_t{s.startLoop} + gen[kGenStartloopAddrsOffset] +
         int64_t{32768} * gen[kGenStartloopAddrsCoarseOffset];
}
int64_t ResolvedZone::LoopEnd(const SfSample& s) const {
  return int64_t{s.endLoop} + gen[kGenEndloopAddrsOffset] +
         int64_t{32768} * gen[kGenEndloopAddrsCoarseOffset];
}
int32_t ResolvedZone::RootKey(const SfSample& s) const {
  const int32_t overriding = gen[kGenOverridingRootKey];
  if (overriding >= 0 && overriding <= 127) return overriding;
  return s.originalPitch <= 127 ? s.originalPitch : 60;
}

const SfPreset* FindPreset(const SoundFont& font, uint16_t bank, uint16_t program) {
  for (const SfPreset& preset : font.presets) {
    if (preset.bank == bank && preset.program == program) return &preset;
  }
  return nullptr;
}

std::vector<ResolvedZone> ResolveZones(const SoundFont& font, const SfPreset& preset,
                                       int32_t velocity) {
  std::vector<ResolvedZone> result;
  GeneratorValues presetGlobal{};
  GeneratorSet presetGlobalSet{};
  presetGlobal[kGenKeyRange] = presetGlobal[kGenVelRange] = 127 << 8;
  for (size_t z = 0; z < preset.zones.size(); ++z) {
    const SfZone& presetZone = preset.zones[z];
    if (IsGlobalZone(presetZone, kGenInstrument)) {
      if (z == 0) Apply(presetZone, presetGlobal, presetGlobalSet);
      continue;
    }
    GeneratorValues presetValues = presetGlobal;
    GeneratorSet presetSet = presetGlobalSet;
    Apply(presetZone, presetValues, presetSet);
    if (!VelocityIn(presetValues[kGenVelRange], velocity)) continue;
    const SfInstrument& instrument = font.instruments[Terminal(presetZone)];

    GeneratorValues instrumentGlobal = InstrumentDefaults();
    GeneratorSet unusedSet{};
    for (size_t iz = 0; iz < instrument.zones.size(); ++iz) {
      const SfZone& zone = instrument.zones[iz];
      if (IsGlobalZone(zone, kGenSampleId)) {
        if (iz == 0) Apply(zone, instrumentGlobal, unusedSet);
        continue;
      }
      GeneratorValues values = instrumentGlobal;
      Apply(zone, values, unusedSet);
      if (!VelocityIn(values[kGenVelRange], velocity)) continue;
      ResolvedZone resolved;
      resolved.keyLo = std::max(RangeLo(values[kGenKeyRange]), RangeLo(presetValues[kGenKeyRange]));
      resolved.keyHi = std::min(RangeHi(values[kGenKeyRange]), RangeHi(presetValues[kGenKeyRange]));
      if (resolved.keyLo > resolved.keyHi || resolved.keyLo > 127) continue;
      resolved.keyHi = std::min(resolved.keyHi, 127);
      for (uint16_t oper = 0; oper < kGenCount; ++oper) {
        if (presetSet[oper] && PresetMayAdd(oper)) values[oper] += presetValues[oper];
      }
      ClampGeneratorValues(values);
      resolved.gen = values;
      resolved.sampleIndex = static_cast<uint16_t>(Terminal(zone));
      CheckSample(font, resolved.sampleIndex, resolved);
      result.push_back(resolved);
    }
  }
  return result;
}

}  // namespace velmo
