#include "app/midi_input.h"

#include <RtMidi.h>

#include <QMetaObject>
#include <vector>

namespace velmo {

namespace {

constexpr const char* kPortName = "Velmo";

// RtMidi reports problems through this instead of printing them; the last text is kept for the
// caller to show.
void KeepError(RtMidiError::Type /*type*/, const std::string& text, void* userData) {
  *static_cast<std::string*>(userData) = text;
}

// Errors while a port object is being made cannot go to a callback yet; they come as exceptions.
std::unique_ptr<RtMidiIn> TryMake(RtMidi::Api api, std::string& error) {
  try {
    return std::make_unique<RtMidiIn>(api, kPortName);
  } catch (const RtMidiError& e) {
    error = e.getMessage();
    return nullptr;
  }
}

}  // namespace

TMidiInput::TMidiInput(TTransport transport, QObject* parent) : QObject(parent) {
  std::vector<RtMidi::Api> apis;
  if (transport != TTransport::Jack) apis.push_back(RtMidi::LINUX_ALSA);
  if (transport != TTransport::Alsa) apis.push_back(RtMidi::UNIX_JACK);
  QStringList reasons;
  for (const RtMidi::Api api : apis) {
    const QString name = api == RtMidi::LINUX_ALSA ? QStringLiteral("ALSA sequencer")
                                                   : QStringLiteral("JACK server");
    std::string error;
    std::unique_ptr<RtMidiIn> in = TryMake(api, error);
    if (in != nullptr) {
      in->setErrorCallback(&KeepError, &rtError_);
      rtError_.clear();
      // JACK connects lazily and only warns when no server runs: ask for the ports first.
      in->getPortCount();
      if (rtError_.empty()) in->openVirtualPort(kPortName);
      error = rtError_;
    }
    if (in != nullptr && error.empty()) {
      api_ = api;
      transportName_ = api == RtMidi::LINUX_ALSA ? QStringLiteral("ALSA") : QStringLiteral("JACK");
      Listen(*in);
      virtualPort_ = std::move(in);
      return;
    }
    reasons << QStringLiteral("no %1 (%2)").arg(name, QString::fromStdString(error).trimmed());
  }
  reason_ = reasons.join(QStringLiteral("; "));
}

TMidiInput::~TMidiInput() {
  // Closing stops RtMidi's threads before the objects their callbacks point at go.
  sourcePort_.reset();
  virtualPort_.reset();
}

void TMidiInput::Listen(RtMidiIn& in) {
  // Sysex passes; clock, time code and active sensing carry nothing for a synthesizer.
  in.ignoreTypes(/*midiSysex=*/false, /*midiTime=*/true, /*midiSense=*/true);
  in.setCallback(
      [](double /*timeStamp*/, std::vector<unsigned char>* message, void* userData) {
        if (message == nullptr || message->empty()) return;
        auto* self = static_cast<TMidiInput*>(userData);
        QByteArray bytes(reinterpret_cast<const char*>(message->data()),
                         static_cast<qsizetype>(message->size()));
        QMetaObject::invokeMethod(
            self, [self, bytes] { emit self->MessageReceived(bytes); }, Qt::QueuedConnection);
      },
      this);
}

std::unique_ptr<RtMidiIn> TMidiInput::OpenIn(const char* what) {
  std::string error;
  std::unique_ptr<RtMidiIn> in = TryMake(static_cast<RtMidi::Api>(api_), error);
  if (in == nullptr) {
    error_ = QStringLiteral("%1: %2").arg(QString::fromUtf8(what), QString::fromStdString(error));
    return nullptr;
  }
  in->setErrorCallback(&KeepError, &rtError_);
  return in;
}

QStringList TMidiInput::Sources() {
  QStringList names;
  if (!Available()) return names;
  const unsigned int count = virtualPort_->getPortCount();
  for (unsigned int i = 0; i < count; ++i) {
    const QString name = QString::fromStdString(virtualPort_->getPortName(i));
    if (!name.isEmpty()) names << name;
  }
  return names;
}

bool TMidiInput::ConnectSource(const QString& name) {
  error_.clear();
  if (!Available()) {
    error_ = reason_;
    return false;
  }
  DisconnectSource();
  std::unique_ptr<RtMidiIn> in = OpenIn("cannot connect");
  if (in == nullptr) return false;
  const unsigned int count = in->getPortCount();
  for (unsigned int i = 0; i < count; ++i) {
    if (QString::fromStdString(in->getPortName(i)) != name) continue;
    rtError_.clear();
    in->openPort(i, kPortName);
    if (!in->isPortOpen()) {
      error_ = QStringLiteral("cannot connect to %1: %2")
                   .arg(name, QString::fromStdString(rtError_).trimmed());
      return false;
    }
    Listen(*in);
    sourcePort_ = std::move(in);
    connected_ = name;
    return true;
  }
  error_ = QStringLiteral("%1 is gone").arg(name);
  return false;
}

void TMidiInput::DisconnectSource() {
  sourcePort_.reset();
  connected_.clear();
}

}  // namespace velmo
