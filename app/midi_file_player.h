// Plays a song through the MIDI hand-off in real time, block-exact: a message timed to song
// block b goes out right before engine block start + b, so a song played from its start is the
// same audio as velmo-render's render of the file. The user-interface thread drives it: Pump,
// called every few tens of milliseconds, keeps about half a second of the song in the
// hand-off and follows the song's notes for the keyboard display.
//
// Starting (Play, and Seek while playing) first sends the song's start messages for the
// position (all channels silenced, reset and brought to what the song set before it), then the
// song. Stop, Pause and Seek drop what was handed off and not yet played and send All Notes Off
// and Reset All Controllers on all 16 channels, so that no note hangs. At the song's natural
// end nothing is sent: the last notes ring out as they do in the offline render.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "app/midi_hand_off.h"
#include "app/midi_song.h"

namespace velmo {

enum class PlayerState { kStopped, kPlaying, kPaused };

class MidiFilePlayer {
 public:
  // Engine blocks between a start and the first start message: time for the hand-off.
  static constexpr int64_t kStartLeadBlocks = 3;
  // How far ahead of the engine the song is handed off.
  static constexpr int64_t kAheadBlocks = 50;
  // The hand-off holds the whole lead even where every block takes a full engine queue, so a
  // dense song never waits for room there.
  static_assert(MidiHandOff::kTimedCapacity >=
                static_cast<uint64_t>((kAheadBlocks + kStartLeadBlocks + 2) * kMidiQueueSize));

  // Shows a key pressed in a channel's colour (channel 0..15) or up (channel -1).
  using KeyDisplay = std::function<void(int32_t key, int32_t channel)>;

  explicit MidiFilePlayer(MidiHandOff& handOff);

  // Takes a new song, stopping the one that played (position 0, stopped).
  void Open(Song song);
  void Close();
  bool HasSong() const { return hasSong_; }
  const Song& CurrentSong() const { return song_; }
  PlayerState State() const { return state_; }
  int64_t LengthBlocks() const { return song_.lengthBlocks; }
  // Song blocks rendered so far (the position the slider shows).
  int64_t Position() const;

  void Play();
  void Pause();
  void Stop();
  // Moves to `block` (clamped to the song); playing goes on from there.
  void Seek(int64_t block);
  // Hands off what is due soon, updates the key display and stops at the song's end.
  void Pump();

  void SetKeyDisplay(KeyDisplay display) { keyDisplay_ = std::move(display); }
  // The engine block the song's block 0 goes before, while playing.
  int64_t StartBlock() const { return startBlock_ - position_; }

 private:
  struct PendingMessage {
    std::vector<midi::ScheduledByte> bytes;
  };

  void StartAt(int64_t position);
  // Drops the hand-off's pending song bytes and sends notes off and controller resets.
  void Silence();
  void HandOffDue();
  void ShowNotesUpTo(int64_t songBlock);
  void ClearKeys();

  MidiHandOff& handOff_;
  Song song_;
  bool hasSong_ = false;
  PlayerState state_ = PlayerState::kStopped;
  int64_t position_ = 0;    // song block where the current (or next) run starts
  int64_t startBlock_ = 0;  // engine block at which song block position_ is rendered

  std::vector<PendingMessage> startMessages_;  // still to hand off, before the song
  size_t startSent_ = 0;
  size_t nextMessage_ = 0;  // next song message to hand off
  size_t nextNote_ = 0;     // next song note to show

  KeyDisplay keyDisplay_;
  std::array<std::array<bool, 128>, 16> noteOn_{};  // [channel][key] as the song has them
  std::array<int8_t, 128> shownChannel_{};          // channel a key is shown in, -1 up
};

}  // namespace velmo
