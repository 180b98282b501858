#include "soundfile/sound_file_writer.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "fileio/atomic_output_file.h"

namespace velmo::soundfile {
namespace {

// Samples collected before they are handed on (256 KiB).
constexpr size_t kFlushSamples = 128 * 1024;

// A growing byte image libsndfile writes into (and seeks in, to patch the header).
struct MemoryImage {
  std::vector<uint8_t> bytes;
  sf_count_t position = 0;
};

MemoryImage& ImageOf(void* user) {
  return *static_cast<MemoryImage*>(user);
}

sf_count_t ImageLength(void* user) {
  return static_cast<sf_count_t>(ImageOf(user).bytes.size());
}

sf_count_t ImageSeek(sf_count_t offset, int whence, void* user) {
  MemoryImage& image = ImageOf(user);
  sf_count_t base = 0;
  if (whence == SEEK_CUR) base = image.position;
  if (whence == SEEK_END) base = static_cast<sf_count_t>(image.bytes.size());
  if (base + offset < 0) return -1;
  image.position = base + offset;
  return image.position;
}

sf_count_t ImageRead(void* destination, sf_count_t count, void* user) {
  MemoryImage& image = ImageOf(user);
  const sf_count_t size = static_cast<sf_count_t>(image.bytes.size());
  const sf_count_t available = std::clamp<sf_count_t>(size - image.position, 0, count);
  std::memcpy(destination, image.bytes.data() + image.position, static_cast<size_t>(available));
  image.position += available;
  return available;
}

sf_count_t ImageWrite(const void* source, sf_count_t count, void* user) {
  MemoryImage& image = ImageOf(user);
  const size_t end = static_cast<size_t>(image.position + count);
  if (end > image.bytes.size()) image.bytes.resize(end);
  std::memcpy(image.bytes.data() + image.position, source, static_cast<size_t>(count));
  image.position += count;
  return count;
}

sf_count_t ImageTell(void* user) {
  return ImageOf(user).position;
}

SF_VIRTUAL_IO kImageIo{ImageLength, ImageSeek, ImageRead, ImageWrite, ImageTell};

bool EndsWithFlac(const std::string& path) {
  constexpr std::string_view kSuffix = ".flac";
  if (path.size() < kSuffix.size()) return false;
  return std::equal(
      kSuffix.begin(), kSuffix.end(), path.end() - kSuffix.size(),
      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

// An existing file that cannot be replaced by renaming: a device, a pipe, a socket.
bool IsSpecialFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

// A descriptor closed with its holder (none when negative).
class OwnedFd {
 public:
  OwnedFd() = default;
  ~OwnedFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  OwnedFd(const OwnedFd&) = delete;
  OwnedFd& operator=(const OwnedFd&) = delete;
  void Reset(int fd) { fd_ = fd; }
  // Closes now; false when closing reports an error (a late write failure).
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_ = -1;
};

}  // namespace

Container ContainerForPath(const std::string& path) {
  return EndsWithFlac(path) ? Container::kFlac : Container::kWav;
}

class SoundFileWriter::Sink {
 public:
  Sink(const std::string& path, Container container, PcmLayout layout)
      : name_(path == "-" ? "standard output" : path), container_(container), layout_(layout) {
    if (layout.channels == 0) throw SoundFileError(name_ + ": no channels");
    if (path == "-") {
      streamFd_ = STDOUT_FILENO;
    } else if (IsSpecialFile(path)) {
      streamFd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
      if (streamFd_ < 0) Fail("cannot open");
      ownedFd_.Reset(streamFd_);
    } else {
      try {
        file_.emplace(path);
      } catch (const fileio::OutputFileError& error) {
        throw SoundFileError(error.what());
      }
    }
    if (container_ == Container::kRaw) return;
    SF_INFO info{};
    info.samplerate = static_cast<int>(layout.sampleRate);
    info.channels = layout.channels;
    info.format =
        (container_ == Container::kFlac ? SF_FORMAT_FLAC : SF_FORMAT_WAV) | SF_FORMAT_PCM_16;
    sndfile_ = file_ ? sf_open_fd(file_->Fd(), SFM_WRITE, &info, SF_FALSE)
                     : sf_open_virtual(&kImageIo, SFM_WRITE, &info, &image_);
    if (sndfile_ == nullptr) {
      throw SoundFileError(name_ + ": cannot write this sound file: " + sf_strerror(nullptr));
    }
  }

  ~Sink() {
    if (sndfile_ != nullptr) sf_close(sndfile_);
  }
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;

  void Write(std::span<const int16_t> samples) {
    if (finished_) throw SoundFileError(name_ + ": written after it was finished");
    if (samples.size() % layout_.channels != 0) {
      throw SoundFileError(name_ + ": a partial frame was written");
    }
    pending_.insert(pending_.end(), samples.begin(), samples.end());
    if (pending_.size() >= kFlushSamples) Flush();
  }

  void Finish() {
    if (finished_) return;
    Flush();
    if (sndfile_ != nullptr) {
      SNDFILE* const closing = sndfile_;
      sndfile_ = nullptr;
      const int result = sf_close(closing);
      if (result != 0) {
        throw SoundFileError(name_ + ": cannot write: " + sf_error_number(result));
      }
      if (!file_) WriteOut(image_.bytes);
    }
    if (file_) {
      try {
        file_->Commit();
      } catch (const fileio::OutputFileError& error) {
        throw SoundFileError(error.what());
      }
    } else if (!ownedFd_.Close()) {
      Fail("cannot write");
    }
    finished_ = true;
  }

 private:
  // Hands the collected samples on in one piece: a render makes a few large writes rather than
  // one small write per engine block.
  void Flush() {
    if (pending_.empty()) return;
    if (sndfile_ == nullptr) {
      scratch_.resize(pending_.size() * 2);
      for (size_t i = 0; i < pending_.size(); ++i) {
        const auto value = static_cast<uint16_t>(pending_[i]);
        scratch_[2 * i] = static_cast<uint8_t>(value);
        scratch_[2 * i + 1] = static_cast<uint8_t>(value >> 8);
      }
      WriteOut(scratch_);
    } else {
      const auto frames = static_cast<sf_count_t>(pending_.size() / layout_.channels);
      if (sf_writef_short(sndfile_, pending_.data(), frames) != frames) {
        throw SoundFileError(name_ + ": cannot write: " + sf_strerror(sndfile_));
      }
    }
    pending_.clear();
  }

  [[noreturn]] void Fail(const char* what) const {
    throw SoundFileError(name_ + ": " + what + ": " + std::strerror(errno));
  }

  void WriteOut(std::span<const uint8_t> bytes) {
    if (file_) {
      try {
        file_->Write(bytes);
      } catch (const fileio::OutputFileError& error) {
        throw SoundFileError(error.what());
      }
      return;
    }
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(streamFd_, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        if (n == 0) errno = EIO;
        Fail("cannot write");
      }
      done += static_cast<size_t>(n);
    }
  }

  std::string name_;
  Container container_;
  PcmLayout layout_;
  std::optional<fileio::AtomicOutputFile> file_;
  int streamFd_ = -1;
  OwnedFd ownedFd_;  // streamFd_ when this writer opened it
  SNDFILE* sndfile_ = nullptr;
  MemoryImage image_;
  std::vector<int16_t> pending_;  // samples not yet handed on
  std::vector<uint8_t> scratch_;
  bool finished_ = false;
};

SoundFileWriter::SoundFileWriter(const std::string& path, Container container, PcmLayout layout)
    : sink_(std::make_unique<Sink>(path, container, layout)) {}

SoundFileWriter::~SoundFileWriter() = default;

void SoundFileWriter::Write(std::span<const int16_t> samples) {
  sink_->Write(samples);
}

void SoundFileWriter::Finish() {
  sink_->Finish();
}

}  // namespace velmo::soundfile
