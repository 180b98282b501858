#include "bankbuilder/soundfont_voice.h"

#include <algorithm>
#include <cmath>

#include "bankbuilder/envelope_mapping.h"
#include "bankbuilder/two_pole_low_pass.h"

namespace velmo {
namespace {

// The filter's coefficients are updated once per this many frames, as players do.
constexpr int32_t kControlFrames = 64;

double Seconds(int32_t timecents) {
  return std::pow(2.0, std::clamp(timecents, -12000, 8000) / 1200.0);
}

double HertzOfCents(double cents) {
  return 8.176 * std::pow(2.0, cents / 1200.0);
}

// The modulation LFO (-1..1, a triangle starting at 0 and rising). Its delay and rate are
// worked out once per note, since it is read at every frame.
class ModLfo {
 public:
  explicit ModLfo(const ResolvedZone& zone)
      : delay_(Seconds(zone.gen[kGenDelayModLfo])),
        hertz_(HertzOfCents(std::clamp(zone.gen[kGenFreqModLfo], -16000, 4500))) {}

  double At(double t) const {
    if (t < delay_) return 0.0;
    const double phase = std::fmod((t - delay_) * hertz_, 1.0);
    if (phase < 0.25) return 4 * phase;
    if (phase < 0.75) return 2 - 4 * phase;
    return 4 * phase - 4;
  }

 private:
  double delay_;
  double hertz_;
};

}  // namespace

double ModEnvelopeAt(const ResolvedZone& zone, double t) {
  const double delay = Seconds(zone.gen[kGenDelayModEnv]);
  const double attack = Seconds(zone.gen[kGenAttackModEnv]);
  const double hold = Seconds(zone.gen[kGenHoldModEnv]);
  const double decay = Seconds(zone.gen[kGenDecayModEnv]);
  const double sustain = 1.0 - std::clamp(zone.gen[kGenSustainModEnv], 0, 1000) / 1000.0;
  if (t < delay) return 0.0;
  t -= delay;
  if (t < attack) return t / attack;
  t -= attack;
  if (t < hold) return 1.0;
  t -= hold;
  return std::max(sustain, 1.0 - t / decay);
}

double StaticCutoffCents(const ResolvedZone& zone, int32_t velocity) {
  return std::clamp(zone.gen[kGenInitialFilterFc], 1500, 13500) - 2400.0 * (127 - velocity) / 127.0;
}

double HeardCutoffCents(const ResolvedZone& zone, int32_t velocity) {
  double sum = 0;
  int32_t count = 0;
  for (double t = 0.05; t <= 0.9; t += 0.01, ++count)
    sum += ModEnvelopeAt(zone, t);
  const double moved = sum / count * std::clamp(zone.gen[kGenModEnvToFilterFc], -12000, 12000);
  return std::clamp(StaticCutoffCents(zone, velocity) + moved, 1500.0, 13500.0);
}

double FilterQ(const ResolvedZone& zone) {
  return std::max(
      0.5, std::pow(10.0, (std::clamp(zone.gen[kGenInitialFilterQ], 0, 960) / 10.0 - 3.01) / 20.0));
}

double FilterDcGain(const ResolvedZone& zone) {
  return std::pow(10.0, -std::clamp(zone.gen[kGenInitialFilterQ], 0, 960) / 10.0 / 40.0);
}

double SoundFontNotePower(const SoundFont& font, const ResolvedZone& zone,
                          const VoiceOptions& options) {
  const SfSample& sample = font.samples[zone.sampleIndex];
  // Generators are sums of preset and instrument values and may lie far outside their ranges.
  const double cents = std::clamp((options.key - zone.RootKey(sample)) * zone.gen[kGenScaleTuning] +
                                      100.0 * zone.gen[kGenCoarseTune] + zone.gen[kGenFineTune] +
                                      sample.pitchCorrection,
                                  -12000.0, 12000.0);
  const double step =
      static_cast<double>(sample.sampleRate) / kVoiceRate * std::pow(2.0, cents / 1200.0);
  const int64_t start = zone.Start(sample);
  const int64_t end = zone.End(sample);
  const int64_t loopStart = zone.LoopStart(sample);
  const int64_t loopEnd = zone.LoopEnd(sample);
  const bool loops =
      zone.Loops() && start <= loopStart && loopStart + 2 <= loopEnd && loopEnd <= end;
  const auto loopLength = static_cast<double>(loopEnd - loopStart);
  auto frameAt = [&](int64_t offset) {
    int64_t i = start + offset;
    if (loops && i >= loopEnd) i -= loopEnd - loopStart;
    return i < end ? font.Frame(static_cast<uint32_t>(i)) / 32768.0 : 0.0;
  };

  const std::vector<float> gains = options.envelope
                                       ? SoundFontEnvelopeGains(EnvelopeOf(zone), options.frames)
                                       : std::vector<float>(options.frames, 1.0f);
  const double cutoff = StaticCutoffCents(zone, options.velocity);
  const double q = FilterQ(zone);
  const double maxHertz = 0.45 * kVoiceRate;
  const bool moves = zone.gen[kGenModEnvToFilterFc] != 0 || zone.gen[kGenModLfoToFilterFc] != 0;
  const bool filters = options.filter && (moves || HertzOfCents(cutoff) < maxHertz);
  const ModLfo modLfo(zone);
  TwoPoleLowPass filter;
  bool bypass = true;
  double position = 0;
  double power = 0;
  for (int32_t i = 0; i < options.frames; ++i) {
    const double t = static_cast<double>(i) / kVoiceRate;
    const double lfo = modLfo.At(t);
    if (filters && i % kControlFrames == 0) {
      const double hertz =
          HertzOfCents(std::clamp(cutoff + ModEnvelopeAt(zone, t) * zone.gen[kGenModEnvToFilterFc] +
                                      lfo * zone.gen[kGenModLfoToFilterFc],
                                  1500.0, 13500.0));
      bypass = hertz >= maxHertz;
      filter.Set(2 * M_PI * std::clamp(hertz, 5.0, maxHertz) / kVoiceRate, q);
    }
    double x;
    if (!loops && position >= static_cast<double>(end - start - 1)) {
      x = 0.0;
    } else {
      const auto whole = static_cast<int64_t>(position);
      const double frac = position - static_cast<double>(whole);
      x = frameAt(whole) * (1 - frac) + frameAt(whole + 1) * frac;
    }
    position += step;
    const auto loopFrom = static_cast<double>(loopStart - start);
    if (loops && position >= loopFrom + loopLength) {
      position = loopFrom + std::fmod(position - loopFrom, loopLength);
    }
    if (filters) {
      const double y = filter.Run(x);
      if (!bypass) x = y;
    }
    double gain = gains[static_cast<size_t>(i)];
    if (options.envelope && zone.gen[kGenModLfoToVolume] != 0) {
      gain *= std::pow(10.0, -lfo * std::clamp(zone.gen[kGenModLfoToVolume], -960, 960) / 200.0);
    }
    power += x * x * gain * gain;
  }
  power /= std::max(1, options.frames);
  if (options.filter) power *= FilterDcGain(zone) * FilterDcGain(zone);
  if (options.attenuation) {
    const double db = kAttenuationFactor * std::max(0, zone.gen[kGenInitialAttenuation]) / 10.0;
    power *= std::pow(10.0, -db / 10.0);
  }
  return power;
}

}  // namespace velmo
