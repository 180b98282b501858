// TApplication: the application object. Every exception that escapes an event handler ends in
// its exception display, a message box with the exception's text, instead of ending the program.
#pragma once

#include <QApplication>
#include <QString>
#include <exception>
#include <functional>

namespace velmo {

// The program's title: the window caption and the title of its message boxes.
inline constexpr const char* kProgramTitle = "Velmo";

enum class TMessageKind {
  Exception,      // the application's exception display
  EngineMessage,  // a report of the synthesis engine
};

// Shows one message to the user; the default is a modal QMessageBox.
using TMessageDisplay = std::function<void(TMessageKind kind, const QString& text)>;

class TApplication : public QApplication {
  Q_OBJECT

 public:
  TApplication(int& argc, char** argv);

  // Delivers the event; an exception out of its handler is shown and the event counts as
  // handled.
  bool notify(QObject* receiver, QEvent* event) override;

  // Shows `error` with the exception display: the text of a std::exception, an empty text for
  // anything else.
  void HandleException(std::exception_ptr error);
  // Shows `text` on the user-interface thread; from another thread the call is queued there.
  void ShowMessage(TMessageKind kind, const QString& text);

  // Replaces how messages are shown (tests record them instead of opening boxes).
  void setMessageDisplay(TMessageDisplay display) { MessageDisplay_ = std::move(display); }

  // The running TApplication, or null when the application object is another kind.
  static TApplication* Instance();

 private:
  void Display(TMessageKind kind, const QString& text);

  TMessageDisplay MessageDisplay_;
};

// While it lives, a window system that cannot be reached ends the program with one plain line
// on standard error and exit status 1, instead of Qt's abort and its advice to reinstall. Make it
// before the application object and let it go once that stands.
class TNoDisplayExit {
 public:
  TNoDisplayExit();
  ~TNoDisplayExit();
  TNoDisplayExit(const TNoDisplayExit&) = delete;
  TNoDisplayExit& operator=(const TNoDisplayExit&) = delete;
};

inline constexpr const char* kNoDisplayText = "no display: set DISPLAY or start it from a desktop";

// The text the exception display shows for `error`.
QString ExceptionText(std::exception_ptr error);

// Shows the exception in flight with the application's exception display (call it from a catch
// block). Without a TApplication the text goes to standard error.
void ShowCurrentException();

}  // namespace velmo
