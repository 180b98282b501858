#include "audio/ddsd_report.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <system_error>

namespace velmo {

std::atomic<bool> DDSD_HaltOnError{false};
std::atomic<bool> DDSD_DebugMessage{false};
std::atomic<bool> DDSD_ExceptOnError{false};

namespace {

// The log's state: its counter and folder. The lock keeps lines from two threads whole.
struct DebugLog {
  std::mutex mutex;
  int32_t messageCount = 0;
  std::filesystem::path folder;
};

DebugLog& TheDebugLog() {
  static DebugLog log;
  return log;
}

std::filesystem::path ExecutableFolder() {
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::current_path(error) : exe.parent_path();
}

std::filesystem::path LogPathLocked(const DebugLog& log) {
  const std::filesystem::path folder = log.folder.empty() ? ExecutableFolder() : log.folder;
  return folder / kDebugLogFileName;
}

void WriteLogLine(const std::string& message) {
  DebugLog& log = TheDebugLog();
  const std::lock_guard lock(log.mutex);
  const auto mode = log.messageCount == 0 ? std::ios::trunc : std::ios::app;
  std::ofstream file(LogPathLocked(log), std::ios::out | std::ios::binary | mode);
  ++log.messageCount;
  file << FormatMessage("debug#%.5d ... %s", log.messageCount, message.c_str()) << '\n';
}

}  // namespace

std::string FormatMessage(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
  va_end(args);
  return text;
}

void ReportError(const std::string& message) {
  if (DDSD_DebugMessage.load()) WriteLogLine(message);
  if (DDSD_ExceptOnError.load()) throw EDDSD(message);
}

HResult CheckResult(HResult result, const std::string& message) {
  if (result == 0) return result;
  const std::string text =
      message + FormatMessage("(Error Code(%X))", static_cast<unsigned>(result));
  ReportError(text);
  if (DDSD_HaltOnError.load()) HaltOnError(text);
  return result;
}

void HaltOnError(const std::string& message) {
  std::fprintf(stderr, "%s\n", message.c_str());
  std::fflush(stderr);
  std::_Exit(EXIT_FAILURE);
}

std::filesystem::path DebugLogPath() {
  DebugLog& log = TheDebugLog();
  const std::lock_guard lock(log.mutex);
  return LogPathLocked(log);
}

void SetDebugLogDirectory(const std::filesystem::path& folder) {
  DebugLog& log = TheDebugLog();
  const std::lock_guard lock(log.mutex);
  log.folder = folder;
}

int32_t DebugLogMessageCount() {
  DebugLog& log = TheDebugLog();
  const std::lock_guard lock(log.mutex);
  return log.messageCount;
}

}  // namespace velmo
