#pragma once

#include <stdexcept>
#include <string>

namespace velmo {

// Raised by the VRX archive functions for archives they cannot handle: a bad
// signature, an ID not found, an invalid directory index, a truncated or corrupt
// archive, or an ID that cannot be stored. Carries only its message.
class EVRXError : public std::runtime_error {
 public:
  explicit EVRXError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace velmo
