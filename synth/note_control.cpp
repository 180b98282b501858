#include "synth/note_control.h"

#include "synth/engine_tables.h"
#include "synth/envelope.h"

namespace velmo {

namespace {

// What steps 1 to 3 of a note-on find in the bank.
struct NoteSource {
  const InstrumentRecord* instrument = nullptr;
  const SampleRecord* sample = nullptr;
  const uint8_t* wave = nullptr;  // the wave block, header included
  int32_t pitchKey = 0;
};

// Instrument by channel (program and bank, or the drum key), region by key,
// sample record and wave. False when the note produces nothing.
bool FindNoteSource(const Engine& engine, const ChannelState& channel, int32_t key,
                    NoteSource& source) {
  const SoundBank& bank = engine.bank;
  int32_t instrumentIndex = 0;
  if (channel.rhythm) {
    if (key < kLowestDrumKey || key > kHighestDrumKey) return false;
    instrumentIndex = key + kDrumInstrumentOffset;
    source.pitchKey = DrumKeyTable[key];
  } else {
    const int32_t row = bank.BankMap[channel.bank];
    if (row >= kMapRows) return false;
    instrumentIndex = bank.ProgramMap[row][channel.program];
    if (instrumentIndex == kNoInstrument || instrumentIndex >= kInstrumentCapacity) return false;
    source.pitchKey = key;
  }
  const InstrumentRecord& instrument = bank.InstrumentTable[instrumentIndex];

  int32_t region = 0;
  while (region < 16 && key > instrument.regionTopKey[region])
    ++region;
  if (region == 16) return false;
  const int32_t sampleNumber = instrument.regionSample[region];
  if (sampleNumber == 0 || sampleNumber >= kSampleCapacity) return false;

  const SampleRecord& sample = bank.SampleTable[sampleNumber];
  if (sample.waveSlot >= kWaveSlotCapacity) return false;
  const uint8_t* wave = bank.WaveSlots[sample.waveSlot].get();
  if (wave == nullptr) return false;
  // Priming reads three samples from `start` on.
  const int32_t frames = WaveBlockSize(wave) - kWaveHeaderBytes;
  if (int32_t{sample.start} + 3 > frames) return false;

  source.instrument = &instrument;
  source.sample = &sample;
  source.wave = wave;
  return true;
}

Voice& ChooseVoice(Engine& engine) {
  for (int32_t v = 0; v < PolyphonyLimit; ++v) {
    if (!engine.voices[v].active) return engine.voices[v];
  }
  int32_t oldest = 0;
  for (int32_t v = 1; v < PolyphonyLimit; ++v) {
    if (engine.voices[v].allocStamp < engine.voices[oldest].allocStamp) oldest = v;
  }
  return engine.voices[oldest];
}

void DampSameKey(Engine& engine, int32_t channel, int32_t key) {
  for (int32_t v = 0; v < PolyphonyLimit; ++v) {
    Voice& voice = engine.voices[v];
    if (voice.channel == channel && voice.key == key) {
      voice.keyHeld = 0;
      voice.keyOffPending = 0;
      voice.envAdvance = 1;
      voice.envStage = 6;
    }
  }
}

}  // namespace

int32_t LevelKeyTerm(int32_t levelKeyScale, int32_t key) noexcept {
  switch (levelKeyScale) {
    case 1:
      return (60 - key) * 2;
    case 2:
      return 60 - key;
    case 3:
      return ((60 - key) * 2) / 3;
    case 4:
      return key * 2 - 120;
    case 5:
      return key - 60;
    case 6:
      return (key * 2 - 120) / 3;
    default:
      return 0;
  }
}

int32_t KeyTrackCents(int32_t pitchKeyTrack, int32_t pitchKey) noexcept {
  if (pitchKeyTrack < 0 || pitchKeyTrack > 6) return 0;
  return ((pitchKey - 60) * KeyFollowTable[pitchKeyTrack] * 100) / 24;
}

void NoteOn(Engine& engine, int32_t channel, uint8_t key, uint8_t velocity) noexcept {
  const ChannelState& state = engine.channels[channel];
  NoteSource source;
  if (!FindNoteSource(engine, state, key, source)) return;
  const InstrumentRecord& instrument = *source.instrument;
  const SampleRecord& sample = *source.sample;

  DampSameKey(engine, channel, key);
  Voice& voice = ChooseVoice(engine);
  engine.loopStreams[&voice - engine.voices.data()].built = false;

  voice.active = 0;
  voice.regionTune = sample.tune;
  voice.sampleData = reinterpret_cast<const int8_t*>(source.wave + kWaveHeaderBytes);
  voice.loopStart = sample.loopStart;
  voice.loopEnd = sample.loopEnd;
  voice.loopMode = sample.loopMode;
  if (sample.loopStart >= sample.loopEnd) voice.loopMode = 0;
  voice.sampleLength = static_cast<uint16_t>(WaveBlockSize(source.wave) - kWaveHeaderBytes);
  if (voice.loopStart >= voice.sampleLength) voice.loopStart = voice.sampleLength - 1;
  if (voice.loopEnd >= voice.sampleLength) voice.loopEnd = voice.sampleLength - 1;

  const uint16_t start = sample.start;
  voice.history[0] = 0;
  voice.history[1] = static_cast<int16_t>(voice.sampleData[start] * 128);
  voice.history[2] = static_cast<int16_t>(voice.sampleData[start + 1] * 128);
  voice.history[3] = static_cast<int16_t>(voice.sampleData[start + 2] * 128);
  voice.sampleIndex = static_cast<uint16_t>(start + 2);

  voice.instrument = &instrument;
  // A level outside 0..127 reads as 0, the quietest entry.
  const int32_t level = instrument.level < 0 ? 0 : instrument.level;
  voice.levelAtt = static_cast<int16_t>(LevelKeyTerm(instrument.levelKeyScale, key) +
                                        LevelAttTable[level] + LevelAttTable[velocity & 127]);

  voice.envCountdown = 0;
  voice.envAdvance = 1;
  voice.envStage = -1;
  // The envelope of the voice's previous note must not carry over: a key-off or
  // damp taken up at the first tick starts from silence.
  voice.envAmp = 0;
  voice.keyHeld = 1;
  voice.keyOffPending = 0;

  voice.channel = static_cast<uint8_t>(channel);
  voice.key = key;
  voice.velocity = velocity;

  voice.pitchCents =
      static_cast<int16_t>(KeyTrackCents(instrument.pitchKeyTrack, source.pitchKey) +
                           voice.regionTune + state.coarseTuneCents + state.fineTuneCents + 6000);

  voice.lfoPhase = 0;
  voice.lfoRate = static_cast<int16_t>(instrument.lfoRate / (2 - engine.OutputRateShift));
  voice.vibratoDepth = static_cast<uint16_t>(instrument.vibratoDepth);
  voice.tremoloDepth = instrument.tremoloDepth;

  const int32_t pan = KeyPanTable[key];
  voice.drumPanAttRight = PanAttTable[pan];
  voice.drumPanAttLeft = PanAttTable[127 - pan];

  voice.loopDirection = 0;
  voice.loopReached = 0;

  UpdateVoicePitch(engine, voice, true);

  engine.AllocStampCounter += 1;
  voice.allocStamp = engine.AllocStampCounter;
  voice.active = 1;
}

void NoteOff(Engine& engine, int32_t channel, uint8_t key) noexcept {
  for (int32_t v = 0; v < PolyphonyLimit; ++v) {
    Voice& voice = engine.voices[v];
    if (voice.active && voice.channel == channel && voice.key == key && voice.keyHeld) {
      voice.keyOffPending = 1;
    }
  }
}

}  // namespace velmo
