#include "bankbuilder/wave_maker.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <utility>

namespace velmo {
namespace {

// Input frames of periodic signal kept on each side of the loop that the result uses, so the
// resampling filter's support lies inside the periodic part.
constexpr int64_t kLoopMargin = 512;
// Length of the loop a cut one-shot ends in.
constexpr double kTailLoopSeconds = 0.1;

// Appends the source's frames [from, to), its stereo partner's mixed in.
void AppendFrames(const SoundFont& font, const WaveSource& source, int64_t from, int64_t to,
                  std::vector<float>& frames) {
  for (int64_t i = from; i < to; ++i) {
    int32_t frame = font.Frame(static_cast<uint32_t>(i));
    if (source.partnerOffset != 0)
      frame += font.Frame(static_cast<uint32_t>(i + source.partnerOffset));
    frames.push_back(static_cast<float>(frame) / 32768.0f);
  }
}

// The source's frames [from, to), its stereo partner's mixed in.
std::vector<float> ReadFrames(const SoundFont& font, const WaveSource& source, int64_t from,
                              int64_t to) {
  std::vector<float> frames;
  frames.reserve(static_cast<size_t>(to - from));
  AppendFrames(font, source, from, to, frames);
  return frames;
}

std::vector<float> RunSoxr(std::vector<float> input, double inRate, double outRate,
                           size_t outFrames) {
  if (std::abs(inRate - outRate) < 1e-9 * inRate) {
    input.resize(outFrames, 0.0f);
    return input;
  }
  std::vector<float> output(outFrames);
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
  const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
  soxr_error_t error = nullptr;
  const std::unique_ptr<soxr, decltype(&soxr_delete)> resampler(
      soxr_create(inRate, outRate, 1, &error, &io, &quality, &runtime), &soxr_delete);
  if (error != nullptr) throw std::runtime_error(std::string("resampling failed: ") + error);
  // Fed a piece at a time: given millions of frames at once, the resampler buffers and moves
  // them all, several times slower (the output is the same).
  constexpr size_t kPiece = 65536;
  size_t read = 0;
  size_t done = 0;
  while (done < outFrames) {
    const size_t piece = std::min(kPiece, input.size() - read);
    // The last piece goes in flagged as the end of the input (its length complemented), as a
    // one-shot call does: the resampler then ends the output the same way.
    const bool last = read + piece >= input.size();
    size_t used = 0;
    size_t made = 0;
    error = soxr_process(resampler.get(), input.data() + read, last ? ~piece : piece, &used,
                         output.data() + done, outFrames - done, &made);
    if (error != nullptr) throw std::runtime_error(std::string("resampling failed: ") + error);
    read += used;
    done += made;
    if (read >= input.size() && made == 0) break;
  }
  return output;
}

// Whole loop periods to skip so the loop used lies kLoopMargin frames into the periodic part.
int64_t PeriodsToSkip(const WaveSource& s) {
  const int64_t lead = s.loopStart - s.start;
  const int64_t length = s.loopEnd - s.loopStart;
  return lead >= kLoopMargin ? 0 : (kLoopMargin - lead + length - 1) / length;
}

// Two-pole low-pass (the usual biquad), run over the frames in place.
void LowPass(std::vector<float>& frames, double cutoffHz, double q, double rate) {
  if (cutoffHz <= 0 || cutoffHz >= 0.45 * rate) return;
  const double w = 2 * M_PI * cutoffHz / rate;
  const double alpha = std::sin(w) / (2 * q);
  const double cosw = std::cos(w);
  const double a0 = 1 + alpha;
  const double b0 = (1 - cosw) / 2 / a0, b1 = (1 - cosw) / a0, b2 = b0;
  const double a1 = -2 * cosw / a0, a2 = (1 - alpha) / a0;
  double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  for (float& f : frames) {
    const double x = f;
    const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    f = static_cast<float>(y);
  }
}

// Cuts a one-shot wave to `frames`, fading out over its last fifth.
void CutOneShot(std::vector<float>& wave, size_t frames) {
  wave.resize(frames);
  const size_t fade = std::max<size_t>(1, frames / 5);
  for (size_t i = 0; i < fade; ++i) {
    wave[frames - 1 - i] *= static_cast<float>(i) / static_cast<float>(fade);
  }
}

// Cuts a one-shot wave to `frames` and loops its last stretch (about kTailLoopSeconds of whole
// `cycle`s when the pitch is known), the loop's end crossfaded into the frames before its
// start: the sound carries on at the level it has there and the envelope ends it. Returns the
// loop start.
size_t LoopTail(std::vector<float>& wave, size_t frames, double rate, double cycle) {
  wave.resize(frames);
  auto length = static_cast<size_t>(kTailLoopSeconds * rate);
  if (cycle >= 2) {
    length = static_cast<size_t>(
        std::llround(std::max(1.0, std::round(static_cast<double>(length) / cycle)) * cycle));
  }
  length = std::clamp<size_t>(length, 2, frames / 4);
  const size_t start = frames - length;
  const size_t fade = std::min(length / 2, start);
  for (size_t j = length - fade; j < length; ++j) {
    const float w = static_cast<float>(j - (length - fade) + 1) / static_cast<float>(fade + 1);
    wave[start + j] = (1 - w) * wave[start + j] + w * wave[start + j - length];
  }
  return start;
}

// Replaces a loop too long for the wave by its last `length` frames, the end of the new loop
// crossfaded into the frames before its start so the jump back is seamless. Returns the new
// loop start; the wave ends with the loop.
size_t ShortenLoop(std::vector<float>& wave, size_t loopStart, size_t oldLength, size_t length) {
  const size_t end = loopStart + oldLength;
  const size_t start = end - length;
  const size_t fade = std::min(length / 2, start);
  for (size_t j = length - fade; j < length; ++j) {
    const float w = static_cast<float>(j - (length - fade) + 1) / static_cast<float>(fade);
    wave[start + j] = (1 - w) * wave[start + j] + w * wave[start + j - length];
  }
  wave.resize(end);
  return start;
}

// Moves a loop [loopStart, loopStart + length) forward so the wave ends after `frames`:
// the loop's content starts at frames - length, reached from the sound's start through a
// crossfade, so the wave stays periodic from the new loop start on.
void CutLooped(std::vector<float>& wave, size_t loopStart, size_t length, size_t frames) {
  const size_t newStart = frames - length;
  const size_t fade = std::min(newStart, std::clamp<size_t>(length, 256, 2048));
  const size_t fadeStart = newStart - fade;
  // The loop enters at the phase that best matches the sound where the crossfade begins, so
  // the crossfade does not bend the pitch; it carries on at that point's level (at most 12 dB
  // up or down).
  auto loopAt = [&](size_t shift, size_t j) {
    return wave[loopStart + (j + shift + length - fadeStart % length) % length];
  };
  size_t bestShift = 0;
  double bestScore = -1e300;
  const size_t probe = std::min<size_t>(fade, 512);
  for (size_t shift = 0; shift < length; ++shift) {
    double score = 0;
    for (size_t j = 0; j < probe; j += 2)
      score += double(wave[fadeStart + j]) * loopAt(shift, fadeStart + j);
    if (score > bestScore) {
      bestScore = score;
      bestShift = shift;
    }
  }
  auto rms = [](auto&& value, size_t count) {
    double sum = 0;
    for (size_t i = 0; i < count; ++i)
      sum += double(value(i)) * value(i);
    return std::sqrt(sum / static_cast<double>(std::max<size_t>(count, 1)));
  };
  const size_t window = std::min(fade, length);
  const double loopRms = rms([&](size_t i) { return wave[loopStart + i]; }, length);
  const double hereRms = rms([&](size_t i) { return wave[fadeStart + i]; }, window);
  const auto gain =
      static_cast<float>(loopRms > 0 ? std::clamp(hereRms / loopRms, 0.25, 4.0) : 1.0);
  std::vector<float> out(frames);
  for (size_t j = 0; j < frames; ++j) {
    const float loopValue = gain * loopAt(bestShift, j);
    if (j >= newStart) {
      out[j] = loopValue;
    } else if (j >= fadeStart) {
      const float w = static_cast<float>(newStart - j) / static_cast<float>(fade);
      out[j] = w * wave[j] + (1 - w) * loopValue;
    } else {
      out[j] = wave[j];
    }
  }
  wave = std::move(out);
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
                       int64_t maxFrames, double pitchHz, OneShotCut cut) {
  const double inRate = font.samples[source.sampleIndex].sampleRate;
  ResampledWave wave;
  if (!source.HasUsableLoop()) {
    const int64_t inFrames = source.end - source.start;
    const double ratio = rate / inRate;
    const int64_t fullFrames = std::max<int64_t>(4, std::llround(std::floor(inFrames * ratio)));
    std::vector<float> input = ReadFrames(font, source, source.start, source.end);
    LowPass(input, source.filterHz, source.filterQ, inRate);
    wave.frames = RunSoxr(std::move(input), inRate, inRate * ratio,
                          static_cast<size_t>(std::min(fullFrames, maxFrames)));
    wave.rate = inRate * ratio;
    wave.loopStart = 0;
    wave.loops = false;
    if (fullFrames > maxFrames && cut == OneShotCut::kLoopTail && maxFrames >= 8) {
      wave.loopStart =
          static_cast<uint32_t>(LoopTail(wave.frames, static_cast<size_t>(maxFrames), wave.rate,
                                         pitchHz > 0 ? wave.rate / pitchHz : 0.0));
      wave.loops = true;
    } else if (fullFrames > maxFrames) {
      CutOneShot(wave.frames, static_cast<size_t>(maxFrames));
    }
    wave.loopEnd = static_cast<uint32_t>(wave.frames.size() - 1);
    wave.peak = PeakOf(wave.frames);
    return wave;
  }

  const int64_t length = source.loopEnd - source.loopStart;
  const int64_t skip = PeriodsToSkip(source);
  const int64_t lead = source.loopStart - source.start + skip * length;
  // The loop's length in the result is a whole number of frames.
  const int64_t outLength = std::max<int64_t>(2, std::llround(length * rate / inRate));
  const double ratio = static_cast<double>(outLength) / length;
  const auto outLoopStart = static_cast<int64_t>(std::ceil(lead * ratio - 1e-9));
  // The sample up to its loop end, then enough further periods for the filter's tail, read
  // into one allocation (a loop may be millions of frames long).
  const int64_t periodsAfter = skip + 1 + (2 * kLoopMargin + length - 1) / length;
  std::vector<float> input;
  input.reserve(static_cast<size_t>(source.loopEnd - source.start + periodsAfter * length));
  AppendFrames(font, source, source.start, source.loopEnd, input);
  const auto loopAt = static_cast<size_t>(source.loopStart - source.start);
  for (int64_t p = 0; p < periodsAfter; ++p) {
    const size_t at = input.size();
    input.resize(at + static_cast<size_t>(length));
    std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(loopAt), length,
                input.begin() + static_cast<std::ptrdiff_t>(at));
  }
  LowPass(input, source.filterHz, source.filterQ, inRate);
  const auto fullFrames = static_cast<size_t>(outLoopStart + outLength);
  const auto available = static_cast<size_t>(std::floor(input.size() * ratio));
  std::vector<float> frames =
      RunSoxr(std::move(input), inRate, inRate * ratio, std::min(available, fullFrames + 64));
  frames.resize(fullFrames, 0.0f);
  size_t loopStart = static_cast<size_t>(outLoopStart);
  auto loopLength = static_cast<size_t>(outLength);
  auto longestLoop = static_cast<size_t>(maxFrames / 2);
  if (loopLength > longestLoop) {
    const double cycle = pitchHz > 0 ? inRate * ratio / pitchHz : 0.0;
    if (cycle >= 2 && cycle < static_cast<double>(longestLoop)) {
      longestLoop = static_cast<size_t>(
          std::llround(std::floor(static_cast<double>(longestLoop) / cycle) * cycle));
    }
    loopStart = ShortenLoop(frames, loopStart, loopLength, longestLoop);
    loopLength = longestLoop;
  }
  if (frames.size() > static_cast<size_t>(maxFrames)) {
    CutLooped(frames, loopStart, loopLength, static_cast<size_t>(maxFrames));
    loopStart = static_cast<size_t>(maxFrames) - loopLength;
  }
  wave.frames = std::move(frames);
  wave.rate = inRate * ratio;
  wave.loopStart = static_cast<uint32_t>(loopStart);
  wave.loopEnd = static_cast<uint32_t>(loopStart + loopLength - 1);
  wave.loops = true;
  wave.peak = PeakOf(wave.frames);
  return wave;
}

TriangularDither::TriangularDither(uint32_t seed) : state_(seed * 2654435761u + 0x9E3779B9u) {
  if (state_ == 0) state_ = 1;
}

double TriangularDither::Uniform() {
  state_ ^= state_ << 13;
  state_ ^= state_ >> 17;
  state_ ^= state_ << 5;
  return static_cast<double>(state_) / 4294967296.0;
}

std::vector<int8_t> Quantize(const ResampledWave& wave, double scale, uint32_t seed) {
  TriangularDither dither(seed);
  const double gain = wave.peak > 0 ? scale * 126.0 / wave.peak : 0.0;
  std::vector<int8_t> pcm;
  pcm.reserve(wave.frames.size());
  for (const float f : wave.frames) {
    const double noise = dither.Next();
    const long value = std::lround(f * gain + noise);
    pcm.push_back(static_cast<int8_t>(std::clamp<long>(value, -128, 127)));
  }
  return pcm;
}

}  // namespace velmo
