// Hit test: which key a point lands on.
#include <gtest/gtest.h>

#include <string>

#include "keyb_reference.h"
#include "keyb_test_support.h"

namespace velmo {
namespace {

struct THitCase {
  int Width;
  int Height;
  int Position;
};

class KeybHitTest : public ::testing::TestWithParam<THitCase> {};

TEST_P(KeybHitTest, EveryPixelHitsTheKeyDrawnThere) {
  const THitCase c = GetParam();
  TMIDIKeyb keyb;
  keyb.resize(c.Width, c.Height);
  keyb.SetPos(c.Position);
  test::RenderKeyb(keyb);
  const test::TReferenceKeyb reference(c.Width, c.Height, c.Position);
  for (int y = -1; y <= c.Height; ++y) {
    for (int x = -1; x <= c.Width; ++x) {
      ASSERT_EQ(keyb.GetKeybNum(x, y), reference.NoteAt(x, y)) << "x " << x << " y " << y;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, KeybHitTest,
                         ::testing::Values(THitCase{761, 51, 14}, THitCase{761, 51, 0},
                                           THitCase{761, 51, 74}, THitCase{300, 53, 30},
                                           THitCase{300, 55, 5}, THitCase{400, 188, 3}),
                         [](const ::testing::TestParamInfo<THitCase>& info) {
                           const THitCase& c = info.param;
                           return std::to_string(c.Width) + "x" + std::to_string(c.Height) +
                                  "_pos" + std::to_string(c.Position);
                         });

TEST(KeybHit, BoundariesAroundMiddleC) {
  TMIDIKeyb keyb;
  keyb.resize(761, 51);
  keyb.SetPos(14);
  test::RenderKeyb(keyb);
  // C 60 spans x 420..439; C# 61 spans 434..445 in rows 0..25.
  EXPECT_EQ(keyb.GetKeybNum(433, 25), 60);
  EXPECT_EQ(keyb.GetKeybNum(434, 25), 61);  // left half of the black key, black-key rows
  EXPECT_EQ(keyb.GetKeybNum(434, 26), 60);  // same x, below the black keys
  EXPECT_EQ(keyb.GetKeybNum(439, 26), 60);
  EXPECT_EQ(keyb.GetKeybNum(440, 26), 62);
  EXPECT_EQ(keyb.GetKeybNum(445, 0), 61);
  EXPECT_EQ(keyb.GetKeybNum(446, 0), 62);
  // E 64 | F 65 has no black key between them.
  EXPECT_EQ(keyb.GetKeybNum(479, 0), 64);
  EXPECT_EQ(keyb.GetKeybNum(480, 0), 65);
}

TEST(KeybHit, NothingRightOfTheLastKey) {
  TMIDIKeyb keyb;
  keyb.resize(761, 51);
  keyb.SetPos(74);  // note 127 at x 0..19, silver beyond
  test::RenderKeyb(keyb);
  EXPECT_EQ(keyb.GetKeybNum(19, 0), 127);
  EXPECT_EQ(keyb.GetKeybNum(19, 50), 127);
  EXPECT_EQ(keyb.GetKeybNum(20, 0), -1);
  EXPECT_EQ(keyb.GetKeybNum(20, 50), -1);
  EXPECT_EQ(keyb.GetKeybNum(760, 25), -1);
}

}  // namespace
}  // namespace velmo
