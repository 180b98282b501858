// Key shapes, white-key numbering and key rectangles of the on-screen MIDI
// keyboard, independent of any widget.
#pragma once

#include <array>
#include <cstdint>

#include "controls/gdi_canvas.h"

namespace velmo {

inline constexpr std::int32_t kNoteCount = 128;
inline constexpr std::int32_t kWhiteKeyCount = 75;  // white keys 0..74
inline constexpr std::int32_t kNoNote = -1;

// Shape of each note's key: 0 black; 1 white with a black key on its right
// only (C, F); 2 white between two black keys (D, G, A); 3 white with a black
// key on its left only (E, B, and note 127, the last key).
extern const std::array<std::uint8_t, kNoteCount> KeybTypeTbl;

// Colours offered to applications for SetDown: maroon, green, olive, navy,
// purple, teal, grey, silver, red, lime, blue, fuchsia, aqua.
extern const std::array<TColor, 13> MIDIKeybDownColor;

// An inclusive rectangle: Right and Bottom are the last pixel.
struct TRect {
  std::int32_t Left;
  std::int32_t Top;
  std::int32_t Right;
  std::int32_t Bottom;
  friend bool operator==(const TRect&, const TRect&) = default;
};

inline constexpr TRect kNoRect{-1, -1, -1, -1};

// A key's part below the black keys (the whole key for a black key) and,
// for a white key, its part between the black keys.
struct TKeyRect {
  TRect Main;
  TRect Upper;
};

// White key number of a note; a black key maps to the white key on its left.
std::int32_t NoteToPos(std::int32_t note);
// Note of a white key number.
std::int32_t PosToNote(std::int32_t pos);

// Rounds numerator / denominator (both non-negative, denominator > 0) to the
// nearest integer, ties to even.
std::int32_t RoundHalfEven(std::int64_t numerator, std::int64_t denominator);

// Sizes derived from the control's height.
struct TKeybMetrics {
  std::int32_t WhiteWidth;   // Round(H * 0.4)
  std::int32_t BlackHeight;  // Round(H * 0.5)
  std::int32_t HalfBlack;    // Round(WhiteWidth * 0.66) div 2
  std::int32_t FontSize;     // WhiteWidth div 2, in points
};

TKeybMetrics ComputeKeybMetrics(std::int32_t height);

// Unscrolled rectangles of all 128 keys for a control of the given height.
std::array<TKeyRect, kNoteCount> ComputeKeyRects(const TKeybMetrics& metrics, std::int32_t height);

}  // namespace velmo
