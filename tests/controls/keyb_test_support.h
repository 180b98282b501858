// Shared helpers of the keyboard control tests.
#pragma once

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QTest>

#include "controls/midi_keyb.h"

namespace velmo::test {

// Renders the control at pixel ratio 1, the way the demo's --grab does.
inline QImage RenderKeyb(TMIDIKeyb& keyb) {
  QImage image(keyb.size(), QImage::Format_RGB32);
  image.fill(Qt::magenta);  // anything left unpainted shows up
  keyb.render(&image);
  return image;
}

// The main window's keyboard: 761 x 51, white key 14 at the left edge, shown
// (offscreen) so that it has painted and laid itself out.
inline void ShowLikeMainWindow(TMIDIKeyb& keyb) {
  keyb.resize(761, 51);
  keyb.SetPos(14);
  keyb.show();
  (void)QTest::qWaitForWindowExposed(&keyb);
  RenderKeyb(keyb);  // a paint lays the keys out for the new size
}

// A pointer move with buttons held (QTest::mouseMove carries no buttons).
inline void DragTo(QWidget& widget, const QPoint pos, const Qt::MouseButtons buttons) {
  QMouseEvent move(QEvent::MouseMove, QPointF(pos), widget.mapToGlobal(QPointF(pos)), Qt::NoButton,
                   buttons, Qt::NoModifier);
  QApplication::sendEvent(&widget, &move);
}

inline std::uint32_t Rgb(const QImage& image, int x, int y) {
  return image.pixel(x, y) & 0xFFFFFFu;
}

}  // namespace velmo::test
