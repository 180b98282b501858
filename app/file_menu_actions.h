// The File menu's entries for songs and banks: open a Standard MIDI File to play, open another
// bank (a bank image or a SoundFont), and go back to the built-in bank.
#pragma once

#include <QMenu>

namespace velmo {

class TForm1;

// Object names of the entries, for finding them in the menu.
inline constexpr const char* kOpenSongActionName = "OpenSongAction";
inline constexpr const char* kOpenBankActionName = "OpenBankAction";
inline constexpr const char* kBuiltinBankActionName = "BuiltinBankAction";
// Object names of the file dialogs the entries keep (children of the form).
inline constexpr const char* kOpenSongDialogName = "OpenSongDialog";
inline constexpr const char* kOpenBankDialogName = "OpenBankDialog";

// Adds the entries to `menu`; they act on `form`.
void AddPlayerFileActions(QMenu& menu, TForm1& form);
// Enables "Built-in Bank" only while another bank plays.
void UpdatePlayerFileActions(QMenu& menu, const TForm1& form);

}  // namespace velmo
