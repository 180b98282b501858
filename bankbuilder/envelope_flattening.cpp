#include "bankbuilder/envelope_flattening.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "bankbuilder/envelope_mapping.h"
#include "bankbuilder/playback_model.h"

namespace velmo {
namespace {

// Output frames per step of the wave's smoothed envelope (10 ms).
constexpr int32_t kWindowFrames = playback::kOutputRate / 100;
// A decay shallower than this is left in the wave.
constexpr double kMinDecayDb = 6.0;
// The envelope's lowest level above silence.
constexpr double kLowestLevelDb = 42.0;
// The fastest decay moved into the envelope.
constexpr double kMaxFallDbPerSecond = 100.0;
// The longest a flattened wave may play: one minute.
constexpr double kMaxPlayedFrames = 60.0 * playback::kOutputRate;

// The wave's level (its peak in 10 ms windows, relative to the loudest) per output frame, never
// rising after its peak: what the sound falls by as it plays.
// `smooth`: linear between window centres (no steps); otherwise each window's own peak, which no
// frame in it exceeds.
std::vector<double> DecayDb(const std::vector<float>& frames, double step, int32_t outFrames,
                            bool smooth) {
  const int32_t windows = (outFrames + kWindowFrames - 1) / kWindowFrames;
  std::vector<double> power(static_cast<size_t>(windows), 0.0);
  for (int32_t w = 0; w < windows; ++w) {
    // Every wave frame the window plays, so no peak is skipped when the step exceeds 1.
    // Worked out in floating point and clamped to the wave first: a step far above one frame
    // per frame would not fit an index.
    const double size = static_cast<double>(frames.size());
    const auto first = static_cast<size_t>(std::min(size, w * kWindowFrames * step));
    const auto last = static_cast<size_t>(std::min(size, (w + 1) * kWindowFrames * step));
    double peak = 0;
    for (size_t n = first; n < last; ++n)
      peak = std::max(peak, std::abs(double(frames[n])));
    power[static_cast<size_t>(w)] = peak * peak;
  }
  const auto loudest = std::max_element(power.begin(), power.end());
  if (*loudest <= 0) return {};
  // From the end backwards: the level at a window is the loudest of what follows it.
  double held = 0;
  for (auto it = power.end(); it != loudest;) {
    --it;
    held = std::max(held, *it);
    *it = held;
  }
  std::fill(power.begin(), loudest, *loudest);
  std::vector<double> db(static_cast<size_t>(outFrames));
  for (int32_t i = 0; i < outFrames; ++i) {
    const double x = smooth ? std::clamp((i + 0.5) / kWindowFrames - 0.5, 0.0, windows - 1.0)
                            : static_cast<double>(i / kWindowFrames);
    const auto w = static_cast<size_t>(x);
    const size_t next = std::min(w + 1, power.size() - 1);
    const double p = power[w] + (x - static_cast<double>(w)) * (power[next] - power[w]);
    db[static_cast<size_t>(i)] = -10.0 * std::log10(std::max(p / *loudest, 1e-12));
  }
  return db;
}

double Db(float gain) {
  return gain > 0 ? -20.0 * std::log10(gain) : 200.0;
}

}  // namespace

std::vector<float> FlattenDecay(const std::vector<float>& frames, double step, int32_t key,
                                double minGain, ImageInstrument& record) {
  if (frames.empty() || !std::isfinite(step) || step <= 0) return {};
  // A wave that plays longer than this at its step is left as it is: the envelope tables
  // worked out per played frame would take gigabytes for a step near zero.
  const double played = std::ceil(static_cast<double>(frames.size()) / step);
  if (played > kMaxPlayedFrames) return {};
  const auto outFrames = static_cast<int32_t>(played);
  const std::vector<double> decay = DecayDb(frames, step, outFrames, true);
  if (decay.empty() || decay.back() < kMinDecayDb) return {};
  const std::vector<float> before = EngineEnvelopeGains(record, key, outFrames, 0);

  // The wanted envelope: the old one times the wave's decay, as attenuation in dB.
  std::vector<double> wanted(static_cast<size_t>(outFrames));
  for (size_t i = 0; i < wanted.size(); ++i)
    wanted[i] = Db(before[i]) + decay[i];
  // The decay starts where the old envelope has risen to its top.
  const auto top =
      static_cast<size_t>(std::max_element(before.begin(), before.end()) - before.begin());
  const double endDb = std::min(kLowestLevelDb, wanted.back());
  // Breakpoints where the wanted envelope has fallen by a third and two thirds of endDb, and
  // the wave's end: the envelope must not release before the wave has played out.
  std::array<size_t, 4> at = {top, top, top, wanted.size() - 1};
  for (size_t k = 1; k <= 2; ++k) {
    const double target = Db(before[top]) + (endDb - Db(before[top])) * static_cast<double>(k) / 3;
    size_t i = at[k - 1];
    while (i + 1 < wanted.size() && wanted[i] < target)
      ++i;
    at[k] = i;
  }
  if (at[3] <= top) return {};
  // The engine's envelope moves in steps (one every tick); a fast fall moved into it makes
  // those steps heard as a buzz, so only slow decays are flattened.
  const double fallSeconds = static_cast<double>(at[2] - top) / playback::kOutputRate;
  if ((wanted[at[2]] - wanted[top]) > kMaxFallDbPerSecond * fallSeconds) return {};
  ImageInstrument fitted = record;
  int32_t from = record.envLevel[0] * 256;
  for (size_t k = 1; k <= 3; ++k) {
    const double db = wanted[at[k]];
    const auto level = static_cast<int32_t>(
        std::clamp<long>(std::lround(127.0 * std::pow(10.0, -db / 20.0)), 1, 127));
    const int32_t to = level * 256;
    const double seconds = static_cast<double>(at[k] - at[k - 1]) / playback::kOutputRate;
    fitted.envRate[k] = static_cast<int8_t>(from == to ? 127 : FitRateIndex(from, to, seconds));
    fitted.envLevel[k] = static_cast<int8_t>(level);
    from = to;
  }
  const std::vector<float> after = EngineEnvelopeGains(fitted, key, outFrames, 0);

  const std::vector<double> ceiling = DecayDb(frames, step, outFrames, false);
  std::vector<float> gains(frames.size(), 1.0f);
  for (size_t n = 0; n < frames.size(); ++n) {
    const auto i = std::min(static_cast<size_t>(static_cast<double>(n) / step), before.size() - 1);
    const double ratio = before[i] > 0 ? double(after[i]) / before[i] : 1.0;
    // Never lifted above its own level: where the envelope mutes a ringing wave, the ratio
    // says nothing about the wave.
    const double floor = std::max(minGain, std::pow(10.0, -ceiling[i] / 20.0));
    gains[n] = static_cast<float>(std::clamp(ratio, std::min(floor, 1.0), 1.0));
  }
  record = fitted;
  return gains;
}

}  // namespace velmo
