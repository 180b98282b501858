// Failure reporting of the audio output component: one process-wide policy chosen by the debug
// options (log a numbered line, raise EDDSD, end the program).
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "audio/result_codes.h"

namespace velmo {

// A set over three flags, kept in the low three bits of one byte.
using TDDSDDebugOption = uint8_t;
inline constexpr TDDSDDebugOption dsoHaltOnError = 1u << 0;
inline constexpr TDDSDDebugOption dsoDebugMessage = 1u << 1;
inline constexpr TDDSDDebugOption dsoExceptOnError = 1u << 2;

// Mirrors of the options given to the last SetDebugOption, shared by every TDDSD.
extern std::atomic<bool> DDSD_HaltOnError;
extern std::atomic<bool> DDSD_DebugMessage;
extern std::atomic<bool> DDSD_ExceptOnError;

// The component's exception; carries only its message.
class EDDSD : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr const char* kDebugLogFileName = "DDSD_DebugLog.txt";

// Logs `message` (with dsoDebugMessage) and raises EDDSD (with dsoExceptOnError).
void ReportError(const std::string& message);
// Returns `result`. A non-zero result is reported as `message` followed by "(Error Code(%X))";
// then, with dsoHaltOnError, the program ends with a failure status.
HResult CheckResult(HResult result, const std::string& message);
// Writes `message` to standard error and ends the program with a failure status at once.
[[noreturn]] void HaltOnError(const std::string& message);

// The log file: beside the executable unless redirected (an empty folder restores that).
std::filesystem::path DebugLogPath();
void SetDebugLogDirectory(const std::filesystem::path& folder);
// Messages written to the log in this run; the file is recreated while this is 0.
int32_t DebugLogMessageCount();

// printf-style formatting into a std::string (the messages' Format).
std::string FormatMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace velmo
