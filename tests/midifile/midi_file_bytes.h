// Builds Standard MIDI File images byte by byte for the tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace velmo::midi::testing {

using Bytes = std::vector<uint8_t>;

inline void Append(Bytes& to, const Bytes& bytes) {
  to.insert(to.end(), bytes.begin(), bytes.end());
}

inline Bytes VarLen(uint32_t value) {
  Bytes groups{static_cast<uint8_t>(value & 0x7F)};
  while ((value >>= 7) != 0)
    groups.insert(groups.begin(), static_cast<uint8_t>(0x80 | (value & 0x7F)));
  return groups;
}

inline Bytes BigEndian(uint32_t value, int width) {
  Bytes bytes;
  for (int shift = (width - 1) * 8; shift >= 0; shift -= 8) {
    bytes.push_back(static_cast<uint8_t>(value >> shift));
  }
  return bytes;
}

inline Bytes Chunk(const std::string& id, const Bytes& body) {
  Bytes chunk(id.begin(), id.end());
  Append(chunk, BigEndian(static_cast<uint32_t>(body.size()), 4));
  Append(chunk, body);
  return chunk;
}

inline Bytes Header(uint16_t format, uint16_t tracks, uint16_t division) {
  Bytes body = BigEndian(format, 2);
  Append(body, BigEndian(tracks, 2));
  Append(body, BigEndian(division, 2));
  return Chunk("MThd", body);
}

// One event of a track body: delta time, then the event bytes as they stand in the file.
inline Bytes Event(uint32_t delta, std::initializer_list<uint8_t> bytes) {
  Bytes event = VarLen(delta);
  event.insert(event.end(), bytes);
  return event;
}

inline Bytes TempoEvent(uint32_t delta, uint32_t microsecondsPerQuarter) {
  Bytes event = VarLen(delta);
  Append(event, {0xFF, 0x51, 0x03});
  Append(event, BigEndian(microsecondsPerQuarter, 3));
  return event;
}

inline Bytes EndOfTrack(uint32_t delta = 0) {
  return Event(delta, {0xFF, 0x2F, 0x00});
}

inline Bytes Track(std::initializer_list<Bytes> events) {
  Bytes body;
  for (const Bytes& event : events)
    Append(body, event);
  return Chunk("MTrk", body);
}

inline Bytes MidiFile(uint16_t format, uint16_t division, std::initializer_list<Bytes> tracks) {
  Bytes file = Header(format, static_cast<uint16_t>(tracks.size()), division);
  for (const Bytes& track : tracks)
    Append(file, track);
  return file;
}

}  // namespace velmo::midi::testing
