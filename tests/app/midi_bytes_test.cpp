// The MIDI bytes the window sends for real mouse presses on the keyboard and for choices made in
// the two lists with the keyboard's arrow keys.
#include <gtest/gtest.h>

#include <QMouseEvent>

#include "app_test_support.h"

namespace velmo::test {
namespace {

using Bytes = std::vector<uint8_t>;

// A pointer move with the left button held (QTest::mouseMove carries no buttons).
void DragTo(QWidget& widget, const QPoint pos) {
  QMouseEvent move(QEvent::MouseMove, QPointF(pos), widget.mapToGlobal(QPointF(pos)), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&widget, &move);
}

// One shown window for the whole suite: loading the built-in bank is the slow part.
class MainWindowMidi : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    window_ = new TFormUnderTest();
    window_->Show();
  }
  static void TearDownTestSuite() {
    delete window_;
    window_ = nullptr;
  }
  void SetUp() override {
    // Every case starts on CH 1 with the first program.
    form().ComboBox1->setFocus();
    while (form().ComboBox1->currentIndex() > 0)
      QTest::keyClick(form().ComboBox1, Qt::Key_Up);
    while (form().ComboBox2->currentIndex() > 0)
      QTest::keyClick(form().ComboBox2, Qt::Key_Up);
    window_->TakeMidi();
  }
  void TearDown() override { EXPECT_TRUE(TakeShownMessages().empty()); }

  static TForm1& form() { return *window_->form; }
  static TMIDIKeyb& keyb() { return *window_->form->MIDIKeyb1; }

  static TFormUnderTest* window_;
};

TFormUnderTest* MainWindowMidi::window_ = nullptr;

TEST_F(MainWindowMidi, KeyPressAndReleaseSendNoteOnWithVelocity100ThenVelocity0) {
  QTest::mousePress(&keyb(), Qt::LeftButton, Qt::NoModifier, KeyCentre(keyb(), 60));
  EXPECT_EQ(window_->TakeMidi(), (Bytes{0x90, 60, 100}));
  QTest::mouseRelease(&keyb(), Qt::LeftButton, Qt::NoModifier, KeyCentre(keyb(), 60));
  EXPECT_EQ(window_->TakeMidi(), (Bytes{0x90, 60, 0}));

  // The lowest visible key and a key dragged onto (glissando is on).
  QTest::mousePress(&keyb(), Qt::LeftButton, Qt::NoModifier, QPoint(2, 48));
  DragTo(keyb(), KeyCentre(keyb(), 26));
  QTest::mouseRelease(&keyb(), Qt::LeftButton, Qt::NoModifier, KeyCentre(keyb(), 26));
  EXPECT_EQ(window_->TakeMidi(), (Bytes{0x90, 24, 100, 0x90, 24, 0, 0x90, 26, 100, 0x90, 26, 0}));
}

TEST_F(MainWindowMidi, ChoosingAChannelSendsTheListedProgramThere) {
  QTest::keyClick(form().ComboBox2, Qt::Key_Down);  // program 1 on CH 1
  QTest::keyClick(form().ComboBox2, Qt::Key_Down);  // program 2 on CH 1
  EXPECT_EQ(window_->TakeMidi(), (Bytes{0xC0, 1, 0xC0, 2}));

  for (int i = 0; i < 9; ++i)
    QTest::keyClick(form().ComboBox1, Qt::Key_Down);
  EXPECT_EQ(form().ComboBox1->currentText(), QStringLiteral("CH 10"));
  EXPECT_EQ(form().SelectedChannel(), 9);
  const Bytes sent = window_->TakeMidi();
  ASSERT_EQ(sent.size(), 18u);
  EXPECT_EQ(Bytes(sent.end() - 2, sent.end()), (Bytes{0xC9, 2}));

  QTest::keyClick(form().ComboBox2, Qt::Key_End);  // Gunshot, on CH 10
  EXPECT_EQ(window_->TakeMidi(), (Bytes{0xC9, 127}));
  QTest::mousePress(&keyb(), Qt::LeftButton, Qt::NoModifier, KeyCentre(keyb(), 36));
  QTest::mouseRelease(&keyb(), Qt::LeftButton, Qt::NoModifier, KeyCentre(keyb(), 36));
  EXPECT_EQ(window_->TakeMidi(), (Bytes{0x99, 36, 100, 0x99, 36, 0}));

  // Setting the lists in code is no user choice and sends nothing.
  form().ComboBox2->setCurrentIndex(5);
  form().ComboBox1->setCurrentIndex(3);
  EXPECT_TRUE(window_->TakeMidi().empty());
  EXPECT_EQ(form().SelectedChannel(), 9);
}

TEST_F(MainWindowMidi, AHeldKeyIsReleasedOnTheChannelItStartedOn) {
  QTest::mousePress(&keyb(), Qt::LeftButton, Qt::NoModifier, KeyCentre(keyb(), 64));
  QTest::keyClick(form().ComboBox1, Qt::Key_Down);  // CH 2 while the key is held
  QTest::mouseRelease(&keyb(), Qt::LeftButton, Qt::NoModifier, KeyCentre(keyb(), 64));
  EXPECT_EQ(window_->TakeMidi(), (Bytes{0x90, 64, 100, 0xC1, 0, 0x90, 64, 0}));

  // The next note goes to the new channel.
  QTest::mousePress(&keyb(), Qt::LeftButton, Qt::NoModifier, KeyCentre(keyb(), 64));
  QTest::mouseRelease(&keyb(), Qt::LeftButton, Qt::NoModifier, KeyCentre(keyb(), 64));
  EXPECT_EQ(window_->TakeMidi(), (Bytes{0x91, 64, 100, 0x91, 64, 0}));
}

// Without a sink of its own the window feeds the engine's queue through the hand-off, before the
// next block; the parser turns the bytes into channel state.
TEST(MainWindowMidiToEngine, ProgramChangesReachTheEngine) {
  TFormUnderTest window(/*recordMidi=*/false);
  TForm1& form = *window.form;
  EngineReset(*window.engine, 1);
  form.ComboBox1->setFocus();
  for (int i = 0; i < 5; ++i)
    QTest::keyClick(form.ComboBox2, Qt::Key_Down);
  for (int i = 0; i < 3; ++i)
    QTest::keyClick(form.ComboBox1, Qt::Key_Down);
  form.HandOff().BeforeBlock(*window.engine);
  DrainMidiQueue(*window.engine);
  EXPECT_EQ(window.engine->channels[0].program, 5);
  EXPECT_EQ(window.engine->channels[1].program, 5);
  EXPECT_EQ(window.engine->channels[3].program, 5);
  EXPECT_EQ(window.engine->channels[4].program, 0);
  EXPECT_TRUE(TakeShownMessages().empty());
}

}  // namespace
}  // namespace velmo::test
