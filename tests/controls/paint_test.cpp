// The painted picture, checked pixel by pixel against the key geometry.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QScreen>
#include <map>
#include <optional>

#include "keyb_reference.h"
#include "keyb_test_support.h"

namespace velmo {
namespace {

constexpr std::uint32_t kBlack = 0x000000;
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kSilver = 0xC0C0C0;

// Colour of a note's key (as QRgb without alpha) in the expected picture.
using TPressed = std::map<int, std::uint32_t>;

// The octave label's cell on a C key: left, top, width, height.
struct TLabelBox {
  int X;
  int Y;
  int Width;
  int Height;
  bool Contains(int x, int y) const { return x >= X && x < X + Width && y >= Y && y < Y + Height; }
};

// Expected picture of a keyboard, from the geometry alone: outlines one
// pixel wide on the key boundaries, black keys 2k + 1 columns wide including
// their outline, silver beyond the last key, the right border black.
class TExpectedPicture {
 public:
  TExpectedPicture(const test::TReferenceKeyb& keyb, TPressed pressed)
      : r_(keyb), pressed_(std::move(pressed)) {}

  std::uint32_t At(int x, int y) const {
    const int w = r_.W;
    const int lastRight = 75 * w - 1 - r_.Position * w;  // note 127's last column
    if (x > lastRight + 1) {
      return (y == 0 || y == r_.Height - 1 || x == r_.Width - 1) ? kBlack : kSilver;
    }
    if (x == r_.Width - 1 || y == 0 || y == r_.Height - 1) return kBlack;
    const int ux = r_.Ux(x);
    const int j = ux / w;
    const int dx = ux % w;
    if (y < r_.Hb) {
      // A black key drawn around boundary b = j*w (before j) or (j+1)*w.
      for (const int boundaryKey : {j, j + 1}) {
        const int b = boundaryKey * w;
        if (boundaryKey == 0 || !test::TReferenceKeyb::BlackAfter(boundaryKey - 1)) continue;
        if (ux < b - r_.K || ux > b + r_.K) continue;
        const bool outline = ux == b - r_.K || ux == b + r_.K || y == r_.Hb - 1;
        return outline ? kBlack : Colour(test::TReferenceKeyb::WhiteNote(boundaryKey) - 1, kBlack);
      }
    }
    if (dx == 0) return kBlack;
    return Colour(test::TReferenceKeyb::WhiteNote(j), kWhite);
  }

 private:
  std::uint32_t Colour(int note, std::uint32_t natural) const {
    const auto it = pressed_.find(note);
    return it == pressed_.end() ? natural : it->second;
  }

  test::TReferenceKeyb r_;
  TPressed pressed_;
};

// Label cells of the visible C keys, from the label font's metrics.
std::map<int, TLabelBox> LabelBoxes(const test::TReferenceKeyb& r) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(((r.W / 2) * 96 + 36) / 72);
  const QFontMetrics metrics(font);
  std::map<int, TLabelBox> boxes;
  for (int note = 0; note < 128; note += 12) {
    const int left = (note / 12) * 7 * r.W - r.Position * r.W;
    if (left + r.W <= 0 || left >= r.Width) continue;
    const QString text = QString::number(note / 12 - 2);
    const int width = metrics.horizontalAdvance(text);
    const int height = metrics.height();
    boxes[note] = {left + (r.W + 1 - width) / 2, r.Hb + (r.Height - r.Hb - height) / 2, width,
                   height};
  }
  return boxes;
}

int Brightness(std::uint32_t rgb) {
  return static_cast<int>(((rgb >> 16) & 0xFF) + ((rgb >> 8) & 0xFF) + (rgb & 0xFF)) / 3;
}

// Compares a rendered image with the expected picture. Inside label cells a
// pixel may be the key colour or darker (the glyph's ink); each label cell
// must hold some ink.
void ExpectPicture(const QImage& image, const test::TReferenceKeyb& r, const TPressed& pressed,
                   bool labels) {
  ASSERT_EQ(image.size(), QSize(r.Width, r.Height));
  const TExpectedPicture expected(r, pressed);
  const auto boxes = labels ? LabelBoxes(r) : std::map<int, TLabelBox>{};
  std::map<int, int> ink;
  int mismatches = 0;
  for (int y = 0; y < r.Height; ++y) {
    for (int x = 0; x < r.Width; ++x) {
      const std::uint32_t want = expected.At(x, y);
      const std::uint32_t got = test::Rgb(image, x, y);
      std::optional<int> inLabel;
      for (const auto& [note, box] : boxes) {
        if (box.Contains(x, y)) inLabel = note;
      }
      if (inLabel && got != want && Brightness(got) < Brightness(want)) {
        if (Brightness(got) < 96) ++ink[*inLabel];
        continue;
      }
      if (got != want && ++mismatches <= 10) {
        ADD_FAILURE() << "pixel (" << x << ", " << y << "): got " << std::hex << got
                      << ", expected " << want;
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
  for (const auto& [note, box] : boxes) {
    EXPECT_GT(ink[note], 5) << "no label on note " << note;
  }
}

TEST(KeybPaint, MainWindowPictureWithMiddleCPressed) {
  TMIDIKeyb keyb;
  keyb.resize(761, 51);
  keyb.SetPos(14);
  keyb.SetOct(true);
  keyb.SetDown(60, keyb.Color());
  const QImage image = test::RenderKeyb(keyb);
  const test::TReferenceKeyb r(761, 51, 14);
  ASSERT_EQ(r.W, 20);
  ASSERT_EQ(r.K, 6);
  ExpectPicture(image, r, {{60, kSilver}}, true);
  // Labels "0" to "5" on notes 24 .. 84.
  EXPECT_EQ(LabelBoxes(r).size(), 6u);
  EXPECT_EQ(LabelBoxes(r).begin()->first, 24);
  // A few landmarks, spelled out: C 60's left edge, its silver inside, the
  // 13 black columns of C# 61 at 434..446, D 62's upper part 447..453.
  EXPECT_EQ(test::Rgb(image, 420, 30), kBlack);
  EXPECT_EQ(test::Rgb(image, 421, 30), kSilver);
  EXPECT_EQ(test::Rgb(image, 433, 10), kSilver);
  for (int x = 434; x <= 446; ++x)
    EXPECT_EQ(test::Rgb(image, x, 10), kBlack) << x;
  EXPECT_EQ(test::Rgb(image, 447, 10), kWhite);
  EXPECT_EQ(test::Rgb(image, 453, 10), kWhite);
  EXPECT_EQ(test::Rgb(image, 760, 25), kBlack);  // right border
}

TEST(KeybPaint, NaturalColoursWithoutLabelsAtOtherSizes) {
  for (const auto& [width, height, position] :
       {std::tuple{761, 51, 0}, std::tuple{300, 55, 30}, std::tuple{333, 53, 7}}) {
    TMIDIKeyb keyb;
    keyb.resize(width, height);
    keyb.SetPos(position);
    SCOPED_TRACE(height);
    ExpectPicture(test::RenderKeyb(keyb), test::TReferenceKeyb(width, height, position), {}, false);
  }
}

TEST(KeybPaint, SilverAreaRightOfTheLastKey) {
  TMIDIKeyb keyb;
  keyb.resize(761, 51);
  keyb.SetPos(74);
  keyb.SetColor(0x00FF00);  // the silver area does not follow Color
  keyb.SetDown(127, keyb.Color());
  const QImage image = test::RenderKeyb(keyb);
  ExpectPicture(image, test::TReferenceKeyb(761, 51, 74), {{127, 0x00FF00}}, false);
  EXPECT_EQ(test::Rgb(image, 20, 30), kBlack);
  EXPECT_EQ(test::Rgb(image, 21, 30), kSilver);
  EXPECT_EQ(test::Rgb(image, 760, 50), kBlack);
}

TEST(KeybPaint, PressedAndRightClickColoursAreBgrValues) {
  TMIDIKeyb keyb;
  keyb.resize(761, 51);
  keyb.SetPos(14);
  keyb.SetColor(0x0000FF);  // red
  keyb.SetRightClickEnable(true);
  keyb.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&keyb));
  QTest::mousePress(&keyb, Qt::LeftButton, Qt::NoModifier, {470, 40});   // E 64
  QTest::mousePress(&keyb, Qt::RightButton, Qt::NoModifier, {440, 10});  // C# 61
  ExpectPicture(test::RenderKeyb(keyb), test::TReferenceKeyb(761, 51, 14),
                {{64, 0xFF0000}, {61, 0x0000FF}}, false);
  // Turning the right button off forgets the right-held key at the next paint.
  keyb.SetRightClickEnable(false);
  ExpectPicture(test::RenderKeyb(keyb), test::TReferenceKeyb(761, 51, 14), {{64, 0xFF0000}}, false);
  QTest::mouseRelease(&keyb, Qt::LeftButton, Qt::NoModifier, {470, 40});
}

TEST(KeybPaint, OneKeyRepaintOnScreenLeavesTheRestIntact) {
  TMIDIKeyb keyb;
  test::ShowLikeMainWindow(keyb);
  QCoreApplication::processEvents();
  keyb.SetDown(62, 0x00FFFF);  // yellow, painted at once through a one-key paint
  keyb.SetDown(63, 0xFF00FF);
  QScreen* const screen = keyb.screen();
  ASSERT_NE(screen, nullptr);
  const QImage onScreen = screen->grabWindow(keyb.winId()).toImage();
  if (onScreen.size() != keyb.size()) GTEST_SKIP() << "this platform cannot grab windows";
  ExpectPicture(onScreen.convertToFormat(QImage::Format_RGB32), test::TReferenceKeyb(761, 51, 14),
                {{62, 0xFFFF00}, {63, 0xFF00FF}}, false);
}

TEST(KeybPaint, KeyDrawnWhileHiddenAppearsInTheNextFullPaint) {
  TMIDIKeyb keyb;
  keyb.resize(761, 51);
  keyb.SetPos(14);
  test::RenderKeyb(keyb);
  keyb.SetDown(65, 0x808000);  // nothing can paint now
  ExpectPicture(test::RenderKeyb(keyb), test::TReferenceKeyb(761, 51, 14), {{65, 0x008080}}, false);
}

TEST(KeybPaint, KeyMarkedFromTheResizeReportShowsInThatPaint) {
  TMIDIKeyb keyb;
  keyb.resize(761, 51);
  keyb.SetPos(14);
  QObject::connect(&keyb, &TMIDIKeyb::OnResize,
                   [](TMIDIKeyb* sender, int, int) { sender->SetDown(60, 0x0000FF); });
  keyb.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&keyb));
  ExpectPicture(test::RenderKeyb(keyb), test::TReferenceKeyb(761, 51, 14), {{60, 0xFF0000}}, false);
}

TEST(KeybPaint, HighDpiPictureIsTheSamePictureInTwoByTwoBlocks) {
  TMIDIKeyb keyb;
  keyb.resize(761, 51);
  keyb.SetPos(14);
  keyb.SetDown(61, 0x0000FF);
  const QImage single = test::RenderKeyb(keyb);
  QImage doubled(761 * 2, 51 * 2, QImage::Format_RGB32);
  doubled.setDevicePixelRatio(2.0);
  doubled.fill(Qt::magenta);
  keyb.render(&doubled);
  int mismatches = 0;
  for (int y = 0; y < 51; ++y) {
    for (int x = 0; x < 761; ++x) {
      for (int d = 0; d < 4; ++d) {
        if (test::Rgb(doubled, 2 * x + d % 2, 2 * y + d / 2) != test::Rgb(single, x, y)) {
          ++mismatches;
        }
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// A key pressed on a shown control repaints only that key; its octave label
// must come out in the same font as in a full paint.
TEST(KeybPaint, OneKeyRepaintDrawsTheLabelLikeAFullPaint) {
  TMIDIKeyb keyb;
  keyb.SetOct(true);
  test::ShowLikeMainWindow(keyb);
  keyb.SetDown(60, 0xFF0000);
  const QImage onScreen = keyb.screen()->grabWindow(keyb.winId()).toImage();
  ASSERT_FALSE(onScreen.isNull());
  ASSERT_GE(onScreen.width(), keyb.width());
  const QImage full = test::RenderKeyb(keyb);
  int mismatches = 0;
  for (int y = 0; y < keyb.height(); ++y) {
    for (int x = 0; x < keyb.width(); ++x) {
      if (test::Rgb(onScreen, x, y) != test::Rgb(full, x, y)) ++mismatches;
    }
  }
  EXPECT_EQ(mismatches, 0);
}

}  // namespace
}  // namespace velmo
