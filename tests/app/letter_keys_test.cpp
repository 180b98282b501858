// The computer keyboard as a piano: keys by scan code, auto-repeat, octave keys, focus and
// channels.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <set>

#include "app/letter_keys.h"
#include "app_test_support.h"

namespace velmo::test {
namespace {

using Bytes = std::vector<uint8_t>;

// X11 keycodes of a US keyboard's keys: the table a user would read off the keyboard.
struct TScanCase {
  const char* name;
  uint32_t scanCode;
  TLetterKeyKind kind;
  int32_t semitone;
};
constexpr TScanCase kScanCases[] = {
    {"Z", 52, TLetterKeyKind::Note, 0},           {"S", 39, TLetterKeyKind::Note, 1},
    {"X", 53, TLetterKeyKind::Note, 2},           {"D", 40, TLetterKeyKind::Note, 3},
    {"C", 54, TLetterKeyKind::Note, 4},           {"V", 55, TLetterKeyKind::Note, 5},
    {"G", 42, TLetterKeyKind::Note, 6},           {"B", 56, TLetterKeyKind::Note, 7},
    {"H", 43, TLetterKeyKind::Note, 8},           {"N", 57, TLetterKeyKind::Note, 9},
    {"J", 44, TLetterKeyKind::Note, 10},          {"M", 58, TLetterKeyKind::Note, 11},
    {",", 59, TLetterKeyKind::Note, 12},          {"L", 46, TLetterKeyKind::Note, 13},
    {".", 60, TLetterKeyKind::Note, 14},          {";", 47, TLetterKeyKind::Note, 15},
    {"/", 61, TLetterKeyKind::Note, 16},          {"-", 20, TLetterKeyKind::OctaveDown, 0},
    {"=", 21, TLetterKeyKind::OctaveUp, 0},       {"A", 38, TLetterKeyKind::None, 0},
    {"F", 41, TLetterKeyKind::None, 0},           {"K", 45, TLetterKeyKind::None, 0},
    {"' (after ;)", 48, TLetterKeyKind::None, 0}, {"Shift (after /)", 62, TLetterKeyKind::None, 0},
    {"Q", 24, TLetterKeyKind::None, 0},           {"0", 0, TLetterKeyKind::None, 0},
};

TEST(LetterKeys, ScanCodesMapByPosition) {
  for (const TScanCase& c : kScanCases) {
    const TLetterKey key = LetterKeyOf(c.scanCode);
    EXPECT_EQ(key.kind, c.kind) << c.name;
    if (c.kind == TLetterKeyKind::Note) {
      EXPECT_EQ(key.semitone, c.semitone) << c.name;
    }
  }
}

// Whatever the octave moves, every key plays a distinct MIDI note, the range moves by whole
// octaves and stops at both ends.
TEST(LetterKeys, OctaveShiftKeepsEveryKeyAMidiNote) {
  TLetterRange range;
  std::set<int32_t> bases{range.Base()};
  for (const int32_t step : {1, 1, 1, 1, 1, 1, 1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}) {
    const int32_t before = range.Base();
    const int32_t moved = range.Shift(step);
    EXPECT_EQ(range.Base() - before, 12 * moved);
    EXPECT_TRUE(moved == step || moved == 0);
    std::set<int32_t> notes;
    for (int32_t semitone = 0; semitone <= TLetterRange::kTopSemitone; ++semitone) {
      const auto note = range.NoteOf({TLetterKeyKind::Note, semitone});
      ASSERT_TRUE(note.has_value());
      EXPECT_LE(*note, 127);
      notes.insert(*note);
    }
    EXPECT_EQ(notes.size(), static_cast<size_t>(TLetterRange::kTopSemitone + 1));
    bases.insert(range.Base());
  }
  EXPECT_EQ(*bases.begin(), 0);
  EXPECT_EQ(*bases.rbegin(), TLetterRange::kHighestBase);
  EXPECT_EQ(range.NoteOf({TLetterKeyKind::Note, TLetterRange::kTopSemitone + 1}), std::nullopt);
}

class LetterKeysInWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    window_.Show();
    window_.TakeMidi();
  }
  // Sends a key event with `scanCode` to `target`, as the window system would deliver it.
  static bool Send(QWidget* target, QEvent::Type type, uint32_t scanCode, bool autoRepeat = false,
                   Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent event(type, Qt::Key_unknown, modifiers, scanCode, 0, 0, QStringLiteral("z"),
                    autoRepeat);
    QApplication::sendEvent(target, &event);
    return event.isAccepted();
  }
  TFormUnderTest window_;
  TForm1& form_ = *window_.form;
};

// Z plays the range's lowest note at velocity 100 wherever the focus is; a combo box does not
// take the letter as a search; auto-repeat and a second press play nothing; with Ctrl the key is
// left to shortcuts.
TEST_F(LetterKeysInWindow, PlaysOncePerPressWhereverTheFocusIs) {
  for (QWidget* focus :
       {static_cast<QWidget*>(&form_), static_cast<QWidget*>(form_.ComboBox1),
        static_cast<QWidget*>(form_.ComboBox2), static_cast<QWidget*>(form_.MIDIKeyb1)}) {
    SCOPED_TRACE(focus->objectName().toStdString());
    const int program = form_.ComboBox2->currentIndex();
    Send(focus, QEvent::KeyPress, 52);
    Send(focus, QEvent::KeyPress, 52, /*autoRepeat=*/true);
    Send(focus, QEvent::KeyRelease, 52, /*autoRepeat=*/true);
    Send(focus, QEvent::KeyPress, 52);
    EXPECT_EQ(window_.TakeMidi(), (Bytes{0x90, 48, 100}));
    EXPECT_EQ(form_.MIDIKeyb1->GetDown(48), MIDIKeybDownColor[0]);
    Send(focus, QEvent::KeyRelease, 52);
    EXPECT_EQ(window_.TakeMidi(), (Bytes{0x90, 48, 0}));
    EXPECT_EQ(form_.MIDIKeyb1->GetDown(48), 0u);
    EXPECT_EQ(form_.ComboBox2->currentIndex(), program);
    Send(focus, QEvent::KeyPress, 52, false, Qt::ControlModifier);
    EXPECT_TRUE(window_.TakeMidi().empty());
  }
}

// A key held while the channel changes ends its note on the channel it started on; the last key
// of the upper row plays the range's top note.
TEST_F(LetterKeysInWindow, ReleaseEndsTheNoteOnItsOwnChannel) {
  Send(form_.ComboBox1, QEvent::KeyPress, 61);
  form_.ComboBox1->setCurrentIndex(9);
  form_.ComboBox1Change();
  window_.TakeMidi();
  Send(form_.ComboBox1, QEvent::KeyPress, 47);
  Send(form_.ComboBox1, QEvent::KeyRelease, 61);
  Send(form_.ComboBox1, QEvent::KeyRelease, 47);
  EXPECT_EQ(window_.TakeMidi(), (Bytes{0x99, 63, 100, 0x90, 64, 0, 0x99, 63, 0}));
}

// The octave keys move the notes and scroll the on-screen keyboard by an octave of white keys.
TEST_F(LetterKeysInWindow, OctaveKeysMoveTheNotesAndScrollTheKeyboard) {
  const int32_t position = form_.MIDIKeyb1->Position();
  Send(&form_, QEvent::KeyPress, 21);
  Send(&form_, QEvent::KeyRelease, 21);
  EXPECT_EQ(form_.MIDIKeyb1->Position(), position + 7);
  Send(&form_, QEvent::KeyPress, 52);
  Send(&form_, QEvent::KeyPress, 20);
  Send(&form_, QEvent::KeyPress, 20);
  EXPECT_EQ(form_.MIDIKeyb1->Position(), position - 7);
  Send(&form_, QEvent::KeyRelease, 52);
  Send(&form_, QEvent::KeyPress, 52);
  EXPECT_EQ(window_.TakeMidi(), (Bytes{0x90, 60, 100, 0x90, 60, 0, 0x90, 36, 100}));
}

}  // namespace
}  // namespace velmo::test
