#include "tools/velmo-bank/wave_maker.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace velmo {
namespace {

// Input frames of periodic signal kept on each side of the loop that the result uses, so the
// resampling filter's support lies inside the periodic part.
constexpr int64_t kLoopMargin = 512;

std::vector<float> ReadFrames(const SoundFont& font, int64_t from, int64_t to) {
  std::vector<float> frames;
  frames.reserve(static_cast<size_t>(to - from));
  for (int64_t i = from; i < to; ++i) {
    frames.push_back(font.Frame(static_cast<uint32_t>(i)) / 32768.0f);
  }
  return frames;
}

std::vector<float> RunSoxr(const std::vector<float>& input, double inRate, double outRate,
                           size_t outFrames) {
  std::vector<float> output(outFrames);
  if (std::abs(inRate - outRate) < 1e-9 * inRate) {
    std::copy_n(input.begin(), std::min(input.size(), outFrames), output.begin());
    return output;
  }
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
  const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
  size_t done = 0;
  const soxr_error_t error = soxr_oneshot(inRate, outRate, 1, input.data(), input.size(), nullptr,
                                          output.data(), outFrames, &done, &io, &quality, &runtime);
  if (error != nullptr) throw std::runtime_error(std::string("resampling failed: ") + error);
  output.resize(std::max(done, size_t{0}));
  output.resize(outFrames, 0.0f);
  return output;
}

// Whole loop periods to skip so the loop used lies kLoopMargin frames into the periodic part.
int64_t PeriodsToSkip(const WaveSource& s) {
  const int64_t lead = s.loopStart - s.start;
  const int64_t length = s.loopEnd - s.loopStart;
  return lead >= kLoopMargin ? 0 : (kLoopMargin - lead + length - 1) / length;
}

float PeakOf(const std::vector<float>& frames) {
  float peak = 0;
  for (const float f : frames)
    peak = std::max(peak, std::abs(f));
  return peak;
}

}  // namespace

int64_t EstimateFrames(const SoundFont& font, const WaveSource& source, double rate) {
  const double ratio = rate / font.samples[source.sampleIndex].sampleRate;
  if (!source.HasUsableLoop()) {
    return static_cast<int64_t>(std::ceil((source.end - source.start) * ratio));
  }
  const int64_t length = source.loopEnd - source.loopStart;
  const int64_t inFrames = source.loopEnd - source.start + PeriodsToSkip(source) * length;
  return static_cast<int64_t>(std::ceil(inFrames * ratio)) + 1;
}

ResampledWave Resample(const SoundFont& font, const WaveSource& source, double rate,
                       int64_t maxFrames) {
  const double inRate = font.samples[source.sampleIndex].sampleRate;
  ResampledWave wave;
  if (!source.HasUsableLoop()) {
    const int64_t inFrames = source.end - source.start;
    double ratio = std::min(rate / inRate, static_cast<double>(maxFrames) / inFrames);
    const auto outFrames = std::max<int64_t>(
        4, std::min<int64_t>(maxFrames, std::llround(std::floor(inFrames * ratio))));
    ratio = static_cast<double>(outFrames) / inFrames;
    wave.frames = RunSoxr(ReadFrames(font, source.start, source.end), inRate, inRate * ratio,
                          static_cast<size_t>(outFrames));
    wave.rate = inRate * ratio;
    wave.loopStart = 0;
    wave.loopEnd = static_cast<uint32_t>(outFrames - 1);
    wave.loops = false;
    wave.peak = PeakOf(wave.frames);
    return wave;
  }

  const int64_t length = source.loopEnd - source.loopStart;
  const int64_t skip = PeriodsToSkip(source);
  const int64_t lead = source.loopStart - source.start + skip * length;
  double wanted = rate;
  int64_t outLength = 0;
  int64_t outLoopStart = 0;
  double ratio = 0;
  for (int attempt = 0; attempt < 64; ++attempt) {
    outLength = std::max<int64_t>(2, std::llround(length * wanted / inRate));
    ratio = static_cast<double>(outLength) / length;
    outLoopStart = static_cast<int64_t>(std::ceil(lead * ratio - 1e-9));
    if (outLoopStart + outLength <= maxFrames || outLength <= 2) break;
    wanted *= 0.98 * static_cast<double>(maxFrames) / static_cast<double>(outLoopStart + outLength);
  }
  if (outLoopStart + outLength > maxFrames) {
    throw std::runtime_error("sample '" + font.samples[source.sampleIndex].name +
                             "' cannot fit a wave block");
  }
  // The sample up to its loop end, then enough further periods for the filter's tail.
  std::vector<float> input = ReadFrames(font, source.start, source.loopEnd);
  const std::vector<float> loop = ReadFrames(font, source.loopStart, source.loopEnd);
  const int64_t periodsAfter = skip + 1 + (2 * kLoopMargin + length - 1) / length;
  for (int64_t p = 0; p < periodsAfter; ++p)
    input.insert(input.end(), loop.begin(), loop.end());
  const auto totalOut = static_cast<size_t>(outLoopStart + outLength);
  const size_t available = static_cast<size_t>(std::floor(input.size() * ratio));
  std::vector<float> frames =
      RunSoxr(input, inRate, inRate * ratio, std::min(available, totalOut + 64));
  frames.resize(totalOut, 0.0f);
  wave.frames = std::move(frames);
  wave.rate = inRate * ratio;
  wave.loopStart = static_cast<uint32_t>(outLoopStart);
  wave.loopEnd = static_cast<uint32_t>(outLoopStart + outLength - 1);
  wave.loops = true;
  wave.peak = PeakOf(wave.frames);
  return wave;
}

std::vector<int8_t> Quantize(const ResampledWave& wave, double scale, uint32_t seed) {
  uint32_t state = seed * 2654435761u + 0x9E3779B9u;
  if (state == 0) state = 1;
  auto uniform = [&state]() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return static_cast<double>(state) / 4294967296.0;
  };
  const double gain = wave.peak > 0 ? scale * 126.0 / wave.peak : 0.0;
  std::vector<int8_t> pcm;
  pcm.reserve(wave.frames.size());
  for (const float f : wave.frames) {
    const double dither = uniform() - uniform();
    const long value = std::lround(f * gain + dither);
    pcm.push_back(static_cast<int8_t>(std::clamp<long>(value, -128, 127)));
  }
  return pcm;
}

}  // namespace velmo
