// Plain-run kernels for AVX2: eight frames per step. Each frame's four taps
// are one gather (four bytes, or four 16-bit values as two 64-bit halves),
// its four weights one 64-bit gather, and its sum two multiply-adds of 16-bit
// pairs; the products, shifts and sums are those of the scalar loop.
#include "synth/mix_kernels_x86.h"

#if VELMO_X86_KERNELS

#include <immintrin.h>

#define VELMO_AVX2 __attribute__((target("avx2")))

namespace velmo {

namespace {

constexpr int32_t kLanes = 8;

struct Lanes {
  __m256i phase;      // 16.16 phase of each lane's frame
  __m256i remaining;  // frames left in the run from each lane's frame on (> 0: live)
};

VELMO_AVX2 inline Lanes StartLanes(uint32_t phase, uint32_t step, uint32_t count) {
  const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  return {_mm256_add_epi32(_mm256_set1_epi32(static_cast<int32_t>(phase)),
                           _mm256_mullo_epi32(lane, _mm256_set1_epi32(static_cast<int32_t>(step)))),
          _mm256_sub_epi32(_mm256_set1_epi32(static_cast<int32_t>(count)), lane)};
}

// The weights of the lanes' fractions (phase >> 9) & 127: two 64-bit gathers,
// lanes 0..3 then 4..7.
struct LaneWeights {
  __m256i low;
  __m256i high;
};

VELMO_AVX2 inline LaneWeights GatherWeights(const TapTable& table, __m256i phase) {
  const __m256i f = _mm256_and_si256(_mm256_srli_epi32(phase, 9), _mm256_set1_epi32(127));
  const auto* base = reinterpret_cast<const long long*>(table.data());
  return {_mm256_i32gather_epi64(base, _mm256_castsi256_si128(f), 8),
          _mm256_i32gather_epi64(base, _mm256_extracti128_si256(f, 1), 8)};
}

// Sums of 16-bit tap pairs (four 16-bit taps per 64-bit lane) into one 32-bit
// sum per frame, frames in lane order.
VELMO_AVX2 inline __m256i FrameSums(__m256i pairsLow, __m256i pairsHigh) {
  return _mm256_permute4x64_epi64(_mm256_hadd_epi32(pairsLow, pairsHigh), 0xD8);
}

// Four signed bytes per lane -> s of each frame: the frame sums of the bytes'
// products with the weights, shifted, plus the middle taps' 32 x (h1 + h2)
// (the weights' offset; the middle taps are bytes 1 and 2 in either order).
// `Sign` -1 negates the sum before the shift, as the inverted pass does.
template <int32_t Sign>
VELMO_AVX2 inline __m256i ByteTapsToSamples(__m256i taps, const LaneWeights& w) {
  const __m256i low = _mm256_cvtepi8_epi16(_mm256_castsi256_si128(taps));
  const __m256i high = _mm256_cvtepi8_epi16(_mm256_extracti128_si256(taps, 1));
  __m256i sums = FrameSums(_mm256_madd_epi16(low, w.low), _mm256_madd_epi16(high, w.high));
  const __m256i middle = _mm256_madd_epi16(
      _mm256_maddubs_epi16(_mm256_set1_epi32(0x00010100), taps), _mm256_set1_epi32(0x00200020));
  if constexpr (Sign < 0) {
    sums = _mm256_sub_epi32(_mm256_setzero_si256(), sums);
    return _mm256_sub_epi32(_mm256_srai_epi32(sums, 10), middle);
  } else {
    return _mm256_add_epi32(_mm256_srai_epi32(sums, 10), middle);
  }
}

// s of eight frames -> the mix: (gain x s) >> 13 on each side. s fits 16 bits,
// so a multiply-add with the gain in the low half of each lane is the product.
VELMO_AVX2 inline void MixLanes(__m256i s, __m256i gainLeft, __m256i gainRight, int32_t* left,
                                int32_t* right) {
  auto* l = reinterpret_cast<__m256i*>(left);
  auto* r = reinterpret_cast<__m256i*>(right);
  _mm256_storeu_si256(l, _mm256_add_epi32(_mm256_loadu_si256(l),
                                          _mm256_srai_epi32(_mm256_madd_epi16(s, gainLeft), 13)));
  _mm256_storeu_si256(r, _mm256_add_epi32(_mm256_loadu_si256(r),
                                          _mm256_srai_epi32(_mm256_madd_epi16(s, gainRight), 13)));
}

VELMO_AVX2 inline __m256i GainLanes(int32_t gain) {
  return _mm256_set1_epi32(gain & 0xFFFF);
}

VELMO_AVX2 uint32_t Forward(const int8_t* base, uint32_t phase, uint32_t step, Gains gains,
                            MixBuffer out, uint32_t count) {
  Lanes lanes = StartLanes(phase, step, count);
  const __m256i stride = _mm256_set1_epi32(static_cast<int32_t>(step * kLanes));
  const __m256i gainLeft = GainLanes(gains.left);
  const __m256i gainRight = GainLanes(gains.right);
  const __m256i zero = _mm256_setzero_si256();
  const auto* taps = reinterpret_cast<const int*>(base - 3);
  for (uint32_t n = 0; n < count; n += kLanes) {
    const __m256i live = _mm256_cmpgt_epi32(lanes.remaining, zero);
    const __m256i index = _mm256_srli_epi32(lanes.phase, 16);
    const __m256i bytes = _mm256_mask_i32gather_epi32(zero, taps, index, live, 1);
    const __m256i s = ByteTapsToSamples<1>(bytes, GatherWeights(kForwardTaps, lanes.phase));
    MixLanes(s, gainLeft, gainRight, out.left + n, out.right + n);
    lanes.phase = _mm256_add_epi32(lanes.phase, stride);
    lanes.remaining = _mm256_sub_epi32(lanes.remaining, _mm256_set1_epi32(kLanes));
  }
  return phase + step * count;
}

template <bool Inverted>
VELMO_AVX2 uint32_t Backward(const int8_t* base, uint32_t phase, uint32_t step, Gains gains,
                             MixBuffer out, uint32_t count) {
  constexpr int32_t kSign = Inverted ? -1 : 1;
  Lanes lanes = StartLanes(phase, step, count);
  const __m256i stride = _mm256_set1_epi32(static_cast<int32_t>(step * kLanes));
  const __m256i gainLeft = GainLanes(gains.left);
  const __m256i gainRight = GainLanes(gains.right);
  const __m256i zero = _mm256_setzero_si256();
  const auto* taps = reinterpret_cast<const int*>(base);
  for (uint32_t n = 0; n < count; n += kLanes) {
    const __m256i live = _mm256_cmpgt_epi32(lanes.remaining, zero);
    const __m256i index = _mm256_sub_epi32(zero, _mm256_srli_epi32(lanes.phase, 16));
    const __m256i bytes = _mm256_mask_i32gather_epi32(zero, taps, index, live, 1);
    const __m256i s = ByteTapsToSamples<kSign>(bytes, GatherWeights(kBackwardTaps, lanes.phase));
    MixLanes(s, gainLeft, gainRight, out.left + n, out.right + n);
    lanes.phase = _mm256_add_epi32(lanes.phase, stride);
    lanes.remaining = _mm256_sub_epi32(lanes.remaining, _mm256_set1_epi32(kLanes));
  }
  return phase + step * count;
}

// Four 16-bit taps per 64-bit lane -> pair sums of their products with the
// weights, the middle taps' offset (2 x 16384 each) added back.
VELMO_AVX2 inline __m256i WordTapPairs(__m256i taps, __m256i weights) {
  const __m256i middle = _mm256_madd_epi16(taps, _mm256_set1_epi64x(0x0000400040000000));
  return _mm256_add_epi32(_mm256_madd_epi16(taps, weights), _mm256_slli_epi32(middle, 1));
}

VELMO_AVX2 uint32_t ForwardStream(const int16_t* base, uint32_t phase, uint32_t step, Gains gains,
                                  MixBuffer out, uint32_t count) {
  Lanes lanes = StartLanes(phase, step, count);
  const __m256i stride = _mm256_set1_epi32(static_cast<int32_t>(step * kLanes));
  const __m256i gainLeft = GainLanes(gains.left);
  const __m256i gainRight = GainLanes(gains.right);
  const __m256i zero = _mm256_setzero_si256();
  const auto* taps = reinterpret_cast<const long long*>(base - 3);
  for (uint32_t n = 0; n < count; n += kLanes) {
    const __m256i live = _mm256_cmpgt_epi32(lanes.remaining, zero);
    const __m256i index = _mm256_srli_epi32(lanes.phase, 16);
    const __m256i lowLive = _mm256_cvtepi32_epi64(_mm256_castsi256_si128(live));
    const __m256i highLive = _mm256_cvtepi32_epi64(_mm256_extracti128_si256(live, 1));
    const __m256i low =
        _mm256_mask_i32gather_epi64(zero, taps, _mm256_castsi256_si128(index), lowLive, 2);
    const __m256i high =
        _mm256_mask_i32gather_epi64(zero, taps, _mm256_extracti128_si256(index, 1), highLive, 2);
    const LaneWeights w = GatherWeights(kForwardTaps, lanes.phase);
    const __m256i sums = FrameSums(WordTapPairs(low, w.low), WordTapPairs(high, w.high));
    MixLanes(_mm256_srai_epi32(sums, 10), gainLeft, gainRight, out.left + n, out.right + n);
    lanes.phase = _mm256_add_epi32(lanes.phase, stride);
    lanes.remaining = _mm256_sub_epi32(lanes.remaining, _mm256_set1_epi32(kLanes));
  }
  return phase + step * count;
}

constexpr MixKernels kKernels{Forward, ForwardStream, Backward<false>, Backward<true>};

}  // namespace

bool X86Avx2Available() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

const MixKernels& X86Avx2Kernels() {
  return kKernels;
}

}  // namespace velmo

#endif
