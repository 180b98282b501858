#include "controls/gdi_canvas.h"

#include <QRect>
#include <algorithm>
#include <cstdlib>

namespace velmo {

QColor ToQColor(const TColor color) {
  return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                static_cast<int>((color >> 16) & 0xFF));
}

TColor FromQColor(const QColor& color) {
  const QColor rgb = color.toRgb();
  return static_cast<TColor>(rgb.red()) | (static_cast<TColor>(rgb.green()) << 8) |
         (static_cast<TColor>(rgb.blue()) << 16);
}

TGdiCanvas::TGdiCanvas(QPainter& painter) : painter_(painter) {
  painter_.save();
  painter_.setRenderHint(QPainter::Antialiasing, false);
  painter_.setPen(Qt::NoPen);
  font_ = painter_.font();
}

TGdiCanvas::~TGdiCanvas() {
  painter_.restore();
}

void TGdiCanvas::SetFont(const QFont& font) {
  font_ = font;
  painter_.setFont(font_);
}

void TGdiCanvas::FillSpan(const std::int32_t x1, const std::int32_t y1, const std::int32_t x2,
                          const std::int32_t y2, const TColor color) {
  if (x2 <= x1 || y2 <= y1) return;
  painter_.fillRect(QRect(x1, y1, x2 - x1, y2 - y1), ToQColor(color));
}

void TGdiCanvas::PlotPixel(const std::int32_t x, const std::int32_t y, const TColor color) {
  FillSpan(x, y, x + 1, y + 1, color);
}

void TGdiCanvas::FillRect(const std::int32_t x1, const std::int32_t y1, const std::int32_t x2,
                          const std::int32_t y2) {
  FillSpan(std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2), brushColor_);
}

void TGdiCanvas::Rectangle(const std::int32_t x1, const std::int32_t y1, const std::int32_t x2,
                           const std::int32_t y2) {
  const std::int32_t left = std::min(x1, x2);
  const std::int32_t right = std::max(x1, x2);
  const std::int32_t top = std::min(y1, y2);
  const std::int32_t bottom = std::max(y1, y2);
  if (right <= left || bottom <= top) return;
  // Brush inside the outline, then the four one-pixel edges in the pen colour.
  FillSpan(left + 1, top + 1, right - 1, bottom - 1, brushColor_);
  FillSpan(left, top, right, top + 1, penColor_);
  FillSpan(left, bottom - 1, right, bottom, penColor_);
  FillSpan(left, top + 1, left + 1, bottom - 1, penColor_);
  FillSpan(right - 1, top + 1, right, bottom - 1, penColor_);
}

void TGdiCanvas::DrawSegment(const TPoint from, const TPoint to) {
  if (from.Y == to.Y) {
    // Horizontal: from.X up to, not including, to.X.
    if (from.X < to.X) FillSpan(from.X, from.Y, to.X, from.Y + 1, penColor_);
    if (from.X > to.X) FillSpan(to.X + 1, from.Y, from.X + 1, from.Y + 1, penColor_);
    return;
  }
  if (from.X == to.X) {
    if (from.Y < to.Y) FillSpan(from.X, from.Y, from.X + 1, to.Y, penColor_);
    if (from.Y > to.Y) FillSpan(from.X, to.Y + 1, from.X + 1, from.Y + 1, penColor_);
    return;
  }
  // Slanted segments (not used by the keyboard): Bresenham steps, end point
  // left out like the straight ones.
  const std::int32_t dx = std::abs(to.X - from.X);
  const std::int32_t dy = -std::abs(to.Y - from.Y);
  const std::int32_t stepX = from.X < to.X ? 1 : -1;
  const std::int32_t stepY = from.Y < to.Y ? 1 : -1;
  std::int32_t error = dx + dy;
  TPoint p = from;
  while (p.X != to.X || p.Y != to.Y) {
    PlotPixel(p.X, p.Y, penColor_);
    const std::int32_t twice = 2 * error;
    if (twice >= dy) {
      error += dy;
      p.X += stepX;
    }
    if (twice <= dx) {
      error += dx;
      p.Y += stepY;
    }
  }
}

void TGdiCanvas::MoveTo(const std::int32_t x, const std::int32_t y) {
  penPos_ = {x, y};
}

void TGdiCanvas::LineTo(const std::int32_t x, const std::int32_t y) {
  DrawSegment(penPos_, {x, y});
  penPos_ = {x, y};
}

void TGdiCanvas::Polyline(const std::span<const TPoint> points) {
  for (std::size_t i = 1; i < points.size(); ++i)
    DrawSegment(points[i - 1], points[i]);
}

void TGdiCanvas::TextOut(const std::int32_t x, const std::int32_t y, const QString& text) {
  const QFontMetrics metrics(font_);
  FillSpan(x, y, x + metrics.horizontalAdvance(text), y + metrics.height(), brushColor_);
  painter_.setFont(font_);
  painter_.setPen(ToQColor(fontColor_));
  painter_.drawText(x, y + metrics.ascent(), text);
  painter_.setPen(Qt::NoPen);
}

std::int32_t TGdiCanvas::TextWidth(const QString& text) const {
  return QFontMetrics(font_).horizontalAdvance(text);
}

std::int32_t TGdiCanvas::TextHeight(const QString& text) const {
  (void)text;
  return QFontMetrics(font_).height();
}

}  // namespace velmo
