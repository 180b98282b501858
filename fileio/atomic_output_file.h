// Output files that appear whole or not at all.
//
// A tool writes into a new file next to its target and renames it over the target only after a
// complete, flushed, error-free write. Until then the old file (if any) stays untouched, and an
// error or an exception removes the unfinished file, so nothing a user already had is lost and
// no partial file is left behind.
//
// A target that exists and is not a regular file (/dev/null, a terminal, a FIFO) is written
// directly, as a stream: it cannot be replaced, and must never be renamed over. A symbolic link
// is followed, so the file it points to is replaced and the link stays.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>

namespace velmo::fileio {

class OutputFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class AtomicOutputFile {
 public:
  // Creates the new file in the target's folder, with the old file's permissions or else 0666
  // less the umask. Throws OutputFileError naming the target when that is impossible.
  explicit AtomicOutputFile(const std::filesystem::path& target);
  ~AtomicOutputFile();  // removes the new file unless Commit succeeded
  AtomicOutputFile(const AtomicOutputFile&) = delete;
  AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

  // The new file's descriptor, for writers that want one (it stays owned by this object).
  int Fd() const { return fd_; }
  const std::filesystem::path& Target() const { return target_; }
  // The name to open for writers that open the file by name: the new file, or the target
  // itself when it is written directly. Commit still moves a new file into place.
  const std::filesystem::path& TemporaryPath() const {
    return temporary_.empty() ? target_ : temporary_;
  }

  // Writes every byte or throws OutputFileError (a full disk included).
  void Write(std::span<const uint8_t> bytes);

  // Flushes the new file to disk, closes it and renames it over the target (a target written
  // directly is only closed). Throws OutputFileError on any failure, leaving the target as it
  // was.
  void Commit();

 private:
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  int fd_ = -1;
  bool committed_ = false;
};

// Throws OutputFileError when `output` names the same file as one of `inputs` (same device and
// inode, so links and other spellings of a path are caught too). Paths that do not exist yet
// cannot be the same file.
void RefuseSameFile(const std::filesystem::path& output,
                    std::span<const std::filesystem::path> inputs);

}  // namespace velmo::fileio
