#include "app/main_form.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFont>
#include <QKeySequence>
#include <QMimeData>
#include <QShowEvent>
#include <QVBoxLayout>
#include <sstream>
#include <stdexcept>

#include "app/application.h"
#include "app/file_menu_actions.h"
#include "app/program_names.h"
#include "assets/builtin_bank.h"
#include "audio/ddsd_channel.h"
#include "audio/ddsd_report.h"
#include "bankbuilder/soundfont.h"
#include "controls/midi_keyb_layout.h"
#include "midifile/standard_midi_file.h"

namespace velmo {

namespace {

constexpr int kClientWidth = 761;
constexpr int kClientHeight = 92;
constexpr int kPanelHeight = 41;
constexpr int kChannelItems = 16;
constexpr int32_t kOutputChannel = 0;
constexpr int kKeybPosition = 14;
// The player bar sits in the panel right of the link.
constexpr int kPlayerBarLeft = 390;
constexpr int kPlayerBarTop = 9;
constexpr int kPlayerBarHeight = 23;
// Larger files are refused: no song needs that much.
constexpr qint64 kMaxSongFileBytes = 64 << 20;
// The window's font: 11 pixels high, a plain sans face.
constexpr const char* kFontFamily = "DejaVu Sans";
constexpr int kFontPixelSize = 11;

// Runs a handler body; an exception out of it goes to the application's exception display.
template <typename Body>
void Guarded(Body&& body) {
  try {
    body();
  } catch (...) {
    ShowCurrentException();
  }
}

}  // namespace

TForm1::TForm1(TForm1Options options, QWidget* parent)
    : QWidget(parent),
      engine_(options.engine != nullptr ? *options.engine : TheEngine()),
      midiSink_(std::move(options.midiSink)),
      openBank_(std::move(options.openBank)),
      openUrl_(std::move(options.openUrl)),
      handOff_(std::make_unique<MidiHandOff>()),
      player_(std::make_unique<MidiFilePlayer>(*handOff_)),
      bankOpener_(std::make_unique<TBankOpener>(this)) {
  noteChannel_.fill(-1);
  inputNoteChannel_.fill(-1);
  if (!midiSink_) {
    midiSink_ = [&handOff = *handOff_](uint8_t byte) { handOff.SendByte(byte); };
  }
  if (!openBank_) openBank_ = OpenBuiltinBank;
  if (!openUrl_) openUrl_ = [](const QUrl& url) { QDesktopServices::openUrl(url); };

  CreateComponents();
  DDSD1.SetDebugOption(dsoHaltOnError);
  if (options.configureDevice) options.configureDevice(DDSD1);
  DDSD1.Loaded();
  if (!DDSD1.Initialized()) {
    ShowNotice(QStringLiteral("No sound device (%1): the keyboard plays silently.")
                   .arg(QString::fromStdString(DDSD1.UnavailableReason())));
  }
  OpenMidiInput(options.openMidiInput);
  Guarded([this] { FormCreate(); });
}

TForm1::~TForm1() {
  Guarded([this] { StopEngineAndOutput(); });
  if (streamWave != nullptr) {
    if (TDDSDChannel* channel = OutputChannel()) channel->setWaveData(nullptr);
    streamWave.reset();
  }
}

void TForm1::CreateComponents() {
  ShowTitle();
  QFont font(QString::fromUtf8(kFontFamily));
  font.setPixelSize(kFontPixelSize);
  setFont(font);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  CreateMenus();
  layout->setMenuBar(MenuBar);

  Panel2 = new QFrame(this);
  Panel2->setObjectName(QStringLiteral("Panel2"));
  Panel2->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel2->setFixedHeight(kPanelHeight);
  layout->addWidget(Panel2);

  ComboBox1 = new QComboBox(Panel2);
  ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
  ComboBox1->setGeometry(8, 11, 65, 21);
  for (int channel = 1; channel <= kChannelItems; ++channel) {
    ComboBox1->addItem(QStringLiteral("CH %1").arg(channel));
  }
  ComboBox1->setCurrentIndex(0);

  ComboBox2 = new QComboBox(Panel2);
  ComboBox2->setObjectName(QStringLiteral("ComboBox2"));
  ComboBox2->setGeometry(79, 11, 218, 21);
  for (const char* name : kProgramNames)
    ComboBox2->addItem(QString::fromUtf8(name));
  ComboBox2->setCurrentIndex(0);

  LinkLabel1 = new QLabel(Panel2);
  LinkLabel1->setObjectName(QStringLiteral("LinkLabel1"));
  LinkLabel1->setGeometry(303, 16, 79, 17);
  LinkLabel1->setTextFormat(Qt::RichText);
  LinkLabel1->setText(QStringLiteral("<a href=\"%1\">%2</a>")
                          .arg(QString::fromUtf8(kMakerPageUrl), QString::fromUtf8(kMakerName)));
  LinkLabel1->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  LinkLabel1->setOpenExternalLinks(false);
  LinkLabel1->setFocusPolicy(Qt::StrongFocus);

  PlayerBar = new TPlayerBar(*player_, Panel2);
  PlayerBar->setObjectName(QStringLiteral("PlayerBar"));
  PlayerBar->setGeometry(kPlayerBarLeft, kPlayerBarTop, kClientWidth - kPlayerBarLeft - 8,
                         kPlayerBarHeight);
  player_->SetKeyDisplay([this](int32_t key, int32_t channel) {
    const TColor color =
        channel < 0 ? 0
                    : MIDIKeybDownColor[static_cast<size_t>(channel) % MIDIKeybDownColor.size()];
    MIDIKeyb1->SetDown(key, color);
  });
  setAcceptDrops(true);

  MIDIKeyb1 = new TMIDIKeyb(this);
  MIDIKeyb1->setObjectName(QStringLiteral("MIDIKeyb1"));
  MIDIKeyb1->SetPos(kKeybPosition);
  MIDIKeyb1->SetOct(true);
  MIDIKeyb1->SetColor(clSilver);
  MIDIKeyb1->SetPoly(0);
  MIDIKeyb1->SetViewOnly(false);
  MIDIKeyb1->SetRightClickEnable(false);
  MIDIKeyb1->SetRightClickColor(clBlue);
  MIDIKeyb1->SetGliss(true);
  layout->addWidget(MIDIKeyb1, 1);

  StatusLine = new QLabel(this);
  StatusLine->setObjectName(QStringLiteral("StatusLine"));
  StatusLine->setContentsMargins(4, 1, 4, 1);
  StatusLine->hide();
  layout->addWidget(StatusLine);

  setTabOrder(ComboBox1, ComboBox2);
  setTabOrder(ComboBox2, LinkLabel1);
  // The client area below the menu bar keeps its size.
  resize(kClientWidth, kClientHeight + MenuBar->sizeHint().height());

  // activated: a choice made by the user (mouse, keys or wheel), not a change made in code.
  connect(ComboBox1, &QComboBox::activated, this,
          [this] { Guarded([this] { ComboBox1Change(); }); });
  connect(ComboBox2, &QComboBox::activated, this,
          [this] { Guarded([this] { ComboBox2Change(); }); });
  connect(LinkLabel1, &QLabel::linkActivated, this,
          [this](const QString& link) { Guarded([&] { LinkLabel1LinkClick(link); }); });
  connect(MIDIKeyb1, &TMIDIKeyb::OnNoteOn, this, &TForm1::MIDIKeyb1NoteOn);
  connect(MIDIKeyb1, &TMIDIKeyb::OnNoteOff, this, &TForm1::MIDIKeyb1NoteOff);
  connect(bankOpener_.get(), &TBankOpener::Prepared, this, [this](const PreparedBank& bank) {
    Guarded([&] {
      std::istringstream image(bank.image);
      SwapBank(image, QString::fromStdString(bank.name));
    });
  });
  connect(bankOpener_.get(), &TBankOpener::Failed, this,
          [](const QString& path, const QString& reason) {
            Guarded([&] {
              throw std::runtime_error(
                  (reason.isEmpty() ? QStringLiteral("cannot open the bank %1").arg(path) : reason)
                      .toStdString());
            });
          });

  // The playing keys reach the window whichever of its controls has the focus.
  for (QWidget* widget :
       std::initializer_list<QWidget*>{this, ComboBox1, ComboBox2, LinkLabel1, MIDIKeyb1}) {
    widget->installEventFilter(this);
  }
}

void TForm1::CreateMenus() {
  MenuBar = new QMenuBar(this);
  MenuBar->setObjectName(QStringLiteral("MenuBar"));
  FileMenu = MenuBar->addMenu(QStringLiteral("&File"));
  FileMenu->setObjectName(QStringLiteral("FileMenu"));
  AddPlayerFileActions(*FileMenu, *this);
  FileMenu->addSeparator();
  FileQuitAction = FileMenu->addAction(QStringLiteral("E&xit"));
  FileQuitAction->setObjectName(QStringLiteral("FileQuitAction"));
  connect(FileQuitAction, &QAction::triggered, this, &QWidget::close);

  MidiMenu = MenuBar->addMenu(QStringLiteral("&MIDI"));
  MidiMenu->setObjectName(QStringLiteral("MidiMenu"));
  MidiPortAction = MidiMenu->addAction(QString());
  MidiPortAction->setObjectName(QStringLiteral("MidiPortAction"));
  MidiPortAction->setEnabled(false);
  MidiConnectMenu = MidiMenu->addMenu(QStringLiteral("&Connect to"));
  MidiConnectMenu->setObjectName(QStringLiteral("MidiConnectMenu"));
  connect(MidiConnectMenu, &QMenu::aboutToShow, this, [this] { FillMidiConnectMenu(); });
  MidiMenu->addSeparator();

  PanicAction = new QAction(QStringLiteral("&Panic (all sound off)"), this);
  PanicAction->setObjectName(QStringLiteral("PanicAction"));
  PanicAction->setShortcut(QKeySequence(Qt::Key_Escape));
  PanicAction->setShortcutContext(Qt::WindowShortcut);
  MidiMenu->addAction(PanicAction);
  addAction(PanicAction);  // Escape works with the menus closed
  connect(PanicAction, &QAction::triggered, this, [this] { Guarded([this] { PanicClick(); }); });
}

void TForm1::OpenMidiInput(const std::function<std::unique_ptr<TMidiInput>()>& open) {
  midiInput_ = open ? open() : std::make_unique<TMidiInput>();
  if (midiInput_ == nullptr || !midiInput_->Available()) {
    const QString reason = midiInput_ == nullptr ? QStringLiteral("MIDI input is switched off")
                                                 : midiInput_->UnavailableReason();
    MidiPortAction->setText(QStringLiteral("No MIDI input: %1").arg(reason));
    MidiConnectMenu->setEnabled(false);
    return;
  }
  MidiPortAction->setText(
      QStringLiteral("Input port \"Velmo\" (%1)").arg(midiInput_->TransportName()));
  connect(midiInput_.get(), &TMidiInput::MessageReceived, this,
          [this](const QByteArray& message) { Guarded([&] { MidiInputMessage(message); }); });
}

void TForm1::FillMidiConnectMenu() {
  MidiConnectMenu->clear();
  auto* group = new QActionGroup(MidiConnectMenu);
  const auto add = [&](const QString& text, const QString& source) {
    QAction* action = MidiConnectMenu->addAction(text);
    action->setCheckable(true);
    action->setChecked(source == midiInput_->ConnectedSource());
    group->addAction(action);
    connect(action, &QAction::triggered, this, [this, source] {
      if (source.isEmpty()) {
        midiInput_->DisconnectSource();
      } else if (!midiInput_->ConnectSource(source)) {
        ShowNotice(midiInput_->Error());
      }
    });
  };
  add(QStringLiteral("&None"), QString());
  for (const QString& source : midiInput_->Sources()) {
    // The window's own port is not a source to listen to.
    if (!source.contains(QStringLiteral("Velmo"))) add(source, source);
  }
}

void TForm1::ShowNotice(const QString& text) {
  const bool wasVisible = !StatusLine->isHidden();
  StatusLine->setText(text);
  const bool visible = !text.isEmpty();
  if (visible == wasVisible) return;
  // The window grows or shrinks by the line so that the keyboard keeps its height.
  const int lineHeight = StatusLine->sizeHint().height();
  StatusLine->setVisible(visible);
  resize(width(), height() + (visible ? lineHeight : -lineHeight));
}

TDDSDChannel* TForm1::OutputChannel() {
  return DDSD1.GetChannels(kOutputChannel);
}

void TForm1::FormCreate() {
  streamWave = TDDSDWaveData::CreateStream(DDSD1, kStreamSamplesPerSec, kStreamBitsPerSample,
                                           /*stereo=*/true, kStreamBytes, /*useFX=*/false);
  streamWave->setOnUpdate(
      [this](TDDSDGenWave& sender, TDDSDChannel* player, uint32_t availableOffset,
             uint32_t bufferSize) { StreamUpdate(sender, player, availableOffset, bufferSize); });
  OutputChannel()->setWaveData(streamWave.get());
}

void TForm1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // A spontaneous show is the window system restoring the window, not the window being shown.
  if (!event->spontaneous()) Guarded([this] { FormShow(); });
}

void TForm1::FormShow() {
  StartEngineAndOutput();
}

void TForm1::StartEngineAndOutput() {
  // After the close the stream buffer is gone and nothing would carry the sound.
  if (engineStarted || streamWave == nullptr) return;
  engineStarted = true;
  selectedChannel = 0;
  const std::unique_ptr<std::istream> image = openBank_();
  if (image == nullptr) throw std::runtime_error("SOUND1 cannot be opened");
  EngineLoadAndReset(engine_, *image);
  const std::array<uint8_t, kStreamBytes> silence{};
  streamWave->BlockCopy(0, silence.data(), kStreamBytes);
  OutputChannel()->LoopPlay();
  handOff_->Attach(engine_);
  EngineStart(engine_);
}

void TForm1::StreamUpdate(TDDSDGenWave& Sender, TDDSDChannel* /*Player*/, uint32_t availableOffset,
                          uint32_t bufferSize) {
  const uint8_t* half = TakeRingHalf(engine_);
  Sender.BlockCopy(availableOffset, half, bufferSize);
}

void TForm1::closeEvent(QCloseEvent* event) {
  bool canClose = true;
  Guarded([&] { FormCloseQuery(canClose); });
  event->setAccepted(canClose);
}

void TForm1::FormCloseQuery(bool& /*canClose*/) {
  StopEngineAndOutput();
  TDDSDChannel* channel = OutputChannel();
  channel->Stop();
  if (streamWave != nullptr) {
    channel->setWaveData(nullptr);
    streamWave.reset();
  }
}

void TForm1::StopEngineAndOutput() {
  if (!engineStarted) return;
  engineStarted = false;
  player_->Stop();
  OutputChannel()->Stop();
  EngineStop(engine_);
  MidiHandOff::Detach(engine_);
  EngineShutdown(engine_);
}

void TForm1::OpenSongFile(const QString& path) {
  const std::string name = QFileInfo(path).fileName().toStdString();
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    throw std::runtime_error("cannot open the MIDI file " + name + ": " +
                             file.errorString().toStdString());
  }
  if (file.size() > kMaxSongFileBytes) {
    throw std::runtime_error("the MIDI file " + name + " is too large");
  }
  const QByteArray bytes = file.readAll();
  Song song;
  try {
    song = MakeSong(std::span(reinterpret_cast<const uint8_t*>(bytes.constData()),
                              static_cast<size_t>(bytes.size())));
  } catch (const midi::MidiFileError& error) {
    throw std::runtime_error("cannot play the MIDI file " + name + ": " + error.what());
  }
  player_->Open(std::move(song));
  PlayerBar->SongOpened(QFileInfo(path).fileName());
  if (engineStarted) player_->Play();
  PlayerBar->Refresh();
}

void TForm1::OpenBankFile(const QString& path) {
  bankOpener_->Open(path);
}

void TForm1::RestoreBuiltinBank() {
  const std::unique_ptr<std::istream> image = openBank_();
  if (image == nullptr) throw std::runtime_error("SOUND1 cannot be opened");
  SwapBank(*image, QString());
}

void TForm1::SwapBank(std::istream& image, const QString& name) {
  player_->Stop();
  PlayerBar->Refresh();
  if (engineStarted) EngineStop(engine_);
  EngineLoadAndReset(engine_, image);
  bankName_ = name;
  ShowTitle();
  if (engineStarted) EngineStart(engine_);
  // The reset set every channel to its first program; the lists show it.
  ComboBox2->setCurrentIndex(0);
  if (FileMenu != nullptr) UpdatePlayerFileActions(*FileMenu, *this);
}

void TForm1::ShowTitle() {
  QString title = QStringLiteral("%1 %2").arg(QString::fromUtf8(kProgramTitle),
                                              QString::fromUtf8(kVersionText));
  if (!bankName_.isEmpty()) title += QStringLiteral(" [%1]").arg(bankName_);
  setWindowTitle(title);
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.size() == 1 && urls.front().isLocalFile()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.size() != 1 || !urls.front().isLocalFile()) return;
  event->acceptProposedAction();
  const QString path = urls.front().toLocalFile();
  Guarded([&] { OpenSongFile(path); });
}

void TForm1::SendMidi(std::span<const uint8_t> bytes) {
  for (const uint8_t byte : bytes)
    midiSink_(byte);
}

void TForm1::MIDIKeyb1NoteOn(TMIDIKeyb* /*Sender*/, int Note) {
  if (Note < 0 || Note > 127) return;  // not a MIDI data byte
  noteChannel_[static_cast<size_t>(Note)] = static_cast<int8_t>(selectedChannel);
  const std::array<uint8_t, 3> message{static_cast<uint8_t>(0x90 + selectedChannel),
                                       static_cast<uint8_t>(Note), kNoteVelocity};
  SendMidi(message);
}

void TForm1::MIDIKeyb1NoteOff(TMIDIKeyb* /*Sender*/, int Note) {
  if (Note < 0 || Note > 127) return;
  int8_t& channel = noteChannel_[static_cast<size_t>(Note)];
  const int32_t target = channel >= 0 ? channel : selectedChannel;
  channel = -1;
  const std::array<uint8_t, 3> message{static_cast<uint8_t>(0x90 + target),
                                       static_cast<uint8_t>(Note), 0};
  SendMidi(message);
}

void TForm1::ComboBox1Change() {
  selectedChannel = ComboBox1->currentIndex();
  ComboBox2Change();
}

void TForm1::ComboBox2Change() {
  const std::array<uint8_t, 2> message{static_cast<uint8_t>(0xC0 + selectedChannel),
                                       static_cast<uint8_t>(ComboBox2->currentIndex())};
  SendMidi(message);
}

void TForm1::MidiInputMessage(const QByteArray& message) {
  const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(message.constData()),
                                       static_cast<size_t>(message.size()));
  SendMidi(bytes);
  if (bytes.size() < 3) return;
  const uint8_t kind = bytes[0] & 0xF0;
  const auto channel = static_cast<int8_t>(bytes[0] & 0x0F);
  const uint8_t data1 = bytes[1] & 0x7F;
  const auto show = [&](uint8_t note, bool down) {
    inputNoteChannel_[note] = down ? channel : int8_t{-1};
    MIDIKeyb1->SetDown(
        note, down ? MIDIKeybDownColor[static_cast<size_t>(channel) % MIDIKeybDownColor.size()]
                   : TColor{0});
  };
  if (kind == 0x90 || kind == 0x80) {
    const bool down = kind == 0x90 && bytes[2] != 0;
    if (down || inputNoteChannel_[data1] == channel) show(data1, down);
  } else if (kind == 0xB0 && (data1 == 120 || data1 == 123)) {
    // All Sound Off, All Notes Off: the channel's keys come up.
    for (uint8_t note = 0; note < 128; ++note) {
      if (inputNoteChannel_[note] == channel) show(note, false);
    }
  }
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
      if (LetterKeyEvent(*static_cast<QKeyEvent*>(event))) return true;
      break;
    case QEvent::WindowDeactivate:
      // The key-up would go to another window: end the notes now rather than never.
      if (watched == this) ReleaseLetterKeys();
      break;
    default:
      break;
  }
  return QWidget::eventFilter(watched, event);
}

bool TForm1::LetterKeyEvent(const QKeyEvent& event) {
  // With a modifier the key is a shortcut or a menu mnemonic, not a note.
  if ((event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) != 0) {
    return false;
  }
  const uint32_t scanCode = event.nativeScanCode();
  const TLetterKey key = LetterKeyOf(scanCode);
  if (key.kind == TLetterKeyKind::None) return false;
  const bool pressed = event.type() == QEvent::KeyPress;
  if (event.isAutoRepeat()) return true;
  if (key.kind != TLetterKeyKind::Note) {
    if (!pressed) return true;
    const int32_t moved = letterRange_.Shift(key.kind == TLetterKeyKind::OctaveUp ? 1 : -1);
    // The keyboard scrolls by an octave's seven white keys with the range.
    MIDIKeyb1->SetPos(std::clamp(MIDIKeyb1->Position() + 7 * moved, 0, kWhiteKeyCount - 1));
    return true;
  }
  const auto held = heldLetters_.find(scanCode);
  if (pressed) {
    const std::optional<uint8_t> note = letterRange_.NoteOf(key);
    if (held != heldLetters_.end() || !note) return true;
    const auto channel = static_cast<uint8_t>(selectedChannel);
    heldLetters_[scanCode] = {*note, channel};
    MIDIKeyb1->SetDown(*note, MIDIKeybDownColor[channel % MIDIKeybDownColor.size()]);
    const std::array<uint8_t, 3> message{static_cast<uint8_t>(0x90 + channel), *note,
                                         kNoteVelocity};
    SendMidi(message);
    return true;
  }
  if (held == heldLetters_.end()) return true;
  const THeldLetter letter = held->second;
  heldLetters_.erase(held);
  MIDIKeyb1->SetDown(letter.note, TColor{0});
  const std::array<uint8_t, 3> message{static_cast<uint8_t>(0x90 + letter.channel), letter.note, 0};
  SendMidi(message);
  return true;
}

void TForm1::ReleaseLetterKeys() {
  while (!heldLetters_.empty()) {
    const THeldLetter letter = heldLetters_.begin()->second;
    heldLetters_.erase(heldLetters_.begin());
    MIDIKeyb1->SetDown(letter.note, TColor{0});
    const std::array<uint8_t, 3> message{static_cast<uint8_t>(0x90 + letter.channel), letter.note,
                                         0};
    SendMidi(message);
  }
}

void TForm1::PanicClick() {
  constexpr uint8_t kAllSoundOff = 120;
  constexpr uint8_t kResetAllControllers = 121;
  for (uint8_t channel = 0; channel < kChannelItems; ++channel) {
    const std::array<uint8_t, 6> message{
        static_cast<uint8_t>(0xB0 + channel), kAllSoundOff,         0,
        static_cast<uint8_t>(0xB0 + channel), kResetAllControllers, 0};
    SendMidi(message);
  }
  // Sound is off everywhere: no key stays lit, and held letters start afresh.
  for (const auto& [scanCode, letter] : heldLetters_)
    MIDIKeyb1->SetDown(letter.note, TColor{0});
  heldLetters_.clear();
  for (uint8_t note = 0; note < 128; ++note) {
    if (inputNoteChannel_[note] >= 0) MIDIKeyb1->SetDown(note, TColor{0});
  }
  inputNoteChannel_.fill(-1);
}

void TForm1::LinkLabel1LinkClick(const QString& /*link*/) {
  openUrl_(QUrl(QString::fromUtf8(kMakerPageUrl)));
}

}  // namespace velmo
