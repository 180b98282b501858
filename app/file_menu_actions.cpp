#include "app/file_menu_actions.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCompleter>
#include <QFileDialog>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QLineEdit>

#include "app/application.h"
#include "app/main_form.h"

namespace velmo {

namespace {

QAction* AddAction(QMenu& menu, const char* objectName, const QString& text) {
  QAction* action = menu.addAction(text);
  action->setObjectName(QString::fromUtf8(objectName));
  return action;
}

// The dialog's completion lists (of its name field) outlive a dialog closed while one showed:
// as the application's open popup, one would take the next key or click in the form.
void HideCompletions(const QFileDialog& dialog) {
  for (const QLineEdit* field : dialog.findChildren<QLineEdit*>()) {
    if (field->completer() != nullptr) field->completer()->popup()->hide();
  }
}

// Empties what the last use left: typed names and selected entries, which would otherwise be
// taken together with a newly typed name.
void ClearChoice(const QFileDialog& dialog) {
  for (QLineEdit* field : dialog.findChildren<QLineEdit*>())
    field->clear();
  for (const QAbstractItemView* view : dialog.findChildren<QAbstractItemView*>()) {
    if (view->selectionModel() != nullptr) view->selectionModel()->clearSelection();
  }
}

// Asks for an existing file through one dialog per kind, made at its first use and kept by the
// form. A new dialog each time (as the static getOpenFileName makes) grew the process by about
// 19 KB at every opening, with no sign of levelling off over 150 openings. The kept dialog opens
// where the last file was chosen, with nothing typed or selected, as a new one. Empty when the user
// cancels.
QString AskForFile(TForm1& form, const char* dialogName, const QString& title,
                   const QString& filter) {
  const QString name = QString::fromUtf8(dialogName);
  auto* dialog = form.findChild<QFileDialog*>(name, Qt::FindDirectChildrenOnly);
  if (dialog == nullptr) {
    dialog = new QFileDialog(&form, title, QString(), filter);
    dialog->setObjectName(name);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
  }
  ClearChoice(*dialog);
  const int answer = dialog->exec();
  HideCompletions(*dialog);
  if (answer != QDialog::Accepted) return {};
  const QStringList chosen = dialog->selectedFiles();
  return chosen.isEmpty() ? QString() : chosen.front();
}

}  // namespace

void AddPlayerFileActions(QMenu& menu, TForm1& form) {
  QAction* openSong = AddAction(menu, kOpenSongActionName, QStringLiteral("&Open MIDI File..."));
  openSong->setShortcut(QKeySequence::Open);
  QObject::connect(openSong, &QAction::triggered, &form, [&form] {
    const QString path =
        AskForFile(form, kOpenSongDialogName, QStringLiteral("Open MIDI File"),
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
    const QString path =
        AskForFile(form, kOpenBankDialogName, QStringLiteral("Open Bank"),
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
