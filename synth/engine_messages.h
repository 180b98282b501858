// Texts the engine shows to the user.
#pragma once

#include <string>
#include <system_error>

namespace velmo {

// Shown when the periodic timer cannot be started: the system's error text
// follows on a line of its own. (The text says that creating the timer failed.)
inline std::string TimerStartFailureMessage(const std::system_error& error) {
  return std::string("タイマーの作製に失敗しました。") + "\n" + error.what();
}

}  // namespace velmo
