#include "fileio/input_file_check.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velmo::fileio {
namespace {

const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a pipe (FIFO)";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

}  // namespace

void RequireRegularFile(const std::filesystem::path& path, const std::string& role) {
  const std::string name = role + " " + path.string();
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    throw InputFileError("cannot read " + name + ": " + std::strerror(errno));
  }
  if (!S_ISREG(info.st_mode)) {
    throw InputFileError("cannot read " + name + ": it is " + KindOf(info.st_mode) +
                         ", not a regular file");
  }
  if (::access(path.c_str(), R_OK) != 0) {
    throw InputFileError("cannot read " + name + ": " + std::strerror(errno));
  }
}

}  // namespace velmo::fileio
