// Opening other banks in the running window: images and SoundFonts swap in and name the title,
// one entry brings the built-in bank back, and a file that fails leaves the loaded bank playing.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAction>
#include <QCompleter>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>

#include "app/file_menu_actions.h"
#include "app/player_bar.h"
#include "app_test_support.h"
#include "assets/builtin_bank.h"
#include "tests/bank/soundfont_builder.h"
#include "tests/midifile/midi_file_bytes.h"

namespace velmo::test {
namespace {

using velmo::testing::Range;
using velmo::testing::Sine;
using velmo::testing::TestPreset;
using velmo::testing::TestSample;

size_t LoadedWaves(const Engine& engine) {
  return static_cast<size_t>(
      std::count_if(engine.bank.WaveSlots.begin(), engine.bank.WaveSlots.end(),
                    [](const WaveBlock& block) { return block != nullptr; }));
}

std::vector<uint8_t> SmallSoundFont() {
  TestSample sample;
  sample.frames = Sine(4000, 100.0, 8000.0);
  sample.loopStart = 1000;
  sample.loopEnd = 3000;
  TestPreset preset;
  preset.zones = {{{{43, Range(0, 127)}, {54, 1}}, 0}};  // key range, looped
  return velmo::testing::WriteSoundFont({sample}, {preset});
}

class BankOpening : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    window_ = new TFormUnderTest(/*recordMidi=*/false);
    window_->Show();
  }
  static void TearDownTestSuite() {
    delete window_;
    window_ = nullptr;
  }
  void TearDown() override { TakeShownMessages(); }

  QString Write(const QString& name, const std::vector<uint8_t>& bytes) {
    const QString path = dir_.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    return path;
  }
  static void Open(const QString& path) {
    form().OpenBankFile(path);
    form().BankOpener().Wait();
  }
  static TForm1& form() { return *window_->form; }
  static QAction* BuiltinEntry() {
    return form().FileMenu->findChild<QAction*>(QString::fromUtf8(kBuiltinBankActionName));
  }

  QTemporaryDir dir_;
  static TFormUnderTest* window_;
};

TFormUnderTest* BankOpening::window_ = nullptr;

TEST_F(BankOpening, ImagesAndSoundFontsSwapInAndTheBuiltinOneComesBack) {
  const std::span<const uint8_t> builtin = BuiltinBankImage();
  const size_t builtinWaves = LoadedWaves(*window_->engine);
  struct Case {
    QString file;
    std::vector<uint8_t> bytes;
  };
  const Case cases[] = {
      {QStringLiteral("copy.bnk"), {builtin.begin(), builtin.end()}},
      {QStringLiteral("small.sf2"), SmallSoundFont()},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.file.toStdString());
    Open(Write(test.file, test.bytes));
    EXPECT_TRUE(TakeShownMessages().empty());
    EXPECT_FALSE(form().BankName().isEmpty());
    EXPECT_TRUE(form().windowTitle().startsWith(QStringLiteral("Velmo ver.0.9.02 [")));
    EXPECT_TRUE(form().windowTitle().contains(form().BankName()));
    EXPECT_TRUE(BuiltinEntry()->isEnabled());
    EXPECT_NE(window_->engine->timerId, 0u);  // playing again

    BuiltinEntry()->trigger();
    EXPECT_EQ(form().windowTitle(), QStringLiteral("Velmo ver.0.9.02"));
    EXPECT_FALSE(BuiltinEntry()->isEnabled());
    EXPECT_EQ(LoadedWaves(*window_->engine), builtinWaves);
  }
}

TEST_F(BankOpening, AFileThatFailsIsReportedAndTheLoadedBankPlaysOn) {
  Open(Write(QStringLiteral("other.sf2"), SmallSoundFont()));
  ASSERT_TRUE(TakeShownMessages().empty());
  const QString title = form().windowTitle();
  const size_t waves = LoadedWaves(*window_->engine);
  const uint8_t* firstWave = window_->engine->bank.WaveSlots[0].get();

  const std::span<const uint8_t> builtin = BuiltinBankImage();
  std::vector<uint8_t> brokenFont = SmallSoundFont();
  brokenFont.resize(brokenFont.size() / 2);
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"empty", {}},
      {"garbage", std::vector<uint8_t>(3000, 0xA5)},
      {"truncated-image", {builtin.begin(), builtin.begin() + builtin.size() / 3}},
      {"truncated-font", brokenFont},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    Open(Write(QString::fromUtf8(test.name), test.bytes));
    const std::vector<TShownMessage> shown = TakeShownMessages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].text.contains(QString::fromUtf8(test.name)))
        << shown[0].text.toStdString();
    EXPECT_EQ(form().windowTitle(), title);
    EXPECT_EQ(LoadedWaves(*window_->engine), waves);
    EXPECT_EQ(window_->engine->bank.WaveSlots[0].get(), firstWave);
    EXPECT_NE(window_->engine->timerId, 0u);
  }
  Open(dir_.filePath(QStringLiteral("missing")));
  EXPECT_EQ(TakeShownMessages().size(), 1u);
  EXPECT_EQ(form().windowTitle(), title);
  BuiltinEntry()->trigger();
}

// A dropped Standard MIDI File plays; a dropped file that is not one is reported and the song
// that was open stays.
TEST_F(BankOpening, DroppedMidiFilesPlayAndBrokenOnesAreReported) {
  using namespace midi::testing;
  const Bytes song = MidiFile(0, 96, {Track({Event(0, {0x90, 60, 100}), EndOfTrack(2000)})});
  const auto drop = [&](const QString& path) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form(), &dropped);
  };
  drop(Write(QStringLiteral("tune.mid"), song));
  EXPECT_TRUE(TakeShownMessages().empty());
  EXPECT_EQ(form().Player().State(), PlayerState::kPlaying);
  const int64_t length = form().Player().LengthBlocks();

  Bytes broken = song;
  broken.resize(broken.size() - 3);
  drop(Write(QStringLiteral("broken.mid"), broken));
  const std::vector<TShownMessage> shown = TakeShownMessages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_TRUE(shown[0].text.contains(QStringLiteral("broken.mid")));
  EXPECT_EQ(form().Player().State(), PlayerState::kPlaying);
  EXPECT_EQ(form().Player().LengthBlocks(), length);
  form().Player().Stop();
}

// File > Open keeps one dialog: every showing starts with an empty name field, a name typed
// there opens that song, and no completion list is left open to take the next key.
TEST_F(BankOpening, OpenMidiFileReusesOneDialogAndLeavesNoPopupOpen) {
  using namespace midi::testing;
  QAction* openSong = form().FileMenu->findChild<QAction*>(QString::fromUtf8(kOpenSongActionName));
  ASSERT_NE(openSong, nullptr);
  for (const int64_t ticks : {1000, 3000}) {
    const QString path = Write(
        QStringLiteral("song%1.mid").arg(ticks),
        MidiFile(0, 96,
                 {Track({Event(0, {0x90, 60, 100}), EndOfTrack(static_cast<uint32_t>(ticks))})}));
    QString shownName = QStringLiteral("(not shown)");
    QTimer::singleShot(0, [&] {
      ASSERT_TRUE(WaitUntil([] { return QApplication::activeModalWidget() != nullptr; }));
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      auto* nameField = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      ASSERT_NE(nameField, nullptr);
      shownName = nameField->text();
      nameField->insert(path);
      nameField->completer()->popup()->show();  // as while typing
      // Only the typed name is chosen (anything else would also fail the dialog's own check).
      EXPECT_EQ(dialog->selectedFiles(), QStringList{path}) << ticks;
      if (dialog->selectedFiles() != QStringList{path}) return dialog->reject();
      static_cast<QDialog*>(dialog)->accept();  // as the Open button does
    });
    openSong->trigger();
    EXPECT_EQ(shownName, QString()) << ticks;
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << ticks;
    EXPECT_TRUE(form().PlayerBar->SongLabel->text().contains(QFileInfo(path).fileName())) << ticks;
  }
  EXPECT_EQ(form().findChildren<QFileDialog*>().size(), 1);
  form().Player().Stop();
}

}  // namespace
}  // namespace velmo::test
