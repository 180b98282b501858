#include "synth/channel_control.h"

#include "synth/engine_tables.h"

namespace velmo {

namespace {

constexpr uint8_t kNullParameter = 127;
constexpr uint8_t kNoParameter = 0;
constexpr uint8_t kNonRegistered = 1;
constexpr uint8_t kRegistered = 2;

bool RegisteredParameterIs(const ChannelState& state, uint8_t lsb) {
  return state.paramSelect == kRegistered && state.rpnMsb == 0 && state.rpnLsb == lsb;
}

void DataEntryMsb(ChannelState& state, uint8_t value) {
  state.dataEntryMsb = value;
  if (RegisteredParameterIs(state, 0)) {  // pitch bend sensitivity, whole semitones
    state.bendRangeCents = static_cast<int16_t>(value * 100);
  }
  if (RegisteredParameterIs(state, 2) && value >= 40 && value <= 88) {  // coarse tuning
    state.coarseTuneCents = static_cast<int16_t>((value - 64) * 100);
  }
}

void DataEntryLsb(ChannelState& state, uint8_t value) {
  state.dataEntryLsb = value;
  if (RegisteredParameterIs(state, 1)) {  // fine tuning from the stored MSB
    const int32_t entry = (state.dataEntryMsb << 7) + value - 8192;
    state.fineTuneCents = static_cast<int16_t>((entry * 100) >> 13);
  }
}

}  // namespace

void ControlChange(Engine& engine, int32_t channel, uint8_t controller, uint8_t value) noexcept {
  ChannelState& state = engine.channels[channel];
  switch (controller) {
    case 0:
      state.bankSelect = value;
      break;
    case 1:
      state.modulation = value;
      break;
    case 6:
      DataEntryMsb(state, value);
      break;
    case 7:
      state.volumeAtt = LevelAttTable[value];
      break;
    case 10:
      state.panAttRight = PanAttTable[value];
      state.panAttLeft = PanAttTable[127 - value];
      break;
    case 11:
      state.expressionAtt = LevelAttTable[value];
      break;
    case 38:
      DataEntryLsb(state, value);
      break;
    case 64:
      state.hold = static_cast<uint8_t>(value & 0xC0);
      break;
    case 98:
    case 99:
      state.paramSelect = kNonRegistered;
      break;
    case 100:
      state.rpnLsb = value;
      state.paramSelect = kRegistered;
      break;
    case 101:
      state.rpnMsb = value;
      state.paramSelect = kRegistered;
      break;
    case 120:
      AllSoundOff(engine, channel);
      break;
    case 121:
      ResetAllControllers(engine, channel);
      break;
    case 123:
      AllNotesOff(engine, channel);
      break;
    default:  // unsupported controllers are ignored
      break;
  }
}

void ProgramChange(Engine& engine, int32_t channel, uint8_t program) noexcept {
  ChannelState& state = engine.channels[channel];
  state.program = program;
  state.bank = state.bankSelect;
}

void PitchBend(Engine& engine, int32_t channel, uint8_t first, uint8_t second) noexcept {
  ChannelState& state = engine.channels[channel];
  state.bend = static_cast<int16_t>((second << 7) + first - 8192);
  state.bendCents = static_cast<int16_t>((state.bend * state.bendRangeCents) >> 13);
}

void AllSoundOff(Engine& engine, int32_t channel) noexcept {
  for (Voice& voice : engine.voices) {
    if (voice.channel == channel) {
      voice.active = 0;
      voice.allocStamp = 0;
    }
  }
}

void AllNotesOff(Engine& engine, int32_t channel) noexcept {
  for (int32_t v = 0; v < PolyphonyLimit; ++v) {
    if (engine.voices[v].channel == channel) engine.voices[v].keyOffPending = 1;
  }
}

void ResetAllControllers(Engine& engine, int32_t channel) noexcept {
  ChannelState& state = engine.channels[channel];
  state.bendCents = 0;
  state.bend = 0;
  state.hold = 0;
  state.modulation = 0;
  state.expressionAtt = LevelAttTable[127];
  state.rpnMsb = kNullParameter;
  state.rpnLsb = kNullParameter;
  state.paramSelect = kNoParameter;
}

void ResetChannels(Engine& engine) noexcept {
  for (int32_t channel = 0; channel < kChannelCount; ++channel) {
    AllSoundOff(engine, channel);
    ResetAllControllers(engine, channel);
    ChannelState& state = engine.channels[channel];
    state.volumeAtt = LevelAttTable[100];
    state.panAttRight = PanAttTable[64];
    state.panAttLeft = PanAttTable[63];
    state.program = 0;
    state.bendRangeCents = 200;
    state.coarseTuneCents = 0;
    state.fineTuneCents = 0;
    state.rhythm = 0;
    state.bank = 0;
    state.bankSelect = 0;
  }
  engine.channels[kRhythmChannel].rhythm = 1;
}

}  // namespace velmo
