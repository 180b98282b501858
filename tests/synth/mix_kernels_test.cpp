// Every available kernel set against the scalar one on random plain runs:
// whole steps 0..4 per frame, runs ending anywhere in a vector, extreme gains,
// sources sized to exactly the taps a run reads.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "synth/mix_kernels.h"

namespace velmo {
namespace {

enum class Kernel { Forward, ForwardStream, Backward, BackwardInverted };

struct RunResult {
  uint32_t phase;
  std::array<int32_t, kMixFrames> left;
  std::array<int32_t, kMixFrames> right;
};

// Source values: bytes of the wave, or 16-bit values of an unrolled loop
// (raw bytes, or negated ones, so -128..128).
struct Source {
  std::vector<int8_t> bytes;
  std::vector<int16_t> words;
};

RunResult RunKernel(const MixKernels& kernels, Kernel kernel, const Source& source, uint32_t phase,
                    uint32_t step, Gains gains, uint32_t offset, uint32_t count,
                    const std::array<int32_t, kMixFrames>& mix) {
  RunResult result{0, mix, mix};
  const MixBuffer out = MixBuffer{result.left.data(), result.right.data()} + offset;
  // Forward runs read base[i - 3 .. i], backward runs base[-i .. -i + 3], for
  // i from phase >> 16 to the last frame's; the sources hold just those.
  const auto last = static_cast<uint32_t>(source.bytes.size()) - 4;
  switch (kernel) {
    case Kernel::Forward:
      result.phase = kernels.forward(source.bytes.data() + 3, phase, step, gains, out, count);
      break;
    case Kernel::ForwardStream:
      result.phase = kernels.forwardStream(source.words.data() + 3, phase, step, gains, out, count);
      break;
    case Kernel::Backward:
      result.phase = kernels.backward(source.bytes.data() + last, phase, step, gains, out, count);
      break;
    case Kernel::BackwardInverted:
      result.phase =
          kernels.backwardInverted(source.bytes.data() + last, phase, step, gains, out, count);
      break;
  }
  return result;
}

TEST(MixKernels, EveryPathMatchesTheScalarKernels) {
  const int32_t extremeGains[] = {-32768, 32767, 0, 1, -1};
  std::mt19937 random(7);
  const auto uniform = [&random](int32_t low, int32_t high) {
    return std::uniform_int_distribution<int32_t>(low, high)(random);
  };
  const MixKernels& scalar = MixKernelsFor(RenderPath::Scalar);
  for (const RenderPath path : kRenderPaths) {
    if (path == RenderPath::Scalar || !RenderPathAvailable(path)) continue;
    const MixKernels& kernels = MixKernelsFor(path);
    for (const Kernel kernel :
         {Kernel::Forward, Kernel::ForwardStream, Kernel::Backward, Kernel::BackwardInverted}) {
      for (int32_t trial = 0; trial < 400; ++trial) {
        const auto whole = static_cast<uint32_t>(trial % 5);
        const uint32_t step = whole << 16 | (trial % 3 == 0 ? 0 : uniform(0, 0xFFFF));
        const auto phase = static_cast<uint32_t>(uniform(0, 0xFFFF));
        const auto count = static_cast<uint32_t>(uniform(0, 40));
        const auto offset = static_cast<uint32_t>(uniform(0, kFramesPerBlock - 40));
        const uint32_t last = (phase + step * (count == 0 ? 0 : count - 1)) >> 16;
        Source source;
        source.bytes.resize(last + 4);
        source.words.resize(last + 4);
        for (size_t i = 0; i < source.bytes.size(); ++i) {
          const int32_t x = uniform(0, 3) == 0 ? (uniform(0, 1) ? -128 : 127) : uniform(-128, 127);
          source.bytes[i] = static_cast<int8_t>(x);
          source.words[i] = static_cast<int16_t>(uniform(0, 1) ? -x : x);
        }
        const Gains gains{trial % 2 ? extremeGains[uniform(0, 4)] : uniform(-32768, 32767),
                          extremeGains[uniform(0, 4)]};
        std::array<int32_t, kMixFrames> mix;
        // Large sums of either sign, with room for a run's adds (a block's sum never overflows).
        for (int32_t& sum : mix)
          sum = uniform(-(1 << 30), 1 << 30);
        const RunResult want =
            RunKernel(scalar, kernel, source, phase, step, gains, offset, count, mix);
        const RunResult got =
            RunKernel(kernels, kernel, source, phase, step, gains, offset, count, mix);
        ASSERT_EQ(got.phase, want.phase);
        for (int32_t n = 0; n < kMixFrames; ++n) {
          ASSERT_TRUE(got.left[n] == want.left[n] && got.right[n] == want.right[n])
              << RenderPathName(path) << " kernel " << static_cast<int32_t>(kernel) << " trial "
              << trial << " step " << step << " count " << count << " frame " << n - offset << ": "
              << got.left[n] - mix[n] << " " << got.right[n] - mix[n] << " instead of "
              << want.left[n] - mix[n] << " " << want.right[n] - mix[n];
        }
      }
    }
  }
}

TEST(MixKernels, PathNamesRoundTripAndUnknownNamesAreRefused) {
  for (const RenderPath path : kRenderPaths)
    EXPECT_EQ(ParseRenderPath(RenderPathName(path)), path);
  EXPECT_EQ(ParseRenderPath("sse9"), std::nullopt);
  EXPECT_EQ(ParseRenderPath(""), std::nullopt);
  EXPECT_TRUE(RenderPathAvailable(RenderPath::Scalar));
  EXPECT_TRUE(RenderPathAvailable(FastestRenderPath()));
}

}  // namespace
}  // namespace velmo
