#include "app/letter_keys.h"

#include <algorithm>
#include <array>

namespace velmo {

namespace {

struct TScanEntry {
  uint32_t scanCode;
  TLetterKey key;
};

constexpr TLetterKey Note(int32_t semitone) {
  return {TLetterKeyKind::Note, semitone};
}

// X11 keycodes (evdev + 8) of the keys in the layout drawn in the header.
constexpr std::array<TScanEntry, 19> kScanTable{{
    {52, Note(0)},                          // Z
    {39, Note(1)},                          // S
    {53, Note(2)},                          // X
    {40, Note(3)},                          // D
    {54, Note(4)},                          // C
    {55, Note(5)},                          // V
    {42, Note(6)},                          // G
    {56, Note(7)},                          // B
    {43, Note(8)},                          // H
    {57, Note(9)},                          // N
    {44, Note(10)},                         // J
    {58, Note(11)},                         // M
    {59, Note(12)},                         // ,
    {46, Note(13)},                         // L
    {60, Note(14)},                         // .
    {47, Note(15)},                         // ;
    {61, Note(16)},                         // /
    {20, {TLetterKeyKind::OctaveDown, 0}},  // -
    {21, {TLetterKeyKind::OctaveUp, 0}},    // =
}};

}  // namespace

TLetterKey LetterKeyOf(uint32_t scanCode) {
  const auto* entry =
      std::find_if(kScanTable.begin(), kScanTable.end(),
                   [scanCode](const TScanEntry& e) { return e.scanCode == scanCode; });
  return entry == kScanTable.end() ? TLetterKey{} : entry->key;
}

std::optional<uint8_t> TLetterRange::NoteOf(const TLetterKey& key) const {
  if (key.kind != TLetterKeyKind::Note || key.semitone < 0 || key.semitone > kTopSemitone) {
    return std::nullopt;
  }
  return static_cast<uint8_t>(base_ + key.semitone);
}

int32_t TLetterRange::Shift(int32_t octaves) {
  const int32_t wanted = std::clamp(base_ + 12 * octaves, 0, kHighestBase);
  const int32_t moved = (wanted - base_) / 12;
  base_ += 12 * moved;
  return moved;
}

}  // namespace velmo
