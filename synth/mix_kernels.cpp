#include "synth/mix_kernels.h"

#include <cstdlib>

#include "synth/mix_kernels_x86.h"
#include "synth/source_cursor.h"

namespace velmo {

namespace {

// The reference loops, one frame at a time.
template <typename Sample>
uint32_t ScalarForward(const Sample* base, uint32_t phase, uint32_t step, Gains gains,
                       MixBuffer out, uint32_t count) {
#pragma GCC unroll 2
  for (uint32_t n = 0; n < count; ++n) {
    const Sample* p = base + (phase >> 16);
    const int32_t s = InterpolationSum((phase >> 9) & 127, p[-3], p[-2], p[-1], p[0]) >> 17;
    out.left[n] += (gains.left * s) >> 13;
    out.right[n] += (gains.right * s) >> 13;
    phase += step;
  }
  return phase;
}

template <int32_t Sign>
uint32_t ScalarBackward(const int8_t* base, uint32_t phase, uint32_t step, Gains gains,
                        MixBuffer out, uint32_t count) {
#pragma GCC unroll 2
  for (uint32_t n = 0; n < count; ++n) {
    const int8_t* p = base - (phase >> 16);
    const int32_t s = (Sign * InterpolationSum((phase >> 9) & 127, p[3], p[2], p[1], p[0])) >> 17;
    out.left[n] += (gains.left * s) >> 13;
    out.right[n] += (gains.right * s) >> 13;
    phase += step;
  }
  return phase;
}

constexpr MixKernels kScalarKernels{ScalarForward<int8_t>, ScalarForward<int16_t>,
                                    ScalarBackward<1>, ScalarBackward<-1>};

}  // namespace

std::string_view RenderPathName(RenderPath path) {
  switch (path) {
    case RenderPath::Scalar:
      return "scalar";
    case RenderPath::Avx2:
      return "avx2";
    case RenderPath::Avx512:
      return "avx512";
    case RenderPath::Avx512Vbmi:
      return "avx512vbmi";
  }
  return "scalar";
}

std::optional<RenderPath> ParseRenderPath(std::string_view name) {
  for (const RenderPath path : kRenderPaths) {
    if (RenderPathName(path) == name) return path;
  }
  return std::nullopt;
}

bool RenderPathAvailable(RenderPath path) {
  switch (path) {
    case RenderPath::Scalar:
      return true;
    case RenderPath::Avx2:
      return X86Avx2Available();
    case RenderPath::Avx512:
      return X86Avx512Available();
    case RenderPath::Avx512Vbmi:
      return X86Avx512VbmiAvailable();
  }
  return false;
}

RenderPath FastestRenderPath() {
  // The widest kernels pay on every CPU measured so far; their gathers are
  // the same instruction count per lane, and half the loop overhead.
  for (auto path = std::end(kRenderPaths); path != std::begin(kRenderPaths);) {
    --path;
    if (RenderPathAvailable(*path)) return *path;
  }
  return RenderPath::Scalar;
}

RenderPath RenderPathFromEnvironment() {
  const char* name = std::getenv("VELMO_RENDER_PATH");
  if (name != nullptr) {
    const std::optional<RenderPath> path = ParseRenderPath(name);
    if (path && RenderPathAvailable(*path)) return *path;
  }
  return FastestRenderPath();
}

const MixKernels& MixKernelsFor([[maybe_unused]] RenderPath path) {
#if VELMO_X86_KERNELS
  if (RenderPathAvailable(path)) {
    if (path == RenderPath::Avx2) return X86Avx2Kernels();
    if (path == RenderPath::Avx512) return X86Avx512Kernels();
    if (path == RenderPath::Avx512Vbmi) return X86Avx512VbmiKernels();
  }
#endif
  return kScalarKernels;
}

}  // namespace velmo
