// velmo-bank: builds the synthesizer's sound bank image from a SoundFont and inspects images.
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bankbuilder/bank_builder.h"
#include "bankbuilder/bank_image.h"
#include "bankbuilder/bank_info.h"
#include "bankbuilder/soundfont.h"
#include "fileio/atomic_output_file.h"
#include "fileio/input_file_check.h"
#include "fileio/terminal_text.h"
#include "synth/sound_bank.h"

namespace {

constexpr const char* kDefaultSoundFont = "/usr/share/sounds/sf2/FluidR3_GM.sf2";

int Usage() {
  std::cerr << "usage: velmo-bank build [SF2] -o FILE [--max-bytes N]\n"
               "       velmo-bank info FILE [--json]\n"
               "build writes FILE only once the whole image is made (FILE is never the SF2);\n"
               "N is a whole number of bytes, 1 to 2^32 - 1. The SoundFont must be a regular\n"
               "file. A build refuses SoundFonts with more than 16384 zones, a zone over\n"
               "4194304 sample frames or zones over 134217728 frames in all (each zone\n"
               "counted; far above real General MIDI SoundFonts).\n";
  return 2;
}

// A whole number of bytes with nothing after it: no sign, no spaces, no suffix.
std::optional<size_t> ParseByteCount(const std::string& text) {
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size() || value == 0 ||
      value > UINT32_MAX) {
    return std::nullopt;
  }
  return static_cast<size_t>(value);
}

void ShowProgress(size_t done, size_t total) {
  constexpr size_t kWidth = 40;
  const size_t filled = total == 0 ? kWidth : done * kWidth / total;
  std::fprintf(stderr, "\rmaking waves [%s%s] %zu/%zu", std::string(filled, '#').c_str(),
               std::string(kWidth - filled, ' ').c_str(), done, total);
  if (done == total) std::fputc('\n', stderr);
}

int Build(const std::vector<std::string>& args) {
  std::string input = kDefaultSoundFont;
  std::string output;
  size_t maxBytes = velmo::kDefaultBankBudget;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-o" && i + 1 < args.size()) {
      output = args[++i];
    } else if (args[i] == "--max-bytes" && i + 1 < args.size()) {
      const std::optional<size_t> parsed = ParseByteCount(args[++i]);
      if (!parsed) {
        std::cerr << "velmo-bank: --max-bytes needs a whole number of bytes from 1 to "
                  << UINT32_MAX << ", not \"" << velmo::fileio::EscapeForTerminal(args[i])
                  << "\"\n";
        return 2;
      }
      maxBytes = *parsed;
    } else if (!args[i].empty() && args[i][0] != '-') {
      input = args[i];
    } else {
      return Usage();
    }
  }
  if (output.empty()) return Usage();
  velmo::fileio::RequireRegularFile(input, "SoundFont");
  const std::filesystem::path inputs[] = {input};
  velmo::fileio::RefuseSameFile(output, inputs);
  const auto started = std::chrono::steady_clock::now();
  const std::vector<uint8_t> fileBytes = velmo::ReadWholeFile(input);
  const velmo::SoundFont font = velmo::ParseSoundFont(fileBytes);
  velmo::BuildSummary summary;
  const velmo::BuildProgress progress =
      isatty(STDERR_FILENO) ? velmo::BuildProgress(ShowProgress) : velmo::BuildProgress();
  const std::vector<uint8_t> image = velmo::BuildBank(font, maxBytes, summary, progress);
  velmo::fileio::AtomicOutputFile out(output);
  out.Write(image);
  out.Commit();
  for (const std::string& warning : summary.warnings)
    std::cerr << "velmo-bank: " << velmo::fileio::EscapeForTerminal(warning) << "\n";
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::cout << velmo::fileio::EscapeForTerminal(output) << ": " << summary.programs << " programs, "
            << summary.drumKeys << " drum keys, " << summary.regions << " regions, "
            << summary.waves << " waves, " << summary.bytes << " bytes (" << seconds << " s)\n";
  return 0;
}

int Info(const std::vector<std::string>& args) {
  std::string path;
  bool json = false;
  for (const std::string& arg : args) {
    if (arg == "--json") {
      json = true;
    } else if (path.empty() && !arg.empty() && arg[0] != '-') {
      path = arg;
    } else {
      return Usage();
    }
  }
  if (path.empty()) return Usage();
  // The engine's loader decides whether the image is usable at all.
  {
    std::ifstream image(path, std::ios::binary);
    velmo::fileio::RequireRegularFile(path, "bank image");
    if (!image) throw velmo::SoundFontError("cannot open '" + path + "'");
    auto bank = std::make_unique<velmo::SoundBank>();
    try {
      velmo::LoadSoundBank(*bank, image);
    } catch (const velmo::BankLoadError& error) {
      std::cerr << "velmo-bank: the loader rejects '" << velmo::fileio::EscapeForTerminal(path)
                << "' (section " << error.section() << ", byte offset " << error.offset()
                << "): " << error.what() << "\n";
      return 1;
    }
  }
  const std::vector<uint8_t> bytes = velmo::ReadWholeFile(path);
  velmo::ImageLayout layout;
  const velmo::BankImage image = velmo::ParseBankImage(bytes, &layout);
  const velmo::BankReport report = velmo::InspectBank(image, layout);
  std::cout << (json ? velmo::FormatReportJson(report) : velmo::FormatReportText(report));
  return report.problems.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  const std::vector<std::string> args(argv + 2, argv + argc);
  try {
    if (command == "build") return Build(args);
    if (command == "info") return Info(args);
  } catch (const std::exception& error) {
    std::cerr << "velmo-bank: " << velmo::fileio::EscapeForTerminal(error.what()) << "\n";
    return 1;
  }
  return Usage();
}
