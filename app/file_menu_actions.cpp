#include "app/file_menu_actions.h"

#include <QAction>
#include <QFileDialog>
#include <QKeySequence>

#include "app/application.h"
#include "app/main_form.h"

namespace velmo {

namespace {

QAction* AddAction(QMenu& menu, const char* objectName, const QString& text) {
  QAction* action = menu.addAction(text);
  action->setObjectName(QString::fromUtf8(objectName));
  return action;
}

}  // namespace

void AddPlayerFileActions(QMenu& menu, TForm1& form) {
  QAction* openSong = AddAction(menu, kOpenSongActionName, QStringLiteral("&Open MIDI File..."));
  openSong->setShortcut(QKeySequence::Open);
  QObject::connect(openSong, &QAction::triggered, &form, [&form] {
    const QString path = QFileDialog::getOpenFileName(
        &form, QStringLiteral("Open MIDI File"), QString(),
        QStringLiteral("Standard MIDI Files (*.mid *.midi *.smf *.kar);;All files (*)"));
    if (path.isEmpty()) return;
    try {
      form.OpenSongFile(path);
    } catch (...) {
      ShowCurrentException();
    }
  });

  QAction* openBank = AddAction(menu, kOpenBankActionName, QStringLiteral("Open &Bank..."));
  openBank->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
  QObject::connect(openBank, &QAction::triggered, &form, [&form] {
    const QString path = QFileDialog::getOpenFileName(
        &form, QStringLiteral("Open Bank"), QString(),
        QStringLiteral("Banks and SoundFonts (*.bin *.bnk *.sf2);;All files (*)"));
    if (!path.isEmpty()) form.OpenBankFile(path);
  });

  QAction* builtin = AddAction(menu, kBuiltinBankActionName, QStringLiteral("B&uilt-in Bank"));
  builtin->setEnabled(false);
  QObject::connect(builtin, &QAction::triggered, &form, [&form] {
    try {
      form.RestoreBuiltinBank();
    } catch (...) {
      ShowCurrentException();
    }
  });
}

void UpdatePlayerFileActions(QMenu& menu, const TForm1& form) {
  if (auto* builtin = menu.findChild<QAction*>(QString::fromUtf8(kBuiltinBankActionName))) {
    builtin->setEnabled(!form.BankName().isEmpty());
  }
}

}  // namespace velmo
