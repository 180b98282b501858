// Text from files (entry IDs, file names, messages quoting them) made safe to print: control
// characters would otherwise let a file clear the screen, move the cursor or forge lines.
#pragma once

#include <string>
#include <string_view>

namespace velmo::fileio {

// Returns `text` with every C0 control character (newline and tab included), DEL and C1
// control character (U+0080..U+009F written as UTF-8) replaced by \xNN for each of its bytes.
// Everything else, UTF-8 text and backslashes included, is kept as it is.
std::string EscapeForTerminal(std::string_view text);

}  // namespace velmo::fileio
