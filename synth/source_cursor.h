// The hot state of one voice while its frames are rendered: source position
// (unsigned 16-bit sample index plus 16-bit fraction), loop state and the
// four-sample history, kept in locals for the length of a voice's frame loop.
//
// History values are held as raw 8-bit samples (x, or -x on an inverted
// backward pass); the Voice record keeps them times 128. The interpolation
// weights are scaled by 128 instead, which gives the same products.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#include "synth/engine_state.h"
#include "synth/engine_tables.h"

namespace velmo {

// Interpolation weights times 128, by the 7-bit fraction f, one array per
// history position: w3 for history[0] (oldest) .. w0 for history[3] (newest).
struct InterpTaps {
  std::array<int32_t, 128> w3;  // K[128 + f]
  std::array<int32_t, 128> w2;  // K[f]
  std::array<int32_t, 128> w1;  // K[128 - f]
  std::array<int32_t, 128> w0;  // K[256 - f]
};

constexpr InterpTaps MakeInterpTaps() {
  InterpTaps taps{};
  for (int32_t f = 0; f < 128; ++f) {
    taps.w3[f] = InterpKernel[128 + f] * 128;
    taps.w2[f] = InterpKernel[f] * 128;
    taps.w1[f] = InterpKernel[128 - f] * 128;
    taps.w0[f] = InterpKernel[256 - f] * 128;
  }
  return taps;
}

alignas(64) inline constexpr InterpTaps kInterpTaps = MakeInterpTaps();

// s = (history[0] W3[f] + history[1] W2[f] + history[2] W1[f] + history[3] W0[f]) >> 17,
// with the history as raw samples.
[[gnu::always_inline]] inline int32_t InterpolationSum(uint32_t f, int32_t h0, int32_t h1,
                                                       int32_t h2, int32_t h3) {
  return h0 * kInterpTaps.w3[f] + h1 * kInterpTaps.w2[f] + h2 * kInterpTaps.w1[f] +
         h3 * kInterpTaps.w0[f];
}

inline constexpr uint32_t kForward = 0;
inline constexpr uint32_t kBackwardInverted = 1;  // loop mode 2
inline constexpr uint32_t kBackward = 2;          // loop mode 3

struct SourceCursor {
  const int8_t* data = nullptr;
  uint32_t frac = 0;                       // fraction of a sample, 0..0xFFFF
  uint32_t step = 0;                       // 16.16 increment per frame
  uint32_t index = 0;                      // sample held in h3, 0..0xFFFF
  int32_t h0 = 0, h1 = 0, h2 = 0, h3 = 0;  // history, oldest first
  uint32_t loopStart = 0;
  uint32_t loopEnd = 0;
  uint32_t mode = 0;       // loop mode
  uint32_t direction = 0;  // kForward, kBackwardInverted, kBackward
  uint32_t reached = 0;    // loopReached
  bool ranOut = false;     // a one-shot wave ran past loopEnd
};

inline SourceCursor LoadCursor(const Voice& voice) {
  SourceCursor c;
  c.data = voice.sampleData;
  c.frac = voice.phaseFrac;
  c.step = voice.step;
  c.index = voice.sampleIndex;
  c.h0 = voice.history[0] >> 7;
  c.h1 = voice.history[1] >> 7;
  c.h2 = voice.history[2] >> 7;
  c.h3 = voice.history[3] >> 7;
  c.loopStart = voice.loopStart;
  c.loopEnd = voice.loopEnd;
  c.mode = voice.loopMode;
  c.direction = voice.loopDirection;
  c.reached = voice.loopReached;
  return c;
}

inline void StoreCursor(const SourceCursor& c, Voice& voice) {
  voice.phaseFrac = c.frac;
  voice.sampleIndex = static_cast<uint16_t>(c.index);
  voice.history = {static_cast<int16_t>(c.h0 * 128), static_cast<int16_t>(c.h1 * 128),
                   static_cast<int16_t>(c.h2 * 128), static_cast<int16_t>(c.h3 * 128)};
  voice.loopDirection = static_cast<uint8_t>(c.direction);
  voice.loopReached = static_cast<uint8_t>(c.reached);
}

// Loop mode classes the renderer specialises on.
enum class LoopKind { OneShot, Forward, Alternating, Still };

inline LoopKind KindOf(uint32_t mode) {
  switch (mode) {
    case 0:
      return LoopKind::OneShot;
    case 1:
      return LoopKind::Forward;
    case 2:
    case 3:
      return LoopKind::Alternating;
    default:
      return LoopKind::Still;
  }
}

// One whole-sample move of the position, without fetch. False when a one-shot
// wave runs past loopEnd.
template <LoopKind Kind>
[[gnu::always_inline]] inline bool MovePosition(SourceCursor& c) {
  if constexpr (Kind == LoopKind::OneShot) {
    c.index = (c.index + 1) & 0xFFFF;
    if (c.index > c.loopEnd) return false;
    if (c.index >= c.loopStart) c.reached = 1;
  } else if constexpr (Kind == LoopKind::Forward) {
    // The index never exceeds the wave's last frame (at most 65526) here.
    const uint32_t next = c.index + 1;
    if (next > c.loopEnd) {
      c.index = c.loopStart;
    } else {
      c.index = next;
      if (next >= c.loopStart) c.reached = 1;
    }
  } else if constexpr (Kind == LoopKind::Alternating) {
    if (c.direction != kForward) {
      // Turns at loopStart for every value of it, 0 included. Coinciding loop
      // points turn at loopEnd, so that no fetch leaves the wave.
      if (c.index <= c.loopStart) {
        c.index = std::min(c.loopStart + 1, c.loopEnd);
        c.direction = kForward;
      } else {
        c.index -= 1;
      }
    } else {
      c.index += 1;
      if (c.index > c.loopEnd) {
        c.index = c.loopEnd - 1;
        c.direction = c.mode == 2 ? kBackwardInverted : kBackward;
      } else if (c.index >= c.loopStart) {
        c.reached = 1;
      }
    }
  }
  return true;
}

// Fetches the sample at the position into h3 (inverted on a mode 2 backward pass).
template <LoopKind Kind>
[[gnu::always_inline]] inline void FetchSample(SourceCursor& c) {
  const int32_t x = c.data[c.index];
  if constexpr (Kind == LoopKind::Alternating) {
    c.h3 = c.direction == kBackwardInverted ? -x : x;
  } else {
    c.h3 = x;
  }
}

// Moves an alternating loop's position by `count` steps in closed form (no
// fetch): the position runs a cycle of 2 x (loopEnd - loopStart) steps.
inline void SkipAlternating(SourceCursor& c, uint32_t count) {
  const uint32_t a = c.loopStart;
  const uint32_t b = c.loopEnd;
  const uint32_t backward = c.mode == 2 ? kBackwardInverted : kBackward;
  // Into the cycle: from below the loop straight up to loopStart; from beyond
  // loopEnd one turning step.
  if (c.direction == kForward && c.index < a) {
    const uint32_t distance = a - c.index;
    if (count < distance) {
      c.index += count;
      return;
    }
    c.index = a;
    c.reached = 1;
    count -= distance;
  }
  while (count > 0 && c.direction == kForward && c.index > b) {
    MovePosition<LoopKind::Alternating>(c);
    --count;
  }
  if (count == 0) return;
  if (a == b) {  // two-state cycle: forward at b, backward at b - 1
    if (count % 2 == 1) {
      if (c.direction == kForward) {
        c.index = b - 1;
        c.direction = backward;
      } else {
        c.index = b;
        c.direction = kForward;
      }
    }
    return;
  }
  const uint32_t period = 2 * (b - a);
  const bool forwardAtStart = c.direction == kForward && c.index == a;
  const uint32_t u0 = c.direction == kForward ? c.index - a : (period - (c.index - a)) % period;
  // Plain forward steps (which set loopReached) start from phases 1 .. b - a - 1,
  // and from phase 0 when it is a forward position.
  const uint64_t last = uint64_t{u0} + count - 1;
  const uint32_t m = b - a - 1;
  bool reach = forwardAtStart;
  if (m >= 1) {
    if (count >= period) {
      reach = true;
    } else if ((u0 <= m && last >= 1) || last >= uint64_t{period} + 1) {
      reach = true;
    }
  }
  if (reach) c.reached = 1;
  const auto u = static_cast<uint32_t>((uint64_t{u0} + count) % period);
  if (u >= 1 && u <= b - a) {
    c.index = a + u;
    c.direction = kForward;
  } else {
    c.index = u == 0 ? a : a + (period - u);
    c.direction = backward;
  }
}

// Moves a forward loop's position by `count` steps in closed form (no fetch).
inline void SkipForward(SourceCursor& c, uint32_t count) {
  const uint32_t a = c.loopStart;
  const uint32_t b = c.loopEnd;
  if (c.index < a) {
    const uint32_t distance = a - c.index;
    if (count < distance) {
      c.index += count;
      return;
    }
    c.index = a;
    c.reached = 1;
    count -= distance;
  } else if (c.index > b && count > 0) {
    c.index = a;  // the wrap alone does not reach the loop
    --count;
  }
  if (count == 0) return;
  const uint32_t length = b - a + 1;
  if (length > 1 && (c.index < b || count >= 2)) c.reached = 1;
  c.index = a + static_cast<uint32_t>((uint64_t{c.index - a} + count) % length);
}

// Steps beyond which a frame's whole-sample steps are skipped in closed form;
// the last four steps always fetch.
inline constexpr uint32_t kSkipThreshold = 8;

// `k` whole-sample steps with fetches, the history shifted at each.
template <LoopKind Kind>
[[gnu::always_inline]] inline void TakeSteps(SourceCursor& c, uint32_t k) {
  if (k > kSkipThreshold) {
    if constexpr (Kind == LoopKind::OneShot) {
      // Skip only while the wave lasts, keeping four fetches before its end.
      if (c.index <= c.loopEnd) {
        const uint32_t available = c.loopEnd - c.index;
        const uint32_t skip = std::min(k, available) > 4 ? std::min(k, available) - 4 : 0;
        if (skip > 0) {
          c.index += skip;
          if (c.index >= c.loopStart) c.reached = 1;
          k -= skip;
        }
      }
    } else if constexpr (Kind == LoopKind::Forward) {
      SkipForward(c, k - 4);
      k = 4;
    } else if constexpr (Kind == LoopKind::Alternating) {
      SkipAlternating(c, k - 4);
      k = 4;
    } else {
      k = 4;
    }
  }
  while (k-- > 0) {
    c.h0 = c.h1;
    c.h1 = c.h2;
    c.h2 = c.h3;
    if (!MovePosition<Kind>(c)) {
      c.ranOut = true;  // the rest of this frame's steps are skipped, no fetch
      return;
    }
    FetchSample<Kind>(c);
  }
}

}  // namespace velmo
