// TPlayerBar: the controls of the MIDI file player: Play, Pause, Stop, a position slider that
// seeks, the elapsed and total time and the song's name. A 20 ms timer pumps the player.
#pragma once

#include <QLabel>
#include <QSlider>
#include <QString>
#include <QTimer>
#include <QToolButton>
#include <QWidget>
#include <cstdint>

#include "app/midi_file_player.h"

namespace velmo {

// "m:ss" for a number of engine blocks (221 frames at 22050 frames per second).
QString BlocksToClock(int64_t blocks);

class TPlayerBar : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kPumpMilliseconds = 20;

  explicit TPlayerBar(MidiFilePlayer& player, QWidget* parent = nullptr);

  QToolButton* PlayButton = nullptr;
  QToolButton* PauseButton = nullptr;
  QToolButton* StopButton = nullptr;
  QSlider* PositionSlider = nullptr;
  QLabel* TimeLabel = nullptr;
  QLabel* SongLabel = nullptr;

  // A new song has been opened in the player under this name.
  void SongOpened(const QString& name);
  // Pumps the player and shows its state (the timer's work).
  void Refresh();

 private:
  void SeekToSlider();

  MidiFilePlayer& player_;
  QTimer pumpTimer_;
};

}  // namespace velmo
