#include "fileio/atomic_output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace velmo::fileio {
namespace {

std::string Describe(const std::filesystem::path& path, const char* what, int error) {
  return path.string() + ": " + what + ": " + std::strerror(error);
}

}  // namespace

AtomicOutputFile::AtomicOutputFile(const std::filesystem::path& target) : target_(target) {
  struct stat existing {};
  const bool exists = ::stat(target.c_str(), &existing) == 0;
  if (exists && !S_ISREG(existing.st_mode)) {
    fd_ = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ < 0) throw OutputFileError(Describe(target, "cannot open output", errno));
    return;
  }
  std::error_code ignored;
  if (std::filesystem::is_symlink(target, ignored)) {
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(target, ignored);
    if (!resolved.empty()) target_ = resolved;
  }
  const std::filesystem::path folder =
      target_.has_parent_path() ? target_.parent_path() : std::filesystem::path(".");
  std::string pattern = (folder / ("." + target_.filename().string() + ".XXXXXX")).string();
  fd_ = ::mkstemp(pattern.data());
  if (fd_ < 0) throw OutputFileError(Describe(target, "cannot create output file", errno));
  temporary_ = pattern;
  // mkstemp makes the file private; an output file gets the old file's permissions, or the
  // usual ones.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd_, exists ? existing.st_mode & 07777 : 0666 & ~mask);
}

AtomicOutputFile::~AtomicOutputFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
}

void AtomicOutputFile::Write(std::span<const uint8_t> bytes) {
  if (fd_ < 0) throw OutputFileError(target_.string() + ": output file already closed");
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw OutputFileError(Describe(target_, "write failed", n < 0 ? errno : EIO));
    done += static_cast<size_t>(n);
  }
}

void AtomicOutputFile::Commit() {
  if (fd_ < 0) throw OutputFileError(target_.string() + ": output file already closed");
  if (temporary_.empty()) {  // written directly: nothing to flush to a disk or to rename
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) throw OutputFileError(Describe(target_, "close failed", errno));
    committed_ = true;
    return;
  }
  if (::fsync(fd_) != 0) throw OutputFileError(Describe(target_, "flush failed", errno));
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) throw OutputFileError(Describe(target_, "close failed", errno));
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
    throw OutputFileError(Describe(target_, "cannot replace output file", errno));
  }
  committed_ = true;
}

void RefuseSameFile(const std::filesystem::path& output,
                    std::span<const std::filesystem::path> inputs) {
  struct stat out {};
  if (::stat(output.c_str(), &out) != 0) return;
  for (const std::filesystem::path& input : inputs) {
    struct stat in {};
    if (::stat(input.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino) {
      throw OutputFileError("output " + output.string() + " is the same file as input " +
                            input.string() + ": refusing to overwrite it");
    }
  }
}

}  // namespace velmo::fileio
