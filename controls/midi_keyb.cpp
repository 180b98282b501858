// State, layout, hit test and mouse input of TMIDIKeyb.
#include "controls/midi_keyb.h"

#include <QMouseEvent>
#include <algorithm>
#include <cmath>

namespace velmo {

TMIDIKeyb::TMIDIKeyb(QWidget* parent) : QWidget(parent) {
  // The control paints every pixel itself; nothing is erased behind it.
  setAttribute(Qt::WA_OpaquePaintEvent);
  // The octave labels use an installed sans face unless the application
  // sets another font; only the family is taken, the size follows the keys.
  setFont(QFont(QStringLiteral("DejaVu Sans")));
  resize(200, 50);
  SetKeybRect();
}

void TMIDIKeyb::Draw(const std::int32_t note) {
  if (!IsNote(note)) return;
  // Called from an OnResize handler, inside a full paint: the keys are drawn
  // after that report, so the paint in progress shows the change.
  if (FCanvas != nullptr) return;
  FPaintMode = kPaintOneKey;
  FPaintNote = note;
  repaint(KeyPaintRegion(note));
  // A hidden control paints nothing now; the next paint must draw everything.
  FPaintMode = kPaintAll;
}

void TMIDIKeyb::Invalidate() {
  FPaintMode = kPaintAll;
  update();
}

void TMIDIKeyb::SetPos(const std::int32_t value) {
  if (value < 0 || value >= kWhiteKeyCount) return;
  FPosition = value;
  Invalidate();
}

void TMIDIKeyb::SetDown(const std::int32_t note, const TColor color) {
  if (!IsNote(note)) return;
  FDown[note] = color;
  Draw(note);
}

TColor TMIDIKeyb::GetDown(const std::int32_t note) const {
  return IsNote(note) ? FDown[note] : 0;
}

void TMIDIKeyb::SetOct(const bool value) {
  FOctave = value;
  Invalidate();
}

void TMIDIKeyb::SetPoly(const std::int32_t value) {
  if (value < 0 || value >= kNoteCount || value == FPoly) return;
  AllUp();
  FPoly = value;
  FLeftNote = kNoNote;
}

void TMIDIKeyb::AllUp() {
  FDown.fill(0);
}

void TMIDIKeyb::SetKeybRect() {
  FMetrics = ComputeKeybMetrics(height());
  // Below a height of 2 the white keys have no width and no key fits.
  FWhiteKeyCount = FMetrics.WhiteWidth > 0 ? width() / FMetrics.WhiteWidth : 0;
  FKeyRects = ComputeKeyRects(FMetrics, height());
}

void TMIDIKeyb::GetKeybRect(const std::int32_t note, TRect& main, TRect& upper) const {
  const std::int32_t offset = FPosition * FMetrics.WhiteWidth;
  main = FKeyRects[note].Main;
  upper = FKeyRects[note].Upper;
  main.Left -= offset;
  main.Right -= offset;
  upper.Left -= offset;
  upper.Right -= offset;
}

std::int32_t TMIDIKeyb::GetKeybNum(const std::int32_t x, const std::int32_t y) const {
  if (x < 0 || x >= width() || y < 0 || y >= height()) return kNoNote;
  // Ascending order: the first key whose right edge reaches x is under the
  // point; in the black-key rows a white key counts only up to its upper
  // part's right edge, so the black key tested next wins there.
  for (std::int32_t note = 0; note < kNoteCount; ++note) {
    TRect main{};
    TRect upper{};
    GetKeybRect(note, main, upper);
    if (x <= main.Right && y <= main.Bottom && (y >= main.Top || x <= upper.Right)) return note;
  }
  return kNoNote;
}

void TMIDIKeyb::MouseDown(const Qt::MouseButton button, const std::int32_t x,
                          const std::int32_t y) {
  if (FViewOnly) return;
  const std::int32_t note = GetKeybNum(x, y);
  if (note == kNoNote) return;
  if (button == Qt::LeftButton) {
    FLeftNote = note;
    if (FPoly == 0) {
      FDown[note] = FColor;
    } else if (FDown[note] == 0) {
      const auto downCount =
          std::count_if(FDown.begin(), FDown.end(), [](const TColor color) { return color != 0; });
      if (downCount >= FPoly) return;  // latch full: no mark, no event
      FDown[note] = FColor;
    } else {
      FDown[note] = 0;  // a second click releases a latched key
    }
    Draw(note);
    emit OnNoteOn(this, note);
  } else if (button == Qt::RightButton && FRightClickEnable) {
    FRightNote = note;
    Draw(note);
    emit OnRightClickNoteOn(this, note);
  }
}

void TMIDIKeyb::MouseUp(const Qt::MouseButton button) {
  if (FViewOnly) return;
  if (button == Qt::LeftButton) {
    if (!IsNote(FLeftNote)) return;
    const std::int32_t note = FLeftNote;
    emit OnNoteOff(this, note);
    if (FPoly == 0) {
      FDown[note] = 0;
      Draw(note);
      FLeftNote = kNoNote;
    }
  } else if (button == Qt::RightButton) {
    CMMouseLeave();
  }
}

void TMIDIKeyb::CMMouseLeave() {
  if (!IsNote(FRightNote)) return;
  const std::int32_t note = FRightNote;
  emit OnRightClickNoteOff(this, note);
  FRightNote = kNoNote;
  Draw(note);
}

void TMIDIKeyb::MouseMove(const std::int32_t x, const std::int32_t y) {
  if (FViewOnly || FPoly != 0 || !FGliss || FLeftNote == kNoNote) return;
  const std::int32_t note = GetKeybNum(x, y);
  if (note == kNoNote || note == FLeftNote) return;
  const std::int32_t previous = FLeftNote;
  FDown[previous] = 0;
  Draw(previous);
  emit OnNoteOff(this, previous);
  FLeftNote = note;
  FDown[note] = FColor;
  Draw(note);
  emit OnNoteOn(this, note);
}

namespace {

// The control pixel under the pointer. On a scaled (high-DPI) screen the
// pointer lies between logical pixels, and the widget-local position Qt hands
// over may already be rounded to the nearest pixel corner, half a pixel off
// the key under the pointer. The window-relative position keeps the
// fraction; it is used when it agrees with the local one to within that
// rounding (events built by hand may carry a window position that is not).
QPoint PixelAt(const QWidget& widget, const QMouseEvent* event) {
  const QPointF local = event->position();
  const QPointF precise = widget.mapFrom(widget.window(), event->scenePosition());
  const QPointF p =
      (std::abs(precise.x() - local.x()) <= 0.5 && std::abs(precise.y() - local.y()) <= 0.5)
          ? precise
          : local;
  return {static_cast<int>(std::floor(p.x())), static_cast<int>(std::floor(p.y()))};
}

}  // namespace

void TMIDIKeyb::mousePressEvent(QMouseEvent* event) {
  const QPoint p = PixelAt(*this, event);
  MouseDown(event->button(), p.x(), p.y());
}

void TMIDIKeyb::mouseReleaseEvent(QMouseEvent* event) {
  MouseUp(event->button());
}

void TMIDIKeyb::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = PixelAt(*this, event);
  MouseMove(p.x(), p.y());
}

void TMIDIKeyb::leaveEvent(QEvent* event) {
  CMMouseLeave();
  QWidget::leaveEvent(event);
}

}  // namespace velmo
