// MIDI from another program: through the input port "Velmo", on ALSA or on a JACK server of the
// test's own (the dummy driver needs no sound card), into the window's one MIDI producer.
#include <RtMidi.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <cstdlib>
#include <optional>

#include "app/midi_input.h"
#include "app_test_support.h"

namespace velmo::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Transport = TMidiInput::TTransport;

// A JACK server with the dummy driver under a name of the test's own, so that it meets no other.
class TJackDummyServer {
 public:
  TJackDummyServer() {
    const QString jackd = QStandardPaths::findExecutable(QStringLiteral("jackd"));
    if (jackd.isEmpty()) {
      reason_ = "jackd is not installed";
      return;
    }
    const QString name = QStringLiteral("velmo-test-%1").arg(getpid());
    setenv("JACK_DEFAULT_SERVER", name.toUtf8().constData(), 1);
    setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(jackd, {QStringLiteral("-n"), name, QStringLiteral("--no-realtime"),
                           QStringLiteral("-d"), QStringLiteral("dummy"), QStringLiteral("-r"),
                           QStringLiteral("48000"), QStringLiteral("-p"), QStringLiteral("256")});
    if (!process_.waitForStarted(5000)) reason_ = "jackd does not start";
  }
  ~TJackDummyServer() {
    process_.terminate();
    if (!process_.waitForFinished(5000)) process_.kill();
  }
  // Why there is no server, empty while it runs.
  std::string Reason() {
    if (reason_.empty() && process_.state() != QProcess::Running) {
      reason_ = "jackd ended: " + process_.readAll().toStdString();
    }
    return reason_;
  }

 private:
  QProcess process_;
  std::string reason_;
};

RtMidi::Api ApiOf(Transport transport) {
  return transport == Transport::Jack ? RtMidi::UNIX_JACK : RtMidi::LINUX_ALSA;
}

// An output of another program, connected to the port "Velmo"; none when there is no such port.
std::unique_ptr<RtMidiOut> ConnectToVelmo(Transport transport) {
  auto out = std::make_unique<RtMidiOut>(ApiOf(transport), "velmo-test-source");
  for (unsigned int i = 0; i < out->getPortCount(); ++i) {
    if (out->getPortName(i).find("Velmo") == std::string::npos) continue;
    out->openPort(i, "out");
    return out;
  }
  return nullptr;
}

// Every kind of message, sysex included, on several channels; a note stays held on channel 4.
const std::vector<Bytes> kMessages{
    {0x93, 60, 101}, {0x90, 64, 1}, {0xB3, 7, 90},  {0xC3, 17},
    {0xD3, 33},      {0xE3, 0, 96}, {0xA3, 60, 20}, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7},
    {0x80, 64, 64},  {0x9F, 36, 0}, {0xB3, 121, 0},
};

class MidiInputPort : public ::testing::TestWithParam<Transport> {};

// The messages reach the engine's queue unchanged and in order, all from the user-interface
// thread; incoming notes light their keys in the channel's colour and raise no note events.
TEST_P(MidiInputPort, MessagesReachTheEngineInOrderFromOneProducer) {
  std::optional<TJackDummyServer> jack;
  if (GetParam() == Transport::Jack) {
    jack.emplace();
    if (!jack->Reason().empty()) GTEST_SKIP() << "no JACK server: " << jack->Reason();
  }
  // A JACK server takes a moment before it accepts clients.
  std::unique_ptr<TMidiInput> port;
  WaitUntil(
      [&] {
        port = std::make_unique<TMidiInput>(GetParam());
        if (port->Available() || !jack) return true;
        QThread::msleep(100);
        return false;
      },
      std::chrono::seconds(5));
  if (!port->Available()) {
    GTEST_SKIP() << "no MIDI transport: " << port->UnavailableReason().toStdString();
  }

  Bytes received;
  bool otherThread = false;
  Engine engine;
  TForm1Options options;
  options.engine = &engine;
  options.configureDevice = UseVirtualDevice;
  options.midiSink = [&](uint8_t byte) {
    otherThread |= QThread::currentThread() != QCoreApplication::instance()->thread();
    received.push_back(byte);
  };
  options.openMidiInput = [&port] { return std::move(port); };
  TForm1 form(std::move(options));
  int noteEvents = 0;
  QObject::connect(form.MIDIKeyb1, &TMIDIKeyb::OnNoteOn, [&] { ++noteEvents; });

  std::unique_ptr<RtMidiOut> source = ConnectToVelmo(GetParam());
  ASSERT_NE(source, nullptr);
  Bytes sent;
  for (const Bytes& message : kMessages) {
    source->sendMessage(&message);
    sent.insert(sent.end(), message.begin(), message.end());
  }
  EXPECT_TRUE(WaitUntil([&] { return received.size() >= sent.size(); }));
  EXPECT_EQ(received, sent);
  EXPECT_FALSE(otherThread);
  EXPECT_EQ(noteEvents, 0);
  EXPECT_EQ(form.MIDIKeyb1->GetDown(60), MIDIKeybDownColor[3]);
  EXPECT_EQ(form.MIDIKeyb1->GetDown(64), 0u);
}

// MIDI > Connect to lists the sources of other programs (never the window's own port); choosing
// one makes its messages play, the choice shows checked, None stops them, and a source that went
// away before it was chosen is reported in the status line.
TEST(MidiConnectMenu, ConnectsListsAndDisconnectsSources) {
  TJackDummyServer jack;
  if (!jack.Reason().empty()) GTEST_SKIP() << "no JACK server: " << jack.Reason();
  std::unique_ptr<TMidiInput> port;
  WaitUntil(
      [&] {
        port = std::make_unique<TMidiInput>(Transport::Jack);
        return port->Available() || (QThread::msleep(100), false);
      },
      std::chrono::seconds(5));
  if (!port->Available())
    GTEST_SKIP() << "no JACK MIDI: " << port->UnavailableReason().toStdString();

  Bytes received;
  Engine engine;
  TForm1Options options;
  options.engine = &engine;
  options.configureDevice = UseVirtualDevice;
  options.midiSink = [&](uint8_t byte) { received.push_back(byte); };
  options.openMidiInput = [&port] { return std::move(port); };
  TForm1 form(std::move(options));

  auto keyboard = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, "velmo-test-keyboard");
  keyboard->openVirtualPort("keys");
  const auto fill = [&] {
    emit form.MidiConnectMenu->aboutToShow();
    QStringList texts;
    for (const QAction* action : form.MidiConnectMenu->actions()) {
      texts << (action->isChecked() ? QStringLiteral("*") : QString()) + action->text();
    }
    return texts;
  };
  const auto choose = [&](const QString& part) {
    for (QAction* action : form.MidiConnectMenu->actions()) {
      if (action->text().contains(part)) action->trigger();
    }
  };
  // JACK changes its connections between two of its cycles: a note is sent every 50 ms until one
  // arrives or half a second has passed, and what arrived first is returned.
  const Bytes note{0x92, 67, 99};
  const auto play = [&] {
    received.clear();
    WaitUntil(
        [&] {
          keyboard->sendMessage(&note);
          QThread::msleep(50);
          QCoreApplication::processEvents();
          return !received.empty();
        },
        std::chrono::milliseconds(500));
    return Bytes(received.begin(), received.begin() + std::min<size_t>(received.size(), 3));
  };

  const QStringList offered = fill();
  EXPECT_EQ(offered.filter(QStringLiteral("Velmo")), QStringList());
  EXPECT_EQ(offered.filter(QStringLiteral("velmo-test-keyboard:keys")).size(), 1);
  EXPECT_EQ(offered.value(0), QStringLiteral("*&None"));
  EXPECT_EQ(play(), Bytes());

  choose(QStringLiteral("velmo-test-keyboard"));
  EXPECT_EQ(fill().filter(QStringLiteral("*velmo-test-keyboard")).size(), 1);
  EXPECT_EQ(play(), note);

  choose(QStringLiteral("&None"));
  EXPECT_EQ(fill().value(0), QStringLiteral("*&None"));
  QThread::msleep(100);  // notes already on their way may still come
  EXPECT_EQ(play(), Bytes());

  fill();
  keyboard.reset();
  choose(QStringLiteral("velmo-test-keyboard"));
  EXPECT_TRUE(form.StatusLine->text().contains(QStringLiteral("velmo-test-keyboard")));
  EXPECT_TRUE(fill().value(0).startsWith(QStringLiteral("*")));
}

INSTANTIATE_TEST_SUITE_P(Transports, MidiInputPort,
                         ::testing::Values(Transport::Jack, Transport::Alsa), [](const auto& info) {
                           return info.param == Transport::Jack ? "Jack" : "Alsa";
                         });

}  // namespace
}  // namespace velmo::test
