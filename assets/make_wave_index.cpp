// Build step: reads a bank image, checks it as the engine's loader does, and writes a C++ source
// defining BuiltinBankWaveIndex(), where the image's wave blocks lie. With it the built-in bank
// loads without walking its wave section.
//
//   make_wave_index IMAGE OUTPUT.cpp
#include <cstdio>
#include <exception>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "synth/sound_bank.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_wave_index IMAGE OUTPUT.cpp\n");
    return 2;
  }
  try {
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) throw std::runtime_error(std::string("cannot open ") + argv[1]);
    const std::vector<uint8_t> image{std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>()};
    const velmo::WaveSectionIndex index = velmo::IndexWaveSection(image);

    std::string text =
        "// Made by make_wave_index from the built-in bank image at build time.\n"
        "#include \"assets/builtin_bank.h\"\n\n"
        "namespace velmo {\n\n"
        "const WaveSectionIndex& BuiltinBankWaveIndex() {\n"
        "  static constexpr WaveSectionIndex kIndex{" +
        std::to_string(index.count) + ", " + std::to_string(index.sectionEnd) + ", {{\n";
    for (size_t slot = 0; slot < index.blockOffset.size(); ++slot) {
      text += (slot % 8 == 0 ? "      " : " ") + std::to_string(index.blockOffset[slot]) + ",";
      if (slot % 8 == 7 || slot + 1 == index.blockOffset.size()) text += "\n";
    }
    text += "  }}};\n  return kIndex;\n}\n\n}  // namespace velmo\n";

    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) throw std::runtime_error(std::string("cannot write ") + argv[2]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "make_wave_index: %s\n", error.what());
    return 1;
  }
  return 0;
}
