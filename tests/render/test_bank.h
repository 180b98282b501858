// A tiny sound bank image for end-to-end renders: one instrument (every program of every bank)
// playing a 32-frame square wave loop, with an instant attack, a sustain held until note-off
// and a release of about 20 blocks. Laid out as the engine reads it: seven sections, each a
// little-endian u16 count followed by its items.
#pragma once

#include <cstdint>
#include <vector>

namespace velmo::render::testing {

inline std::vector<uint8_t> TinyBankImage() {
  std::vector<uint8_t> image;
  const auto u16 = [&](uint16_t value) {
    image.push_back(static_cast<uint8_t>(value));
    image.push_back(static_cast<uint8_t>(value >> 8));
  };
  const auto bytes = [&](std::initializer_list<uint8_t> values) {
    image.insert(image.end(), values);
  };

  // Section 1: one 73-byte instrument record.
  u16(1);
  u16(1);  // region 0 plays sample record 1
  for (int i = 1; i < 16; ++i)
    u16(0);  // other regions: no sample
  for (int i = 0; i < 16; ++i)
    image.push_back(127);                // region top keys
  bytes({127, 127, 127, 127, 90, 127});  // envelope rates: instant, release 469 per tick
  bytes({127, 127, 127, 127, 0, 0});     // envelope levels: full, release to 0
  bytes({0, 0, 0, 0, 0, 0});             // no rate key scaling
  bytes({1, 0, 20, 127, 0, 0, 0});       // hold until note-off, no vibrato, LFO rate 20, level 127,
                                         // no level key scaling, 100 cents per key, no tremolo

  // Section 2: sample record 0 (never used) and 1: forward loop over frames 0..31 of slot 1.
  u16(2);
  for (int i = 0; i < 6; ++i)
    u16(0);
  u16(0);   // tune
  u16(1);   // loop mode: forward
  u16(0);   // start
  u16(0);   // loop start
  u16(31);  // loop end
  u16(1);   // wave slot

  // Section 3: slot 0 empty, slot 1 a 32-frame square wave.
  u16(2);
  u16(0);
  u16(8 + 32);
  u16(0);
  u16(0);
  u16(31);
  for (int i = 0; i < 32; ++i)
    image.push_back(i < 16 ? 100 : static_cast<uint8_t>(-100));

  // Sections 4 and 5: every bank and drum kit to row 0.
  u16(128);
  image.insert(image.end(), 128, 0);
  u16(128);
  image.insert(image.end(), 128, 0);
  // Section 6: program map row 0, every program to instrument 0.
  u16(1);
  for (int i = 0; i < 128; ++i)
    u16(0);
  // Section 7: drum note map row 0, no drum instruments.
  u16(1);
  for (int i = 0; i < 128; ++i)
    u16(0xFFFF);
  return image;
}

}  // namespace velmo::render::testing
