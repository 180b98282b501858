// TMidiInput: MIDI from other programs and from MIDI keyboards, through RtMidi over the ALSA
// sequencer or JACK. It opens an input port named "Velmo" that any source can connect to, and
// can itself connect to one existing source. Messages arrive on RtMidi's threads and are handed to
// the thread the object lives in (the user-interface thread) with queued calls, so that whoever
// listens to `MessageReceived` stays the only one who writes the engine's MIDI queue.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <string>

class RtMidiIn;

namespace velmo {

class TMidiInput : public QObject {
  Q_OBJECT

 public:
  enum class TTransport { Any, Alsa, Jack };

  // Opens the input port "Velmo" on the first transport that works (ALSA before JACK for Any).
  // Without one, Available() is false and UnavailableReason() says why; nothing throws.
  explicit TMidiInput(TTransport transport = TTransport::Any, QObject* parent = nullptr);
  ~TMidiInput() override;

  bool Available() const { return virtualPort_ != nullptr; }
  QString UnavailableReason() const { return reason_; }
  // "ALSA" or "JACK" while available.
  QString TransportName() const { return transportName_; }

  // The sources that can be connected to now, as the transport names them.
  QStringList Sources();
  // Connects to the source named `name` (one of Sources()), leaving any earlier one; false with
  // Error() set when it cannot.
  bool ConnectSource(const QString& name);
  void DisconnectSource();
  // The connected source's name, empty when none.
  QString ConnectedSource() const { return connected_; }
  QString Error() const { return error_; }

 signals:
  // One complete message: a channel message, a system message, or sysex from F0 to F7.
  void MessageReceived(const QByteArray& message);

 private:
  std::unique_ptr<RtMidiIn> OpenIn(const char* what);
  void Listen(RtMidiIn& in);

  int api_ = 0;  // RtMidi::Api of the working transport
  std::unique_ptr<RtMidiIn> virtualPort_;
  std::unique_ptr<RtMidiIn> sourcePort_;
  QString reason_;
  QString transportName_;
  QString connected_;
  QString error_;
  std::string rtError_;  // the last error RtMidi reported on any of the port objects
};

}  // namespace velmo
