// The window as built: caption, sizes and places, the two lists, the link and the keyboard's
// settings. The window is laid out without being shown, so nothing starts.
#include <gtest/gtest.h>

#include <QLayout>
#include <set>

#include "app_test_support.h"
#include "audio/ddsd_report.h"

namespace velmo::test {
namespace {

class MainWindowLayout : public ::testing::Test {
 protected:
  void SetUp() override { window_.form->layout()->activate(); }
  TFormUnderTest window_;
  TForm1& form_ = *window_.form;
};

// The client area under the menu bar: the panel on top, the keyboard right below it; a notice in
// the status line adds its own height instead of taking the keyboard's.
TEST_F(MainWindowLayout, ClientAreaPanelAndKeyboard) {
  EXPECT_EQ(form_.windowTitle(), QStringLiteral("Velmo ver.0.9.02"));
  const int menu = form_.MenuBar->geometry().bottom() + 1;
  EXPECT_EQ(form_.MenuBar->geometry().top(), 0);
  EXPECT_EQ(form_.size(), QSize(761, menu + 92));
  EXPECT_EQ(form_.font().pixelSize(), 11);
  EXPECT_EQ(form_.Panel2->geometry(), QRect(0, menu, 761, 41));
  EXPECT_EQ(form_.ComboBox1->geometry(), QRect(8, 11, 65, 21));
  EXPECT_EQ(form_.ComboBox2->geometry(), QRect(79, 11, 218, 21));
  EXPECT_EQ(form_.LinkLabel1->geometry(), QRect(303, 16, 79, 17));
  EXPECT_EQ(form_.MIDIKeyb1->geometry(), QRect(0, menu + 41, 761, 51));

  form_.ShowNotice(QStringLiteral("no sound device"));
  form_.layout()->activate();
  EXPECT_EQ(form_.MIDIKeyb1->geometry(), QRect(0, menu + 41, 761, 51));
  EXPECT_EQ(form_.StatusLine->geometry().top(), menu + 92);
  form_.ShowNotice(QString());
  EXPECT_EQ(form_.size(), QSize(761, menu + 92));
}

TEST_F(MainWindowLayout, KeyboardAndDeviceSettings) {
  const TMIDIKeyb& keyb = *form_.MIDIKeyb1;
  EXPECT_EQ(keyb.Position(), 14);
  EXPECT_TRUE(keyb.Octave());
  EXPECT_EQ(keyb.Color(), clSilver);
  EXPECT_EQ(keyb.Poly(), 0);
  EXPECT_FALSE(keyb.ViewOnly());
  EXPECT_FALSE(keyb.RightClickEnable());
  EXPECT_EQ(keyb.RightClickColor(), clBlue);
  EXPECT_TRUE(keyb.Gliss());
  EXPECT_EQ(form_.DDSD1.getDebugOption(), dsoHaltOnError);
  EXPECT_TRUE(DDSD_HaltOnError.load());
}

TEST_F(MainWindowLayout, ChannelAndProgramLists) {
  ASSERT_EQ(form_.ComboBox1->count(), 16);
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(form_.ComboBox1->itemText(i), QStringLiteral("CH %1").arg(i + 1));
  }
  EXPECT_EQ(form_.ComboBox1->currentIndex(), 0);
  EXPECT_FALSE(form_.ComboBox1->isEditable());

  ASSERT_EQ(form_.ComboBox2->count(), 128);
  EXPECT_EQ(form_.ComboBox2->currentIndex(), 0);
  EXPECT_FALSE(form_.ComboBox2->isEditable());
  std::set<QString> distinct;
  for (int i = 0; i < 128; ++i)
    distinct.insert(form_.ComboBox2->itemText(i));
  EXPECT_EQ(distinct.size(), 128u);
  EXPECT_EQ(form_.ComboBox2->itemText(0), QStringLiteral("Acoustic Grand Piano"));
  EXPECT_EQ(form_.ComboBox2->itemText(44), QStringLiteral("Tremelo Strings"));
  EXPECT_EQ(form_.ComboBox2->itemText(80), QStringLiteral("Lead 1 (square)"));
  EXPECT_EQ(form_.ComboBox2->itemText(81), QStringLiteral("Lead 2 (sawtooth)"));
  EXPECT_EQ(form_.ComboBox2->itemText(127), QStringLiteral("Gunshot"));

  // Tab order: channel list, program list, link.
  EXPECT_EQ(form_.ComboBox1->nextInFocusChain(), form_.ComboBox2);
  EXPECT_EQ(form_.ComboBox2->nextInFocusChain(), form_.LinkLabel1);
}

TEST_F(MainWindowLayout, LinkOpensTheMakersPageWhateverItsText) {
  EXPECT_EQ(form_.LinkLabel1->text(),
            QStringLiteral("<a href=\"https://velmo.example/\">Velmo</a>"));
  EXPECT_FALSE(form_.LinkLabel1->openExternalLinks());
  emit form_.LinkLabel1->linkActivated(QStringLiteral("https://elsewhere.example/"));
  ASSERT_EQ(window_.openedUrls.size(), 1u);
  EXPECT_EQ(window_.openedUrls[0], QUrl(QStringLiteral("https://velmo.example/")));
  EXPECT_TRUE(TakeShownMessages().empty());
}

// Without an output device the window says so in its status line, without a box, and still
// plays into the engine; without MIDI ports the MIDI menu says why.
TEST(MainWindowNotices, NoSoundDeviceAndNoMidiAreNamedInTheWindow) {
  TFormUnderTest window(/*recordMidi=*/true,
                        [](TDDSD& device) { device.setBackendName("no-such-backend"); });
  TForm1& form = *window.form;
  window.Show();
  EXPECT_FALSE(form.StatusLine->isHidden());
  EXPECT_TRUE(form.StatusLine->text().contains(QStringLiteral("no-such-backend")));
  EXPECT_TRUE(form.MidiPortAction->text().startsWith(QStringLiteral("No MIDI input: ")));
  EXPECT_FALSE(form.MidiConnectMenu->isEnabled());
  QTest::mouseClick(form.MIDIKeyb1, Qt::LeftButton, {}, KeyCentre(*form.MIDIKeyb1, 60));
  EXPECT_EQ(window.TakeMidi(), (std::vector<uint8_t>{0x90, 60, 100, 0x90, 60, 0}));
  EXPECT_TRUE(TakeShownMessages().empty());
}

}  // namespace
}  // namespace velmo::test
