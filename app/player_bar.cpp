#include "app/player_bar.h"

#include <QHBoxLayout>
#include <QStyle>

#include "synth/engine_constants.h"

namespace velmo {

QString BlocksToClock(int64_t blocks) {
  const int64_t seconds = blocks * kFramesPerBlock / kOutputRate;
  return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

TPlayerBar::TPlayerBar(MidiFilePlayer& player, QWidget* parent) : QWidget(parent), player_(player) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  const auto makeButton = [this, layout](const char* name, QStyle::StandardPixmap icon,
                                         const QString& tip) {
    auto* button = new QToolButton(this);
    button->setObjectName(QString::fromUtf8(name));
    button->setIcon(style()->standardIcon(icon));
    button->setToolTip(tip);
    button->setFocusPolicy(Qt::NoFocus);  // the letter keys stay with the window
    layout->addWidget(button);
    return button;
  };
  PlayButton = makeButton("PlayButton", QStyle::SP_MediaPlay, QStringLiteral("Play"));
  PauseButton = makeButton("PauseButton", QStyle::SP_MediaPause, QStringLiteral("Pause"));
  StopButton = makeButton("StopButton", QStyle::SP_MediaStop, QStringLiteral("Stop"));

  PositionSlider = new QSlider(Qt::Horizontal, this);
  PositionSlider->setObjectName(QStringLiteral("PositionSlider"));
  PositionSlider->setFocusPolicy(Qt::NoFocus);
  layout->addWidget(PositionSlider, 1);
  TimeLabel = new QLabel(this);
  TimeLabel->setObjectName(QStringLiteral("TimeLabel"));
  layout->addWidget(TimeLabel);
  SongLabel = new QLabel(this);
  SongLabel->setObjectName(QStringLiteral("SongLabel"));
  SongLabel->setMaximumWidth(220);
  layout->addWidget(SongLabel);

  connect(PlayButton, &QToolButton::clicked, this, [this] {
    player_.Play();
    Refresh();
  });
  connect(PauseButton, &QToolButton::clicked, this, [this] {
    player_.Pause();
    Refresh();
  });
  connect(StopButton, &QToolButton::clicked, this, [this] {
    player_.Stop();
    Refresh();
  });
  // A drag seeks when the slider is let go; a click beside the handle or a key seeks at once.
  connect(PositionSlider, &QSlider::sliderReleased, this, &TPlayerBar::SeekToSlider);
  connect(PositionSlider, &QSlider::actionTriggered, this, [this](int action) {
    if (action != QAbstractSlider::SliderMove) SeekToSlider();
  });
  connect(PositionSlider, &QSlider::sliderMoved, this, [this](int value) {
    TimeLabel->setText(BlocksToClock(value) + QStringLiteral(" / ") +
                       BlocksToClock(player_.LengthBlocks()));
  });
  connect(&pumpTimer_, &QTimer::timeout, this, &TPlayerBar::Refresh);
  pumpTimer_.start(kPumpMilliseconds);
  Refresh();
}

void TPlayerBar::SongOpened(const QString& name) {
  SongLabel->setText(name);
  SongLabel->setToolTip(name);
  Refresh();
}

void TPlayerBar::SeekToSlider() {
  player_.Seek(PositionSlider->sliderPosition());
  Refresh();
}

void TPlayerBar::Refresh() {
  player_.Pump();
  const bool hasSong = player_.HasSong();
  const PlayerState state = player_.State();
  PlayButton->setEnabled(hasSong && state != PlayerState::kPlaying);
  PauseButton->setEnabled(state == PlayerState::kPlaying);
  StopButton->setEnabled(hasSong && state != PlayerState::kStopped);
  PositionSlider->setEnabled(hasSong);
  PositionSlider->setMaximum(static_cast<int>(player_.LengthBlocks()));
  if (!PositionSlider->isSliderDown()) {
    PositionSlider->setValue(static_cast<int>(player_.Position()));
    TimeLabel->setText(BlocksToClock(player_.Position()) + QStringLiteral(" / ") +
                       BlocksToClock(player_.LengthBlocks()));
  }
}

}  // namespace velmo
