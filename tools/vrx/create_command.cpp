#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <optional>
#include <vector>

#include "archive/vrx_file.h"
#include "tools/vrx/progress_bar.h"
#include "tools/vrx/vrx_commands.h"

namespace velmo::vrx_tool {

namespace {

struct CreateArguments {
  std::string archive;
  bool store = false;
  std::vector<std::string> files;
  std::vector<std::string> ids;
};

// FILE=ID splits at the first '='; a bare FILE is stored under its file name.
void AddSource(const std::string& arg, CreateArguments& parsed) {
  const std::size_t equals = arg.find('=');
  if (equals == std::string::npos) {
    parsed.files.push_back(arg);
    parsed.ids.push_back(std::filesystem::path(arg).filename().string());
  } else {
    parsed.files.push_back(arg.substr(0, equals));
    parsed.ids.push_back(arg.substr(equals + 1));
  }
  if (parsed.files.back().empty()) throw UsageError{"empty file name in '" + arg + "'"};
}

CreateArguments ParseCreate(std::span<const std::string> args) {
  CreateArguments parsed;
  bool options_done = false;
  for (const std::string& arg : args) {
    if (!options_done && arg == "--store") {
      parsed.store = true;
    } else if (!options_done && arg == "--") {
      options_done = true;
    } else if (!options_done && arg.size() > 1 && arg[0] == '-') {
      throw UsageError{"unknown option '" + arg + "'"};
    } else if (parsed.archive.empty()) {
      parsed.archive = arg;
    } else {
      AddSource(arg, parsed);
    }
  }
  if (parsed.archive.empty()) throw UsageError{"create needs an ARCHIVE"};
  return parsed;
}

}  // namespace

int RunCreate(std::span<const std::string> args) {
  const CreateArguments parsed = ParseCreate(args);
  std::optional<ProgressBar> bar;
  if (isatty(STDERR_FILENO) != 0) bar.emplace(std::cerr);
  CreateVRXFile(parsed.archive, parsed.files, parsed.ids, !parsed.store,
                [&](std::int32_t progress, std::int32_t file_count, const std::string& source) {
                  if (bar) bar->Show(progress, file_count, source);
                });
  return 0;
}

}  // namespace velmo::vrx_tool
