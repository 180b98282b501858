// The x86-64 vector kernels (compiled with function-level target attributes,
// so the library still runs on any x86-64) and the weight tables they gather.
#pragma once

#include <array>
#include <cstdint>

#include "synth/engine_tables.h"
#include "synth/mix_kernels.h"

#if defined(__x86_64__)
#define VELMO_X86_KERNELS 1
#else
#define VELMO_X86_KERNELS 0
#endif

namespace velmo {

#if VELMO_X86_KERNELS
bool X86Avx2Available();
bool X86Avx512Available();
const MixKernels& X86Avx2Kernels();
const MixKernels& X86Avx512Kernels();
bool X86Avx512VbmiAvailable();
const MixKernels& X86Avx512VbmiKernels();
#else
inline bool X86Avx2Available() {
  return false;
}
inline bool X86Avx512Available() {
  return false;
}
inline bool X86Avx512VbmiAvailable() {
  return false;
}
#endif

// The four interpolation weights of one fraction f as signed 16-bit words, in
// the order of the frame's four taps in memory, for a multiply-add of 16-bit
// pairs. The sum over the four raw samples, shifted right by 10, is the
// scalar loop's s (its weights are these times 128, its shift 17). The two
// middle weights (those of history[1] and history[2]) reach 58871, so they are
// stored 32768 lower, and the kernels add (history[1] + history[2]) x 32768
// back: that is 32 x (history[1] + history[2]) after the shift.
using TapWeights = std::array<int16_t, 4>;
using TapTable = std::array<TapWeights, 128>;

constexpr TapTable MakeTapTable(bool newestFirst) {
  TapTable table{};
  for (int32_t f = 0; f < 128; ++f) {
    const auto w3 = static_cast<int16_t>(InterpKernel[128 + f]);
    const auto w2 = static_cast<int16_t>(InterpKernel[f] - 32768);
    const auto w1 = static_cast<int16_t>(InterpKernel[128 - f] - 32768);
    const auto w0 = static_cast<int16_t>(InterpKernel[256 - f]);
    table[f] = newestFirst ? TapWeights{w0, w1, w2, w3} : TapWeights{w3, w2, w1, w0};
  }
  return table;
}

alignas(64) inline constexpr TapTable kForwardTaps = MakeTapTable(false);
alignas(64) inline constexpr TapTable kBackwardTaps = MakeTapTable(true);

}  // namespace velmo
