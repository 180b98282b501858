#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <vector>

#include "archive/vrx_file.h"
#include "fileio/atomic_output_file.h"
#include "fileio/input_file_check.h"
#include "fileio/terminal_text.h"
#include "tools/vrx/progress_bar.h"
#include "tools/vrx/vrx_commands.h"

namespace velmo::vrx_tool {

namespace {

struct CreateArguments {
  std::string archive;
  bool store = false;
  bool allow_special = false;  // pipes and devices may be sources
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
    } else if (!options_done && arg == "--allow-special") {
      parsed.allow_special = true;
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

// Every source is checked before the archive is touched: a missing, unreadable or special
// source, or one that is the archive itself, leaves the old archive as it was.
void CheckSources(const CreateArguments& parsed) {
  std::vector<std::filesystem::path> sources;
  for (const std::string& file : parsed.files) {
    if (parsed.allow_special) {
      std::ifstream readable(file, std::ios::binary);
      std::error_code ignored;
      if (std::filesystem::is_directory(file, ignored)) {
        throw fileio::InputFileError("cannot read source " + file + ": it is a directory");
      }
      if (!readable) {
        throw fileio::InputFileError("cannot read source " + file + ": " + std::strerror(errno));
      }
    } else {
      fileio::RequireRegularFile(file, "source");
    }
    sources.emplace_back(file);
  }
  fileio::RefuseSameFile(parsed.archive, sources);
}

}  // namespace

int RunCreate(std::span<const std::string> args) {
  const CreateArguments parsed = ParseCreate(args);
  CheckSources(parsed);
  std::optional<ProgressBar> bar;
  if (isatty(STDERR_FILENO) != 0) bar.emplace(std::cerr);
  // The archive is written next to its target and replaces it only when complete.
  fileio::AtomicOutputFile archive(parsed.archive);
  CreateVRXFile(archive.TemporaryPath().string(), parsed.files, parsed.ids, !parsed.store,
                [&](std::int32_t progress, std::int32_t file_count, const std::string& source) {
                  if (bar) bar->Show(progress, file_count, fileio::EscapeForTerminal(source));
                });
  archive.Commit();
  return 0;
}

}  // namespace velmo::vrx_tool
