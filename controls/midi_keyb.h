// TMIDIKeyb: an on-screen piano keyboard of all 128 MIDI notes, scrolled so
// that a chosen white key sits at the left edge. Mouse clicks and drags
// become note events; the control knows nothing about MIDI bytes.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>

#include "controls/gdi_canvas.h"
#include "controls/midi_keyb_layout.h"

namespace velmo {

class TMIDIKeyb : public QWidget {
  Q_OBJECT
  Q_PROPERTY(int Position READ Position WRITE SetPos)
  Q_PROPERTY(bool Octave READ Octave WRITE SetOct)
  Q_PROPERTY(quint32 Color READ Color WRITE SetColor)
  Q_PROPERTY(int Poly READ Poly WRITE SetPoly)
  Q_PROPERTY(bool ViewOnly READ ViewOnly WRITE SetViewOnly)
  Q_PROPERTY(bool RightClickEnable READ RightClickEnable WRITE SetRightClickEnable)
  Q_PROPERTY(quint32 RightClickColor READ RightClickColor WRITE SetRightClickColor)
  Q_PROPERTY(bool Gliss READ Gliss WRITE SetGliss)

 public:
  explicit TMIDIKeyb(QWidget* parent = nullptr);

  // Published properties.
  std::int32_t Position() const { return FPosition; }
  bool Octave() const { return FOctave; }
  TColor Color() const { return FColor; }
  std::int32_t Poly() const { return FPoly; }
  bool ViewOnly() const { return FViewOnly; }
  bool RightClickEnable() const { return FRightClickEnable; }
  TColor RightClickColor() const { return FRightClickColor; }
  bool Gliss() const { return FGliss; }
  void SetColor(TColor value) { FColor = value; }
  void SetViewOnly(bool value) { FViewOnly = value; }
  void SetRightClickEnable(bool value) { FRightClickEnable = value; }
  void SetRightClickColor(TColor value) { FRightClickColor = value; }
  void SetGliss(bool value) { FGliss = value; }

  // Repaints one key now.
  void Draw(std::int32_t note);
  // Schedules a repaint of the whole keyboard.
  void Invalidate();
  // Paints what the last request asked for (one key after Draw, else all);
  // outside a paint event it repaints the whole control at once.
  void Paint();
  // Scrolls white key `value` (0..74) to the left edge; other values are ignored.
  void SetPos(std::int32_t value);
  // Shows `note` pressed in `color` (0: up) without raising an event.
  void SetDown(std::int32_t note, TColor color);
  // The colour `note` is shown pressed in, 0 when up or outside 0..127.
  TColor GetDown(std::int32_t note) const;
  void SetOct(bool value);
  // 0: keys show down only while held; 1..127: keys latch, at most `value`
  // at once. Changing the mode releases every key without events.
  void SetPoly(std::int32_t value);
  // Marks every key up, without repaint or events.
  void AllUp();
  // The note under control point (x, y), or -1.
  std::int32_t GetKeybNum(std::int32_t x, std::int32_t y) const;
  static std::int32_t NoteToPos(std::int32_t note) { return velmo::NoteToPos(note); }
  static std::int32_t PosToNote(std::int32_t pos) { return velmo::PosToNote(pos); }
  // Recomputes the key rectangles for the current size.
  void SetKeybRect();
  // The key's rectangles in control coordinates (scrolled).
  void GetKeybRect(std::int32_t note, TRect& main, TRect& upper) const;
  // Painting of everything and of one key; they draw only inside a paint event.
  void AllDraw();
  void DrawSub(std::int32_t note);

  // Layout values of the last SetKeybRect.
  std::int32_t WhiteKeyCount() const { return FWhiteKeyCount; }
  const TKeybMetrics& KeybMetrics() const { return FMetrics; }

 signals:
  void OnNoteOn(velmo::TMIDIKeyb* Sender, int Note);
  void OnNoteOff(velmo::TMIDIKeyb* Sender, int Note);
  void OnRightClickNoteOn(velmo::TMIDIKeyb* Sender, int Note);
  void OnRightClickNoteOff(velmo::TMIDIKeyb* Sender, int Note);
  // Pos: the current Position; Size: the number of whole white keys that fit.
  void OnResize(velmo::TMIDIKeyb* Sender, int Pos, int Size);

 protected:
  void MouseDown(Qt::MouseButton button, std::int32_t x, std::int32_t y);
  void MouseUp(Qt::MouseButton button);
  void MouseMove(std::int32_t x, std::int32_t y);
  void CMMouseLeave();

  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  static constexpr std::int32_t kPaintAll = 3;
  static constexpr std::int32_t kPaintOneKey = 1;

  static bool IsNote(std::int32_t note) { return note >= 0 && note < kNoteCount; }
  // Columns a one-key paint of `note` can touch, plus the right border.
  QRegion KeyPaintRegion(std::int32_t note) const;
  QFont LabelFont() const;

  std::int32_t FPosition = 28;
  bool FOctave = false;
  TColor FColor = clSilver;
  std::int32_t FPoly = 0;
  bool FViewOnly = false;
  bool FRightClickEnable = false;
  TColor FRightClickColor = clBlue;
  bool FGliss = false;

  std::array<TColor, kNoteCount> FDown{};
  std::int32_t FLeftNote = kNoNote;
  std::int32_t FRightNote = kNoNote;
  std::int32_t FWhiteKeyCount = 0;
  std::array<TKeyRect, kNoteCount> FKeyRects{};
  TKeybMetrics FMetrics{};
  std::int32_t FLastWidth = 0;
  std::int32_t FLastHeight = 0;
  std::int32_t FPaintMode = kPaintAll;
  std::int32_t FPaintNote = 0;
  // The canvas of the paint event in progress, null outside painting.
  TGdiCanvas* FCanvas = nullptr;
};

}  // namespace velmo
