// The application's exception display: a bank that does not load, exceptions escaping event
// handlers, and the engine's reports from any thread.
#include <gtest/gtest.h>

#include <QEvent>
#include <QThread>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "app/engine_message_box.h"
#include "app_test_support.h"
#include "audio/ddsd_channel.h"

namespace velmo::test {
namespace {

constexpr const char kShortImage[] = "not a bank image";

std::unique_ptr<std::istream> OpenShortImage() {
  return std::make_unique<std::istringstream>(std::string(kShortImage));
}

QString LoadErrorText() {
  auto bank = std::make_unique<SoundBank>();
  try {
    LoadSoundBank(*bank, *OpenShortImage());
  } catch (const BankLoadError& error) {
    return QString::fromUtf8(error.what());
  }
  ADD_FAILURE() << "the short image loaded";
  return QString();
}

TEST(ExceptionDisplay, ABankThatDoesNotLoadIsShownAndNotRetried) {
  const QString expected = LoadErrorText();
  ASSERT_FALSE(expected.isEmpty());
  TFormUnderTest window(/*recordMidi=*/true, nullptr, OpenShortImage);
  TForm1& form = *window.form;
  window.Show();
  std::vector<TShownMessage> shown = TakeShownMessages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].kind, TMessageKind::Exception);
  EXPECT_EQ(shown[0].text, expected);
  EXPECT_TRUE(form.isVisible());
  EXPECT_TRUE(form.EngineStarted());
  EXPECT_EQ(window.engine->timerId, 0u);  // the sequence stopped at the load
  EXPECT_EQ(form.DDSD1.GetChannels(0)->getStatus(), 0u);

  // The window stays usable, and showing it again does not retry.
  QTest::mouseClick(form.MIDIKeyb1, Qt::LeftButton, Qt::NoModifier, KeyCentre(*form.MIDIKeyb1, 60));
  EXPECT_EQ(window.TakeMidi(), (std::vector<uint8_t>{0x90, 60, 100, 0x90, 60, 0}));
  form.hide();
  window.Show();
  EXPECT_EQ(window.bankOpens, 1);
  EXPECT_TRUE(TakeShownMessages().empty());

  EXPECT_TRUE(form.close());
  EXPECT_FALSE(form.EngineStarted());
  EXPECT_EQ(form.StreamWave(), nullptr);
  EXPECT_TRUE(TakeShownMessages().empty());
}

// An object whose event handler throws what it is told to.
class TThrowingObject : public QObject {
 public:
  std::function<void()> thrower;
  bool event(QEvent* event) override {
    if (event->type() == QEvent::User) thrower();
    return QObject::event(event);
  }
};

TEST(ExceptionDisplay, ExceptionsEscapingEventHandlersAreShown) {
  TThrowingObject object;
  QEvent event(QEvent::User);

  object.thrower = [] { throw std::runtime_error("ハンドラの失敗"); };
  EXPECT_TRUE(QCoreApplication::sendEvent(&object, &event));
  object.thrower = [] { throw 42; };
  EXPECT_TRUE(QCoreApplication::sendEvent(&object, &event));

  const std::vector<TShownMessage> shown = TakeShownMessages();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].kind, TMessageKind::Exception);
  EXPECT_EQ(shown[0].text, QStringLiteral("ハンドラの失敗"));
  EXPECT_EQ(shown[1].kind, TMessageKind::Exception);
  EXPECT_TRUE(shown[1].text.isEmpty());
}

TEST(ExceptionDisplay, EngineReportsAreShownOnTheUserInterfaceThread) {
  auto engine = std::make_unique<Engine>();
  InstallEngineMessageBox(*engine);
  engine->messageHook("タイマーを開始できません");
  std::vector<TShownMessage> shown = TakeShownMessages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].kind, TMessageKind::EngineMessage);
  EXPECT_EQ(shown[0].text, QStringLiteral("タイマーを開始できません"));

  // From another thread the report waits for the user-interface thread's event loop.
  std::thread reporter([&engine] { engine->messageHook("from the timer thread"); });
  reporter.join();
  EXPECT_TRUE(TakeShownMessages().empty());
  QCoreApplication::processEvents();
  shown = TakeShownMessages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, QStringLiteral("from the timer thread"));
}

}  // namespace
}  // namespace velmo::test
