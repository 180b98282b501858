#include "bankbuilder/note_render.h"

#include <algorithm>
#include <cmath>

#include "bankbuilder/envelope_mapping.h"
#include "bankbuilder/soundfont_voice.h"
#include "bankbuilder/two_pole_low_pass.h"

namespace velmo {
namespace {

// How long the moving part may last before the loop, in seconds of the note.
constexpr double kMaxSettleSeconds = 1.5;
// Length aimed at for the loop of the settled sound, and the longest crossfade into it.
constexpr double kLoopSeconds = 0.25;
constexpr int64_t kMaxCrossfade = 2048;
// A layer's envelope may raise it over the main layer's by at most this factor (24 dB), where
// the main layer starts later or falls faster.
constexpr double kMaxEnvelopeRatio = 16.0;
// Frames between updates of a moving filter.
constexpr int64_t kControlFrames = 64;
// A layer's own sample is resampled for reading near one frame per wave frame, within these
// bounds.
constexpr double kMinLayerRate = 1000.0;
constexpr double kMaxLayerUpsampling = 8.0;
// Resampled layers are not cut.
constexpr int64_t kUncutFrames = int64_t{1} << 24;

double Seconds(int32_t timecents) {
  return std::pow(2.0, std::clamp(timecents, -12000, 8000) / 1200.0);
}

// Cents the zone moves its sample's pitch at `key` (tuning, key scaling, correction).
double ZoneCents(const ResolvedZone& zone, const SfSample& sample, int32_t key) {
  return std::clamp((key - zone.RootKey(sample)) * zone.gen[kGenScaleTuning] +
                        100.0 * zone.gen[kGenCoarseTune] + zone.gen[kGenFineTune] +
                        sample.pitchCorrection,
                    -12000.0, 12000.0);
}

bool FilterMoves(const ResolvedZone& zone) {
  return zone.gen[kGenModEnvToFilterFc] != 0;
}

bool PitchMoves(const ResolvedZone& zone) {
  return zone.gen[kGenModEnvToPitch] != 0;
}

// Seconds until the modulation envelope has reached its sustain level.
double ModSettleSeconds(const ResolvedZone& zone) {
  const double share = std::clamp(zone.gen[kGenSustainModEnv], 0, 1000) / 1000.0;
  return Seconds(zone.gen[kGenDelayModEnv]) + Seconds(zone.gen[kGenAttackModEnv]) +
         Seconds(zone.gen[kGenHoldModEnv]) + Seconds(zone.gen[kGenDecayModEnv]) * share;
}

bool SameVolumeEnvelope(const ResolvedZone& a, const ResolvedZone& b) {
  for (const int32_t g : {kGenDelayVolEnv, kGenAttackVolEnv, kGenHoldVolEnv, kGenDecayVolEnv,
                          kGenSustainVolEnv, kGenKeynumToVolEnvHold, kGenKeynumToVolEnvDecay}) {
    if (a.gen[static_cast<size_t>(g)] != b.gen[static_cast<size_t>(g)]) return false;
  }
  return true;
}

// Seconds until everything that moves the layer has settled: its volume envelope relative to
// the main layer's, its filter and pitch envelopes, and its sample up to its loop or end.
double SettleSeconds(const SoundFont& font, const ResolvedZone& zone, const ResolvedZone& main,
                     int32_t key) {
  double settle = 0;
  if (!SameVolumeEnvelope(zone, main)) {
    for (const ResolvedZone* z : {&zone, &main}) {
      const SfEnvelope e = EnvelopeOf(*z);
      settle = std::max(settle, e.attack + e.hold + e.decay * std::min(e.sustainDb, 96.0) / 96.0);
    }
  }
  if (FilterMoves(zone) || PitchMoves(zone)) settle = std::max(settle, ModSettleSeconds(zone));
  // The sample itself changes until it ends or reaches its loop.
  const SfSample& s = font.samples[zone.sampleIndex];
  const double speed = s.sampleRate * std::pow(2.0, ZoneCents(zone, s, key) / 1200.0);
  const int64_t until = zone.Loops() ? zone.LoopStart(s) : zone.End(s);
  settle =
      std::max(settle, static_cast<double>(std::max<int64_t>(0, until - zone.Start(s))) / speed);
  return settle;
}

struct RenderPlan {
  double waveRate = 0;  // wave frames per second of the note
  bool loops = false;
  int64_t frames = 0;
  int64_t loopLength = 0;
  int64_t crossfade = 0;
};

RenderPlan PlanRender(const SoundFont& font, const NoteLayers& layers, int32_t key, double rate,
                      int64_t maxFrames) {
  const ResolvedZone& main = layers.zones[layers.main];
  const SfSample& sample = font.samples[main.sampleIndex];
  RenderPlan plan;
  plan.waveRate = rate * std::pow(2.0, ZoneCents(main, sample, key) / 1200.0);
  double settle = 0;
  for (const ResolvedZone& zone : layers.zones) {
    plan.loops = plan.loops || zone.Loops();
    settle = std::max(settle, SettleSeconds(font, zone, main, key));
  }
  settle = std::min(settle, kMaxSettleSeconds);
  const auto settleFrames = static_cast<int64_t>(std::ceil(settle * plan.waveRate));
  if (!plan.loops) {
    plan.frames = std::clamp<int64_t>(settleFrames, 4, maxFrames);
    return plan;
  }
  // The note's period in wave frames: the main sample sounds its root key's pitch.
  const double hertz = 440.0 * std::pow(2.0, (main.RootKey(sample) - 69) / 12.0) *
                       std::pow(2.0, ZoneCents(main, sample, key) / 1200.0);
  const double period = std::max(2.0, plan.waveRate / hertz);
  const double periods = std::max(1.0, std::round(kLoopSeconds * plan.waveRate / period));
  plan.loopLength = std::max<int64_t>(2, std::llround(periods * period));
  plan.loopLength = std::max<int64_t>(2, std::min(plan.loopLength, maxFrames / 3));
  plan.crossfade = std::min(plan.loopLength / 2, kMaxCrossfade);
  plan.frames = std::min(maxFrames, settleFrames + plan.crossfade + plan.loopLength);
  plan.frames = std::max(plan.frames, plan.loopLength + plan.crossfade);
  return plan;
}

// Reads a resampled layer at fractional positions (4-point Catmull-Rom), through its loop.
class LayerReader {
 public:
  explicit LayerReader(ResampledWave wave) : wave_(std::move(wave)) {}
  float At(int64_t i) const {
    if (i < 0) return 0.0f;
    if (wave_.loops && i > wave_.loopEnd) {
      const int64_t length = int64_t{wave_.loopEnd} - wave_.loopStart + 1;
      i = wave_.loopStart + (i - wave_.loopStart) % length;
    }
    return i < static_cast<int64_t>(wave_.frames.size()) ? wave_.frames[static_cast<size_t>(i)]
                                                         : 0.0f;
  }
  double Read(double position) const {
    const auto i = static_cast<int64_t>(std::floor(position));
    const double f = position - static_cast<double>(i);
    const double p0 = At(i - 1), p1 = At(i), p2 = At(i + 1), p3 = At(i + 2);
    return p1 + 0.5 * f *
                    (p2 - p0 + f * (2 * p0 - 5 * p1 + 4 * p2 - p3 + f * (3 * (p1 - p2) + p3 - p0)));
  }
  // Keeps a looping position within reach of the loop (large positions lose precision).
  void Wrap(double& position) const {
    const auto end = static_cast<double>(wave_.loopEnd) + 1;
    if (!wave_.loops || position < end) return;
    const double start = wave_.loopStart;
    position = start + std::fmod(position - start, end - start);
  }
  const ResampledWave& wave() const { return wave_; }

 private:
  ResampledWave wave_;
};

// One layer of the note, `frames` wave frames long, at its weight relative to the main layer.
std::vector<double> RenderLayer(const SoundFont& font, const NoteLayers& layers, size_t index,
                                int32_t key, const RenderPlan& plan,
                                const std::vector<float>& mainGains) {
  const ResolvedZone& zone = layers.zones[index];
  const SfSample& sample = font.samples[zone.sampleIndex];
  // Sample frames per second of the note, and the rate that reads them one per wave frame.
  const double speed = sample.sampleRate * std::pow(2.0, ZoneCents(zone, sample, key) / 1200.0);
  const double wanted = std::clamp(plan.waveRate * sample.sampleRate / speed, kMinLayerRate,
                                   kMaxLayerUpsampling * sample.sampleRate);
  WaveSource source;
  source.sampleIndex = zone.sampleIndex;
  source.start = zone.Start(sample);
  source.end = zone.End(sample);
  source.loopStart = zone.LoopStart(sample);
  source.loopEnd = zone.LoopEnd(sample);
  source.loops = zone.Loops();
  // Only the sample frames the note reaches are read (the pitch envelope may speed it up); a
  // loop beyond them is never reached.
  const double fastest = std::pow(2.0, std::max(0, zone.gen[kGenModEnvToPitch]) / 1200.0);
  const auto reached = static_cast<int64_t>(std::ceil(static_cast<double>(plan.frames) /
                                                      plan.waveRate * speed * fastest)) +
                       64;
  if (!source.HasUsableLoop() || source.start + reached < source.loopStart) {
    source.loops = false;
    source.end = std::min(source.end, source.start + reached);
  }
  const LayerReader reader(Resample(font, source, wanted, kUncutFrames));
  const double step = reader.wave().rate / sample.sampleRate * speed / plan.waveRate;

  const double staticCutoff = StaticCutoffCents(zone, layers.velocity);
  const double q = FilterQ(zone);
  const double maxCycles = 0.45;
  const bool filters =
      FilterMoves(zone) || 8.176 * std::pow(2.0, staticCutoff / 1200.0) < maxCycles * plan.waveRate;
  const ResolvedZone& main = layers.zones[layers.main];
  const double weight =
      LayerWeight(zone) / LayerWeight(main) * (filters ? FilterDcGain(zone) : 1.0);
  const std::vector<float> gains =
      index == layers.main
          ? std::vector<float>{}
          : SoundFontEnvelopeGains(EnvelopeOf(zone), static_cast<int32_t>(mainGains.size()));

  std::vector<double> out(static_cast<size_t>(plan.frames));
  TwoPoleLowPass filter;
  bool bypass = true;
  double position = 0;
  for (int64_t n = 0; n < plan.frames; ++n) {
    const double t = static_cast<double>(n) / plan.waveRate;
    const double mod = FilterMoves(zone) || PitchMoves(zone) ? ModEnvelopeAt(zone, t) : 0.0;
    if (filters && n % kControlFrames == 0) {
      const double cents =
          std::clamp(staticCutoff + mod * zone.gen[kGenModEnvToFilterFc], 1500.0, 13500.0);
      const double cycles = 8.176 * std::pow(2.0, cents / 1200.0) / plan.waveRate;
      bypass = cycles >= maxCycles;
      filter.Set(2 * M_PI * std::clamp(cycles, 1e-4, maxCycles), q);
    }
    double x = reader.Read(position);
    if (filters) {
      const double y = filter.Run(x);
      if (!bypass) x = y;
    }
    double gain = weight;
    if (index != layers.main) {
      const auto g = static_cast<size_t>(
          std::min<double>(t * kVoiceRate, static_cast<double>(mainGains.size()) - 1));
      const double own = gains[g];
      const double reference = mainGains[g];
      gain *= reference > own / kMaxEnvelopeRatio ? own / reference : kMaxEnvelopeRatio;
      if (own <= 0) gain = 0;
    }
    out[static_cast<size_t>(n)] = x * gain;
    position +=
        step * (PitchMoves(zone) ? std::pow(2.0, mod * zone.gen[kGenModEnvToPitch] / 1200.0) : 1.0);
    reader.Wrap(position);
  }
  return out;
}

float PeakOf(const std::vector<float>& frames) {
  float peak = 0;
  for (const float f : frames)
    peak = std::max(peak, std::abs(f));
  return peak;
}

}  // namespace

double LayerWeight(const ResolvedZone& zone) {
  const double db = kAttenuationFactor * std::max(0, zone.gen[kGenInitialAttenuation]) / 10.0;
  const double angle = (std::clamp(zone.gen[kGenPan], -500, 500) + 500) / 1000.0 * M_PI / 2;
  return std::pow(10.0, -db / 20.0) * (std::cos(angle) + std::sin(angle)) / 2;
}

int64_t RenderedFrames(const SoundFont& font, const NoteLayers& layers, int32_t key, double rate) {
  return PlanRender(font, layers, key, rate, kUncutFrames).frames;
}

ResampledWave RenderNote(const SoundFont& font, const NoteLayers& layers, int32_t key, double rate,
                         int64_t maxFrames) {
  const RenderPlan plan = PlanRender(font, layers, key, rate, maxFrames);
  const auto seconds = static_cast<double>(plan.frames) / plan.waveRate;
  const std::vector<float> mainGains = SoundFontEnvelopeGains(
      EnvelopeOf(layers.zones[layers.main]), static_cast<int32_t>(seconds * kVoiceRate) + 2);
  std::vector<double> mix(static_cast<size_t>(plan.frames), 0.0);
  for (size_t i = 0; i < layers.zones.size(); ++i) {
    const std::vector<double> layer = RenderLayer(font, layers, i, key, plan, mainGains);
    for (size_t n = 0; n < mix.size(); ++n)
      mix[n] += layer[n];
  }

  ResampledWave wave;
  wave.rate = rate;
  wave.frames.assign(mix.begin(), mix.end());
  if (!plan.loops) {
    const int64_t full = RenderedFrames(font, layers, key, rate);
    if (full > plan.frames) {
      const size_t fade = std::max<size_t>(1, wave.frames.size() / 5);
      for (size_t i = 0; i < fade; ++i)
        wave.frames[wave.frames.size() - 1 - i] *= static_cast<float>(i) / static_cast<float>(fade);
    }
    wave.loopStart = 0;
    wave.loopEnd = static_cast<uint32_t>(wave.frames.size() - 1);
  } else {
    // The loop's last frames blend into those just before its start, so the jump back from
    // its end lands where the sound carries on.
    const size_t length = static_cast<size_t>(plan.loopLength);
    const size_t start = wave.frames.size() - length;
    const auto fade = static_cast<size_t>(plan.crossfade);
    for (size_t j = length - fade; j < length; ++j) {
      const float w = static_cast<float>(j - (length - fade) + 1) / static_cast<float>(fade + 1);
      wave.frames[start + j] =
          (1 - w) * wave.frames[start + j] + w * wave.frames[start + j - length];
    }
    wave.loopStart = static_cast<uint32_t>(start);
    wave.loopEnd = static_cast<uint32_t>(wave.frames.size() - 1);
    wave.loops = true;
  }
  wave.peak = PeakOf(wave.frames);
  return wave;
}

}  // namespace velmo
