// Pixel rules of the GDI-style canvas.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <functional>
#include <string>

#include "controls/gdi_canvas.h"
#include "keyb_test_support.h"

namespace velmo {
namespace {

// Draws on a white image of the given logical size and pixel ratio and
// returns it; '#' marks black, 'r' red, '.' white in Rows().
QImage DrawOn(int width, int height, qreal ratio, const std::function<void(TGdiCanvas&)>& draw) {
  QImage image(static_cast<int>(width * ratio), static_cast<int>(height * ratio),
               QImage::Format_RGB32);
  image.setDevicePixelRatio(ratio);
  image.fill(Qt::white);
  QPainter painter(&image);
  TGdiCanvas canvas(painter);
  draw(canvas);
  return image;
}

std::string Rows(const QImage& image) {
  std::string text;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      switch (test::Rgb(image, x, y)) {
        case 0x000000:
          text += '#';
          break;
        case 0xFFFFFF:
          text += '.';
          break;
        case 0xFF0000:
          text += 'r';
          break;
        default:
          text += '?';
          break;
      }
    }
    text += '\n';
  }
  return text;
}

TEST(GdiCanvas, PolylineLeavesOutItsLastPoint) {
  const QImage image = DrawOn(6, 5, 1.0, [](TGdiCanvas& c) {
    const TPoint points[] = {{4, 1}, {1, 1}, {1, 3}, {4, 3}, {4, 0}};
    c.Polyline(points);
  });
  EXPECT_EQ(Rows(image),
            "......\n"
            ".####.\n"
            ".#..#.\n"
            ".####.\n"
            "......\n");
}

TEST(GdiCanvas, LineToStopsShortOfItsEndInEveryDirection) {
  const QImage image = DrawOn(5, 5, 1.0, [](TGdiCanvas& c) {
    c.MoveTo(0, 0);
    c.LineTo(3, 0);  // right
    c.LineTo(3, 3);  // down
    c.LineTo(0, 3);  // left
    c.LineTo(0, 1);  // up, (0, 1) left out
    c.MoveTo(4, 4);
    c.LineTo(4, 4);  // nothing at all
  });
  EXPECT_EQ(Rows(image),
            "####.\n"
            "...#.\n"
            "#..#.\n"
            "####.\n"
            ".....\n");
}

TEST(GdiCanvas, RectangleOutlinesItsOutermostPixelsInsideX2Y2) {
  const QImage image = DrawOn(7, 6, 1.0, [](TGdiCanvas& c) {
    c.SetPenColor(clBlack);
    c.SetBrushColor(0x0000FF);  // red
    c.Rectangle(1, 1, 6, 5);
    c.Rectangle(0, 0, 0, 3);  // empty: nothing
  });
  EXPECT_EQ(Rows(image),
            ".......\n"
            ".#####.\n"
            ".#rrr#.\n"
            ".#rrr#.\n"
            ".#####.\n"
            ".......\n");
}

TEST(GdiCanvas, TextCellIsFilledWithTheBrush) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(13);
  int width = 0;
  int height = 0;
  const QImage image = DrawOn(40, 30, 1.0, [&](TGdiCanvas& c) {
    c.SetFont(font);
    c.SetBrushColor(0x0000FF);
    width = c.TextWidth("3");
    height = c.TextHeight("3");
    c.TextOut(5, 4, "3");
  });
  ASSERT_GT(width, 0);
  ASSERT_GT(height, 0);
  int ink = 0;
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) {
      const bool inCell = x >= 5 && x < 5 + width && y >= 4 && y < 4 + height;
      const std::uint32_t rgb = test::Rgb(image, x, y);
      if (!inCell) {
        ASSERT_EQ(rgb, 0xFFFFFFu) << x << "," << y;
      } else if (rgb != 0xFF0000u) {
        ++ink;
      }
    }
  }
  EXPECT_GT(ink, 5);
  // The cell's corners keep the background colour.
  EXPECT_EQ(test::Rgb(image, 5, 4), 0xFF0000u);
  EXPECT_EQ(test::Rgb(image, 4 + width, 3 + height), 0xFF0000u);
}

TEST(GdiCanvas, LogicalPixelsBecomeWholeBlocksAtPixelRatioTwo) {
  const QImage image = DrawOn(4, 3, 2.0, [](TGdiCanvas& c) {
    c.SetPenColor(clBlack);
    c.SetBrushColor(0x0000FF);
    c.Rectangle(0, 0, 3, 3);
    c.MoveTo(3, 0);
    c.LineTo(3, 2);
  });
  EXPECT_EQ(Rows(image),
            "########\n"
            "########\n"
            "##rr####\n"
            "##rr####\n"
            "######..\n"
            "######..\n");
}

}  // namespace
}  // namespace velmo
