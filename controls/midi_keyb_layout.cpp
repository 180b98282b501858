#include "controls/midi_keyb_layout.h"

namespace velmo {
namespace {

constexpr std::array<std::uint8_t, 12> kOctaveShapes{1, 0, 2, 0, 3, 1, 0, 2, 0, 2, 0, 3};
constexpr std::array<std::int32_t, 12> kWhiteInOctave{0, 0, 1, 1, 2, 3, 3, 4, 4, 5, 5, 6};
constexpr std::array<std::int32_t, 7> kNoteOfWhite{0, 2, 4, 5, 7, 9, 11};

constexpr std::array<std::uint8_t, kNoteCount> MakeKeybTypeTbl() {
  std::array<std::uint8_t, kNoteCount> table{};
  for (std::int32_t note = 0; note < kNoteCount; ++note)
    table[note] = kOctaveShapes[note % 12];
  table[kNoteCount - 1] = 3;  // G, but no black key follows the last key
  return table;
}

}  // namespace

const std::array<std::uint8_t, kNoteCount> KeybTypeTbl = MakeKeybTypeTbl();

const std::array<TColor, 13> MIDIKeybDownColor{0x000080, 0x008000, 0x008080, 0x800000, 0x800080,
                                               0x808000, 0x808080, 0xC0C0C0, 0x0000FF, 0x00FF00,
                                               0xFF0000, 0xFF00FF, 0xFFFF00};

std::int32_t NoteToPos(const std::int32_t note) {
  return (note / 12) * 7 + kWhiteInOctave[note % 12];
}

std::int32_t PosToNote(const std::int32_t pos) {
  return (pos / 7) * 12 + kNoteOfWhite[pos % 7];
}

std::int32_t RoundHalfEven(const std::int64_t numerator, const std::int64_t denominator) {
  const std::int64_t quotient = numerator / denominator;
  const std::int64_t twiceRemainder = 2 * (numerator % denominator);
  if (twiceRemainder > denominator || (twiceRemainder == denominator && quotient % 2 != 0)) {
    return static_cast<std::int32_t>(quotient + 1);
  }
  return static_cast<std::int32_t>(quotient);
}

TKeybMetrics ComputeKeybMetrics(const std::int32_t height) {
  // The factors 0.4, 0.5 and 0.66 are taken as the exact fractions 2/5, 1/2
  // and 33/50, so exact ties (an odd height for the black-key height) round
  // to even without floating-point doubt.
  TKeybMetrics metrics{};
  metrics.WhiteWidth = RoundHalfEven(std::int64_t{height} * 2, 5);
  metrics.BlackHeight = RoundHalfEven(height, 2);
  metrics.HalfBlack = RoundHalfEven(std::int64_t{metrics.WhiteWidth} * 33, 50) / 2;
  metrics.FontSize = metrics.WhiteWidth / 2;
  return metrics;
}

std::array<TKeyRect, kNoteCount> ComputeKeyRects(const TKeybMetrics& metrics,
                                                 const std::int32_t height) {
  const std::int32_t w = metrics.WhiteWidth;
  const std::int32_t hb = metrics.BlackHeight;
  const std::int32_t k = metrics.HalfBlack;
  std::array<TKeyRect, kNoteCount> rects{};
  for (std::int32_t note = 0; note < kNoteCount; ++note) {
    const std::int32_t j = NoteToPos(note);
    const std::int32_t left = j * w;
    const std::int32_t next = (j + 1) * w;
    switch (KeybTypeTbl[note]) {
      case 0:  // black key, centred on the boundary of white keys j and j + 1
        rects[note] = {{next - k, 0, next + k - 1, hb - 1}, kNoRect};
        break;
      case 1:
        rects[note] = {{left, hb, next - 1, height - 1}, {left, 0, next - k - 1, hb - 1}};
        break;
      case 2:
        rects[note] = {{left, hb, next - 1, height - 1}, {left + k, 0, next - k - 1, hb - 1}};
        break;
      default:
        rects[note] = {{left, hb, next - 1, height - 1}, {left + k, 0, next - 1, hb - 1}};
        break;
    }
  }
  return rects;
}

}  // namespace velmo
