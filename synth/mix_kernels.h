// The inner loops of plain runs, in one scalar version and in vector versions
// chosen at run time from the CPU's features. Every version produces the same
// 32-bit mix sums: the same products, shifts and adds as the scalar loop.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "synth/engine_constants.h"

namespace velmo {

struct Gains {
  int32_t left;   // signed 16-bit gain of the left output
  int32_t right;  // signed 16-bit gain of the right output
};

// Frames a kernel may touch past the end of its run (adding zero to them): the
// mix buffer holds kFramesPerBlock + kMixPadding frames per side.
inline constexpr int32_t kMixPadding = 16;
inline constexpr int32_t kMixFrames = kFramesPerBlock + kMixPadding;

// The block's mix, one 32-bit sum per frame and side. Voices add their
// contributions here; the block keeps the low 16 bits of each sum, which is
// what adding them one by one into the 16-bit slots with wrap-around gives.
struct MixBuffer {
  int32_t* left;
  int32_t* right;

  MixBuffer operator+(int32_t frames) const { return {left + frames, right + frames}; }
};

// A plain run: `count` frames reading the source around base[phase >> 16]
// (forward) or base[-(phase >> 16)] (backward), 16.16 phase from the run's
// first position, which stays below 2^32 within a run. The frame's four taps
// are base[i - 3 .. i] forward, base[i + 3 .. i] backward. Returns the phase
// after the run. Reads no sample outside the run's taps.
using ForwardKernel8 = uint32_t (*)(const int8_t* base, uint32_t phase, uint32_t step, Gains gains,
                                    MixBuffer out, uint32_t count);
using ForwardKernel16 = uint32_t (*)(const int16_t* base, uint32_t phase, uint32_t step,
                                     Gains gains, MixBuffer out, uint32_t count);
using BackwardKernel = ForwardKernel8;

struct MixKernels {
  ForwardKernel8 forward;           // the wave, moving up
  ForwardKernel16 forwardStream;    // an unrolled loop (see LoopStream)
  BackwardKernel backward;          // the wave, moving down
  BackwardKernel backwardInverted;  // the wave, moving down, sign-inverted
};

// Instruction sets the kernels come in, slowest first.
// Avx512Vbmi reads the taps of neighbouring frames with byte permutes.
enum class RenderPath : uint8_t { Scalar, Avx2, Avx512, Avx512Vbmi };

inline constexpr RenderPath kRenderPaths[] = {RenderPath::Scalar, RenderPath::Avx2,
                                              RenderPath::Avx512, RenderPath::Avx512Vbmi};

std::string_view RenderPathName(RenderPath path);
std::optional<RenderPath> ParseRenderPath(std::string_view name);

// True when this build has the path and this CPU runs it.
bool RenderPathAvailable(RenderPath path);

// The fastest available path.
RenderPath FastestRenderPath();

// The path named by the environment variable VELMO_RENDER_PATH ("scalar",
// "avx2", "avx512", "avx512vbmi") when it is available, else the fastest one.
RenderPath RenderPathFromEnvironment();

// The kernels of an available path (the scalar ones for any other).
const MixKernels& MixKernelsFor(RenderPath path);

}  // namespace velmo
