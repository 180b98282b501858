#include "app/bank_opener.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstring>
#include <memory>
#include <sstream>

#include "bankbuilder/soundfont.h"
#include "synth/sound_bank.h"

namespace velmo {

namespace {

constexpr int kProgressMilliseconds = 50;

std::string FileName(const std::string& path) {
  return QFileInfo(QString::fromStdString(path)).fileName().toStdString();
}

}  // namespace

bool LooksLikeSoundFont(std::span<const uint8_t> bytes) {
  return bytes.size() >= 12 && std::memcmp(bytes.data(), "RIFF", 4) == 0 &&
         std::memcmp(bytes.data() + 8, "sfbk", 4) == 0;
}

PreparedBank PrepareBank(const std::string& path, const BuildProgress& progress) {
  PreparedBank bank;
  std::vector<uint8_t> bytes;
  try {
    bytes = ReadWholeFile(path);
  } catch (const SoundFontError& error) {
    throw std::runtime_error(error.what());
  }
  if (LooksLikeSoundFont(bytes)) {
    try {
      const SoundFont font = ParseSoundFont(bytes);
      BuildSummary summary;
      const std::vector<uint8_t> image = BuildBank(font, kDefaultBankBudget, summary, progress);
      bank.image.assign(image.begin(), image.end());
      bank.name = font.bankName.empty() ? FileName(path) : font.bankName;
    } catch (const BankBuildCancelled&) {
      throw;
    } catch (const std::exception& error) {
      throw std::runtime_error("cannot build a bank from the SoundFont " + FileName(path) + ": " +
                               error.what());
    }
  } else {
    bank.image.assign(bytes.begin(), bytes.end());
    bank.name = FileName(path);
  }
  // The loader the engine will use decides; a rejected image never reaches the engine.
  auto scratch = std::make_unique<SoundBank>();
  std::istringstream image(bank.image);
  try {
    LoadSoundBank(*scratch, image);
  } catch (const BankLoadError& error) {
    throw std::runtime_error("cannot load the bank " + FileName(path) + ": " + error.what());
  }
  return bank;
}

TBankOpener::TBankOpener(QWidget* dialogParent) : dialogParent_(dialogParent) {
  connect(&progressTimer_, &QTimer::timeout, this, &TBankOpener::ShowProgress);
}

TBankOpener::~TBankOpener() {
  cancel_ = true;
  if (worker_.joinable()) worker_.join();
}

bool TBankOpener::Open(const QString& path) {
  if (Busy()) return false;
  path_ = path;
  cancel_ = false;
  done_ = false;
  wavesDone_ = 0;
  wavesTotal_ = 0;
  result_.reset();
  error_.clear();

  dialog_ = std::make_unique<QProgressDialog>(
      QStringLiteral("Opening %1").arg(QFileInfo(path).fileName()), QStringLiteral("Cancel"), 0, 0,
      dialogParent_);
  dialog_->setWindowTitle(QStringLiteral("Open Bank"));
  dialog_->setWindowModality(Qt::NonModal);  // the keyboard keeps playing meanwhile
  dialog_->setMinimumDuration(300);
  dialog_->setAutoClose(false);
  dialog_->setAutoReset(false);
  connect(dialog_.get(), &QProgressDialog::canceled, this, [this] { cancel_ = true; });

  worker_ = std::thread([this, file = path.toStdString()] {
    try {
      auto bank =
          std::make_unique<PreparedBank>(PrepareBank(file, [this](size_t done, size_t total) {
            wavesDone_ = done;
            wavesTotal_ = total;
            if (cancel_) throw BankBuildCancelled();
          }));
      result_ = std::move(bank);
    } catch (const BankBuildCancelled&) {
    } catch (const std::exception& error) {
      error_ = QString::fromUtf8(error.what());
    } catch (...) {
      error_ = QStringLiteral("cannot open the bank");
    }
    done_.store(true, std::memory_order_release);
  });
  progressTimer_.start(kProgressMilliseconds);
  return true;
}

void TBankOpener::Wait() {
  while (Busy()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ShowProgress();
  }
}

void TBankOpener::ShowProgress() {
  if (!Busy()) return;
  if (done_.load(std::memory_order_acquire)) {
    Finish();
    return;
  }
  if (dialog_ == nullptr) return;
  const uint64_t total = wavesTotal_;
  if (total > 0) {
    dialog_->setMaximum(static_cast<int>(total));
    dialog_->setValue(static_cast<int>(wavesDone_.load()));
  }
}

void TBankOpener::Finish() {
  progressTimer_.stop();
  worker_.join();
  done_ = false;
  dialog_.reset();
  const bool cancelled = cancel_;
  std::unique_ptr<PreparedBank> result = std::move(result_);
  const QString error = error_;
  if (result != nullptr) {
    emit Prepared(*result);
  } else if (!cancelled || !error.isEmpty()) {
    emit Failed(path_, error);
  }
}

}  // namespace velmo
