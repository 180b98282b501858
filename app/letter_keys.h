// The computer keyboard as a piano. Keys go by physical position (the X11/xkb keycode the window
// system reports as the native scan code, which is the Linux evdev code plus 8), so the layout in
// use does not matter. Two letter rows make a chromatic octave and a half, as on a piano:
//
//   A-row (black keys):   S  D     G  H  J     L  ;
//   Z-row (white keys):  Z  X  C  V  B  N  M  ,  .  /
//   semitone:            0  2  4  5  7  9 11 12 14 16   (S=1 D=3 G=6 H=8 J=10 L=13 ;=15)
//
// "-" and "=" (right of the digit row) move the range an octave down and up.
#pragma once

#include <cstdint>
#include <optional>

namespace velmo {

enum class TLetterKeyKind { None, Note, OctaveDown, OctaveUp };

struct TLetterKey {
  TLetterKeyKind kind = TLetterKeyKind::None;
  int32_t semitone = 0;  // above the range's lowest note, for kind Note
};

// What the key with native scan code `scanCode` does.
TLetterKey LetterKeyOf(uint32_t scanCode);

// The lowest note of the playing range, moved by whole octaves and kept so that every key of
// the range is a MIDI note.
class TLetterRange {
 public:
  static constexpr int32_t kTopSemitone = 16;  // the highest key's distance from the lowest
  static constexpr int32_t kDefaultBase = 48;
  static constexpr int32_t kHighestBase = 108;  // 108 + 16 = 124, the last C within 0..127

  int32_t Base() const { return base_; }
  // The note for `key`, or none when the key plays no note.
  std::optional<uint8_t> NoteOf(const TLetterKey& key) const;
  // Moves the range by `octaves`; returns the octaves actually moved (0 at an end).
  int32_t Shift(int32_t octaves);

 private:
  int32_t base_ = kDefaultBase;
};

}  // namespace velmo
