// A drawing surface with the pixel rules of the classic Windows GDI canvas,
// drawn through a QPainter.
//
// The keyboard's painting is written against these rules, which QPainter does
// not follow by itself:
//  - Rectangle(X1, Y1, X2, Y2) covers columns X1..X2-1 and rows Y1..Y2-1 (X2
//    and Y2 exclusive); a one-pixel pen draws the outline on the outermost
//    pixels of that area, the brush fills the rest.
//  - LineTo and Polyline draw every pixel of their segments except the very
//    last point.
//  - TextOut(X, Y) puts the top-left corner of the text cell at (X, Y) and
//    fills the cell with the brush colour behind the text.
// Every primitive is reduced to fills of whole integer rectangles with
// antialiasing off, so one logical pixel becomes exactly one block of device
// pixels at any device pixel ratio.
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QString>
#include <cstdint>
#include <span>

namespace velmo {

// A colour as 0x00BBGGRR, red in the low byte; 0 is black.
using TColor = std::uint32_t;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clBlue = 0xFF0000;

QColor ToQColor(TColor color);
TColor FromQColor(const QColor& color);

struct TPoint {
  std::int32_t X;
  std::int32_t Y;
};

class TGdiCanvas {
 public:
  // The painter must outlive the canvas; the canvas turns its antialiasing
  // off for shapes and restores the painter's state when destroyed.
  explicit TGdiCanvas(QPainter& painter);
  ~TGdiCanvas();
  TGdiCanvas(const TGdiCanvas&) = delete;
  TGdiCanvas& operator=(const TGdiCanvas&) = delete;

  void SetPenColor(TColor color) { penColor_ = color; }
  void SetBrushColor(TColor color) { brushColor_ = color; }
  void SetFont(const QFont& font);
  TColor PenColor() const { return penColor_; }
  TColor BrushColor() const { return brushColor_; }

  // Fills X1..X2-1 by Y1..Y2-1 with the brush, no outline.
  void FillRect(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2);
  // Brush-filled rectangle with a one-pixel pen outline, X2/Y2 exclusive.
  void Rectangle(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2);
  void MoveTo(std::int32_t x, std::int32_t y);
  // Draws from the current position towards (x, y), leaving (x, y) itself
  // undrawn, and makes (x, y) the current position.
  void LineTo(std::int32_t x, std::int32_t y);
  // Connected segments through the points; the last point is not drawn and
  // the current position is left unchanged.
  void Polyline(std::span<const TPoint> points);
  // Text with its cell's top-left corner at (x, y) on a brush-coloured cell.
  void TextOut(std::int32_t x, std::int32_t y, const QString& text);
  std::int32_t TextWidth(const QString& text) const;
  std::int32_t TextHeight(const QString& text) const;

 private:
  void PlotPixel(std::int32_t x, std::int32_t y, TColor color);
  void FillSpan(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, TColor color);
  // One segment without its end point.
  void DrawSegment(TPoint from, TPoint to);

  QPainter& painter_;
  TColor penColor_ = clBlack;
  TColor brushColor_ = clWhite;
  TColor fontColor_ = clBlack;
  QFont font_;
  TPoint penPos_{0, 0};
};

}  // namespace velmo
