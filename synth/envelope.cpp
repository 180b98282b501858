#include "synth/envelope.h"

#include <algorithm>

#include "synth/engine_tables.h"

namespace velmo {

namespace {

constexpr int32_t kDampRateIndex = 100;

bool HoldsAtSustain(int8_t envMode) {
  return envMode == 1 || envMode == 4;
}
bool IgnoresKeyOff(int8_t envMode) {
  return envMode == 2 || envMode == 5;
}

// Rate index of segment k with key scaling, clamped to 0..127. A selector
// outside 0..3 scales by 0.
int32_t RateIndex(const Voice& voice, const InstrumentRecord& instrument, int32_t segment) {
  const int8_t selector = instrument.envRateKeyScale[segment];
  const int32_t factor = (selector >= 0 && selector <= 3) ? KeyScaleFactors[selector] : 0;
  const int32_t rate = ((voice.key - 60) * factor) / 12 + instrument.envRate[segment];
  return std::clamp(rate, 0, 127);
}

void EnterSegment(Voice& voice, const InstrumentRecord& instrument, int32_t segment) {
  voice.envDelta = EnvRateTable[RateIndex(voice, instrument, segment)];
  voice.envTarget = instrument.envLevel[segment] * 256;
  voice.envDirection = voice.envTarget > voice.envAmp ? 1 : -1;
}

void EnterStage(Voice& voice, const InstrumentRecord& instrument) {
  switch (voice.envStage) {
    case 0:  // attack
      voice.envAmp = 0;
      EnterSegment(voice, instrument, 0);
      voice.envDirection = 1;
      break;
    case 1:  // first decay
      EnterSegment(voice, instrument, 1);
      break;
    case 2:  // wait for the loop
      if (voice.loopReached) {
        voice.envStage = 3;
        EnterSegment(voice, instrument, 2);
      } else {
        voice.envDirection = 0;
      }
      break;
    case 3:  // second decay
      EnterSegment(voice, instrument, 2);
      break;
    case 4:  // third decay
      EnterSegment(voice, instrument, 3);
      break;
    case 5:  // sustain
      if (HoldsAtSustain(instrument.envMode)) {
        voice.envDirection = 0;
      } else {
        voice.envStage = 6;
        EnterSegment(voice, instrument, 4);
      }
      break;
    case 6:  // release
      EnterSegment(voice, instrument, 4);
      break;
    case 7:  // damp
      voice.envDelta = EnvRateTable[kDampRateIndex];
      voice.envTarget = instrument.envLevel[5] * 256;
      voice.envDirection = -1;
      break;
    case 8:  // end: the renderer frees the voice after this block
      voice.envDirection = 0;
      break;
    default:
      break;
  }
}

}  // namespace

bool EnvTick(const Engine& engine, Voice& voice) noexcept {
  const InstrumentRecord& instrument = *voice.instrument;
  if (voice.keyOffPending && engine.channels[voice.channel].hold == 0) {
    voice.keyOffPending = 0;
    voice.keyHeld = 0;
    if (!IgnoresKeyOff(instrument.envMode)) {
      voice.envStage = 5;
      voice.envAdvance = 1;
    }
  }
  if (voice.envStage == 2 && voice.loopReached) voice.envAdvance = 1;
  if (voice.envAdvance) {
    voice.envAdvance = 0;
    voice.envStage = static_cast<int16_t>(voice.envStage + 1);
    EnterStage(voice, instrument);
  }
  if (voice.envDirection < 0) {
    // The amplitude stays within 0..32512 for levels 0..127; the index is
    // clamped for records with negative levels.
    const int32_t shift = DecayShiftTable[std::clamp(voice.envAmp >> 12, 0, 7)];
    voice.envAmp -= (voice.envDelta >> shift) + 1;
    if (voice.envAmp < voice.envTarget) {
      voice.envAmp = voice.envTarget;
      voice.envAdvance = 1;
    }
    return true;
  }
  if (voice.envDirection > 0) {
    voice.envAmp += voice.envDelta;
    if (voice.envAmp > voice.envTarget) {
      voice.envAmp = voice.envTarget;
      voice.envAdvance = 1;
    }
    return true;
  }
  return false;
}

uint32_t StepFromPitch(int32_t pitchCents, int32_t outputRateShift) noexcept {
  const int32_t pitch = std::min(pitchCents, kHighestPitchCents);
  const int32_t octave = pitch >= 0 ? pitch / 1200 : -((1199 - pitch) / 1200);  // floor
  const int32_t cents = pitch - 1200 * octave;                                  // 0..1199
  const int32_t shift = octave - outputRateShift;
  const uint32_t base = PitchTable[cents];
  if (shift > 0) return base << std::min(shift, 31);
  if (shift < 0) return -shift >= 32 ? 0u : base >> -shift;
  return base;
}

void UpdateVoicePitch(const Engine& engine, Voice& voice, bool atNoteOn) noexcept {
  const ChannelState& channel = engine.channels[voice.channel];
  int32_t pitch = voice.pitchCents;
  if (channel.rhythm) {
    if (!atNoteOn) return;  // drum notes keep their note-on step: no bend, no vibrato
  } else {
    int32_t depth = std::max<int32_t>(voice.vibratoDepth, channel.modulation);
    depth = (depth * 101) >> 7;
    const int32_t vibrato = (LfoTable[voice.lfoPhase & 511] * depth) >> 8;
    voice.lfoPhase = static_cast<uint16_t>((voice.lfoPhase + voice.lfoRate) & 511);
    voice.tremoloValue = static_cast<int16_t>(LfoTable[voice.lfoPhase] * voice.tremoloDepth);
    pitch = channel.bendCents + voice.pitchCents + vibrato;
  }
  voice.step = StepFromPitch(pitch, engine.OutputRateShift);
}

}  // namespace velmo
