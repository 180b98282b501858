#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iostream>
#include <system_error>
#include <vector>

#include "archive/vrx_file.h"
#include "tools/vrx/vrx_commands.h"

namespace velmo::vrx_tool {

namespace {

void WriteOutput(const std::vector<std::uint8_t>& bytes, const std::string& out_path) {
  if (out_path == "-") {
    std::cout.write(reinterpret_cast<const char*>(bytes.data()),
                    static_cast<std::streamsize>(bytes.size()));
    std::cout.flush();
    if (!std::cout) throw std::system_error(EIO, std::generic_category(), "cannot write output");
    return;
  }
  errno = 0;
  std::ofstream out(out_path, std::ios::binary | std::ios::trunc);
  if (out) {
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
  }
  if (!out) {
    throw std::system_error(errno != 0 ? errno : EIO, std::generic_category(),
                            "cannot write '" + out_path + "'");
  }
}

}  // namespace

int RunExtract(std::span<const std::string> args) {
  std::vector<std::string> positional;
  std::string out_path = "-";
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-o") {
      if (i + 1 >= args.size()) throw UsageError{"-o needs a file name"};
      out_path = args[++i];
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 2) throw UsageError{"extract needs ARCHIVE and ID"};
  if (out_path == "-" && isatty(STDOUT_FILENO) != 0) {
    throw UsageError{"refusing to write an entry to a terminal; give -o OUT"};
  }
  WriteOutput(ExtractFromVRXFile(positional[0], positional[1]), out_path);
  return 0;
}

}  // namespace velmo::vrx_tool
