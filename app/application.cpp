#include "app/application.h"

#include <QMessageBox>
#include <QMetaObject>
#include <QThread>
#include <cstdio>
#include <cstdlib>

namespace velmo {

namespace {

void ShowMessageBox(TMessageKind kind, const QString& text) {
  if (kind == TMessageKind::Exception) {
    QMessageBox::critical(nullptr, QString::fromUtf8(kProgramTitle), text);
  } else {
    QMessageBox::warning(nullptr, QString::fromUtf8(kProgramTitle), text);
  }
}

QtMessageHandler previousHandler = nullptr;

// Qt's platform integration reports the missing display with warnings of its qt.qpa categories
// and then a fatal message; the warnings are dropped and the fatal message becomes one line.
void NoDisplayHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  const QLatin1String platformCategory("qt.qpa");
  const bool platform =
      message.startsWith(platformCategory) ||
      (context.category != nullptr && QLatin1String(context.category).startsWith(platformCategory));
  if (type == QtFatalMsg && message.contains(QLatin1String("platform plugin"))) {
    std::fprintf(stderr, "%s\n", kNoDisplayText);
    std::_Exit(1);
  }
  if (platform) return;
  if (previousHandler != nullptr) previousHandler(type, context, message);
}

}  // namespace

TNoDisplayExit::TNoDisplayExit() {
  previousHandler = qInstallMessageHandler(NoDisplayHandler);
}

TNoDisplayExit::~TNoDisplayExit() {
  qInstallMessageHandler(previousHandler);
  previousHandler = nullptr;
}

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv), MessageDisplay_(ShowMessageBox) {
  // No display name: the window system would append it to every caption.
  setApplicationName(QString::fromUtf8(kProgramTitle));
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    HandleException(std::current_exception());
    return true;
  }
}

void TApplication::HandleException(std::exception_ptr error) {
  ShowMessage(TMessageKind::Exception, ExceptionText(error));
}

void TApplication::ShowMessage(TMessageKind kind, const QString& text) {
  if (QThread::currentThread() == thread()) {
    Display(kind, text);
    return;
  }
  QMetaObject::invokeMethod(
      this, [this, kind, text] { Display(kind, text); }, Qt::QueuedConnection);
}

void TApplication::Display(TMessageKind kind, const QString& text) {
  if (MessageDisplay_) MessageDisplay_(kind, text);
}

TApplication* TApplication::Instance() {
  return qobject_cast<TApplication*>(QCoreApplication::instance());
}

QString ExceptionText(std::exception_ptr error) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const std::exception& exception) {
    return QString::fromUtf8(exception.what());
  } catch (...) {
  }
  return QString();
}

void ShowCurrentException() {
  const std::exception_ptr error = std::current_exception();
  if (TApplication* application = TApplication::Instance()) {
    application->HandleException(error);
    return;
  }
  std::fprintf(stderr, "%s\n", ExceptionText(error).toUtf8().constData());
}

}  // namespace velmo
