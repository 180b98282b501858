#include "app/main_form.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFont>
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
  if (!midiSink_) {
    midiSink_ = [&handOff = *handOff_](uint8_t byte) { handOff.SendByte(byte); };
  }
  if (!openBank_) openBank_ = OpenBuiltinBank;
  if (!openUrl_) openUrl_ = [](const QUrl& url) { QDesktopServices::openUrl(url); };

  CreateComponents();
  DDSD1.SetDebugOption(dsoHaltOnError);
  if (options.configureDevice) options.configureDevice(DDSD1);
  DDSD1.Loaded();
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
  MenuBar = new QMenuBar(this);
  MenuBar->setObjectName(QStringLiteral("MenuBar"));
  FileMenu = MenuBar->addMenu(QStringLiteral("&File"));
  AddPlayerFileActions(*FileMenu, *this);
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

  setTabOrder(ComboBox1, ComboBox2);
  setTabOrder(ComboBox2, LinkLabel1);
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

void TForm1::PushMidi(uint8_t byte) const {
  midiSink_(byte);
}

void TForm1::MIDIKeyb1NoteOn(TMIDIKeyb* /*Sender*/, int Note) {
  if (Note < 0 || Note > 127) return;  // not a MIDI data byte
  noteChannel_[static_cast<size_t>(Note)] = static_cast<int8_t>(selectedChannel);
  PushMidi(static_cast<uint8_t>(0x90 + selectedChannel));
  PushMidi(static_cast<uint8_t>(Note));
  PushMidi(kNoteVelocity);
}

void TForm1::MIDIKeyb1NoteOff(TMIDIKeyb* /*Sender*/, int Note) {
  if (Note < 0 || Note > 127) return;
  int8_t& channel = noteChannel_[static_cast<size_t>(Note)];
  const int32_t target = channel >= 0 ? channel : selectedChannel;
  channel = -1;
  PushMidi(static_cast<uint8_t>(0x90 + target));
  PushMidi(static_cast<uint8_t>(Note));
  PushMidi(0);
}

void TForm1::ComboBox1Change() {
  selectedChannel = ComboBox1->currentIndex();
  PushMidi(static_cast<uint8_t>(0xC0 + selectedChannel));
  PushMidi(static_cast<uint8_t>(ComboBox2->currentIndex()));
}

void TForm1::ComboBox2Change() {
  PushMidi(static_cast<uint8_t>(0xC0 + selectedChannel));
  PushMidi(static_cast<uint8_t>(ComboBox2->currentIndex()));
}

void TForm1::LinkLabel1LinkClick(const QString& /*link*/) {
  openUrl_(QUrl(QString::fromUtf8(kMakerPageUrl)));
}

}  // namespace velmo
