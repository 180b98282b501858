#pragma once

#include <span>
#include <string>

namespace velmo::vrx_tool {

// Each command takes the arguments after its name and returns the exit status;
// failures are raised as exceptions, usage errors as UsageError.

struct UsageError {
  std::string message;
};

int RunCreate(std::span<const std::string> args);
int RunList(std::span<const std::string> args);
int RunExtract(std::span<const std::string> args);
int RunInfo(std::span<const std::string> args);

}  // namespace velmo::vrx_tool
