#include "midifile/standard_midi_file.h"

#include <array>
#include <cstdio>
#include <string_view>

namespace velmo::midi {
namespace {

constexpr size_t kChunkHeaderSize = 8;
constexpr size_t kHeaderDataSize = 6;
constexpr int kMaxVarLenBytes = 4;
constexpr uint8_t kMetaTempo = 0x51;
constexpr uint8_t kMetaEndOfTrack = 0x2F;

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%02X", value);
  return text;
}

[[noreturn]] void Fail(const std::string& what, size_t offset) {
  throw MidiFileError("bad MIDI file: " + what + " (at byte offset " + std::to_string(offset) +
                      ")");
}

uint32_t ReadBigEndian(std::span<const uint8_t> bytes) {
  uint32_t value = 0;
  for (const uint8_t byte : bytes)
    value = value << 8 | byte;
  return value;
}

// Reads one chunk's bytes, bounds-checked. `fileOffset` is where `bytes` begins in the file, so
// that errors point at the right place.
class ChunkReader {
 public:
  ChunkReader(std::span<const uint8_t> bytes, size_t fileOffset)
      : bytes_(bytes), fileOffset_(fileOffset) {}

  bool AtEnd() const { return pos_ == bytes_.size(); }
  size_t Offset() const { return fileOffset_ + pos_; }

  uint8_t Byte() {
    if (AtEnd()) Fail("track ends in the middle of an event", Offset());
    return bytes_[pos_++];
  }

  uint8_t Peek() const {
    if (AtEnd()) Fail("track ends in the middle of an event", Offset());
    return bytes_[pos_];
  }

  uint32_t VarLen() {
    const size_t start = Offset();
    uint32_t value = 0;
    for (int i = 0; i < kMaxVarLenBytes; ++i) {
      const uint8_t byte = Byte();
      value = value << 7 | (byte & 0x7F);
      if ((byte & 0x80) == 0) return value;
    }
    Fail("variable-length number longer than four bytes", start);
  }

  std::span<const uint8_t> Bytes(uint32_t count) {
    if (count > bytes_.size() - pos_) {
      Fail("event claims " + std::to_string(count) + " bytes but the track has only " +
               std::to_string(bytes_.size() - pos_) + " left",
           Offset());
    }
    const std::span<const uint8_t> result = bytes_.subspan(pos_, count);
    pos_ += count;
    return result;
  }

 private:
  std::span<const uint8_t> bytes_;
  size_t fileOffset_;
  size_t pos_ = 0;
};

int ChannelDataLength(uint8_t status) {
  const uint8_t kind = status & 0xF0;
  return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
}

[[noreturn]] void TooLarge(const std::string& limit, size_t offset) {
  throw MidiFileError("MIDI file too large: it holds more than " + limit +
                      ", the most that is read (at byte offset " + std::to_string(offset) + ")");
}

// Counts what the tracks read so far hold, against the file-wide limits.
class EventBudget {
 public:
  explicit EventBudget(const MidiFileLimits& limits) : limits_(limits) {}
  void Take(size_t bytes, size_t offset) {
    if (++events_ > limits_.events) TooLarge(std::to_string(limits_.events) + " events", offset);
    bytes_ += bytes;
    if (bytes_ > limits_.eventBytes) {
      TooLarge(std::to_string(limits_.eventBytes) + " bytes of MIDI messages", offset);
    }
  }

 private:
  MidiFileLimits limits_;
  uint64_t events_ = 0;
  uint64_t bytes_ = 0;
};

// Reads one track into `track`, or only checks it and counts its events when `track` is null.
void ReadTrack(ChunkReader reader, EventBudget& budget, MidiTrack* track) {
  uint64_t tick = 0;
  // Running status survives meta and system exclusive events: the format says they cancel it,
  // but files that rely on it anyway are common and the meaning is unambiguous.
  uint8_t runningStatus = 0;

  while (!reader.AtEnd()) {
    tick += reader.VarLen();
    const size_t eventOffset = reader.Offset();
    uint8_t status = reader.Peek();
    if (status < 0x80) {
      if (runningStatus == 0) Fail("data byte without a status byte", eventOffset);
      status = runningStatus;
    } else {
      reader.Byte();
    }

    if (status < 0xF0) {
      runningStatus = status;
      const int length = 1 + ChannelDataLength(status);
      std::array<uint8_t, 3> bytes = {status, 0, 0};
      for (int i = 1; i < length; ++i) {
        const size_t dataOffset = reader.Offset();
        const uint8_t data = reader.Byte();
        if (data >= 0x80) Fail("data byte " + Hex(data) + " has its top bit set", dataOffset);
        bytes[static_cast<size_t>(i)] = data;
      }
      budget.Take(static_cast<size_t>(length), eventOffset);
      if (track != nullptr) {
        TrackEvent event;
        event.tick = tick;
        event.bytes.assign(bytes.begin(), bytes.begin() + length);
        track->events.push_back(std::move(event));
      }
    } else if (status == 0xF0 || status == 0xF7) {
      const uint32_t length = reader.VarLen();
      const std::span<const uint8_t> data = reader.Bytes(length);
      budget.Take(size_t{length} + 1, eventOffset);
      if (track == nullptr) continue;
      TrackEvent event;
      event.tick = tick;
      if (status == 0xF0) event.bytes.push_back(0xF0);  // an escape (F7) sends its data only
      event.bytes.insert(event.bytes.end(), data.begin(), data.end());
      if (!event.bytes.empty()) track->events.push_back(std::move(event));
    } else if (status == 0xFF) {
      const uint8_t type = reader.Byte();
      const uint32_t length = reader.VarLen();
      const std::span<const uint8_t> data = reader.Bytes(length);
      if (type == kMetaEndOfTrack) break;  // anything after it in the chunk is ignored
      if (type == kMetaTempo && length == 3) {
        budget.Take(0, eventOffset);
        if (track == nullptr) continue;
        TrackEvent tempo;
        tempo.tick = tick;
        tempo.kind = TrackEventKind::kTempo;
        tempo.microsecondsPerQuarter = ReadBigEndian(data);
        track->events.push_back(std::move(tempo));
      }
    } else {
      Fail("status byte " + Hex(status) + " is not allowed in a MIDI file track", eventOffset);
    }
  }
}

TimeDivision ReadDivision(uint16_t word) {
  TimeDivision division;
  if ((word & 0x8000) == 0) {
    if (word == 0) Fail("time division of 0 ticks per quarter note", 12);
    division.ticksPerQuarter = word;
    return division;
  }
  division.smpte = true;
  division.framesPerSecond = static_cast<uint8_t>(-static_cast<int8_t>(word >> 8));
  division.ticksPerFrame = static_cast<uint8_t>(word & 0xFF);
  const uint8_t fps = division.framesPerSecond;
  if (fps != 24 && fps != 25 && fps != 29 && fps != 30) {
    Fail("SMPTE time division with " + std::to_string(fps) + " frames per second", 12);
  }
  if (division.ticksPerFrame == 0) Fail("SMPTE time division with 0 ticks per frame", 12);
  return division;
}

}  // namespace

StandardMidiFile ReadStandardMidiFile(std::span<const uint8_t> data, const MidiFileLimits& limits) {
  const auto chunkId = [&](size_t offset) {
    return std::string_view(reinterpret_cast<const char*>(data.data() + offset), 4);
  };
  if (data.size() < kChunkHeaderSize + kHeaderDataSize || chunkId(0) != "MThd") {
    throw MidiFileError("not a Standard MIDI File: no MThd header");
  }
  const uint32_t headerLength = ReadBigEndian(data.subspan(4, 4));
  if (headerLength < kHeaderDataSize) Fail("MThd chunk shorter than 6 bytes", 4);
  if (headerLength > data.size() - kChunkHeaderSize) Fail("MThd chunk runs past the end", 4);

  StandardMidiFile file;
  file.format = static_cast<uint16_t>(ReadBigEndian(data.subspan(8, 2)));
  const uint32_t trackCount = ReadBigEndian(data.subspan(10, 2));
  if (file.format == 2) {
    throw MidiFileError(
        "MIDI file format 2 (independent sequences) is not supported; use format 0 or 1");
  }
  if (file.format > 2) Fail("unknown MIDI file format " + std::to_string(file.format), 8);
  if (trackCount == 0) Fail("the header announces no tracks", 10);
  file.division = ReadDivision(static_cast<uint16_t>(ReadBigEndian(data.subspan(12, 2))));

  // Every track is first only checked and counted, so that a file over the limits is refused
  // before it takes any memory; then it is read.
  for (const bool keep : {false, true}) {
    EventBudget budget(limits);
    size_t offset = kChunkHeaderSize + headerLength;
    for (uint32_t tracks = 0; tracks < trackCount;) {
      if (data.size() - offset < kChunkHeaderSize) {
        Fail("file ends after " + std::to_string(tracks) + " of " + std::to_string(trackCount) +
                 " tracks",
             offset);
      }
      const uint32_t length = ReadBigEndian(data.subspan(offset + 4, 4));
      const size_t body = offset + kChunkHeaderSize;
      if (length > data.size() - body) {
        Fail("chunk claims " + std::to_string(length) + " bytes but only " +
                 std::to_string(data.size() - body) + " remain",
             offset + 4);
      }
      if (chunkId(offset) == "MTrk") {
        MidiTrack* track = keep ? &file.tracks.emplace_back() : nullptr;
        ReadTrack(ChunkReader(data.subspan(body, length), body), budget, track);
        ++tracks;
      }  // chunks of other types are skipped, as the format asks
      offset = body + length;
    }
  }
  return file;
}

}  // namespace velmo::midi
