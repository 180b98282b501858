// vrx: the command-line tool for VRX archives.

#include <exception>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "archive/vrx_error.h"
#include "fileio/terminal_text.h"
#include "tools/vrx/vrx_commands.h"

namespace {

constexpr const char* kUsage =
    "usage: vrx create ARCHIVE [--store] [--allow-special] FILE[=ID]...\n"
    "       vrx list ARCHIVE\n"
    "       vrx extract ARCHIVE ID [-o OUT]\n"
    "       vrx info ARCHIVE\n"
    "\n"
    "create   packs each FILE into ARCHIVE under ID (the file's name when no =ID is given;\n"
    "         FILE= gives the empty ID); --store keeps the entries unpacked. Every FILE is\n"
    "         checked first and must be a regular file (--allow-special also takes pipes and\n"
    "         devices, read to their end, 4 GiB - 1 at most); ARCHIVE is replaced only once\n"
    "         it is complete, and is never one of the FILEs\n"
    "list     shows each entry's packed and unpacked size, ratio and ID (control\n"
    "         characters in IDs and names are shown as \\xNN)\n"
    "extract  writes the entry ID to OUT, or to standard output; OUT is replaced only once\n"
    "         the whole entry is written, and is never ARCHIVE itself\n"
    "info     shows the archive header\n";

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int Dispatch(const std::string& command, const std::vector<std::string>& args) {
  using namespace velmo::vrx_tool;
  if (command == "create") return RunCreate(args);
  if (command == "list") return RunList(args);
  if (command == "extract") return RunExtract(args);
  if (command == "info") return RunInfo(args);
  throw UsageError{"unknown command '" + command + "'"};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << kUsage;
    return kExitUsage;
  }
  const std::string command = argv[1];
  if (command == "-h" || command == "--help" || command == "help") {
    std::cout << kUsage;
    return 0;
  }
  const std::vector<std::string> args(argv + 2, argv + argc);
  try {
    return Dispatch(command, args);
  } catch (const velmo::vrx_tool::UsageError& error) {
    std::cerr << "vrx: " << velmo::fileio::EscapeForTerminal(error.message) << "\n" << kUsage;
    return kExitUsage;
  } catch (const velmo::EVRXError& error) {
    std::cerr << velmo::fileio::EscapeForTerminal(error.what()) << "\n";
  } catch (const std::exception& error) {
    std::cerr << "vrx: " << velmo::fileio::EscapeForTerminal(error.what()) << "\n";
  }
  return kExitFailure;
}
