#include "bankbuilder/bank_builder.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <stdexcept>
#include <tuple>

#include "bankbuilder/envelope_flattening.h"
#include "bankbuilder/envelope_mapping.h"
#include "bankbuilder/noise_shaping.h"
#include "bankbuilder/note_render.h"
#include "bankbuilder/playback_model.h"
#include "bankbuilder/pre_emphasis.h"
#include "bankbuilder/soundfont_voice.h"
#include "bankbuilder/soundfont_zones.h"
#include "bankbuilder/wave_maker.h"

namespace velmo {
namespace {

constexpr int32_t kMaxRegions = 16;
constexpr uint16_t kDrumBank = 128;
// Regions quieter than their instrument's loudest region are scaled down in their wave by at
// most this much; beyond it they play louder than in the SoundFont.
constexpr double kMaxRegionCutDb = 24.0;
constexpr double kMinRate = 1000.0;
// Layers not carried over raise a region's level by at most this factor (18 dB).
constexpr double kMaxLayerGain = 8.0;
// A later layer of a key is played instead of the first when it is this much louder (12 dB):
// the first then adds little to the sound.
constexpr double kDominantLayer = 4.0;
// A wave over the budget's length is resampled down to at most this share of its rate; beyond
// that it is shortened instead, which keeps its sound bright.
constexpr double kMinRateShare = 0.5;
// Waves are made so the lowest key of a region (at most an octave below the key nearest 60)
// plays this many wave frames per output frame: the engine's interpolation then keeps the
// highs the pre-emphasis gives back (bounded boost), and higher keys play at larger steps.
constexpr double kTargetStep = 1.0;
constexpr double kMaxEmphasisDb = 15.0;
// The most a wave's decay is lifted before quantising (the envelope takes it back): 36 dB.
constexpr double kMinFlatteningGain = 1.0 / 64;
// Waves are resampled up to this many times the sample's own rate.
constexpr double kMaxUpsampling = 2.0;
// Most zones rendered into one note (the main zone and the first others in SoundFont order);
// General MIDI SoundFonts layer at most a few.
constexpr size_t kMaxRenderedLayers = 8;
// Bands of keys a rendered note is split into, each rendered at its key (the nearest of the
// band's keys a run holds): an octave apart around 60.
struct RenderBand {
  int32_t lo, hi, key;
};
constexpr std::array<RenderBand, 5> kRenderBands = {
    {{0, 41, 36}, {42, 53, 48}, {54, 65, 60}, {66, 77, 72}, {78, 127, 84}}};
// A band of a rendered note is made for the key this far below its own key (one wave frame
// per output frame there).
constexpr int32_t kBandRateKeys = 3;
// Bands of a rendered note away from key 60 take this share of the budget's frame cap.
constexpr double kOffCentreCapShare = 0.5;
// Keys over which an instrument's decay and release key scaling is fitted: the range most
// music plays in.
constexpr std::pair<int32_t, int32_t> kKeyScalingFit = {36, 84};
// Frames a drum wave keeps (0.74 s at 44100 Hz) when the budget allows.
constexpr int64_t kDrumFloorFrames = 32768;

struct RegionPlan {
  int32_t lo = 0;
  int32_t hi = 127;
  ResolvedZone zone;
  double layerGain = 1.0;     // makes up for layers (stereo partners) that are not carried over
  int64_t partnerOffset = 0;  // pool frames to the stereo partner mixed into the wave; 0 = none
  size_t source = 0;
  int32_t tuneKey = 60;     // key at which the pitch is matched exactly
  bool banded = false;      // one band of a rendered note split by keys
  double attenuation8 = 0;  // wanted attenuation of the full-scale wave, 1/8 dB
  // Zones rendered together into the region's wave (empty: the wave is `zone`'s sample).
  NoteLayers layers;
};

struct InstrumentPlan {
  bool drum = false;
  // The envelope's second and third decay segments carry on the decay of waves cut to a
  // looping tail (see CarryTailDecay).
  bool tailDecay = false;
  int32_t drumKey = 0;
  std::vector<RegionPlan> regions;
};

struct SourceUse {
  WaveSource source;
  double pitchHz = 0;  // the sample's fundamental at its own rate
  bool drum = false;   // drum waves keep their rate (their sound is mostly high) and are cut
  double rate = 0;     // wanted frames per second
  double scale = 0;    // peak as a share of the 8-bit range
  NoteLayers layers;   // zones rendered into one wave; empty = the source's sample
  int32_t renderKey = 60;
  double capShare = 1.0;  // share of the budget's frame cap the wave may take
};

// The SoundFont's low-pass at velocity 100: initialFilterFc plus the player's standard
// velocity-to-cutoff modulation (-2400 cents x (127 - velocity) / 127), moved by the modulation
// envelope's mean over the note (a fixed filter sounds closest to the moving one there). Baked
// into the wave with its cutoff placed for `key` (the filter does not follow the pitch, the
// wave does; the zone's key nearest 60, so regions sharing a zone share its wave); none when it
// lies above the output band.
void FilterOf(const ResolvedZone& zone, const SfSample& sample, int32_t key, WaveSource& source) {
  const double hertz = 8.176 * std::pow(2.0, HeardCutoffCents(zone, kBuildVelocity) / 1200.0);
  if (hertz >= 10000.0) return;
  const double keySpeed = std::pow(
      2.0, ((key - zone.RootKey(sample)) * zone.gen[kGenScaleTuning] +
            100.0 * zone.gen[kGenCoarseTune] + zone.gen[kGenFineTune] + sample.pitchCorrection) /
               1200.0);
  source.filterHz = hertz / keySpeed;
  source.filterQ = FilterQ(zone);
}

WaveSource SourceOf(const ResolvedZone& zone, const SfSample& sample, int32_t key,
                    int64_t partnerOffset) {
  WaveSource s;
  s.partnerOffset = partnerOffset;
  s.sampleIndex = zone.sampleIndex;
  s.start = zone.Start(sample);
  s.end = zone.End(sample);
  s.loopStart = zone.LoopStart(sample);
  s.loopEnd = zone.LoopEnd(sample);
  s.loops = zone.Loops();
  FilterOf(zone, sample, key, s);
  return s;
}

// Cents above 6000 (one wave frame per output frame) at which the SoundFont plays `key` from
// a wave resampled to `rate`.
double PlayCents(const ResolvedZone& zone, const SfSample& sample, int32_t key, double rate) {
  return 1200.0 * std::log2(rate / playback::kOutputRate) +
         (key - zone.RootKey(sample)) * zone.gen[kGenScaleTuning] +
         100.0 * zone.gen[kGenCoarseTune] + zone.gen[kGenFineTune] + sample.pitchCorrection;
}

int8_t PitchKeyTrackOf(int32_t scaleTuning) {
  const double follow = scaleTuning * 24.0 / 100.0;
  int8_t best = 0;
  for (int8_t s = 1; s <= 6; ++s) {
    if (std::abs(playback::KeyFollow(s) - follow) < std::abs(playback::KeyFollow(best) - follow)) {
      best = s;
    }
  }
  return best;
}

class PeakCache {
 public:
  explicit PeakCache(const SoundFont& font) : font_(font) {}
  double Peak(const WaveSource& s) {
    auto [it, fresh] = peaks_.try_emplace(s, 0.0);
    if (fresh) {
      int32_t peak = 1;
      for (int64_t i = s.start; i < s.end; ++i) {
        peak = std::max(peak, std::abs(int32_t{font_.Frame(static_cast<uint32_t>(i))}));
      }
      it->second = peak / 32768.0;
    }
    return it->second;
  }
  // Mean power of the first 0.4 s of the zone's note at `key`, as the SoundFont plays it.
  double NotePower(const ResolvedZone& zone, int32_t key, bool attenuation) {
    const NoteKey id{zone.gen, zone.sampleIndex, key, attenuation};
    auto [it, fresh] = notePower_.try_emplace(id, 0.0);
    if (fresh) {
      VoiceOptions options;
      options.key = key;
      options.velocity = kBuildVelocity;
      options.attenuation = attenuation;
      it->second = SoundFontNotePower(font_, zone, options);
    }
    return it->second;
  }

 private:
  const SoundFont& font_;
  std::map<WaveSource, double> peaks_;
  using NoteKey = std::tuple<std::array<int32_t, kGenCount>, uint16_t, int32_t, bool>;
  std::map<NoteKey, double> notePower_;
};

// How loud a zone sounds over the first 0.4 s of a held note of the key nearest 60 it covers:
// its sample at that pitch, filter, envelopes and attenuation.
double ZoneLoudness(const ResolvedZone& zone, PeakCache& peaks) {
  return std::sqrt(peaks.NotePower(zone, std::clamp(60, zone.keyLo, zone.keyHi), true));
}

// What a key plays: one zone, the gain the key's other zones would add, and where the chosen
// zone's stereo partner lies in the pool when the two are mixed into one wave.
struct KeyChoice {
  int32_t zone = -1;
  double gain = 1.0;
  int64_t partnerOffset = 0;
  bool operator==(const KeyChoice&) const = default;
};

// Whether `right` is the right-hand half of a stereo pair whose left half is `left`: the same
// length, loop, rate and tuning, so the two can be mixed frame by frame into one wave.
bool IsStereoPartner(const SoundFont& font, const ResolvedZone& left, const ResolvedZone& right) {
  const SfSample& l = font.samples[left.sampleIndex];
  const SfSample& r = font.samples[right.sampleIndex];
  if ((l.sampleType & 4) == 0 || (r.sampleType & 2) == 0) return false;
  const int64_t offset = right.Start(r) - left.Start(l);
  return l.sampleRate == r.sampleRate && l.pitchCorrection == r.pitchCorrection &&
         left.RootKey(l) == right.RootKey(r) && right.End(r) - left.End(l) == offset &&
         right.LoopStart(r) - left.LoopStart(l) == offset &&
         right.LoopEnd(r) - left.LoopEnd(l) == offset && left.Loops() == right.Loops() &&
         left.gen[kGenCoarseTune] == right.gen[kGenCoarseTune] &&
         left.gen[kGenFineTune] == right.gen[kGenFineTune] &&
         left.gen[kGenScaleTuning] == right.gen[kGenScaleTuning];
}

// The zone a key plays (the first, unless a later one dominates it; mono and left samples before
// right ones) and the gain that the other zones sounding on that key would add, by their
// loudness: layers of the same sample add in amplitude, different samples (stereo partners
// among them) in power. A left sample whose right partner also sounds on the key is mixed with
// it, as the pair is heard together.
KeyChoice ChooseZone(const SoundFont& font, const std::vector<ResolvedZone>& zones, int32_t key,
                     PeakCache& peaks) {
  int32_t chosen = -1;
  std::map<uint16_t, double> amplitudeBySample;
  auto isRight = [&](size_t zone) {
    return (font.samples[zones[zone].sampleIndex].sampleType & 2) != 0;
  };
  for (size_t i = 0; i < zones.size(); ++i) {
    if (key < zones[i].keyLo || key > zones[i].keyHi) continue;
    const double loudness = ZoneLoudness(zones[i], peaks);
    amplitudeBySample[zones[i].sampleIndex] += loudness;
    if (chosen < 0) {
      chosen = static_cast<int32_t>(i);
      continue;
    }
    const auto current = static_cast<size_t>(chosen);
    const bool better = isRight(i) == isRight(current)
                            ? loudness > kDominantLayer * ZoneLoudness(zones[current], peaks)
                            : !isRight(i);
    if (better) chosen = static_cast<int32_t>(i);
  }
  if (chosen < 0) return {};
  double power = 0;
  for (const auto& [sample, amplitude] : amplitudeBySample)
    power += amplitude * amplitude;
  const ResolvedZone& zone = zones[static_cast<size_t>(chosen)];
  const double a = ZoneLoudness(zone, peaks);
  KeyChoice choice{chosen, a > 0 ? std::clamp(std::sqrt(power) / a, 1.0, kMaxLayerGain) : 1.0, 0};
  for (const ResolvedZone& other : zones) {
    if (key >= other.keyLo && key <= other.keyHi && IsStereoPartner(font, zone, other)) {
      choice.partnerOffset =
          other.Start(font.samples[other.sampleIndex]) - zone.Start(font.samples[zone.sampleIndex]);
      break;
    }
  }
  return choice;
}

// The zones sounding at `key` with zone `main`, when they need rendering together: other
// samples or pitches than the main zone and its stereo partner, or a moving pitch. Empty
// otherwise.
NoteLayers LayersOf(const SoundFont& font, const std::vector<ResolvedZone>& zones, size_t main,
                    int32_t key) {
  NoteLayers layers;
  layers.velocity = kBuildVelocity;
  bool needed = zones[main].gen[kGenModEnvToPitch] != 0;
  // Copies of a zone only make it louder, which the region's level takes care of.
  auto sameSound = [](const ResolvedZone& a, const ResolvedZone& b) {
    return a.sampleIndex == b.sampleIndex && a.gen == b.gen;
  };
  for (size_t i = 0; i < zones.size(); ++i) {
    if (key < zones[i].keyLo || key > zones[i].keyHi) continue;
    if (i == main) layers.main = layers.zones.size();
    const bool copy = std::any_of(layers.zones.begin(), layers.zones.end(),
                                  [&](const ResolvedZone& z) { return sameSound(z, zones[i]); });
    if (i != main && !copy && !IsStereoPartner(font, zones[main], zones[i])) needed = true;
    if (i == main || layers.zones.size() + 1 < kMaxRenderedLayers) layers.zones.push_back(zones[i]);
  }
  if (!needed) layers.zones.clear();
  return layers;
}

std::vector<RegionPlan> PlanMelodicRegions(const SoundFont& font,
                                           const std::vector<ResolvedZone>& zones,
                                           PeakCache& peaks) {
  std::array<KeyChoice, 128> covered;
  for (size_t key = 0; key < 128; ++key) {
    covered[key] = ChooseZone(font, zones, static_cast<int32_t>(key), peaks);
  }
  // Keys no zone covers take the nearest covered key's zone (the lower one on a tie).
  std::array<KeyChoice, 128> perKey = covered;
  for (int32_t key = 0; key < 128; ++key) {
    for (int32_t d = 1; perKey[static_cast<size_t>(key)].zone < 0 && d < 128; ++d) {
      if (key - d >= 0 && covered[static_cast<size_t>(key - d)].zone >= 0) {
        perKey[static_cast<size_t>(key)] = covered[static_cast<size_t>(key - d)];
      } else if (key + d < 128 && covered[static_cast<size_t>(key + d)].zone >= 0) {
        perKey[static_cast<size_t>(key)] = covered[static_cast<size_t>(key + d)];
      }
    }
  }
  if (perKey[0].zone < 0) return {};
  std::vector<RegionPlan> runs;
  for (int32_t key = 0; key < 128; ++key) {
    const auto& [zone, gain, partnerOffset] = perKey[static_cast<size_t>(key)];
    if (!runs.empty() && runs.back().source == static_cast<size_t>(zone) &&
        runs.back().layerGain == gain && runs.back().partnerOffset == partnerOffset) {
      runs.back().hi = key;
      continue;
    }
    RegionPlan run;
    run.lo = run.hi = key;
    run.source = static_cast<size_t>(zone);  // zone index until sources are assigned
    run.layerGain = gain;
    run.partnerOffset = partnerOffset;
    runs.push_back(run);
  }
  // Too many regions: the narrowest region joins its narrower neighbour's zone.
  while (runs.size() > kMaxRegions) {
    size_t narrow = 0;
    for (size_t i = 1; i < runs.size(); ++i) {
      if (runs[i].hi - runs[i].lo < runs[narrow].hi - runs[narrow].lo) narrow = i;
    }
    size_t into;
    if (narrow == 0) {
      into = 1;
    } else if (narrow + 1 == runs.size()) {
      into = narrow - 1;
    } else {
      const auto spanOf = [&](size_t i) { return runs[i].hi - runs[i].lo; };
      into = spanOf(narrow - 1) <= spanOf(narrow + 1) ? narrow - 1 : narrow + 1;
    }
    runs[into].lo = std::min(runs[into].lo, runs[narrow].lo);
    runs[into].hi = std::max(runs[into].hi, runs[narrow].hi);
    runs.erase(runs.begin() + static_cast<std::ptrdiff_t>(narrow));
  }
  auto finish = [&](RegionPlan& run, int32_t key) {
    run.zone = zones[run.source];
    run.tuneKey = key;
    run.layers =
        LayersOf(font, zones, run.source, std::clamp(run.tuneKey, run.zone.keyLo, run.zone.keyHi));
    if (!run.layers.zones.empty()) {
      run.layerGain = 1.0;
      run.partnerOffset = 0;
    }
  };
  // A rendered note holds its layers' own timing and mix: played far from the key it was
  // rendered for, its envelopes run faster or slower and other keys may sound other layers.
  // Such a run is split into one region per band of keys, each rendered at the band's key,
  // widest runs first while the regions last.
  std::vector<std::vector<RegionPlan>> pieces(runs.size());
  size_t count = runs.size();
  std::vector<size_t> order(runs.size());
  for (size_t i = 0; i < order.size(); ++i)
    order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return runs[a].hi - runs[a].lo > runs[b].hi - runs[b].lo;
  });
  for (const size_t i : order) {
    std::vector<RegionPlan> split;
    for (const RenderBand& band : kRenderBands) {
      const int32_t lo = std::max(band.lo, runs[i].lo), hi = std::min(band.hi, runs[i].hi);
      if (lo > hi) continue;
      RegionPlan piece = runs[i];
      piece.lo = lo;
      piece.hi = hi;
      finish(piece, std::clamp(band.key, lo, hi));
      // Plain pieces next to each other stay one region.
      if (!split.empty() && split.back().layers.zones.empty() && piece.layers.zones.empty()) {
        split.back().hi = hi;
        continue;
      }
      split.push_back(piece);
    }
    if (split.size() > 1 && count + split.size() - 1 <= kMaxRegions) {
      count += split.size() - 1;
      pieces[i] = std::move(split);
    }
  }
  std::vector<RegionPlan> regions;
  for (size_t i = 0; i < runs.size(); ++i) {
    if (pieces[i].empty()) {
      finish(runs[i], std::clamp(60, runs[i].lo, runs[i].hi));
      regions.push_back(runs[i]);
      continue;
    }
    for (RegionPlan& piece : pieces[i]) {
      piece.banded = !piece.layers.zones.empty();
      // A plain piece plays the run's wave, made and tuned for the run's key nearest 60.
      if (piece.layers.zones.empty()) finish(piece, std::clamp(60, runs[i].lo, runs[i].hi));
      regions.push_back(piece);
    }
  }
  return regions;
}

int64_t ShareOf(int64_t cap, double share) {
  return std::max<int64_t>(64, static_cast<int64_t>(static_cast<double>(cap) * share));
}

// Frame cap that brings the waves' total within `budgetFrames`; a wave is cut at the larger of
// the cap and its floor (floors are dropped when the budget cannot hold them).
int64_t FrameCap(const std::vector<int64_t>& frames, std::vector<int64_t>& floors,
                 const std::vector<double>& shares, int64_t budgetFrames) {
  auto total = [&](int64_t cap) {
    int64_t sum = 0;
    for (size_t i = 0; i < frames.size(); ++i)
      sum += std::min(frames[i], std::max(ShareOf(cap, shares[i]), floors[i]));
    return sum;
  };
  int64_t lo = 64, hi = static_cast<int64_t>(kMaxWaveFrames);
  if (total(hi) <= budgetFrames) return hi;
  if (total(lo) > budgetFrames) std::fill(floors.begin(), floors.end(), 0);
  if (total(lo) > budgetFrames)
    throw std::runtime_error("the size budget is too small for the bank");
  while (lo < hi) {
    const int64_t mid = (lo + hi + 1) / 2;
    if (total(mid) <= budgetFrames)
      lo = mid;
    else
      hi = mid - 1;
  }
  return lo;
}

size_t FixedImageBytes(size_t waves) {
  return 2 + kImageInstruments * kImageInstrumentBytes + 2 + kImageSamples * kImageSampleBytes + 2 +
         2 * kImageWaveSlots + 6 * waves + 2 + kImageBankMap + 2 + kImageDrumKitMap + 2 +
         kImageMapRows * 256 + 2 + kImageMapRows * 256;
}

int8_t NearestLevel(double attenuation8) {
  int8_t best = 127;
  for (int32_t level = 1; level <= 127; ++level) {
    if (std::abs(playback::LevelAtt(level) - attenuation8) <
        std::abs(playback::LevelAtt(best) - attenuation8)) {
      best = static_cast<int8_t>(level);
    }
  }
  return best;
}

// The region that sets an instrument's envelope, LFO and key tracking: the one holding key 60.
const RegionPlan& MainRegion(const InstrumentPlan& plan) {
  const RegionPlan* main = &plan.regions.front();
  for (const RegionPlan& region : plan.regions) {
    if (region.lo <= 60 && 60 <= region.hi) main = &region;
  }
  return *main;
}

// Seconds until the main region's wave reaches its loop start at its tuning key.
double LoopWaitSeconds(const SoundFont& font, const RegionPlan& main, const ResampledWave& wave) {
  const SfSample& sample = font.samples[main.zone.sampleIndex];
  const double speed =
      std::pow(2.0, PlayCents(main.zone, sample, main.tuneKey, wave.rate) / 1200.0);
  return wave.loops ? wave.loopStart / (speed * playback::kOutputRate) : 0.0;
}

// How much louder (dB) the SoundFont plays the first 0.4 s of the main region's note (its
// sample, filter and envelopes) than the engine plays the region's wave with the instrument's
// envelope: levels make up for what the wave and envelope shapes cannot match (at most 24 dB
// either way). Attenuation and level are left out on both sides.
double LoudnessCorrectionDb(const SoundFont& font, const InstrumentPlan& plan,
                            const ResampledWave& wave, const ImageInstrument& record,
                            PeakCache& peaks) {
  const RegionPlan& main = MainRegion(plan);
  const int32_t key = plan.drum ? plan.drumKey : main.tuneKey;
  const SfSample& sample = font.samples[main.zone.sampleIndex];
  const double step = std::pow(2.0, PlayCents(main.zone, sample, key, wave.rate) / 1200.0);
  constexpr int32_t kFrames = playback::kOutputRate * 2 / 5;
  // Extreme tunings make the step tiny: a loop reached after the frames compared is never seen.
  // (A whole one-shot of an instrument carrying on tail decays reaches it at its end.)
  const double loopAt = wave.loops       ? wave.loopStart / step
                        : plan.tailDecay ? static_cast<double>(wave.frames.size()) / step
                                         : 0.0;
  const auto loopFrame = static_cast<int32_t>(std::min(loopAt, double{kFrames}));
  const std::vector<float> ours = EngineEnvelopeGains(record, key, kFrames, loopFrame);
  const double loopLength = static_cast<double>(wave.loopEnd) - wave.loopStart + 1;
  double ourPower = 0;
  for (int32_t i = 0; i < kFrames; ++i) {
    double position = i * step;
    if (position > wave.loopEnd) {
      if (!wave.loops) break;
      position = wave.loopStart + std::fmod(position - wave.loopStart, loopLength);
    }
    const double x = wave.frames[static_cast<size_t>(position)];
    ourPower += x * x * ours[static_cast<size_t>(i)] * ours[static_cast<size_t>(i)];
  }
  ourPower /= kFrames;
  double theirPower = peaks.NotePower(main.zone, key, false);
  if (!main.layers.zones.empty()) {
    // A rendered note holds every layer: the SoundFont plays it with the main zone's envelope.
    const std::vector<float> theirs = SoundFontEnvelopeGains(EnvelopeOf(main.zone), kFrames);
    theirPower = 0;
    for (int32_t i = 0; i < kFrames; ++i) {
      double position = i * step;
      if (position > wave.loopEnd) {
        if (!wave.loops) break;
        position = wave.loopStart + std::fmod(position - wave.loopStart, loopLength);
      }
      const double x = wave.frames[static_cast<size_t>(position)] * theirs[static_cast<size_t>(i)];
      theirPower += x * x;
    }
    theirPower /= kFrames;
  }
  if (ourPower <= 0 || theirPower <= 0) return 0.0;
  return std::clamp(10.0 * std::log10(theirPower / ourPower), -24.0, 24.0);
}

// Seconds of a held note of `key` until the source's sample, from pool frame `from` on, has
// fallen 18 dB and until it has fallen 48 dB or ended, below its level over the `before`
// frames before `from` (20 ms windows of the note, the level never rising after a window).
std::pair<double, double> RemainingDecay(const SoundFont& font, const RegionPlan& region,
                                         const WaveSource& source, int64_t from, int64_t before,
                                         int32_t key) {
  const SfSample& sample = font.samples[region.zone.sampleIndex];
  const double step =
      std::pow(2.0, PlayCents(region.zone, sample, key, sample.sampleRate) / 1200.0);
  constexpr double kWindowSeconds = 0.02;
  const auto window =
      std::max<int64_t>(1, static_cast<int64_t>(kWindowSeconds * playback::kOutputRate * step));
  auto power = [&](int64_t lo, int64_t hi) {
    double sum = 0;
    for (int64_t i = lo; i < hi; ++i) {
      double x = font.Frame(static_cast<uint32_t>(i));
      if (source.partnerOffset != 0)
        x += font.Frame(static_cast<uint32_t>(i + source.partnerOffset));
      sum += x * x;
    }
    return sum / static_cast<double>(std::max<int64_t>(1, hi - lo));
  };
  const double reference = power(std::max(source.start, from - before), from);
  std::vector<double> db;
  for (int64_t at = from; at + window <= source.end; at += window)
    db.push_back(10.0 *
                 std::log10(std::max(power(at, at + window), 1e-9) / std::max(reference, 1e-9)));
  for (size_t i = db.size(); i-- > 1;)
    db[i - 1] = std::max(db[i - 1], db[i]);
  const auto end = static_cast<double>(db.size()) * kWindowSeconds;
  auto until = [&](double fall) {
    for (size_t i = 0; i < db.size(); ++i) {
      if (db[i] <= -fall) return static_cast<double>(i + 1) * kWindowSeconds;
    }
    return end;
  };
  return {until(18.0), until(48.0)};
}

// An instrument whose regions all play one-shot samples and whose own envelope does not decay
// leaves the decay to its samples. Where one was cut for the budget to a looping tail (the main
// region's, else the first), the envelope's second and third decay segments (which start when
// a wave reaches its loop) carry on that sample's decay from the cut: down 18 dB, then to
// silence, faster by the octave as the sample plays faster. Returns whether it did.
bool CarryTailDecay(const SoundFont& font, const InstrumentPlan& plan,
                    const std::vector<SourceUse>& sources, const std::vector<ResampledWave>& waves,
                    ImageInstrument& record) {
  const RegionPlan& main = MainRegion(plan);
  if (EnvelopeOf(main.zone).sustainDb >= 1.0) return false;
  const RegionPlan* cut = waves[main.source].loops ? &main : nullptr;
  for (const RegionPlan& region : plan.regions) {
    if (!region.layers.zones.empty() || sources[region.source].source.HasUsableLoop()) return false;
    if (cut == nullptr && waves[region.source].loops) cut = &region;
  }
  if (cut == nullptr) return false;
  const WaveSource& source = sources[cut->source].source;
  const ResampledWave& wave = waves[cut->source];
  const double perFrame = font.samples[source.sampleIndex].sampleRate / wave.rate;
  const auto from =
      source.start + static_cast<int64_t>(static_cast<double>(wave.frames.size()) * perFrame);
  const auto before = static_cast<int64_t>((wave.loopEnd - wave.loopStart + 1) * perFrame);
  auto [fall, end] =
      RemainingDecay(font, *cut, source, std::min(from, source.end), before, cut->tuneKey);
  // Times at key 60, which the key scaling counts from.
  const double toKey60 = std::pow(2.0, (cut->tuneKey - 60) / 12.0);
  fall *= toKey60;
  end *= toKey60;
  constexpr int32_t kFallLevel = 16;  // 18 dB below full
  const int32_t full = record.envLevel[1] * 256;
  record.envLevel[2] = static_cast<int8_t>(end > fall ? kFallLevel : 0);
  record.envRate[2] = static_cast<int8_t>(FitRateIndex(full, record.envLevel[2] * 256, fall));
  record.envLevel[3] = 0;
  record.envRate[3] =
      static_cast<int8_t>(end > fall ? FitRateIndex(kFallLevel * 256, 0, end - fall) : 127);
  record.envRateKeyScale[2] = record.envRateKeyScale[3] = 3;
  return true;
}

// The work of a build grows with the zones it reads and the sample frames they span; a crafted
// SoundFont could make either huge, so both are bounded before any work starts.
void CheckBuildWork(const SoundFont& font, const std::vector<std::vector<ResolvedZone>>& zones) {
  uint64_t zoneCount = 0;
  uint64_t frames = 0;
  for (const std::vector<ResolvedZone>& presetZones : zones) {
    for (const ResolvedZone& zone : presetZones) {
      const SfSample& sample = font.samples[zone.sampleIndex];
      const auto zoneFrames = static_cast<uint64_t>(zone.End(sample) - zone.Start(sample));
      if (zoneFrames > kMaxBuildFramesPerZone) {
        throw std::runtime_error("a zone of SoundFont sample '" + sample.name + "' spans " +
                                 std::to_string(zoneFrames) + " sample frames, more than the " +
                                 std::to_string(kMaxBuildFramesPerZone) + " a bank build reads");
      }
      ++zoneCount;
      frames += zoneFrames;
    }
  }
  if (zoneCount > kMaxBuildZones) {
    throw std::runtime_error("the SoundFont's presets have " + std::to_string(zoneCount) +
                             " zones, more than the " + std::to_string(kMaxBuildZones) +
                             " a bank build reads");
  }
  if (frames > kMaxBuildZoneFrames) {
    throw std::runtime_error("the SoundFont's zones span " + std::to_string(frames) +
                             " sample frames in all, more than the " +
                             std::to_string(kMaxBuildZoneFrames) + " a bank build reads");
  }
}

}  // namespace

std::vector<uint8_t> BuildBank(const SoundFont& font, size_t maxBytes, BuildSummary& summary,
                               const BuildProgress& progress) {
  summary = BuildSummary{};
  PeakCache peaks(font);
  std::vector<InstrumentPlan> plans(kImageInstruments);

  std::vector<std::vector<ResolvedZone>> programZones(128);
  for (uint16_t program = 0; program < 128; ++program) {
    const SfPreset* preset = FindPreset(font, 0, program);
    if (preset == nullptr) {
      summary.warnings.push_back("no preset for program " + std::to_string(program));
      continue;
    }
    programZones[program] = ResolveZones(font, *preset, kBuildVelocity);
  }
  const SfPreset* kit = FindPreset(font, kDrumBank, 0);
  const std::vector<ResolvedZone> kitZones =
      kit != nullptr ? ResolveZones(font, *kit, kBuildVelocity) : std::vector<ResolvedZone>{};
  programZones.push_back(kitZones);
  CheckBuildWork(font, programZones);
  programZones.pop_back();
  for (uint16_t program = 0; program < 128; ++program) {
    if (!programZones[program].empty() || FindPreset(font, 0, program) != nullptr) {
      plans[program].regions = PlanMelodicRegions(font, programZones[program], peaks);
    }
  }
  if (kit == nullptr) summary.warnings.push_back("no standard drum kit (bank 128, preset 0)");
  for (int32_t key = playback::kDrumFirstKey; key <= playback::kDrumLastKey; ++key) {
    InstrumentPlan& plan = plans[static_cast<size_t>(key + playback::kDrumInstrumentOffset)];
    plan.drum = true;
    plan.drumKey = key;
    const auto [zone, gain, partnerOffset] = ChooseZone(font, kitZones, key, peaks);
    if (zone < 0) {
      if (kit != nullptr)
        summary.warnings.push_back("drum key " + std::to_string(key) + " has no zone");
      continue;
    }
    RegionPlan region;
    region.lo = 0;
    region.hi = 127;
    region.zone = kitZones[static_cast<size_t>(zone)];
    region.layerGain = gain;
    region.partnerOffset = partnerOffset;
    region.tuneKey = key;
    plan.regions.push_back(region);
  }

  // One wave per distinct stretch of the sample pool, resampled for the keys that use it.
  std::vector<SourceUse> sources;
  std::map<WaveSource, size_t> sourceIndex;
  int32_t rendered = 0;
  for (InstrumentPlan& plan : plans) {
    for (RegionPlan& region : plan.regions) {
      const SfSample& sample = font.samples[region.zone.sampleIndex];
      WaveSource source =
          SourceOf(region.zone, sample, std::clamp(60, region.zone.keyLo, region.zone.keyHi),
                   region.partnerOffset);
      if (!region.layers.zones.empty()) source.renderId = ++rendered;
      auto [it, fresh] = sourceIndex.try_emplace(source, sources.size());
      if (fresh) {
        const double ownCents =
            PlayCents(region.zone, sample, region.zone.RootKey(sample), sample.sampleRate) -
            1200.0 * std::log2(sample.sampleRate / double{playback::kOutputRate});
        const double rootHz = 440.0 * std::pow(2.0, (region.zone.RootKey(sample) - 69) / 12.0);
        sources.push_back(
            SourceUse{source, rootHz / std::pow(2.0, ownCents / 1200.0), false, 0.0, 0.0, {}, 60});
      }
      region.source = it->second;
      // The rate at which the region's reference key plays kTargetStep wave frames per output
      // frame: its lowest key the SoundFont covers, at most an octave below its tuning key (a
      // band of a rendered note, which plays half an octave either side of its key: at most
      // kBandRateKeys below).
      const int32_t lowest = region.banded ? kBandRateKeys : 12;
      const int32_t referenceKey = plan.drum ? region.tuneKey
                                             : std::clamp(std::max(region.lo, region.zone.keyLo),
                                                          region.tuneKey - lowest, region.tuneKey);
      const double cents = PlayCents(region.zone, sample, referenceKey, playback::kOutputRate);
      const double rate =
          std::clamp(kTargetStep * playback::kOutputRate * std::pow(2.0, -cents / 1200.0), kMinRate,
                     kMaxUpsampling * sample.sampleRate);
      SourceUse& use = sources[region.source];
      use.drum = use.drum || plan.drum;
      use.rate = std::max(use.rate, rate);
      use.layers = region.layers;
      use.renderKey = region.tuneKey;
      // The bands of a note away from key 60 give way first when the budget is short.
      if (region.banded && (region.hi < 60 || region.lo > 60)) use.capShare = kOffCentreCapShare;
    }
  }

  // Fit the budget: long waves are shortened (resampled lower) first.
  const size_t fixedBytes = FixedImageBytes(sources.size());
  if (fixedBytes >= maxBytes) throw std::runtime_error("the size budget is too small for the bank");
  const auto budgetFrames =
      static_cast<int64_t>(static_cast<double>(maxBytes - fixedBytes) * 0.995);
  std::vector<int64_t> estimates;
  for (const SourceUse& use : sources) {
    estimates.push_back(use.layers.zones.empty()
                            ? EstimateFrames(font, use.source, use.rate)
                            : RenderedFrames(font, use.layers, use.renderKey, use.rate));
  }
  // Drums are cut rather than resampled, and cymbals ring long: they keep at least
  // kDrumFloorFrames when the budget allows.
  std::vector<int64_t> floors;
  std::vector<double> shares;
  for (const SourceUse& use : sources) {
    floors.push_back(use.drum ? kDrumFloorFrames : 0);
    shares.push_back(use.capShare);
  }
  const int64_t sharedCap = FrameCap(estimates, floors, shares, budgetFrames);

  std::vector<ResampledWave> waves;
  waves.reserve(sources.size());
  std::vector<ResampledWave> heardWaves;
  // The same for every build, and costly to work out.
  static const PreEmphasis emphasis(kMaxEmphasisDb);
  for (size_t i = 0; i < sources.size(); ++i) {
    // Long waves are first resampled lower (down to half their rate), then cut.
    const int64_t cap = std::max(ShareOf(sharedCap, shares[i]), floors[i]);
    // Drums and rendered notes are cut instead (a rendered note then loops earlier).
    const bool rendered = !sources[i].layers.zones.empty();
    const double minShare = sources[i].drum || rendered ? 1.0 : kMinRateShare;
    const double share =
        std::clamp(static_cast<double>(cap) / static_cast<double>(estimates[i]), minShare, 1.0);
    const bool cut = static_cast<double>(estimates[i]) * minShare > static_cast<double>(cap);
    const int64_t maxFrames = std::min<int64_t>(kMaxWaveFrames, cut ? cap : cap + 64);
    ResampledWave wave = sources[i].layers.zones.empty()
                             ? Resample(font, sources[i].source, sources[i].rate * share, maxFrames,
                                        sources[i].pitchHz,
                                        sources[i].drum ? OneShotCut::kFade : OneShotCut::kLoopTail)
                             : RenderNote(font, sources[i].layers, sources[i].renderKey,
                                          sources[i].rate * share, maxFrames);
    // The engine's interpolation takes back what the pre-emphasis adds: levels are set from
    // the wave as it is heard.
    heardWaves.push_back(wave);
    emphasis.Apply(wave, kTargetStep * wave.rate / sources[i].rate);
    waves.push_back(std::move(wave));
    if (progress) progress(i + 1, sources.size());
  }

  // Envelopes: each instrument's from its main region. A drum's one-shot wave that no other
  // instrument plays has its decay moved into the envelope, so it is quantised near full scale.
  std::vector<int32_t> users(sources.size(), 0);
  for (const InstrumentPlan& plan : plans) {
    for (const RegionPlan& region : plan.regions)
      ++users[region.source];
  }
  std::vector<ImageInstrument> envelopes(plans.size());
  for (size_t index = 0; index < plans.size(); ++index) {
    const InstrumentPlan& plan = plans[index];
    if (plan.regions.empty()) continue;
    const RegionPlan& main = MainRegion(plan);
    ResampledWave& heard = heardWaves[main.source];
    MapEnvelope(EnvelopeOf(main.zone), LoopWaitSeconds(font, main, heard), envelopes[index]);
    if (!plan.drum) {
      // Other keys may play zones with other decays and releases: the rates follow the key as
      // closely as the engine's key scaling allows.
      std::vector<KeyEnvelope> keys;
      for (int32_t key = kKeyScalingFit.first; key <= kKeyScalingFit.second; ++key) {
        for (const RegionPlan& region : plan.regions) {
          if (region.lo <= key && key <= region.hi) keys.push_back({key, EnvelopeOf(region.zone)});
        }
      }
      FitRateKeyScaling(EnvelopeOf(main.zone), keys, envelopes[index]);
      plans[index].tailDecay = CarryTailDecay(font, plan, sources, heardWaves, envelopes[index]);
    }
    // A wave cut to fit the budget ends in a fade, not in its own decay: a key-off would
    // release its ringing from a flattened level, far faster.
    const bool cut = estimates[main.source] > static_cast<int64_t>(heard.frames.size()) + 1;
    if (!plan.drum || heard.loops || cut || users[main.source] != 1) continue;
    const SfSample& sample = font.samples[main.zone.sampleIndex];
    const double step =
        std::pow(2.0, PlayCents(main.zone, sample, plan.drumKey, heard.rate) / 1200.0);
    const std::vector<float> gains =
        FlattenDecay(heard.frames, step, plan.drumKey, kMinFlatteningGain, envelopes[index]);
    if (gains.empty()) continue;
    for (ResampledWave* wave : {&heard, &waves[main.source]}) {
      wave->peak = 0;
      for (size_t n = 0; n < gains.size(); ++n) {
        wave->frames[n] /= gains[n];
        wave->peak = std::max(wave->peak, std::abs(wave->frames[n]));
      }
    }
  }

  // Loudness: every region's wanted attenuation of its full-scale wave, then one offset so the
  // loudest regions of the bank (all but the loudest 1 %, which are held at level 127) play at
  // attenuation 0.
  std::vector<double> wanted;
  for (InstrumentPlan& plan : plans) {
    if (plan.regions.empty()) continue;
    const double envelopeDb = LoudnessCorrectionDb(font, plan, heardWaves[MainRegion(plan).source],
                                                   envelopes[&plan - plans.data()], peaks);
    for (RegionPlan& region : plan.regions) {
      const ResampledWave& wave = waves[region.source];
      const double attenuationDb =
          kAttenuationFactor * std::max(0, region.zone.gen[kGenInitialAttenuation]) / 10.0;
      const double amplitude = std::max(1e-6, static_cast<double>(wave.peak)) * region.layerGain *
                               std::pow(10.0, -attenuationDb / 20.0);
      // Drum notes play 6 dB hotter in the engine.
      region.attenuation8 =
          -160.0 * std::log10(amplitude) - 8.0 * envelopeDb + (plan.drum ? 48.0 : 0.0);
      wanted.push_back(region.attenuation8);
    }
  }

  std::sort(wanted.begin(), wanted.end());
  const double loudest = wanted.empty() ? 0.0 : wanted[wanted.size() / 100];

  BankImage image;
  size_t nextSample = 1;
  std::vector<int8_t> levels(kImageInstruments, 0);
  for (size_t index = 0; index < plans.size(); ++index) {
    InstrumentPlan& plan = plans[index];
    if (plan.regions.empty()) continue;
    double quietest = 1e300;
    for (RegionPlan& region : plan.regions) {
      region.attenuation8 -= loudest;
      quietest = std::min(quietest, region.attenuation8);
    }
    levels[index] = NearestLevel(quietest);
    for (const RegionPlan& region : plan.regions) {
      const double cutDb = (region.attenuation8 - playback::LevelAtt(levels[index])) / 8.0;
      const double scale = std::pow(10.0, -std::clamp(cutDb, 0.0, kMaxRegionCutDb) / 20.0);
      sources[region.source].scale = std::max(sources[region.source].scale, scale);
    }
  }

  // Waves go to slots 1.. in order of first use.
  for (size_t i = 0; i < sources.size(); ++i) {
    const ResampledWave& wave = waves[i];
    const std::vector<int8_t> pcm =
        QuantizeShaped(wave, sources[i].scale, static_cast<uint32_t>(i + 1));
    image.waves[i + 1] = MakeWaveBlock(pcm, static_cast<uint16_t>(wave.loopStart),
                                       static_cast<uint16_t>(wave.loopEnd));
  }

  for (size_t index = 0; index < plans.size(); ++index) {
    const InstrumentPlan& plan = plans[index];
    if (plan.regions.empty()) continue;
    ImageInstrument& record = image.instruments[index];
    record.regionTopKey.fill(127);
    const RegionPlan* main = &MainRegion(plan);
    record.pitchKeyTrack = PitchKeyTrackOf(main->zone.gen[kGenScaleTuning]);
    record.level = levels[index];
    record.levelKeyScale = 0;
    for (size_t r = 0; r < plan.regions.size(); ++r) {
      const RegionPlan& region = plan.regions[r];
      const SfSample& sample = font.samples[region.zone.sampleIndex];
      const ResampledWave& wave = waves[region.source];
      const int32_t pitchKey = plan.drum ? playback::DrumPitchKey(plan.drumKey) : region.tuneKey;
      const double cents = PlayCents(region.zone, sample, region.tuneKey, wave.rate) -
                           playback::KeyTrackCents(pitchKey, record.pitchKeyTrack);
      ImageSample& s = image.samples[nextSample];
      s.tune = static_cast<int16_t>(std::clamp<long>(std::lround(cents), -20000, 20000));
      s.loopMode = wave.loops ? 1 : 0;
      s.start = 0;
      s.loopStart = static_cast<uint16_t>(wave.loopStart);
      // A whole one-shot in an instrument whose envelope carries on cut waves' decays reaches
      // its "loop" only at its silent end, so that decay never shortens it.
      if (plan.tailDecay && !wave.loops)
        s.loopStart = static_cast<uint16_t>(std::max<uint32_t>(wave.loopEnd, 3) - 3);
      s.loopEnd = static_cast<uint16_t>(wave.loopEnd);
      s.waveSlot = static_cast<uint16_t>(region.source + 1);
      record.regionSample[r] = static_cast<uint16_t>(nextSample);
      record.regionTopKey[r] = static_cast<int8_t>(region.hi);
      ++nextSample;
    }
    record.regionTopKey[plan.regions.size() - 1] = 127;

    record.envRate = envelopes[index].envRate;
    record.envLevel = envelopes[index].envLevel;
    record.envRateKeyScale = envelopes[index].envRateKeyScale;
    record.envMode = envelopes[index].envMode;
    if (!plan.drum) MapLfo(main->zone, record);
    summary.regions += static_cast<int32_t>(plan.regions.size());
    if (plan.drum)
      ++summary.drumKeys;
    else
      ++summary.programs;
  }

  for (size_t program = 0; program < 128; ++program)
    image.programMap[0][program] = static_cast<uint16_t>(program);
  for (size_t row = 1; row < kImageMapRows; ++row)
    image.programMap[row].fill(kImageNoInstrument);
  for (auto& row : image.drumNoteMap)
    row.fill(kImageNoInstrument);
  for (int32_t key = playback::kDrumFirstKey; key <= playback::kDrumLastKey; ++key) {
    image.drumNoteMap[0][static_cast<size_t>(key)] =
        static_cast<uint16_t>(key + playback::kDrumInstrumentOffset);
  }

  std::vector<uint8_t> bytes = SerializeBankImage(image);
  summary.waves = static_cast<int32_t>(sources.size());
  summary.bytes = bytes.size();
  if (bytes.size() > maxBytes) {
    throw std::runtime_error("the bank needs " + std::to_string(bytes.size()) +
                             " bytes, more than the budget of " + std::to_string(maxBytes));
  }
  return bytes;
}

}  // namespace velmo
