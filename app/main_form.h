// TForm1: the checker's one window. A channel selector, the General MIDI program list, the
// maker's link and the on-screen keyboard turn the user's actions into MIDI bytes for the
// engine; a looping stream buffer carries the engine's rendered blocks to the sound device.
// A File menu and the player bar play Standard MIDI Files and open other banks.
#pragma once

#include <QAction>
#include <QByteArray>
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QUrl>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <istream>
#include <map>
#include <memory>
#include <span>

#include "app/bank_opener.h"
#include "app/letter_keys.h"
#include "app/midi_file_player.h"
#include "app/midi_hand_off.h"
#include "app/midi_input.h"
#include "app/player_bar.h"
#include "audio/ddsd.h"
#include "audio/ddsd_gen_wave.h"
#include "controls/midi_keyb.h"
#include "synth/engine.h"

namespace velmo {

// The caption after the program's title.
inline constexpr const char* kVersionText = "ver.0.9.02";
// The maker's web page: the link's target and the address the link opens.
inline constexpr const char* kMakerName = "Velmo";
inline constexpr const char* kMakerPageUrl = "https://velmo.example/";

// The stream buffer: 22050 frames/s, 16-bit stereo, 8840 bytes = two ring halves.
inline constexpr uint32_t kStreamSamplesPerSec = 22050;
inline constexpr uint32_t kStreamBitsPerSample = 16;
inline constexpr uint32_t kStreamBytes = 8840;
// Every key sounds with this velocity.
inline constexpr uint8_t kNoteVelocity = 100;

// What the window works with; an empty member takes the program's own piece.
struct TForm1Options {
  Engine* engine = nullptr;                                 // TheEngine()
  std::function<void(uint8_t)> midiSink;                    // the MIDI hand-off
  std::function<std::unique_ptr<std::istream>()> openBank;  // the built-in bank (SOUND1)
  std::function<void(TDDSD&)> configureDevice;              // runs before the device opens
  std::function<void(const QUrl&)> openUrl;                 // QDesktopServices::openUrl
  // The MIDI input ports; null means the window runs without MIDI input.
  std::function<std::unique_ptr<TMidiInput>()> openMidiInput;  // TMidiInput on ALSA or JACK
};

class TForm1 : public QWidget {
  Q_OBJECT

 public:
  explicit TForm1(TForm1Options options = {}, QWidget* parent = nullptr);
  // Runs the stop sequence if the window was never closed, then frees the stream buffer
  // before the device component.
  ~TForm1() override;

  // Components (the child widgets belong to the window).
  QFrame* Panel2 = nullptr;
  QComboBox* ComboBox1 = nullptr;
  QComboBox* ComboBox2 = nullptr;
  QLabel* LinkLabel1 = nullptr;
  TMIDIKeyb* MIDIKeyb1 = nullptr;
  TPlayerBar* PlayerBar = nullptr;
  TDDSD DDSD1;

  // The menu bar above the panel: File (opening songs and banks) and MIDI (input ports, panic).
  QMenuBar* MenuBar = nullptr;
  // Opening songs and banks, then Exit.
  QMenu* FileMenu = nullptr;
  QAction* FileQuitAction = nullptr;
  QMenu* MidiMenu = nullptr;
  // The first MIDI entry: the input port and its transport, or why there is no MIDI input.
  QAction* MidiPortAction = nullptr;
  // The sources that can be connected to the input, listed when the menu opens.
  QMenu* MidiConnectMenu = nullptr;
  // All Sound Off and Reset All Controllers on every channel (Escape or the MIDI menu).
  QAction* PanicAction = nullptr;
  // Non-modal notices under the keyboard (hidden while there is none).
  QLabel* StatusLine = nullptr;

  int32_t SelectedChannel() const { return selectedChannel; }
  TMidiInput* MidiInput() const { return midiInput_.get(); }
  const TLetterRange& LetterRange() const { return letterRange_; }
  bool EngineStarted() const { return engineStarted; }
  TDDSDWaveData* StreamWave() const { return streamWave.get(); }
  Engine& FormEngine() const { return engine_; }
  MidiHandOff& HandOff() const { return *handOff_; }
  MidiFilePlayer& Player() const { return *player_; }
  TBankOpener& BankOpener() const { return *bankOpener_; }
  // The name of the bank other than the built-in one that plays, else empty.
  const QString& BankName() const { return bankName_; }

  // Plays a Standard MIDI File from its start; throws with a text for the user when the file
  // cannot be read.
  void OpenSongFile(const QString& path);
  // Starts opening a bank image or a SoundFont; the bank swaps in once it is ready, and a file
  // that fails is reported while the loaded bank plays on.
  void OpenBankFile(const QString& path);
  // Plays the built-in bank again.
  void RestoreBuiltinBank();

  // The window's handlers and the sequences they run.
  void FormCreate();
  void FormShow();
  void FormCloseQuery(bool& canClose);
  void StartEngineAndOutput();
  void StopEngineAndOutput();
  void StreamUpdate(TDDSDGenWave& Sender, TDDSDChannel* Player, uint32_t availableOffset,
                    uint32_t bufferSize);
  void MIDIKeyb1NoteOn(TMIDIKeyb* Sender, int Note);
  void MIDIKeyb1NoteOff(TMIDIKeyb* Sender, int Note);
  void ComboBox1Change();
  void ComboBox2Change();
  void LinkLabel1LinkClick(const QString& link);
  void PanicClick();
  // A complete message from the MIDI input: it goes to the engine unchanged, and its notes are
  // shown on the keyboard in their channel's colour.
  void MidiInputMessage(const QByteArray& message);
  // A key of the computer keyboard went down or up; true when it was one of the playing keys.
  bool LetterKeyEvent(const QKeyEvent& event);

  // Every MIDI message the window sends goes through here, on the user-interface thread: the
  // engine's queue has exactly one producer, and this is it.
  void SendMidi(std::span<const uint8_t> bytes);
  // Shows `text` in the status line (an empty text hides it).
  void ShowNotice(const QString& text);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void CreateComponents();
  void CreateMenus();
  void OpenMidiInput(const std::function<std::unique_ptr<TMidiInput>()>& open);
  void FillMidiConnectMenu();
  void ReleaseLetterKeys();
  TDDSDChannel* OutputChannel();
  // Stops the engine, loads `image` and starts it again; the song stops first.
  void SwapBank(std::istream& image, const QString& name);
  void ShowTitle();

  Engine& engine_;
  std::function<void(uint8_t)> midiSink_;
  std::function<std::unique_ptr<std::istream>()> openBank_;
  std::function<void(const QUrl&)> openUrl_;
  std::unique_ptr<MidiHandOff> handOff_;  // the engine's one MIDI producer
  std::unique_ptr<MidiFilePlayer> player_;
  std::unique_ptr<TBankOpener> bankOpener_;
  QString bankName_;

  int32_t selectedChannel = 0;
  bool engineStarted = false;
  std::unique_ptr<TDDSDWaveData> streamWave;  // after DDSD1: freed before it
  // The channel each sounding key's note-on went to, so that its note-off ends that note even
  // when another channel has been chosen meanwhile; -1 when the key is not sounding.
  std::array<int8_t, 128> noteChannel_;

  std::unique_ptr<TMidiInput> midiInput_;
  // The channel of each note the MIDI input holds down on the keyboard; -1 when it holds none.
  std::array<int8_t, 128> inputNoteChannel_;
  TLetterRange letterRange_;
  struct THeldLetter {
    uint8_t note;
    uint8_t channel;
  };
  // The playing keys held down, by native scan code, with the note and channel they started.
  std::map<uint32_t, THeldLetter> heldLetters_;
};

}  // namespace velmo
