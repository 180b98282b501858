// Opening another sound bank from a file: a bank image (what velmo-bank writes) or a
// SoundFont, which the bank builder turns into an image on the fly. The work runs on a thread
// of its own while a progress dialog shows how far the build is; the image is checked by the
// engine's own loader before anyone swaps it in, so a file that fails leaves the loaded bank
// untouched.
#pragma once

#include <QObject>
#include <QProgressDialog>
#include <QString>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "bankbuilder/bank_builder.h"

namespace velmo {

// A bank image ready for EngineLoadAndReset, and the name the title shows.
struct PreparedBank {
  std::string name;
  std::string image;
};

// The user cancelled a SoundFont build.
class BankBuildCancelled : public std::runtime_error {
 public:
  BankBuildCancelled() : std::runtime_error("cancelled") {}
};

// Whether `bytes` start like a SoundFont (a RIFF file of form sfbk).
bool LooksLikeSoundFont(std::span<const uint8_t> bytes);

// Reads `path` and makes its bank image: a SoundFont is built (its own name, else the file's
// name, names the bank), anything else is taken as an image (named by the file's name). The
// image is loaded once into a scratch bank to check it. Throws std::runtime_error with a text
// for the user when the file cannot be read, built or loaded; `progress` may throw to cancel.
PreparedBank PrepareBank(const std::string& path, const BuildProgress& progress = {});

class TBankOpener : public QObject {
  Q_OBJECT

 public:
  explicit TBankOpener(QWidget* dialogParent);
  // Cancels a build under way and waits for its thread.
  ~TBankOpener() override;

  // Starts preparing `path` unless a preparation is under way (then false).
  bool Open(const QString& path);
  bool Busy() const { return worker_.joinable(); }
  // Waits for the preparation under way (tests).
  void Wait();

 signals:
  void Prepared(const velmo::PreparedBank& bank);
  void Failed(const QString& path, const QString& reason);

 private:
  void ShowProgress();
  void Finish();

  QWidget* dialogParent_;
  std::unique_ptr<QProgressDialog> dialog_;
  QTimer progressTimer_;
  std::thread worker_;
  std::atomic<bool> cancel_{false};
  std::atomic<bool> done_{false};
  std::atomic<uint64_t> wavesDone_{0};
  std::atomic<uint64_t> wavesTotal_{0};
  QString path_;
  // Written by the worker before done_ is set.
  std::unique_ptr<PreparedBank> result_;
  QString error_;
};

}  // namespace velmo
