// Key layout, tables and white-key numbering.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <cmath>

#include "controls/midi_keyb.h"
#include "controls/midi_keyb_layout.h"
#include "keyb_test_support.h"

namespace velmo {
namespace {

TEST(KeybLayout, MainWindowHeightAndOddHeightsRoundTiesToEven) {
  const TKeybMetrics h51 = ComputeKeybMetrics(51);
  EXPECT_EQ(h51.WhiteWidth, 20);
  EXPECT_EQ(h51.BlackHeight, 26);
  EXPECT_EQ(h51.HalfBlack, 6);
  EXPECT_EQ(h51.FontSize, 10);
  const TKeybMetrics h53 = ComputeKeybMetrics(53);
  EXPECT_EQ(h53.WhiteWidth, 21);
  EXPECT_EQ(h53.BlackHeight, 26);  // 26.5 rounds down to even
  EXPECT_EQ(h53.HalfBlack, 7);
  const TKeybMetrics h55 = ComputeKeybMetrics(55);
  EXPECT_EQ(h55.WhiteWidth, 22);
  EXPECT_EQ(h55.BlackHeight, 28);  // 27.5 rounds up to even
  EXPECT_EQ(h55.HalfBlack, 7);
}

TEST(KeybLayout, MetricsAgreeWithFloatingPointRoundingOverManyHeights) {
  // Includes white widths 25 and 75, where w * 0.66 is an exact tie.
  for (std::int32_t height = 2; height <= 800; ++height) {
    const TKeybMetrics metrics = ComputeKeybMetrics(height);
    const auto w = static_cast<std::int32_t>(std::nearbyint(height * 0.4));
    ASSERT_EQ(metrics.WhiteWidth, w) << "height " << height;
    ASSERT_EQ(metrics.BlackHeight, static_cast<std::int32_t>(std::nearbyint(height * 0.5)))
        << "height " << height;
    ASSERT_EQ(metrics.HalfBlack, static_cast<std::int32_t>(std::nearbyint(w * 0.66)) / 2)
        << "height " << height;
  }
  EXPECT_EQ(RoundHalfEven(33 * 25, 50), 16);  // 16.5
  EXPECT_EQ(RoundHalfEven(33 * 75, 50), 50);  // 49.5
}

TEST(KeybLayout, KeyShapesAndWhiteKeyNumbering) {
  int whiteKeys = 0;
  for (std::int32_t note = 0; note < kNoteCount; ++note) {
    const bool white = KeybTypeTbl[note] != 0;
    if (!white) {
      // A black key has a white neighbour on both sides that leaves room for it.
      EXPECT_TRUE(KeybTypeTbl[note - 1] == 1 || KeybTypeTbl[note - 1] == 2) << note;
      EXPECT_TRUE(KeybTypeTbl[note + 1] == 2 || KeybTypeTbl[note + 1] == 3) << note;
      EXPECT_EQ(NoteToPos(note), NoteToPos(note - 1)) << note;
      continue;
    }
    EXPECT_EQ(NoteToPos(note), whiteKeys) << note;
    EXPECT_EQ(PosToNote(whiteKeys), note) << note;
    ++whiteKeys;
  }
  EXPECT_EQ(whiteKeys, kWhiteKeyCount);
  EXPECT_EQ(KeybTypeTbl[127], 3);
  EXPECT_EQ(KeybTypeTbl[60], 1);
  EXPECT_EQ(KeybTypeTbl[62], 2);
  EXPECT_EQ(KeybTypeTbl[64], 3);
  EXPECT_EQ(MIDIKeybDownColor.size(), 13u);
  EXPECT_EQ(MIDIKeybDownColor[8], 0x0000FFu);  // red in the low byte
}

TEST(KeybLayout, KeyRectanglesAtHeight51) {
  const auto rects = ComputeKeyRects(ComputeKeybMetrics(51), 51);
  // C 60 is white key 35: x 700..719.
  EXPECT_EQ(rects[60].Main, (TRect{700, 26, 719, 50}));
  EXPECT_EQ(rects[60].Upper, (TRect{700, 0, 713, 25}));
  EXPECT_EQ(rects[61].Main, (TRect{714, 0, 725, 25}));  // 12 wide, centred on 720
  EXPECT_EQ(rects[61].Upper, kNoRect);
  EXPECT_EQ(rects[62].Upper, (TRect{726, 0, 733, 25}));
  EXPECT_EQ(rects[64].Upper, (TRect{746, 0, 759, 25}));
  EXPECT_EQ(rects[127].Upper, (TRect{1486, 0, 1499, 25}));
}

TEST(KeybWidget, DefaultsAndPublishedProperties) {
  TMIDIKeyb keyb;
  EXPECT_EQ(keyb.size(), QSize(200, 50));
  EXPECT_EQ(keyb.property("Position").toInt(), 28);
  EXPECT_FALSE(keyb.property("Octave").toBool());
  EXPECT_EQ(keyb.property("Color").toUInt(), 0xC0C0C0u);
  EXPECT_EQ(keyb.property("Poly").toInt(), 0);
  EXPECT_FALSE(keyb.property("ViewOnly").toBool());
  EXPECT_FALSE(keyb.property("RightClickEnable").toBool());
  EXPECT_EQ(keyb.property("RightClickColor").toUInt(), 0xFF0000u);
  EXPECT_FALSE(keyb.property("Gliss").toBool());
  EXPECT_TRUE(keyb.testAttribute(Qt::WA_OpaquePaintEvent));

  // Writes go through the setters and their range checks.
  EXPECT_TRUE(keyb.setProperty("Position", 74));
  EXPECT_EQ(keyb.Position(), 74);
  keyb.setProperty("Position", 75);
  keyb.SetPos(-1);
  EXPECT_EQ(keyb.Position(), 74);
  keyb.setProperty("Poly", 128);
  EXPECT_EQ(keyb.Poly(), 0);
  keyb.setProperty("Gliss", true);
  EXPECT_TRUE(keyb.Gliss());
}

TEST(KeybWidget, FirstPaintAtANewSizeLaysOutAndReportsTheResize) {
  TMIDIKeyb keyb;
  QSignalSpy resized(&keyb, &TMIDIKeyb::OnResize);
  keyb.resize(761, 51);
  keyb.SetPos(14);
  test::RenderKeyb(keyb);
  ASSERT_EQ(resized.count(), 1);
  EXPECT_EQ(resized[0][0].value<TMIDIKeyb*>(), &keyb);
  EXPECT_EQ(resized[0][1].toInt(), 14);
  EXPECT_EQ(resized[0][2].toInt(), 38);
  EXPECT_EQ(keyb.WhiteKeyCount(), 38);
  // The leftmost key is note 24, in both rows.
  EXPECT_EQ(keyb.GetKeybNum(0, 0), 24);
  EXPECT_EQ(keyb.GetKeybNum(0, 50), 24);
  TRect main{};
  TRect upper{};
  keyb.GetKeybRect(24, main, upper);
  EXPECT_EQ(main, (TRect{0, 26, 19, 50}));

  test::RenderKeyb(keyb);  // same size: no second report
  EXPECT_EQ(resized.count(), 1);
}

TEST(KeybWidget, HeightBelowTwoHasNoKeysAndDoesNotFail) {
  TMIDIKeyb keyb;
  keyb.resize(100, 1);
  test::RenderKeyb(keyb);
  EXPECT_EQ(keyb.WhiteKeyCount(), 0);
  EXPECT_EQ(keyb.GetKeybNum(0, 0), -1);
}

}  // namespace
}  // namespace velmo
