// Plain-run kernels for AVX-512 (F, BW): sixteen frames per step, the same
// gathers and multiply-adds as the AVX2 kernels, the run's end as a mask.
#include "synth/mix_kernels_x86.h"

#if VELMO_X86_KERNELS

// GCC 12 reports the intrinsics' own undefined-vector placeholders as maybe
// uninitialized; nothing here reads an uninitialized value.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>

#include <algorithm>

#define VELMO_AVX512 __attribute__((target("avx512f,avx512bw")))
#define VELMO_AVX512_VBMI __attribute__((target("avx512f,avx512bw,avx512vbmi")))

namespace velmo {

namespace {

constexpr int32_t kLanes = 16;

struct Lanes {
  __m512i phase;      // 16.16 phase of each lane's frame
  __m512i remaining;  // frames left in the run from each lane's frame on (> 0: live)
};

VELMO_AVX512 inline Lanes StartLanes(uint32_t phase, uint32_t step, uint32_t count) {
  const __m512i lane = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  return {_mm512_add_epi32(_mm512_set1_epi32(static_cast<int32_t>(phase)),
                           _mm512_mullo_epi32(lane, _mm512_set1_epi32(static_cast<int32_t>(step)))),
          _mm512_sub_epi32(_mm512_set1_epi32(static_cast<int32_t>(count)), lane)};
}

struct LaneWeights {
  __m512i low;   // lanes 0..7
  __m512i high;  // lanes 8..15
};

VELMO_AVX512 inline LaneWeights GatherWeights(const TapTable& table, __m512i phase) {
  const __m512i f = _mm512_and_si512(_mm512_srli_epi32(phase, 9), _mm512_set1_epi32(127));
  const auto* base = table.data();
  return {_mm512_i32gather_epi64(_mm512_castsi512_si256(f), base, 8),
          _mm512_i32gather_epi64(_mm512_extracti64x4_epi64(f, 1), base, 8)};
}

// Pair sums of two 8-frame vectors (two 32-bit halves per frame) -> one
// 32-bit sum per frame, frames in lane order.
VELMO_AVX512 inline __m512i FrameSums(__m512i pairsLow, __m512i pairsHigh) {
  const __m512i even = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
  const __m512i odd = _mm512_setr_epi32(1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31);
  return _mm512_add_epi32(_mm512_permutex2var_epi32(pairsLow, even, pairsHigh),
                          _mm512_permutex2var_epi32(pairsLow, odd, pairsHigh));
}

// Four signed bytes per lane -> s of each frame: the frame sums of the bytes'
// products with the weights, shifted, plus the middle taps' 32 x (h1 + h2)
// (the weights' offset; the middle taps are bytes 1 and 2 in either order).
// `Sign` -1 negates the sum before the shift, as the inverted pass does.
template <int32_t Sign>
VELMO_AVX512 inline __m512i ByteTapsToSamples(__m512i taps, const LaneWeights& w) {
  const __m512i low = _mm512_cvtepi8_epi16(_mm512_castsi512_si256(taps));
  const __m512i high = _mm512_cvtepi8_epi16(_mm512_extracti64x4_epi64(taps, 1));
  __m512i sums = FrameSums(_mm512_madd_epi16(low, w.low), _mm512_madd_epi16(high, w.high));
  const __m512i middle = _mm512_madd_epi16(
      _mm512_maddubs_epi16(_mm512_set1_epi32(0x00010100), taps), _mm512_set1_epi32(0x00200020));
  if constexpr (Sign < 0) {
    sums = _mm512_sub_epi32(_mm512_setzero_si512(), sums);
    return _mm512_sub_epi32(_mm512_srai_epi32(sums, 10), middle);
  } else {
    return _mm512_add_epi32(_mm512_srai_epi32(sums, 10), middle);
  }
}

VELMO_AVX512 inline void MixLanes(__m512i s, __m512i gainLeft, __m512i gainRight, int32_t* left,
                                  int32_t* right) {
  _mm512_storeu_si512(left,
                      _mm512_add_epi32(_mm512_loadu_si512(left),
                                       _mm512_srai_epi32(_mm512_madd_epi16(s, gainLeft), 13)));
  _mm512_storeu_si512(right,
                      _mm512_add_epi32(_mm512_loadu_si512(right),
                                       _mm512_srai_epi32(_mm512_madd_epi16(s, gainRight), 13)));
}

VELMO_AVX512 inline __m512i GainLanes(int32_t gain) {
  return _mm512_set1_epi32(gain & 0xFFFF);
}

VELMO_AVX512 uint32_t Forward(const int8_t* base, uint32_t phase, uint32_t step, Gains gains,
                              MixBuffer out, uint32_t count) {
  Lanes lanes = StartLanes(phase, step, count);
  const __m512i stride = _mm512_set1_epi32(static_cast<int32_t>(step * kLanes));
  const __m512i gainLeft = GainLanes(gains.left);
  const __m512i gainRight = GainLanes(gains.right);
  const __m512i zero = _mm512_setzero_si512();
  const int8_t* taps = base - 3;
  for (uint32_t n = 0; n < count; n += kLanes) {
    const __mmask16 live = _mm512_cmpgt_epi32_mask(lanes.remaining, zero);
    const __m512i index = _mm512_srli_epi32(lanes.phase, 16);
    const __m512i bytes = _mm512_mask_i32gather_epi32(zero, live, index, taps, 1);
    const __m512i s = ByteTapsToSamples<1>(bytes, GatherWeights(kForwardTaps, lanes.phase));
    MixLanes(s, gainLeft, gainRight, out.left + n, out.right + n);
    lanes.phase = _mm512_add_epi32(lanes.phase, stride);
    lanes.remaining = _mm512_sub_epi32(lanes.remaining, _mm512_set1_epi32(kLanes));
  }
  return phase + step * count;
}

template <bool Inverted>
VELMO_AVX512 uint32_t Backward(const int8_t* base, uint32_t phase, uint32_t step, Gains gains,
                               MixBuffer out, uint32_t count) {
  constexpr int32_t kSign = Inverted ? -1 : 1;
  Lanes lanes = StartLanes(phase, step, count);
  const __m512i stride = _mm512_set1_epi32(static_cast<int32_t>(step * kLanes));
  const __m512i gainLeft = GainLanes(gains.left);
  const __m512i gainRight = GainLanes(gains.right);
  const __m512i zero = _mm512_setzero_si512();
  for (uint32_t n = 0; n < count; n += kLanes) {
    const __mmask16 live = _mm512_cmpgt_epi32_mask(lanes.remaining, zero);
    const __m512i index = _mm512_sub_epi32(zero, _mm512_srli_epi32(lanes.phase, 16));
    const __m512i bytes = _mm512_mask_i32gather_epi32(zero, live, index, base, 1);
    const __m512i s = ByteTapsToSamples<kSign>(bytes, GatherWeights(kBackwardTaps, lanes.phase));
    MixLanes(s, gainLeft, gainRight, out.left + n, out.right + n);
    lanes.phase = _mm512_add_epi32(lanes.phase, stride);
    lanes.remaining = _mm512_sub_epi32(lanes.remaining, _mm512_set1_epi32(kLanes));
  }
  return phase + step * count;
}

// Four 16-bit taps per 64-bit lane -> pair sums of their products with the
// weights, the middle taps' offset (2 x 16384 each) added back.
VELMO_AVX512 inline __m512i WordTapPairs(__m512i taps, __m512i weights) {
  const __m512i middle = _mm512_madd_epi16(taps, _mm512_set1_epi64(0x0000400040000000));
  return _mm512_add_epi32(_mm512_madd_epi16(taps, weights), _mm512_slli_epi32(middle, 1));
}

// The forward kernel with byte permutes (VBMI): where sixteen frames read at
// most 64 consecutive bytes (steps below 4 samples), one masked load of those
// bytes and one permute replace the gather of the frames' taps.
VELMO_AVX512_VBMI uint32_t ForwardWindowed(const int8_t* base, uint32_t phase, uint32_t step,
                                           Gains gains, MixBuffer out, uint32_t count) {
  Lanes lanes = StartLanes(phase, step, count);
  const __m512i stride = _mm512_set1_epi32(static_cast<int32_t>(step * kLanes));
  const __m512i gainLeft = GainLanes(gains.left);
  const __m512i gainRight = GainLanes(gains.right);
  const __m512i zero = _mm512_setzero_si512();
  // Byte k of each lane picks byte 0 of the lane, then adds k.
  const __m512i spread = _mm512_set4_epi32(0x0C0C0C0C, 0x08080808, 0x04040404, 0x00000000);
  const __m512i tapOffsets = _mm512_set1_epi32(0x03020100);
  const int8_t* taps = base - 3;
  uint32_t first = phase;  // phase of the chunk's first frame
  for (uint32_t n = 0; n < count; n += kLanes) {
    const __mmask16 live = _mm512_cmpgt_epi32_mask(lanes.remaining, zero);
    const __m512i index = _mm512_srli_epi32(lanes.phase, 16);
    const uint32_t lastLane = std::min<uint32_t>(kLanes, count - n) - 1;
    const uint32_t low = first >> 16;
    const uint32_t span = ((first + step * lastLane) >> 16) - low + 4;  // bytes read
    __m512i bytes;
    if (span <= 64) {
      const uint64_t wanted = span == 64 ? ~uint64_t{0} : (uint64_t{1} << span) - 1;
      const __m512i window = _mm512_maskz_loadu_epi8(wanted, taps + low);
      const __m512i offsets = _mm512_sub_epi32(index, _mm512_set1_epi32(static_cast<int32_t>(low)));
      const __m512i picks = _mm512_add_epi8(_mm512_shuffle_epi8(offsets, spread), tapOffsets);
      bytes = _mm512_maskz_mov_epi32(live, _mm512_permutexvar_epi8(picks, window));
    } else {
      bytes = _mm512_mask_i32gather_epi32(zero, live, index, taps, 1);
    }
    const __m512i s = ByteTapsToSamples<1>(bytes, GatherWeights(kForwardTaps, lanes.phase));
    MixLanes(s, gainLeft, gainRight, out.left + n, out.right + n);
    lanes.phase = _mm512_add_epi32(lanes.phase, stride);
    lanes.remaining = _mm512_sub_epi32(lanes.remaining, _mm512_set1_epi32(kLanes));
    first += step * kLanes;
  }
  return phase + step * count;
}

VELMO_AVX512 uint32_t ForwardStream(const int16_t* base, uint32_t phase, uint32_t step, Gains gains,
                                    MixBuffer out, uint32_t count) {
  Lanes lanes = StartLanes(phase, step, count);
  const __m512i stride = _mm512_set1_epi32(static_cast<int32_t>(step * kLanes));
  const __m512i gainLeft = GainLanes(gains.left);
  const __m512i gainRight = GainLanes(gains.right);
  const __m512i zero = _mm512_setzero_si512();
  const int16_t* taps = base - 3;
  for (uint32_t n = 0; n < count; n += kLanes) {
    const __mmask16 live = _mm512_cmpgt_epi32_mask(lanes.remaining, zero);
    const __m512i index = _mm512_srli_epi32(lanes.phase, 16);
    const __m512i low = _mm512_mask_i32gather_epi64(zero, static_cast<__mmask8>(live),
                                                    _mm512_castsi512_si256(index), taps, 2);
    const __m512i high = _mm512_mask_i32gather_epi64(zero, static_cast<__mmask8>(live >> 8),
                                                     _mm512_extracti64x4_epi64(index, 1), taps, 2);
    const LaneWeights w = GatherWeights(kForwardTaps, lanes.phase);
    const __m512i sums = FrameSums(WordTapPairs(low, w.low), WordTapPairs(high, w.high));
    MixLanes(_mm512_srai_epi32(sums, 10), gainLeft, gainRight, out.left + n, out.right + n);
    lanes.phase = _mm512_add_epi32(lanes.phase, stride);
    lanes.remaining = _mm512_sub_epi32(lanes.remaining, _mm512_set1_epi32(kLanes));
  }
  return phase + step * count;
}

constexpr MixKernels kKernels{Forward, ForwardStream, Backward<false>, Backward<true>};
constexpr MixKernels kVbmiKernels{ForwardWindowed, ForwardStream, Backward<false>, Backward<true>};

}  // namespace

bool X86Avx512Available() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
}

const MixKernels& X86Avx512Kernels() {
  return kKernels;
}

bool X86Avx512VbmiAvailable() {
  return X86Avx512Available() && __builtin_cpu_supports("avx512vbmi");
}

const MixKernels& X86Avx512VbmiKernels() {
  return kVbmiKernels;
}

}  // namespace velmo

#endif
