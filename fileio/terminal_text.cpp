#include "fileio/terminal_text.h"

#include <cstdint>
#include <cstdio>

namespace velmo::fileio {
namespace {

void AppendHex(std::string& out, uint8_t byte) {
  char text[5];
  std::snprintf(text, sizeof text, "\\x%02X", byte);
  out += text;
}

}  // namespace

std::string EscapeForTerminal(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<uint8_t>(text[i]);
    const auto next = i + 1 < text.size() ? static_cast<uint8_t>(text[i + 1]) : uint8_t{0};
    if (byte < 0x20 || byte == 0x7F) {
      AppendHex(out, byte);
    } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {  // a C1 control in UTF-8
      AppendHex(out, byte);
      AppendHex(out, next);
      ++i;
    } else {
      out += static_cast<char>(byte);
    }
  }
  return out;
}

}  // namespace velmo::fileio
