#include "app/midi_file_player.h"

#include <algorithm>
#include <array>

#include "midifile/midi_file_schedule.h"
#include "synth/engine_state.h"

namespace velmo {

namespace {

constexpr uint8_t kResetAllControllers = 121;
constexpr uint8_t kAllNotesOff = 123;

}  // namespace

MidiFilePlayer::MidiFilePlayer(MidiHandOff& handOff) : handOff_(handOff) {
  shownChannel_.fill(-1);
}

void MidiFilePlayer::Open(Song song) {
  Close();
  song_ = std::move(song);
  hasSong_ = true;
}

void MidiFilePlayer::Close() {
  if (state_ != PlayerState::kStopped) Stop();
  song_ = Song{};
  hasSong_ = false;
  position_ = 0;
}

int64_t MidiFilePlayer::Position() const {
  if (state_ != PlayerState::kPlaying) return position_;
  const int64_t played = handOff_.NextBlock() - startBlock_;
  return std::clamp<int64_t>(position_ + played, position_, song_.lengthBlocks);
}

void MidiFilePlayer::Play() {
  if (!hasSong_ || state_ == PlayerState::kPlaying) return;
  StartAt(position_ >= song_.lengthBlocks ? 0 : position_);
}

void MidiFilePlayer::Pause() {
  if (state_ != PlayerState::kPlaying) return;
  position_ = Position();
  state_ = PlayerState::kPaused;
  Silence();
}

void MidiFilePlayer::Stop() {
  if (!hasSong_) return;
  const bool wasPlaying = state_ != PlayerState::kStopped;
  position_ = 0;
  state_ = PlayerState::kStopped;
  if (wasPlaying) Silence();
}

void MidiFilePlayer::Seek(int64_t block) {
  if (!hasSong_) return;
  block = std::clamp<int64_t>(block, 0, song_.lengthBlocks);
  Silence();
  if (state_ == PlayerState::kPlaying) {
    StartAt(block);
  } else {
    position_ = block;
  }
}

void MidiFilePlayer::StartAt(int64_t position) {
  position_ = position;
  state_ = PlayerState::kPlaying;
  ClearKeys();

  // The start messages fill whole blocks from the lead on, 512 bytes at most per block (the
  // engine's queue), and the song's first block follows the last of them.
  const int64_t firstBlock = handOff_.NextBlock() + kStartLeadBlocks;
  std::vector<std::vector<uint8_t>> messages = StartMessages(song_, position);
  midi::ByteSchedule flat;
  for (const std::vector<uint8_t>& message : messages) {
    for (const uint8_t byte : message)
      flat.push_back({firstBlock, byte});
  }
  const midi::ByteSchedule spread = midi::SpreadOverflow(flat, kMidiQueueSize);
  startMessages_.clear();
  size_t at = 0;
  for (const std::vector<uint8_t>& message : messages) {
    startMessages_.push_back({{spread.begin() + static_cast<std::ptrdiff_t>(at),
                               spread.begin() + static_cast<std::ptrdiff_t>(at + message.size())}});
    at += message.size();
  }
  startSent_ = 0;
  startBlock_ = (spread.empty() ? firstBlock : spread.back().block + 1);

  const auto byBlock = [this](const SongMessage& message, int64_t block) {
    return song_.BlockOf(message) < block;
  };
  nextMessage_ = static_cast<size_t>(
      std::lower_bound(song_.messages.begin(), song_.messages.end(), position, byBlock) -
      song_.messages.begin());
  nextNote_ = static_cast<size_t>(
      std::lower_bound(song_.notes.begin(), song_.notes.end(), position,
                       [](const SongNote& note, int64_t block) { return note.block < block; }) -
      song_.notes.begin());
  HandOffDue();
}

void MidiFilePlayer::Silence() {
  handOff_.DiscardTimed();
  startMessages_.clear();
  startSent_ = 0;
  for (uint8_t channel = 0; channel < kChannelCount; ++channel) {
    const auto cc = static_cast<uint8_t>(0xB0 | channel);
    const std::array<uint8_t, 6> message{cc, kAllNotesOff, 0, cc, kResetAllControllers, 0};
    handOff_.SendNow(message);
  }
  ClearKeys();
}

void MidiFilePlayer::HandOffDue() {
  for (; startSent_ < startMessages_.size(); ++startSent_) {
    if (!handOff_.SendTimed(startMessages_[startSent_].bytes)) return;
  }
  const int64_t horizon = handOff_.NextBlock() + kAheadBlocks;
  const int64_t offset = startBlock_ - position_;  // engine block = song block + offset
  std::vector<midi::ScheduledByte> bytes;
  for (; nextMessage_ < song_.messages.size(); ++nextMessage_) {
    const SongMessage& message = song_.messages[nextMessage_];
    if (song_.BlockOf(message) + offset >= horizon) return;
    bytes.clear();
    for (uint32_t i = message.first; i < message.first + message.size; ++i) {
      bytes.push_back({song_.schedule[i].block + offset, song_.schedule[i].value});
    }
    if (!handOff_.SendTimed(bytes)) return;  // the ring is full: the rest at the next pump
  }
}

void MidiFilePlayer::Pump() {
  if (state_ != PlayerState::kPlaying) return;
  HandOffDue();
  const int64_t position = Position();
  ShowNotesUpTo(position);
  if (position >= song_.lengthBlocks && nextMessage_ == song_.messages.size()) {
    // The song has been rendered to its end.
    state_ = PlayerState::kStopped;
    position_ = 0;
    ClearKeys();
  }
}

void MidiFilePlayer::ShowNotesUpTo(int64_t songBlock) {
  for (; nextNote_ < song_.notes.size() && song_.notes[nextNote_].block < songBlock; ++nextNote_) {
    const SongNote& note = song_.notes[nextNote_];
    noteOn_[note.channel][note.key] = note.on;
    int8_t shown = -1;
    if (note.on) {
      shown = static_cast<int8_t>(note.channel);
    } else {
      for (int8_t channel = 0; channel < kChannelCount && shown < 0; ++channel) {
        if (noteOn_[channel][note.key]) shown = channel;
      }
    }
    if (shown != shownChannel_[note.key]) {
      shownChannel_[note.key] = shown;
      if (keyDisplay_) keyDisplay_(note.key, shown);
    }
  }
}

void MidiFilePlayer::ClearKeys() {
  for (auto& channel : noteOn_)
    channel.fill(false);
  for (int32_t key = 0; key < 128; ++key) {
    if (shownChannel_[key] < 0) continue;
    shownChannel_[key] = -1;
    if (keyDisplay_) keyDisplay_(key, -1);
  }
}

}  // namespace velmo
