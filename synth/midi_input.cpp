#include "synth/midi_input.h"

#include "synth/channel_control.h"
#include "synth/note_control.h"

namespace velmo {

void PushMidiByte(Engine& engine, uint8_t byte) noexcept {
  MidiByteQueue& queue = engine.queue;
  // Acquire pairs with the consumer's release decrement: the slot about to be
  // written has been read.
  if (queue.count.load(std::memory_order_acquire) >= kMidiQueueSize) return;  // full: drop
  queue.bytes[queue.writeIndex] = byte;
  queue.writeIndex = (queue.writeIndex + 1) & kMidiQueueMask;
  queue.count.fetch_add(1, std::memory_order_release);
}

uint8_t PopMidiByte(Engine& engine) noexcept {
  MidiByteQueue& queue = engine.queue;
  // The count never drops below 0 (only this side decrements, after seeing a
  // positive count), so an empty queue is left as it is: writing 0 here could
  // erase a concurrent push.
  if (queue.count.load(std::memory_order_acquire) <= 0) return 0;
  const uint8_t byte = queue.bytes[queue.readIndex];
  queue.readIndex = (queue.readIndex + 1) & kMidiQueueMask;
  queue.count.fetch_sub(1, std::memory_order_release);
  return byte;
}

void DrainMidiQueue(Engine& engine) noexcept {
  while (engine.queue.count.load(std::memory_order_acquire) != 0) {
    ParseMidiByte(engine, PopMidiByte(engine));
  }
}

namespace {

void ActOnMessage(Engine& engine, const MidiParser& parser) noexcept {
  const int32_t channel = parser.channel;
  const uint8_t first = parser.data[0];
  const uint8_t second = parser.data[1];
  switch (parser.runningStatus) {
    case 0x80:
      NoteOff(engine, channel, first);
      break;
    case 0x90:
      if (second != 0) {
        NoteOn(engine, channel, first, second);
      } else {
        NoteOff(engine, channel, first);
      }
      break;
    case 0xB0:
      ControlChange(engine, channel, first, second);
      break;
    case 0xC0:
      ProgramChange(engine, channel, first);
      break;
    case 0xE0:
      PitchBend(engine, channel, first, second);
      break;
    default:  // key pressure, channel pressure, system statuses: no action
      break;
  }
}

}  // namespace

void ParseMidiByte(Engine& engine, uint8_t byte) noexcept {
  MidiParser& parser = engine.parser;
  if (byte >= 0xF8) return;  // real time: ignored, running status survives
  if (byte >= 0xF0) {
    parser.runningStatus = byte;
    if (byte == 0xF0) {
      parser.state = MidiParserState::InSysEx;
    } else if (byte == 0xF7) {
      parser.state = MidiParserState::Idle;
    }
    // 0xF1..0xF6 (system common) keep the state, received and expected.
    return;
  }
  if (byte >= 0x80) {  // channel status; an incomplete message is dropped
    parser.runningStatus = static_cast<uint8_t>(byte & 0xF0);
    parser.channel = static_cast<uint8_t>(byte & 0x0F);
    parser.expected = ChannelMessageLength[(byte >> 4) & 7];
    parser.received = 0;
    parser.state = MidiParserState::CollectingData;
    return;
  }
  if (parser.state != MidiParserState::CollectingData) return;  // stray data byte
  parser.data[parser.received] = byte;
  parser.received += 1;
  if (parser.received < parser.expected) return;
  parser.received = 0;  // running status: the next data bytes start a new message
  ActOnMessage(engine, parser);
}

}  // namespace velmo
