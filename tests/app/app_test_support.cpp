#include "app_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "assets/builtin_bank.h"

// With a desktop session around (DISPLAY set), SDL's event subsystem opens a D-Bus connection
// whose library keeps a buffer until exit; that is not ours to free.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libdbus-1.so\n";
}

namespace velmo::test {

namespace {

std::vector<TShownMessage>& ShownMessages() {
  static std::vector<TShownMessage> messages;
  return messages;
}

// Creates the application object before the first test and destroys it after the last one, so
// that Qt releases its font and platform resources before the leak checks run.
class TAppEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    // SDL's silent driver unless the run names another (ctest passes only the Qt platform).
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    app_ = std::make_unique<TApplication>(argc_, argv_);
    app_->setMessageDisplay([](TMessageKind kind, const QString& text) {
      ShownMessages().push_back({kind, text});
    });
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "velmo_app_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<TApplication> app_;
};

::testing::Environment* const kAppEnvironment =
    ::testing::AddGlobalTestEnvironment(new TAppEnvironment);

}  // namespace

std::vector<TShownMessage> TakeShownMessages() {
  std::vector<TShownMessage> messages;
  messages.swap(ShownMessages());
  return messages;
}

TFormUnderTest::TFormUnderTest(bool recordMidi, std::function<void(TDDSD&)> configureDevice,
                               std::function<std::unique_ptr<std::istream>()> openBank,
                               std::function<std::unique_ptr<TMidiInput>()> openMidiInput)
    : engine(std::make_unique<Engine>()) {
  TForm1Options options;
  options.engine = engine.get();
  if (recordMidi) options.midiSink = [this](uint8_t byte) { midi.push_back(byte); };
  options.configureDevice = configureDevice ? std::move(configureDevice) : UseVirtualDevice;
  options.openBank = [this, open = std::move(openBank)] {
    ++bankOpens;
    return open ? open() : OpenBuiltinBank();
  };
  options.openUrl = [this](const QUrl& url) { openedUrls.push_back(url); };
  options.openMidiInput =
      openMidiInput ? std::move(openMidiInput) : [] { return std::unique_ptr<TMidiInput>(); };
  form = std::make_unique<TForm1>(std::move(options));
}

TFormUnderTest::~TFormUnderTest() {
  form.reset();
}

std::vector<uint8_t> TFormUnderTest::TakeMidi() {
  std::vector<uint8_t> bytes;
  bytes.swap(midi);
  return bytes;
}

void TFormUnderTest::Show() {
  form->show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  form->MIDIKeyb1->SetKeybRect();
}

void UseVirtualDevice(TDDSD& device) {
  device.setBackendName("virtual");
  device.setManualNotifyPolling(true);
}

VirtualBackend& VirtualOf(TForm1& form) {
  VirtualBackend* backend = AsVirtualBackend(form.DDSD1.DirectSound()->Backend());
  EXPECT_NE(backend, nullptr);
  return *backend;
}

QPoint KeyCentre(TMIDIKeyb& keyb, int32_t note) {
  TRect main{};
  TRect upper{};
  keyb.GetKeybRect(note, main, upper);
  return QPoint((main.Left + main.Right) / 2, (main.Top + main.Bottom) / 2);
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace velmo::test
