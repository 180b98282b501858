// Painting of TMIDIKeyb on a canvas with GDI pixel rules.
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

#include "controls/midi_keyb.h"

namespace velmo {

void TMIDIKeyb::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  TGdiCanvas canvas(painter);
  FCanvas = &canvas;
  // A one-key paint is honoured only when the area to paint lies within that
  // key; if the system merged it with other dirty areas, draw everything.
  if (FPaintMode == kPaintOneKey && !(event->region() - KeyPaintRegion(FPaintNote)).isEmpty()) {
    FPaintMode = kPaintAll;
  }
  Paint();
  FCanvas = nullptr;
}

void TMIDIKeyb::Paint() {
  if (FCanvas == nullptr) {
    repaint();
    return;
  }
  if (FPaintMode == kPaintOneKey) {
    // Each paint gets a fresh canvas: the label font must be set here too.
    FCanvas->SetFont(LabelFont());
    DrawSub(FPaintNote);
  } else {
    AllDraw();
  }
  FPaintMode = kPaintAll;
}

QRegion TMIDIKeyb::KeyPaintRegion(const std::int32_t note) const {
  TRect main{};
  TRect upper{};
  GetKeybRect(note, main, upper);
  std::int32_t left = main.Left;
  std::int32_t right = main.Right + 1;  // fills and outlines reach one column past Right
  if (KeybTypeTbl[note] != 0) {
    left = std::min(left, upper.Left);
    right = std::max(right, upper.Right + 1);
  }
  QRegion region(QRect(left, 0, right - left + 1, height()));
  region += QRect(width() - 1, 0, 1, height());
  return region;
}

QFont TMIDIKeyb::LabelFont() const {
  // The size is in points at 96 pixels per inch, rounded like MulDiv.
  QFont label = font();
  label.setPixelSize(std::max(1, (FMetrics.FontSize * 96 + 36) / 72));
  return label;
}

void TMIDIKeyb::AllDraw() {
  if (FCanvas == nullptr) return;
  if (width() != FLastWidth || height() != FLastHeight) {
    FLastWidth = width();
    FLastHeight = height();
    SetKeybRect();
    emit OnResize(this, FPosition, FWhiteKeyCount);
  }
  FCanvas->SetFont(LabelFont());
  // The area right of the last key, in a fixed silver whatever Color is.
  TRect lastMain{};
  TRect lastUpper{};
  GetKeybRect(kNoteCount - 1, lastMain, lastUpper);
  FCanvas->SetPenColor(clBlack);
  FCanvas->SetBrushColor(clSilver);
  FCanvas->Rectangle(lastMain.Right, 0, width(), height());
  for (std::int32_t note = 0; note < kNoteCount; ++note)
    DrawSub(note);
}

void TMIDIKeyb::DrawSub(const std::int32_t note) {
  if (FCanvas == nullptr || !IsNote(note)) return;
  TGdiCanvas& canvas = *FCanvas;
  if (!FRightClickEnable) FRightNote = kNoNote;
  TRect m{};
  TRect u{};
  GetKeybRect(note, m, u);
  if (m.Left > width() || m.Right < 0) return;

  const std::uint8_t shape = KeybTypeTbl[note];
  TColor c = FDown[note];
  if (FRightNote == note) c = FRightClickColor;
  if (c == 0) c = shape == 0 ? clBlack : clWhite;
  canvas.SetPenColor(c);
  canvas.SetBrushColor(c);
  canvas.Rectangle(m.Left, m.Top, m.Right + 2, m.Bottom + 1);
  if (shape == 0) {
    canvas.SetPenColor(clBlack);
    const TPoint outline[] = {{m.Right, m.Top},
                              {m.Left, m.Top},
                              {m.Left, m.Bottom},
                              {m.Right + 1, m.Bottom},
                              {m.Right + 1, m.Top - 1}};
    canvas.Polyline(outline);
  } else {
    canvas.Rectangle(u.Left, u.Top, u.Right + 2, u.Bottom + 1);
    canvas.SetPenColor(clBlack);
    const TPoint lower[] = {
        {m.Left, m.Top}, {m.Left, m.Bottom}, {m.Right + 1, m.Bottom}, {m.Right + 1, m.Top - 1}};
    canvas.Polyline(lower);
    const TPoint upperOutline[] = {
        {u.Left, u.Bottom}, {u.Left, u.Top}, {u.Right + 1, u.Top}, {u.Right + 1, u.Bottom + 1}};
    canvas.Polyline(upperOutline);
    if (shape == 1 && FOctave && note % 12 == 0) {
      const QString label = QString::number(note / 12 - 2);
      const std::int32_t x = m.Left + (m.Right - m.Left + 2 - canvas.TextWidth(label)) / 2;
      const std::int32_t y = m.Top + (m.Bottom - m.Top + 1 - canvas.TextHeight(label)) / 2;
      canvas.TextOut(x, y, label);
    }
  }
  canvas.SetPenColor(clBlack);
  canvas.MoveTo(width() - 1, 0);
  canvas.LineTo(width() - 1, height() - 1);
}

}  // namespace velmo
