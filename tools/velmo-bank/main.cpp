// velmo-bank: builds the synthesizer's sound bank image from a SoundFont and inspects images.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "bankbuilder/bank_builder.h"
#include "bankbuilder/bank_image.h"
#include "bankbuilder/bank_info.h"
#include "bankbuilder/soundfont.h"
#include "synth/sound_bank.h"

namespace {

constexpr const char* kDefaultSoundFont = "/usr/share/sounds/sf2/FluidR3_GM.sf2";

int Usage() {
  std::cerr << "usage: velmo-bank build [SF2] -o FILE [--max-bytes N]\n"
               "       velmo-bank info FILE [--json]\n";
  return 2;
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
      try {
        maxBytes = std::stoul(args[++i]);
      } catch (const std::exception&) {
        std::cerr << "velmo-bank: --max-bytes needs a number\n";
        return 2;
      }
    } else if (!args[i].empty() && args[i][0] != '-') {
      input = args[i];
    } else {
      return Usage();
    }
  }
  if (output.empty()) return Usage();
  const auto started = std::chrono::steady_clock::now();
  const std::vector<uint8_t> fileBytes = velmo::ReadWholeFile(input);
  const velmo::SoundFont font = velmo::ParseSoundFont(fileBytes);
  velmo::BuildSummary summary;
  const velmo::BuildProgress progress =
      isatty(STDERR_FILENO) ? velmo::BuildProgress(ShowProgress) : velmo::BuildProgress();
  const std::vector<uint8_t> image = velmo::BuildBank(font, maxBytes, summary, progress);
  std::ofstream out(output, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(image.data()),
            static_cast<std::streamsize>(image.size()));
  out.close();
  if (!out) {
    std::cerr << "velmo-bank: cannot write '" << output << "'\n";
    return 1;
  }
  for (const std::string& warning : summary.warnings)
    std::cerr << "velmo-bank: " << warning << "\n";
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::cout << output << ": " << summary.programs << " programs, " << summary.drumKeys
            << " drum keys, " << summary.regions << " regions, " << summary.waves << " waves, "
            << summary.bytes << " bytes (" << seconds << " s)\n";
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
    if (!image) throw velmo::SoundFontError("cannot open '" + path + "'");
    auto bank = std::make_unique<velmo::SoundBank>();
    try {
      velmo::LoadSoundBank(*bank, image);
    } catch (const velmo::BankLoadError& error) {
      std::cerr << "velmo-bank: the loader rejects '" << path << "' (section " << error.section()
                << ", byte offset " << error.offset() << "): " << error.what() << "\n";
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
    std::cerr << "velmo-bank: " << error.what() << "\n";
    return 1;
  }
  return Usage();
}
