#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <iostream>
#include <system_error>
#include <vector>

#include "archive/vrx_file.h"
#include "fileio/atomic_output_file.h"
#include "tools/vrx/vrx_commands.h"

namespace velmo::vrx_tool {

namespace {

// The entry goes to standard output piece by piece, or into a new file that replaces OUT only
// once the whole entry has been written.
void ExtractTo(const std::string& archive, const std::string& id, const std::string& out_path) {
  if (out_path == "-") {
    ExtractFromVRXFileTo(archive, id, [](std::span<const std::uint8_t> bytes) {
      std::cout.write(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<std::streamsize>(bytes.size()));
      if (!std::cout) throw std::system_error(EIO, std::generic_category(), "cannot write output");
    });
    std::cout.flush();
    if (!std::cout) throw std::system_error(EIO, std::generic_category(), "cannot write output");
    return;
  }
  const std::filesystem::path inputs[] = {archive};
  fileio::RefuseSameFile(out_path, inputs);
  fileio::AtomicOutputFile out(out_path);
  ExtractFromVRXFileTo(archive, id, [&](std::span<const std::uint8_t> bytes) { out.Write(bytes); });
  out.Commit();
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
  ExtractTo(positional[0], positional[1], out_path);
  return 0;
}

}  // namespace velmo::vrx_tool
