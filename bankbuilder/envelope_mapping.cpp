#include "bankbuilder/envelope_mapping.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "bankbuilder/playback_model.h"

namespace velmo {
namespace {

constexpr double kTickSeconds =
    static_cast<double>(playback::kEnvTickFrames) / playback::kOutputRate;
// Below this attenuation a note counts as silent: levels are rounded to 0 there.
constexpr double kSilenceDb = 48.0;
// How long a note is held when its release is fitted.
constexpr double kTypicalNoteSeconds = 1.0;
// Release rates are fitted to the fall over this long after key-off, at least this many dB.
constexpr double kHeardReleaseSeconds = 1.0;
constexpr double kMinReleaseFitDb = 12.0;

double Timecents(int32_t value) {
  return std::pow(2.0, std::clamp(value, -12000, 8000) / 1200.0);
}

// Envelope units (0..32512) of an attenuation in dB; 0 below the silence threshold.
int32_t LevelOfDb(double db) {
  if (db >= kSilenceDb) return 0;
  return std::clamp(static_cast<int32_t>(std::lround(127.0 * std::pow(10.0, -db / 20.0))), 0, 127);
}

int32_t Ticks(int32_t from, int32_t to, int32_t index) {
  const int32_t delta = playback::EnvRate(index);
  if (to > from) return playback::RiseTicks(from, to, delta);
  // Falling segments are cached: the same few level pairs recur for every instrument.
  static std::map<std::pair<int32_t, int32_t>, std::array<int32_t, 128>> cache;
  auto [it, fresh] = cache.try_emplace({from, to});
  if (fresh) {
    for (int32_t i = 0; i < 128; ++i) {
      it->second[static_cast<size_t>(i)] = playback::FallTicks(from, to, playback::EnvRate(i));
    }
  }
  return it->second[static_cast<size_t>(index)];
}

int8_t KeyScaleSelector(int32_t timecentsPerKey) {
  // The rate index moves by F/12 per key and doubles every 8 steps: F = 0.08 x timecents.
  const double factor = 0.08 * timecentsPerKey;
  static constexpr std::array<int32_t, 4> kFactors = {0, 2, 4, 8};
  int8_t best = 0;
  for (int8_t i = 1; i < 4; ++i) {
    if (std::abs(kFactors[static_cast<size_t>(i)] - factor) <
        std::abs(kFactors[static_cast<size_t>(best)] - factor)) {
      best = i;
    }
  }
  return best;
}

}  // namespace

SfEnvelope EnvelopeOf(const ResolvedZone& zone) {
  SfEnvelope e;
  e.attack = Timecents(zone.gen[kGenAttackVolEnv]);
  e.hold = Timecents(zone.gen[kGenHoldVolEnv]);
  e.decay = Timecents(zone.gen[kGenDecayVolEnv]);
  e.sustainDb = std::clamp(zone.gen[kGenSustainVolEnv], 0, 1000) * 0.096;
  e.release = Timecents(zone.gen[kGenReleaseVolEnv]);
  e.keynumToDecay = zone.gen[kGenKeynumToVolEnvDecay];
  return e;
}

double SegmentSeconds(int32_t from, int32_t to, int32_t index) {
  return Ticks(from, to, index) * kTickSeconds;
}

int32_t FitRateIndex(int32_t from, int32_t to, double seconds) {
  const double wanted = std::max(seconds, kTickSeconds * 0.5);
  int32_t best = 127;
  double bestError = 1e300;
  for (int32_t index = 127; index >= 0; --index) {
    const int32_t ticks = Ticks(from, to, index);
    if (ticks <= 0 || ticks == INT32_MAX) continue;
    const double error = std::abs(std::log(ticks * kTickSeconds / wanted));
    if (error < bestError) {
      bestError = error;
      best = index;
    }
  }
  return best;
}

void MapEnvelope(const SfEnvelope& e, double loopWaitSeconds, ImageInstrument& record) {
  const int32_t full = playback::kEnvFullScale;
  const int32_t sustainLevel = LevelOfDb(e.sustainDb);
  // The decay audibly ends at the sustain level or at the silence threshold.
  const double decayEndDb = std::min(e.sustainDb, kSilenceDb);
  const double decayEnd = e.hold + e.decay * decayEndDb / 96.0;
  auto dbAt = [&](double t) { return t <= e.hold ? 0.0 : 96.0 * (t - e.hold) / e.decay; };

  // Three falling segments: the first lasts through the loop wait (or a third of the decay),
  // the other two split the rest, so the fall keeps close to the SoundFont's dB-linear shape.
  const double t1 = std::min(decayEnd, std::max(loopWaitSeconds, e.hold + (decayEnd - e.hold) / 3));
  const double t2 = t1 + (decayEnd - t1) / 2;
  const std::array<double, 4> times = {0.0, t1, t2, decayEnd};
  std::array<int32_t, 4> levels = {127, LevelOfDb(dbAt(t1)), LevelOfDb(dbAt(t2)), sustainLevel};
  if (decayEnd <= t1) levels[1] = levels[2] = sustainLevel;

  record.envRate[0] = static_cast<int8_t>(FitRateIndex(0, full, e.attack));
  record.envLevel[0] = 127;
  for (size_t k = 1; k <= 3; ++k) {
    const int32_t from = levels[k - 1] * 256;
    const int32_t to = levels[k] * 256;
    const double seconds = times[k] - times[k - 1];
    record.envRate[k] = static_cast<int8_t>(from == to ? 127 : FitRateIndex(from, to, seconds));
    record.envLevel[k] = static_cast<int8_t>(levels[k]);
  }
  // Release to the silence threshold from where a note held for a second stands (or from full
  // level when the note decays to silence). The engine's fall slows as the level drops, so a
  // rate fitted from a low sustain level would be far too slow from the level most notes are
  // released at.
  const double releaseFromDb =
      sustainLevel > 0 ? std::min(e.sustainDb, dbAt(kTypicalNoteSeconds)) : 0.0;
  const int32_t releaseFrom =
      sustainLevel > 0 ? std::max(sustainLevel, LevelOfDb(releaseFromDb)) * 256 : full;
  // The rate is fitted to what the release falls in its first second (at least 12 dB), the part
  // heard most: the engine's fall is slow in decibels at first and fast near silence, so a rate
  // fitted to the whole of a long fall would leave a released note ringing far too long.
  const double fitDb = std::min(std::max(kMinReleaseFitDb, 96.0 * kHeardReleaseSeconds / e.release),
                                kSilenceDb - releaseFromDb);
  const int32_t releaseTo =
      releaseFromDb + fitDb < kSilenceDb ? LevelOfDb(releaseFromDb + fitDb) * 256 : 0;
  const double releaseSeconds = e.release * std::max(0.0, fitDb) / 96.0;
  record.envRate[4] = static_cast<int8_t>(FitRateIndex(releaseFrom, releaseTo, releaseSeconds));
  record.envLevel[4] = 0;
  record.envRate[5] = 127;
  record.envLevel[5] = 0;
  const int8_t keyScale = KeyScaleSelector(e.keynumToDecay);
  record.envRateKeyScale = {0, keyScale, keyScale, keyScale, 0, 0};
  // Sustained notes hold until key-off; notes that decay to silence release at once.
  record.envMode = sustainLevel > 0 ? 1 : 0;
}

void FitRateKeyScaling(const SfEnvelope& reference, const std::vector<KeyEnvelope>& keys,
                       ImageInstrument& record) {
  if (keys.empty()) return;
  // Seconds of the decay at `key` (keynumToVolEnvDecay counts from key 60).
  auto decayAt = [](const SfEnvelope& e, int32_t key) {
    return e.decay * std::pow(2.0, e.keynumToDecay * (60 - key) / 1200.0);
  };
  auto octaves = [](double ratio) { return std::log2(std::clamp(ratio, 1.0 / 64, 64.0)); };
  static constexpr std::array<int32_t, 4> kFactors = {0, 2, 4, 8};
  auto best = [&](auto wanted) {
    int8_t selector = 0;
    double least = 1e300;
    for (int8_t s = 0; s < 4; ++s) {
      double error = 0;
      for (const KeyEnvelope& k : keys) {
        const std::optional<double> want = wanted(k);
        if (!want) continue;
        // The rate index moves by F x (key - 60) / 12 (truncated) and doubles every 8 steps.
        const double engine = -((k.key - 60) * kFactors[static_cast<size_t>(s)] / 12) / 8.0;
        error += (*want - engine) * (*want - engine);
      }
      if (error < least - 1e-9) {
        least = error;
        selector = s;
      }
    }
    return selector;
  };
  const int8_t decay = best([&](const KeyEnvelope& k) -> std::optional<double> {
    if (std::max(reference.sustainDb, k.envelope.sustainDb) < 1.0) return std::nullopt;
    return octaves(decayAt(k.envelope, k.key) / reference.decay);
  });
  const int8_t release = best([&](const KeyEnvelope& k) -> std::optional<double> {
    return octaves(k.envelope.release / reference.release);
  });
  record.envRateKeyScale = {0, decay, decay, decay, release, 0};
}

void MapLfo(const ResolvedZone& zone, ImageInstrument& record) {
  auto hertz = [](int32_t cents) {
    return 8.176 * std::pow(2.0, std::clamp(cents, -16000, 4500) / 1200.0);
  };
  int32_t pitchCents = std::abs(zone.gen[kGenVibLfoToPitch]);
  double frequency = hertz(zone.gen[kGenFreqVibLfo]);
  if (pitchCents == 0) {
    pitchCents = std::abs(zone.gen[kGenModLfoToPitch]);
    frequency = hertz(zone.gen[kGenFreqModLfo]);
  }
  const int32_t volumeCb = std::abs(zone.gen[kGenModLfoToVolume]);
  if (pitchCents == 0 && volumeCb != 0) frequency = hertz(zone.gen[kGenFreqModLfo]);
  record.vibratoDepth = 0;
  if (pitchCents != 0) {
    // Peak vibrato in cents is 127 x ((d x 101) >> 7) / 256.
    int32_t best = 0;
    for (int32_t d = 0; d <= 127; ++d) {
      const double cents = 127.0 * ((d * 101) >> 7) / 256.0;
      if (std::abs(cents - pitchCents) <
          std::abs(127.0 * ((best * 101) >> 7) / 256.0 - pitchCents)) {
        best = d;
      }
    }
    record.vibratoDepth = static_cast<int8_t>(best);
  }
  // Tremolo changes the gain by 127 x depth / 65536 at the LFO's peaks.
  const double swing = std::pow(10.0, volumeCb / 200.0) - 1.0;
  record.tremoloDepth =
      static_cast<int8_t>(std::clamp<long>(std::lround(swing * 65536.0 / 127.0), 0, 127));
  // The LFO advances lfoRate / 512 of a period per rendered block.
  const double perBlock = 512.0 * playback::kFramesPerBlock / playback::kOutputRate;
  record.lfoRate = static_cast<int8_t>(std::clamp<long>(std::lround(frequency * perBlock), 1, 127));
}

}  // namespace velmo

namespace velmo {

std::vector<float> EngineEnvelopeGains(const ImageInstrument& record, int32_t key, int32_t frames,
                                       int32_t loopFrame) {
  static constexpr std::array<int32_t, 4> kKeyScaleFactors = {0, 2, 4, 8};
  static constexpr std::array<int32_t, 8> kDecayShift = {3, 2, 1, 1, 0, 0, 0, 0};
  int32_t stage = -1, amp = 0, target = 0, delta = 0, direction = 0;
  bool advance = true;
  const int32_t mode = record.envMode % 3;
  auto enterSegment = [&](size_t k) {
    const int32_t factor = kKeyScaleFactors[static_cast<size_t>(record.envRateKeyScale[k] & 3)];
    const int32_t index = std::clamp((key - 60) * factor / 12 + record.envRate[k], 0, 127);
    delta = playback::EnvRate(index);
    target = record.envLevel[k] * 256;
    direction = target > amp ? 1 : -1;
  };
  std::vector<float> gains(static_cast<size_t>(frames));
  for (int32_t frame = 0; frame < frames; ++frame) {
    if (frame % playback::kEnvTickFrames == 0) {
      const bool loopReached = frame >= loopFrame;
      if (stage == 2 && loopReached) advance = true;
      if (advance) {
        advance = false;
        ++stage;
        if (stage == 0) {
          amp = 0;
          enterSegment(0);
          direction = 1;
        } else if (stage == 1) {
          enterSegment(1);
        } else if (stage == 2) {
          if (loopReached) {
            stage = 3;
            enterSegment(2);
          } else {
            direction = 0;
          }
        } else if (stage == 3 || stage == 4) {
          enterSegment(static_cast<size_t>(stage - 1));
        } else if (stage == 5) {
          if (mode == 1) {
            direction = 0;
          } else {
            stage = 6;
            enterSegment(4);
          }
        } else if (stage == 6) {
          enterSegment(4);
        } else if (stage == 7) {
          delta = playback::EnvRate(100);
          target = record.envLevel[5] * 256;
          direction = -1;
        } else {
          stage = 8;
          direction = 0;
        }
      }
      if (direction < 0) {
        amp -= (delta >> kDecayShift[static_cast<size_t>((amp >> 12) & 7)]) + 1;
        if (amp < target) {
          amp = target;
          advance = true;
        }
      } else if (direction > 0) {
        amp += delta;
        if (amp > target) {
          amp = target;
          advance = true;
        }
      }
    }
    gains[static_cast<size_t>(frame)] =
        stage >= 8 ? 0.0f : static_cast<float>(amp) / playback::kEnvFullScale;
  }
  return gains;
}

std::vector<float> SoundFontEnvelopeGains(const SfEnvelope& e, int32_t frames) {
  std::vector<float> gains(static_cast<size_t>(frames));
  for (int32_t frame = 0; frame < frames; ++frame) {
    const double t = static_cast<double>(frame) / playback::kOutputRate;
    double gain;
    if (t < e.attack) {
      gain = t / e.attack;
    } else if (t < e.attack + e.hold) {
      gain = 1.0;
    } else {
      const double db = std::min(e.sustainDb, 96.0 * (t - e.attack - e.hold) / e.decay);
      gain = std::pow(10.0, -db / 20.0);
    }
    gains[static_cast<size_t>(frame)] = static_cast<float>(gain);
  }
  return gains;
}

}  // namespace velmo
