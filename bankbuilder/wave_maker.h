// Turns SoundFont samples into the bank's waves: resampled with libsoxr so that loops map to
// a whole number of frames, then normalised to the 8-bit range with deterministic dither.
#pragma once

#include <cstdint>
#include <vector>

#include "bankbuilder/soundfont.h"

namespace velmo {

// The part of the sample pool one wave is made from (frames of the pool).
struct WaveSource {
  uint16_t sampleIndex = 0;
  int64_t start = 0;
  int64_t end = 0;  // exclusive
  int64_t loopStart = 0;
  int64_t loopEnd = 0;  // exclusive, as in the SoundFont
  bool loops = false;
  // Pool frames from the source to its stereo partner, which is mixed in frame by frame (the
  // partner has the same length and loop); 0 = none.
  int64_t partnerOffset = 0;
  // Low-pass filter baked into the wave (the SoundFont's static filter), as a cutoff in
  // source frequency (Hz at the sample's own rate) and a Q; cutoff 0 = none.
  double filterHz = 0;
  double filterQ = 0;
  // Non-zero: the wave is a rendered note, distinct from every other source.
  int32_t renderId = 0;

  bool HasUsableLoop() const {
    return loops && start <= loopStart && loopStart + 2 <= loopEnd && loopEnd <= end;
  }
  auto operator<=>(const WaveSource&) const = default;
};

struct ResampledWave {
  std::vector<float> frames;  // full scale = 1.0
  double rate = 0;            // frames per second after resampling
  uint32_t loopStart = 0;
  uint32_t loopEnd = 0;  // inclusive
  bool loops = false;
  float peak = 0;
};

// Frames the wave will have when resampled to `rate` (an estimate for budgeting: loops near the
// start get extra whole periods).
int64_t EstimateFrames(const SoundFont& font, const WaveSource& source, double rate);

// How a one-shot wave longer than its frames ends: faded out over its last fifth, or looping
// its last 0.1 s (crossfaded) so it sounds on until the instrument's envelope ends it.
enum class OneShotCut { kFade, kLoopTail };

// Resamples the source to about `rate` frames per second. For a looped source the rate is
// adjusted so the loop length becomes a whole number of frames; the loop is then periodic in
// the result (the loop start may move by whole periods away from the start so the resampling
// filter sees the periodic signal on both sides). A result longer than `maxFrames` is cut:
// a one-shot wave as `cut` says; a looped wave keeps its loop whole and moves it forward,
// crossfading the start of the sound into it.
// `pitchHz` is the sample's fundamental at its own rate (0 if unknown): a loop that has to be
// shortened, or a cut one-shot's tail loop, keeps a whole number of its cycles.
ResampledWave Resample(const SoundFont& font, const WaveSource& source, double rate,
                       int64_t maxFrames, double pitchHz = 0, OneShotCut cut = OneShotCut::kFade);

// Triangular dither of +-1 step from a fixed-seed xorshift generator, so the same input always
// gives the same bytes.
class TriangularDither {
 public:
  explicit TriangularDither(uint32_t seed);
  double Next() {
    const double first = Uniform();  // sequenced: the bytes must not depend on the compiler
    return first - Uniform();
  }

 private:
  double Uniform();
  uint32_t state_;
};

// Quantises to signed 8 bits: scaled so the peak reaches `scale` x 126, plus triangular dither
// from a fixed-seed generator (the same input always gives the same bytes).
std::vector<int8_t> Quantize(const ResampledWave& wave, double scale, uint32_t seed);

}  // namespace velmo
