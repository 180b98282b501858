// Note events from real mouse input: press, release, glissando, latch mode,
// right button, leaving the control, view-only mode.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QStringList>

#include "keyb_test_support.h"

namespace velmo {
namespace {

// Points on keys of the main window's keyboard (761 x 51, Position 14).
constexpr QPoint kC60Lower{430, 40};
constexpr QPoint kCSharp61{440, 10};
constexpr QPoint kD62Lower{450, 40};
constexpr QPoint kE64Lower{470, 40};
constexpr QPoint kF65Lower{490, 40};

// Records every note event of a keyboard in the order raised.
class TEventLog {
 public:
  explicit TEventLog(TMIDIKeyb& keyb) {
    QObject::connect(&keyb, &TMIDIKeyb::OnNoteOn, [this](TMIDIKeyb*, int n) { Add("on", n); });
    QObject::connect(&keyb, &TMIDIKeyb::OnNoteOff, [this](TMIDIKeyb*, int n) { Add("off", n); });
    QObject::connect(&keyb, &TMIDIKeyb::OnRightClickNoteOn,
                     [this](TMIDIKeyb*, int n) { Add("ron", n); });
    QObject::connect(&keyb, &TMIDIKeyb::OnRightClickNoteOff,
                     [this](TMIDIKeyb*, int n) { Add("roff", n); });
  }
  QString Take() {
    const QString joined = entries_.join(' ');
    entries_.clear();
    return joined;
  }

 private:
  void Add(const char* what, int note) { entries_ << QStringLiteral("%1 %2").arg(what).arg(note); }
  QStringList entries_;
};

class KeybEvents : public ::testing::Test {
 protected:
  void SetUp() override { test::ShowLikeMainWindow(keyb_); }
  void Click(QPoint p, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mousePress(&keyb_, button, Qt::NoModifier, p);
    QTest::mouseRelease(&keyb_, button, Qt::NoModifier, p);
  }

  TMIDIKeyb keyb_;
  TEventLog log_{keyb_};
};

TEST_F(KeybEvents, ClickRaisesOnAndOffAndShowsTheKeyOnlyWhileHeld) {
  QSignalSpy on(&keyb_, &TMIDIKeyb::OnNoteOn);
  QTest::mousePress(&keyb_, Qt::LeftButton, Qt::NoModifier, kC60Lower);
  ASSERT_EQ(on.count(), 1);
  EXPECT_EQ(on[0][0].value<TMIDIKeyb*>(), &keyb_);
  EXPECT_EQ(on[0][1].toInt(), 60);
  EXPECT_EQ(keyb_.GetDown(60), 0xC0C0C0u);
  QTest::mouseRelease(&keyb_, Qt::LeftButton, Qt::NoModifier, QPoint(900, 90));  // outside
  EXPECT_EQ(log_.Take(), "on 60 off 60");
  EXPECT_EQ(keyb_.GetDown(60), 0u);
  // A second release has no note to end.
  QTest::mouseRelease(&keyb_, Qt::LeftButton, Qt::NoModifier, kC60Lower);
  EXPECT_EQ(log_.Take(), "");
}

TEST_F(KeybEvents, ClickOutsideTheKeysRaisesNothing) {
  keyb_.SetPos(74);  // silver area from x 20 on
  Click({400, 30});
  EXPECT_EQ(log_.Take(), "");
}

TEST_F(KeybEvents, GlissandoMovesTheHeldNoteFromKeyToKey) {
  keyb_.SetGliss(true);
  QTest::mousePress(&keyb_, Qt::LeftButton, Qt::NoModifier, kC60Lower);
  test::DragTo(keyb_, kC60Lower + QPoint(3, 0), Qt::LeftButton);  // same key: nothing
  test::DragTo(keyb_, kCSharp61, Qt::LeftButton);
  EXPECT_EQ(keyb_.GetDown(60), 0u);
  EXPECT_EQ(keyb_.GetDown(61), 0xC0C0C0u);
  test::DragTo(keyb_, kD62Lower, Qt::LeftButton);
  test::DragTo(keyb_, {-20, 40}, Qt::LeftButton);  // off the control keeps the note
  QTest::mouseRelease(&keyb_, Qt::LeftButton, Qt::NoModifier, {-20, 40});
  EXPECT_EQ(log_.Take(), "on 60 off 60 on 61 off 61 on 62 off 62");
  for (int note = 0; note < 128; ++note)
    ASSERT_EQ(keyb_.GetDown(note), 0u) << note;
}

TEST_F(KeybEvents, WithoutGlissandoADragKeepsTheFirstNote) {
  QTest::mousePress(&keyb_, Qt::LeftButton, Qt::NoModifier, kC60Lower);
  test::DragTo(keyb_, kD62Lower, Qt::LeftButton);
  QTest::mouseRelease(&keyb_, Qt::LeftButton, Qt::NoModifier, kD62Lower);
  EXPECT_EQ(log_.Take(), "on 60 off 60");
  EXPECT_EQ(keyb_.GetDown(62), 0u);
}

TEST_F(KeybEvents, LatchModeHoldsAtMostPolyKeys) {
  keyb_.SetGliss(true);  // ignored in latch mode
  keyb_.SetPoly(3);
  Click(kC60Lower);
  Click(kD62Lower);
  Click(kE64Lower);
  EXPECT_EQ(log_.Take(), "on 60 off 60 on 62 off 62 on 64 off 64");
  EXPECT_EQ(keyb_.GetDown(60), 0xC0C0C0u);
  EXPECT_EQ(keyb_.GetDown(62), 0xC0C0C0u);
  EXPECT_EQ(keyb_.GetDown(64), 0xC0C0C0u);

  // A fourth key is refused, but its release still reports the note.
  QTest::mousePress(&keyb_, Qt::LeftButton, Qt::NoModifier, kF65Lower);
  EXPECT_EQ(log_.Take(), "");
  EXPECT_EQ(keyb_.GetDown(65), 0u);
  QTest::mouseRelease(&keyb_, Qt::LeftButton, Qt::NoModifier, kF65Lower);
  EXPECT_EQ(log_.Take(), "off 65");

  // Clicking a latched key releases it and raises OnNoteOn; then there is room.
  Click(kD62Lower);
  EXPECT_EQ(log_.Take(), "on 62 off 62");
  EXPECT_EQ(keyb_.GetDown(62), 0u);
  Click(kF65Lower);
  EXPECT_EQ(log_.Take(), "on 65 off 65");
  EXPECT_EQ(keyb_.GetDown(65), 0xC0C0C0u);

  // Changing the mode releases every key without events.
  keyb_.SetPoly(0);
  EXPECT_EQ(log_.Take(), "");
  for (int note = 0; note < 128; ++note)
    ASSERT_EQ(keyb_.GetDown(note), 0u) << note;
}

TEST_F(KeybEvents, SetPolyIgnoresOutOfRangeAndUnchangedValues) {
  keyb_.SetPoly(2);
  Click(kC60Lower);
  keyb_.SetPoly(-1);
  keyb_.SetPoly(128);
  keyb_.SetPoly(2);  // same value: the latched key stays
  EXPECT_EQ(keyb_.Poly(), 2);
  EXPECT_EQ(keyb_.GetDown(60), 0xC0C0C0u);
}

TEST_F(KeybEvents, RightButtonPlaysOnlyWhenEnabled) {
  Click(kCSharp61, Qt::RightButton);
  EXPECT_EQ(log_.Take(), "");

  keyb_.SetRightClickEnable(true);
  QTest::mousePress(&keyb_, Qt::RightButton, Qt::NoModifier, kCSharp61);
  EXPECT_EQ(keyb_.GetDown(61), 0u);  // shown in RightClickColor, not marked down
  QTest::mouseRelease(&keyb_, Qt::RightButton, Qt::NoModifier, kCSharp61);
  EXPECT_EQ(log_.Take(), "ron 61 roff 61");

  // Leaving the control ends the right-button note, once.
  QTest::mousePress(&keyb_, Qt::RightButton, Qt::NoModifier, kD62Lower);
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(&keyb_, &leave);
  QTest::mouseRelease(&keyb_, Qt::RightButton, Qt::NoModifier, kD62Lower);
  EXPECT_EQ(log_.Take(), "ron 62 roff 62");

  // Middle button does nothing.
  Click(kC60Lower, Qt::MiddleButton);
  EXPECT_EQ(log_.Take(), "");
}

TEST_F(KeybEvents, LeavingTheControlKeepsTheLeftNote) {
  QTest::mousePress(&keyb_, Qt::LeftButton, Qt::NoModifier, kC60Lower);
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(&keyb_, &leave);
  EXPECT_EQ(keyb_.GetDown(60), 0xC0C0C0u);
  QTest::mouseRelease(&keyb_, Qt::LeftButton, Qt::NoModifier, kC60Lower);
  EXPECT_EQ(log_.Take(), "on 60 off 60");
}

TEST_F(KeybEvents, ViewOnlyIgnoresEveryButtonAndKeepsThePicture) {
  keyb_.SetRightClickEnable(true);
  keyb_.SetGliss(true);
  const QImage before = test::RenderKeyb(keyb_);
  keyb_.SetViewOnly(true);
  Click(kC60Lower);
  Click(kCSharp61, Qt::RightButton);
  QTest::mousePress(&keyb_, Qt::LeftButton, Qt::NoModifier, kC60Lower);
  test::DragTo(keyb_, kD62Lower, Qt::LeftButton);
  QTest::mouseRelease(&keyb_, Qt::LeftButton, Qt::NoModifier, kD62Lower);
  EXPECT_EQ(log_.Take(), "");
  EXPECT_EQ(test::RenderKeyb(keyb_), before);
}

TEST_F(KeybEvents, DoubleClickPressesLikeAClick) {
  QTest::mouseDClick(&keyb_, Qt::LeftButton, Qt::NoModifier, kC60Lower);
  QTest::mouseRelease(&keyb_, Qt::LeftButton, Qt::NoModifier, kC60Lower);
  const QString events = log_.Take();
  EXPECT_TRUE(events.endsWith("on 60 off 60")) << events.toStdString();
  EXPECT_EQ(keyb_.GetDown(60), 0u);
}

TEST_F(KeybEvents, FractionalPointerPositionsHitThePixelTheyAreIn) {
  // On a high-DPI screen positions fall between logical pixels: 433.75 lies
  // in column 433 (C 60), not in 434 (C# 61) where rounding would put it.
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(433.75, 10.5),
                    keyb_.mapToGlobal(QPointF(433.75, 10.5)), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(&keyb_, &press);
  QTest::mouseRelease(&keyb_, Qt::LeftButton, Qt::NoModifier, kC60Lower);
  EXPECT_EQ(log_.Take(), "on 60 off 60");
}

TEST(KeybChildEvents, PositionsInsideAParentWindowOnAScaledScreen) {
  // The main window's layout: the keyboard below a 41-pixel panel.
  QWidget window;
  window.resize(761, 92);
  TMIDIKeyb keyb(&window);
  keyb.setGeometry(0, 41, 761, 51);
  keyb.SetPos(14);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  test::RenderKeyb(keyb);
  TEventLog log(keyb);
  // Events made by QTest carry only the local position.
  QTest::mouseClick(&keyb, Qt::LeftButton, Qt::NoModifier, {433, 10});
  QTest::mouseClick(&keyb, Qt::LeftButton, Qt::NoModifier, {434, 10});
  EXPECT_EQ(log.Take(), "on 60 off 60 on 61 off 61");
  // As delivered on a screen scaled by 2: the pointer at window x 433.5,
  // with the local position already rounded up to 434.
  const QPointF scene(433.5, 41 + 10.5);
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(434, 11), scene, window.mapToGlobal(scene),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&keyb, &press);
  QTest::mouseRelease(&keyb, Qt::LeftButton, Qt::NoModifier, {434, 11});
  EXPECT_EQ(log.Take(), "on 60 off 60");
}

TEST_F(KeybEvents, NotesOutsideTheKeyboardAreIgnored) {
  const QImage before = test::RenderKeyb(keyb_);
  keyb_.SetDown(-1, 0x0000FF);
  keyb_.SetDown(128, 0x0000FF);
  keyb_.SetDown(100000, 0x0000FF);
  keyb_.Draw(-5);
  keyb_.Draw(128);
  EXPECT_EQ(keyb_.GetDown(-1), 0u);
  EXPECT_EQ(keyb_.GetDown(128), 0u);
  EXPECT_EQ(test::RenderKeyb(keyb_), before);
}

}  // namespace
}  // namespace velmo
