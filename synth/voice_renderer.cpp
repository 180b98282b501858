#include "synth/voice_renderer.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "synth/engine.h"
#include "synth/engine_tables.h"
#include "synth/envelope.h"
#include "synth/mix_kernels.h"
#include "synth/source_cursor.h"

namespace velmo {

namespace {

// Attenuation sum in 1/8 dB -> GainCurve value (0.5 dB steps, clamped 0..127).
int32_t CurveValue(int32_t attenuation) {
  return GainCurve[std::clamp(attenuation >> 2, 0, 127)];
}

// Adds one interpolated sample (s, a signed 32-bit value) to frame n.
[[gnu::always_inline]] inline void MixFrame(const MixBuffer& out, int32_t n, const Gains& gains,
                                            int32_t s) {
  out.left[n] += (gains.left * s) >> 13;
  out.right[n] += (gains.right * s) >> 13;
}

// Frames rendered from the history held in the cursor, each frame's whole
// steps taken one by one, until `minSteps` whole steps are taken or `frames`
// frames are done. Used where the history is not a plain run of the wave
// (across a wrap or turn, at a one-shot's end, near the wave's start).
// Returns the frames rendered.
template <LoopKind Kind>
int32_t MixStepwise(SourceCursor& c, const Gains& gains, MixBuffer out, int32_t frames,
                    uint32_t minSteps) {
  uint32_t steps = 0;
  int32_t n = 0;
  while (n < frames && steps < minSteps) {
    const int32_t s = InterpolationSum(c.frac >> 9, c.h0, c.h1, c.h2, c.h3) >> 17;
    MixFrame(out, n, gains, s);
    ++n;
    c.frac += c.step;
    const uint32_t k = c.frac >> 16;
    c.frac &= 0xFFFF;
    if (k != 0) {
      TakeSteps<Kind>(c, k);
      steps += k;
    }
  }
  return n;
}

// Frames over which the position only counts up (forward) or down (backward)
// sample by sample, with the history equal to the four wave samples ending at
// the position. Then every frame reads its four samples straight from the
// wave. Returns 0 when that does not hold now.
[[gnu::always_inline]] inline uint32_t PlainRunFrames(const SourceCursor& c, uint32_t frames) {
  const int8_t* d = c.data;
  const uint32_t i = c.index;
  uint32_t room = 0;  // whole steps that stay plain
  if (c.direction == kForward) {
    if (c.ranOut || c.mode > 3 || i > c.loopEnd || i < 3) return 0;
    if (c.h0 != d[i - 3] || c.h1 != d[i - 2] || c.h2 != d[i - 1] || c.h3 != d[i]) return 0;
    room = c.loopEnd - i;
  } else {
    if (i + 3 > c.loopEnd) return 0;
    const int32_t sign = c.direction == kBackwardInverted ? -1 : 1;
    if (c.h0 != sign * d[i + 3] || c.h1 != sign * d[i + 2] || c.h2 != sign * d[i + 1] ||
        c.h3 != sign * d[i]) {
      return 0;
    }
    room = i - c.loopStart;
  }
  if (c.step == 0) return frames;
  // Largest m with frac + m * step < (room + 1) << 16.
  const uint64_t limit = ((uint64_t{room} + 1) << 16) - 1 - c.frac;
  return static_cast<uint32_t>(std::min<uint64_t>(limit / c.step, frames));
}

// `frames` frames of a plain forward run (see PlainRunFrames).
void MixForwardRun(const MixKernels& kernels, SourceCursor& c, const Gains& gains, MixBuffer out,
                   uint32_t frames) {
  const uint32_t phase = kernels.forward(c.data + c.index, c.frac, c.step, gains, out, frames);
  const uint32_t moved = phase >> 16;
  if (moved > 0) {
    c.index += moved;
    if (c.index >= c.loopStart) c.reached = 1;
  }
  c.frac = phase & 0xFFFF;
  const int8_t* p = c.data + c.index;
  c.h0 = p[-3];
  c.h1 = p[-2];
  c.h2 = p[-1];
  c.h3 = p[0];
}

// `frames` frames of a plain backward run; `Sign` is -1 on the inverted pass.
template <int32_t Sign>
void MixBackwardRun(const MixKernels& kernels, SourceCursor& c, const Gains& gains, MixBuffer out,
                    uint32_t frames) {
  const BackwardKernel kernel = Sign < 0 ? kernels.backwardInverted : kernels.backward;
  const uint32_t phase = kernel(c.data + c.index, c.frac, c.step, gains, out, frames);
  c.index -= phase >> 16;
  c.frac = phase & 0xFFFF;
  const int8_t* p = c.data + c.index;
  c.h0 = Sign * p[3];
  c.h1 = Sign * p[2];
  c.h2 = Sign * p[1];
  c.h3 = Sign * p[0];
}

// Cycle phase of the cursor's position in its unrolled loop (see
// LoopStream); false when the position is not on the cycle.
bool StreamPhase(const SourceCursor& c, const LoopStream& stream, uint32_t& phase) {
  const uint32_t a = c.loopStart;
  if (c.direction == kForward) {
    if (c.ranOut || c.index < a || c.index > c.loopEnd) return false;
    phase = c.index - a;
  } else {
    if (c.index < a || c.index >= c.loopEnd) return false;
    phase = (stream.cycle - (c.index - a)) % stream.cycle;
  }
  return true;
}

// Frames that can be read straight from the unrolled loop from the cursor's
// phase: the history must equal the stream's four values ending there.
// Sets `position` to the stream index of h3.
[[gnu::always_inline]] inline uint32_t StreamRunFrames(const SourceCursor& c,
                                                       const LoopStream& stream, uint32_t frames,
                                                       uint32_t& position) {
  uint32_t phase = 0;
  if (!StreamPhase(c, stream, phase)) return 0;
  const uint32_t v = 3 + phase;
  const int16_t* w = stream.values.data() + v;
  if (c.h0 != w[-3] || c.h1 != w[-2] || c.h2 != w[-1] || c.h3 != w[0]) return 0;
  position = v;
  if (c.step == 0) return frames;
  const uint64_t limit = ((uint64_t{stream.length - 1 - v} + 1) << 16) - 1 - c.frac;
  return static_cast<uint32_t>(std::min<uint64_t>(limit / c.step, frames));
}

template <LoopKind Kind>
void MixStreamRun(const MixKernels& kernels, SourceCursor& c, const LoopStream& stream,
                  uint32_t position, const Gains& gains, MixBuffer out, uint32_t frames) {
  const int16_t* base = stream.values.data() + position;
  const uint32_t phase = kernels.forwardStream(base, c.frac, c.step, gains, out, frames);
  const uint32_t steps = phase >> 16;
  c.frac = phase & 0xFFFF;
  if constexpr (Kind == LoopKind::Forward) {
    SkipForward(c, steps);
  } else {
    SkipAlternating(c, steps);
  }
  const int16_t* w = base + steps;
  c.h0 = w[-3];
  c.h1 = w[-2];
  c.h2 = w[-1];
  c.h3 = w[0];
}

// Renders `frames` frames with constant gains: plain runs where they hold,
// frame-by-frame stepping in between.
template <LoopKind Kind>
void MixFrames(const MixKernels& kernels, SourceCursor& c, const LoopStream* stream,
               const Gains& gains, MixBuffer out, int32_t frames) {
  while (frames > 0) {
    if constexpr (Kind == LoopKind::Forward || Kind == LoopKind::Alternating) {
      // Around a short loop: read the unrolled loop, across wraps and turns.
      uint32_t position = 0;
      const uint32_t run =
          stream ? StreamRunFrames(c, *stream, static_cast<uint32_t>(frames), position) : 0;
      if (run > 0) {
        MixStreamRun<Kind>(kernels, c, *stream, position, gains, out, run);
        out = out + static_cast<int32_t>(run);
        frames -= static_cast<int32_t>(run);
        continue;
      }
    }
    const uint32_t run = PlainRunFrames(c, static_cast<uint32_t>(frames));
    if (run > 0) {
      if (c.direction == kForward) {
        MixForwardRun(kernels, c, gains, out, run);
      } else if (c.direction == kBackwardInverted) {
        MixBackwardRun<-1>(kernels, c, gains, out, run);
      } else {
        MixBackwardRun<1>(kernels, c, gains, out, run);
      }
      out = out + static_cast<int32_t>(run);
      frames -= static_cast<int32_t>(run);
      if (frames == 0) break;
    }
    // Stepwise across a wrap, turn or the wave's end, until the three
    // fetches after it may have made the history a plain run again.
    const int32_t done = MixStepwise<Kind>(c, gains, out, frames, 4);
    out = out + done;
    frames -= done;
  }
}

using MixFunction = void (*)(const MixKernels&, SourceCursor&, const LoopStream*, const Gains&,
                             MixBuffer, int32_t);

// Loop modes other than 0..3 hold the position: stepwise all through.
void MixStill(const MixKernels&, SourceCursor& c, const LoopStream*, const Gains& gains,
              MixBuffer out, int32_t frames) {
  MixStepwise<LoopKind::Still>(c, gains, out, frames, UINT32_MAX);
}

MixFunction MixFunctionFor(uint32_t loopMode) {
  switch (KindOf(loopMode)) {
    case LoopKind::OneShot:
      return MixFrames<LoopKind::OneShot>;
    case LoopKind::Forward:
      return MixFrames<LoopKind::Forward>;
    case LoopKind::Alternating:
      return MixFrames<LoopKind::Alternating>;
    case LoopKind::Still:
      return MixStill;
  }
  return MixStill;
}

void RenderVoice(Engine& engine, const MixKernels& kernels, Voice& voice, LoopStream& loopStream,
                 const MixBuffer& mixBuffer) {
  UpdateVoicePitch(engine, voice, false);

  // Attenuation of the block in 1/8 dB, then the curve value of each side.
  const ChannelState& channel = engine.channels[voice.channel];
  const int32_t base = channel.volumeAtt + channel.expressionAtt + voice.levelAtt + 16;
  int32_t attL = 0;
  int32_t attR = 0;
  if (channel.rhythm) {
    attL = base + voice.drumPanAttLeft - 48;
    attR = base + voice.drumPanAttRight - 48;
  } else {
    attL = base + channel.panAttLeft;
    attR = base + channel.panAttRight;
  }
  const int32_t volL = CurveValue(attL);
  const int32_t volR = CurveValue(attR);
  Gains gains{VoiceGain(voice.envAmp, volL, voice.tremoloValue),
              VoiceGain(voice.envAmp, volR, voice.tremoloValue)};

  const MixFunction mix = MixFunctionFor(voice.loopMode);
  SourceCursor cursor = LoadCursor(voice);
  if (!loopStream.built) BuildLoopStream(cursor, loopStream);
  const LoopStream* stream = loopStream.usable ? &loopStream : nullptr;
  const auto period = static_cast<uint16_t>(engine.EnvTickPeriod);
  uint16_t countdown = voice.envCountdown;
  const auto gainsOf = [&voice, volL, volR] {
    return Gains{VoiceGain(voice.envAmp, volL, voice.tremoloValue),
                 VoiceGain(voice.envAmp, volR, voice.tremoloValue)};
  };
  // A tick taken ahead of its frame (below) and the gains from that frame on.
  bool tickTaken = false;
  Gains tickGains = gains;
  int32_t frame = 0;
  while (frame < kFramesPerBlock) {
    // A run of frames without an envelope tick inside: a tick frame and the
    // countdown that follows it, or the rest of a countdown.
    int32_t run = 0;
    if (countdown == 0) {
      countdown = period;
      if (tickTaken) {
        tickTaken = false;
        gains = tickGains;
      } else {
        voice.loopReached = static_cast<uint8_t>(cursor.reached);
        if (EnvTick(engine, voice)) gains = gainsOf();
      }
      run = 1 + std::min<int32_t>(countdown, kFramesPerBlock - frame - 1);
      countdown = static_cast<uint16_t>(countdown - (run - 1));
    } else {
      run = std::min<int32_t>(countdown, kFramesPerBlock - frame);
      countdown = static_cast<uint16_t>(countdown - run);
    }
    // The next tick reads nothing that the run's frames change when the loop
    // is already reached (it stays so) or the envelope is neither in nor
    // entering the stage that waits for it: take it now, and while it leaves
    // the gains as they are, let the run go on through its frame. Fewer,
    // longer runs.
    while (countdown == 0 && frame + run < kFramesPerBlock &&
           (cursor.reached != 0 || (voice.envStage != 1 && voice.envStage != 2))) {
      voice.loopReached = static_cast<uint8_t>(cursor.reached);
      tickGains = EnvTick(engine, voice) ? gainsOf() : gains;
      if (tickGains.left != gains.left || tickGains.right != gains.right) {
        tickTaken = true;
        break;
      }
      const int32_t more = 1 + std::min<int32_t>(period, kFramesPerBlock - frame - run - 1);
      countdown = static_cast<uint16_t>(period - (more - 1));
      run += more;
    }
    mix(kernels, cursor, stream, gains, mixBuffer + frame, run);
    frame += run;
  }
  voice.envCountdown = countdown;
  StoreCursor(cursor, voice);

  if (cursor.ranOut) voice.active = 0;
  if (voice.envStage == 8) {
    voice.active = 0;
    voice.allocStamp = 0;
  }
}

// Writes the low 16 bits of each frame's sums into the block, left then right:
// one 32-bit word per frame, the right sum in its high half.
void StoreMix(const int32_t* left, const int32_t* right, int16_t* block) {
  int32_t n = 0;
#if defined(__SSE2__)
  const __m128i low = _mm_set1_epi32(0xFFFF);
  for (; n + 4 <= kFramesPerBlock; n += 4) {
    const __m128i l = _mm_load_si128(reinterpret_cast<const __m128i*>(left + n));
    const __m128i r = _mm_load_si128(reinterpret_cast<const __m128i*>(right + n));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 2 * n),
                     _mm_or_si128(_mm_and_si128(l, low), _mm_slli_epi32(r, 16)));
  }
#endif
  for (; n < kFramesPerBlock; ++n) {
    block[2 * n] = static_cast<int16_t>(left[n]);
    block[2 * n + 1] = static_cast<int16_t>(right[n]);
  }
}

}  // namespace

bool StepSourcePosition(Voice& voice) noexcept {
  SourceCursor cursor = LoadCursor(voice);
  bool moved = true;
  switch (KindOf(voice.loopMode)) {
    case LoopKind::OneShot:
      moved = MovePosition<LoopKind::OneShot>(cursor);
      break;
    case LoopKind::Forward:
      moved = MovePosition<LoopKind::Forward>(cursor);
      break;
    case LoopKind::Alternating:
      moved = MovePosition<LoopKind::Alternating>(cursor);
      break;
    case LoopKind::Still:
      break;
  }
  StoreCursor(cursor, voice);
  return moved;
}

void SkipSourcePosition(Voice& voice, uint32_t steps) noexcept {
  SourceCursor cursor = LoadCursor(voice);
  switch (KindOf(voice.loopMode)) {
    case LoopKind::OneShot: {
      const uint32_t available = cursor.index <= cursor.loopEnd ? cursor.loopEnd - cursor.index : 0;
      const uint32_t skip = std::min(steps, available);
      cursor.index += skip;
      if (skip > 0 && cursor.index >= cursor.loopStart) cursor.reached = 1;
      break;
    }
    case LoopKind::Forward:
      SkipForward(cursor, steps);
      break;
    case LoopKind::Alternating:
      SkipAlternating(cursor, steps);
      break;
    case LoopKind::Still:
      break;
  }
  StoreCursor(cursor, voice);
}

[[gnu::noinline]] void RenderBlock(Engine& engine) noexcept {
  const int32_t blockIndex = engine.writeBlock.load(std::memory_order_relaxed);
  alignas(64) int32_t left[kMixFrames] = {};
  alignas(64) int32_t right[kMixFrames] = {};
  const MixBuffer mix{left, right};
  const MixKernels& kernels = MixKernelsFor(engine.renderPath);
  for (int32_t v = 0; v < PolyphonyLimit; ++v) {
    if (engine.voices[v].active) {
      RenderVoice(engine, kernels, engine.voices[v], engine.loopStreams[v], mix);
    }
  }
  StoreMix(left, right, engine.ring.data() + blockIndex * kBlockSamples);
  // Release: the output side that sees the new index also sees the block.
  engine.writeBlock.store(blockIndex + 1 == kRingBlocks ? 0 : blockIndex + 1,
                          std::memory_order_release);
}

}  // namespace velmo
