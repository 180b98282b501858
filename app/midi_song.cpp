#include "app/midi_song.h"

#include <algorithm>
#include <array>

#include "midifile/midi_file_schedule.h"
#include "midifile/standard_midi_file.h"
#include "synth/engine_state.h"

namespace velmo {

namespace {

constexpr uint8_t kEndOfExclusive = 0xF7;
constexpr uint8_t kAllSoundOff = 120;
constexpr uint8_t kResetAllControllers = 121;
constexpr uint8_t kAllNotesOff = 123;

// Controllers whose value simply replaces the last one: only the last before the start counts.
constexpr std::array<uint8_t, 5> kPlainControllers{1, 7, 10, 11, 64};

bool IsPlainController(uint8_t controller) {
  return std::find(kPlainControllers.begin(), kPlainControllers.end(), controller) !=
         kPlainControllers.end();
}

// What a message replayed before a start overrides: (status, controller) or none.
struct ReplayKey {
  uint8_t status = 0;  // 0: not replayed
  uint8_t controller = 0;
  bool supersedable = false;
};

ReplayKey ReplayKeyOf(const Song& song, const SongMessage& message) {
  const uint8_t status = song.schedule[message.first].value;
  const uint8_t kind = status & 0xF0;
  if (status >= 0xF0) return {};  // system messages: the engine takes none
  if (kind == 0xC0) return {status, 0, false};
  if (kind == 0xE0) return {status, 0, true};
  if (kind != 0xB0 || message.size < 3) return {};  // notes and pressures
  const uint8_t controller = song.schedule[message.first + 1].value;
  if (controller == kAllSoundOff || controller == kAllNotesOff) return {};
  return {status, controller, IsPlainController(controller)};
}

std::vector<uint8_t> ChannelDefaults(uint8_t channel) {
  const auto cc = static_cast<uint8_t>(0xB0 | channel);
  // Running status: one status byte, then controller/value pairs. The registered parameters
  // 0 (bend range, 2 semitones), 2 (coarse tuning, centre) and 1 (fine tuning, centre) are set
  // through data entry; Reset All Controllers then deselects them and data entry is cleared.
  return {cc,  kAllSoundOff,
          0,   kAllNotesOff,
          0,   kResetAllControllers,
          0,   0,
          0,   7,
          100, 10,
          64,  101,
          0,   100,
          0,   6,
          2,   100,
          2,   6,
          64,  100,
          1,   6,
          64,  38,
          0,   kResetAllControllers,
          0,   6,
          0,   38,
          0};
}

}  // namespace

std::vector<SongMessage> SplitMessages(const midi::ByteSchedule& schedule) {
  std::vector<SongMessage> messages;
  for (uint32_t i = 0; i < schedule.size(); ++i) {
    const uint8_t byte = schedule[i].value;
    const bool starts = (byte >= 0x80 && byte != kEndOfExclusive) || messages.empty();
    if (starts) {
      messages.push_back({i, 1});
    } else {
      ++messages.back().size;
    }
  }
  return messages;
}

Song MakeSong(std::span<const uint8_t> fileBytes) {
  Song song;
  song.schedule = midi::ScheduleMidiFile(midi::ReadStandardMidiFile(fileBytes));
  song.messages = SplitMessages(song.schedule);
  song.lengthBlocks = song.schedule.empty() ? 0 : song.schedule.back().block + 1;
  for (const SongMessage& message : song.messages) {
    if (message.size < 3) continue;
    const uint8_t status = song.schedule[message.first].value;
    const uint8_t kind = status & 0xF0;
    if (kind != 0x80 && kind != 0x90) continue;
    const uint8_t key = song.schedule[message.first + 1].value;
    const uint8_t velocity = song.schedule[message.first + 2].value;
    song.notes.push_back({song.BlockOf(message), static_cast<uint8_t>(status & 0x0F), key,
                          kind == 0x90 && velocity != 0});
  }
  return song;
}

std::vector<std::vector<uint8_t>> StartMessages(const Song& song, int64_t position) {
  std::vector<std::vector<uint8_t>> start;
  for (uint8_t channel = 0; channel < kChannelCount; ++channel) {
    start.push_back(ChannelDefaults(channel));
    start.push_back({static_cast<uint8_t>(0xC0 | channel), 0});
  }
  std::vector<const SongMessage*> replayed;
  std::vector<ReplayKey> keys;
  for (const SongMessage& message : song.messages) {
    if (song.BlockOf(message) >= position) break;
    const ReplayKey key = ReplayKeyOf(song, message);
    if (key.status == 0) continue;
    replayed.push_back(&message);
    keys.push_back(key);
  }
  // From the last message back: a supersedable one is kept only if no later one of its kind
  // on its channel was seen.
  std::vector<bool> kept(replayed.size(), true);
  std::array<std::array<bool, 129>, kChannelCount> seen{};  // [channel][controller, 128: bend]
  for (size_t i = replayed.size(); i-- > 0;) {
    if (!keys[i].supersedable) continue;
    const bool bend = (keys[i].status & 0xF0) == 0xE0;
    bool& later = seen[keys[i].status & 0x0F][bend ? 128 : keys[i].controller];
    kept[i] = !later;
    later = true;
  }
  for (size_t i = 0; i < replayed.size(); ++i) {
    if (!kept[i]) continue;
    const auto first = song.schedule.begin() + replayed[i]->first;
    std::vector<uint8_t> bytes;
    for (auto byte = first; byte != first + replayed[i]->size; ++byte)
      bytes.push_back(byte->value);
    start.push_back(std::move(bytes));
  }
  return start;
}

}  // namespace velmo
