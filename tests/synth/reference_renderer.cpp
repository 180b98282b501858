#include "tests/synth/reference_renderer.h"

#include <algorithm>
#include <cstring>

#include "synth/engine_tables.h"
#include "synth/envelope.h"

namespace velmo::test {

namespace {

// Attenuation sum in 1/8 dB -> GainCurve value (0.5 dB steps, clamped 0..127).
int32_t CurveValue(int32_t attenuation) {
  return GainCurve[std::clamp(attenuation >> 2, 0, 127)];
}

}  // namespace

bool ReferenceStep(Voice& voice) {
  switch (voice.loopMode) {
    case 0:
      voice.sampleIndex = static_cast<uint16_t>(voice.sampleIndex + 1);
      if (voice.sampleIndex > voice.loopEnd) return false;
      if (voice.sampleIndex >= voice.loopStart) voice.loopReached = 1;
      return true;
    case 1:
      voice.sampleIndex = static_cast<uint16_t>(voice.sampleIndex + 1);
      if (voice.sampleIndex > voice.loopEnd) {
        voice.sampleIndex = voice.loopStart;
      } else if (voice.sampleIndex >= voice.loopStart) {
        voice.loopReached = 1;
      }
      return true;
    case 2:
    case 3:
      if (voice.loopDirection != 0) {
        // Turns at loopStart for every value of it, 0 included; coinciding loop
        // points turn at loopEnd so that no fetch leaves the wave.
        if (voice.sampleIndex <= voice.loopStart) {
          voice.sampleIndex = std::min<uint16_t>(voice.loopStart + 1, voice.loopEnd);
          voice.loopDirection = 0;
        } else {
          voice.sampleIndex = static_cast<uint16_t>(voice.sampleIndex - 1);
        }
      } else {
        voice.sampleIndex = static_cast<uint16_t>(voice.sampleIndex + 1);
        if (voice.sampleIndex > voice.loopEnd) {
          voice.sampleIndex = static_cast<uint16_t>(voice.loopEnd - 1);
          voice.loopDirection = voice.loopMode == 2 ? 1 : 2;
        } else if (voice.sampleIndex >= voice.loopStart) {
          voice.loopReached = 1;
        }
      }
      return true;
    default:  // unknown mode: the position stays
      return true;
  }
}

namespace {

void RenderVoice(Engine& engine, Voice& voice, int16_t* block) {
  UpdateVoicePitch(engine, voice, false);

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
  int32_t gainL = VoiceGain(voice.envAmp, volL, voice.tremoloValue);
  int32_t gainR = VoiceGain(voice.envAmp, volR, voice.tremoloValue);

  bool ranOut = false;
  for (int32_t n = 0; n < kFramesPerBlock; ++n) {
    if (voice.envCountdown != 0) {
      voice.envCountdown = static_cast<uint16_t>(voice.envCountdown - 1);
    } else {
      voice.envCountdown = static_cast<uint16_t>(engine.EnvTickPeriod);
      if (EnvTick(engine, voice)) {
        gainL = VoiceGain(voice.envAmp, volL, voice.tremoloValue);
        gainR = VoiceGain(voice.envAmp, volR, voice.tremoloValue);
      }
    }
    const int32_t f = static_cast<int32_t>(voice.phaseFrac >> 9) & 127;
    const int32_t s =
        (voice.history[0] * InterpKernel[128 + f] + voice.history[1] * InterpKernel[f] +
         voice.history[2] * InterpKernel[128 - f] + voice.history[3] * InterpKernel[256 - f]) >>
        17;
    block[2 * n] = static_cast<int16_t>(block[2 * n] + ((gainL * s) >> 13));
    block[2 * n + 1] = static_cast<int16_t>(block[2 * n + 1] + ((gainR * s) >> 13));

    voice.phaseFrac += voice.step;
    uint32_t k = voice.phaseFrac >> 16;
    voice.phaseFrac &= 0xFFFF;
    while (k-- > 0) {
      voice.history[0] = voice.history[1];
      voice.history[1] = voice.history[2];
      voice.history[2] = voice.history[3];
      if (!ReferenceStep(voice)) {
        ranOut = true;
        break;
      }
      const int32_t x = voice.sampleData[voice.sampleIndex];
      voice.history[3] = static_cast<int16_t>(voice.loopDirection == 1 ? -x * 128 : x * 128);
    }
  }
  if (ranOut) voice.active = 0;
  if (voice.envStage == 8) {
    voice.active = 0;
    voice.allocStamp = 0;
  }
}

}  // namespace

void ReferenceRenderBlock(Engine& engine) {
  const int32_t blockIndex = engine.writeBlock.load(std::memory_order_relaxed);
  int16_t* block = engine.ring.data() + blockIndex * kBlockSamples;
  std::memset(block, 0, kBlockBytes);
  for (int32_t v = 0; v < PolyphonyLimit; ++v) {
    if (engine.voices[v].active) RenderVoice(engine, engine.voices[v], block);
  }
  // Release: the output side that sees the new index also sees the block.
  engine.writeBlock.store(blockIndex + 1 == kRingBlocks ? 0 : blockIndex + 1,
                          std::memory_order_release);
}

}  // namespace velmo::test
