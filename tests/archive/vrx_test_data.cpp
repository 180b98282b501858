#include "tests/archive/vrx_test_data.h"

#include <cmath>
#include <random>
#include <string>

namespace velmo::test {

std::vector<std::uint8_t> TextData(std::size_t size) {
  const std::string text =
      "The quick brown fox jumps over the lazy dog; pack my box with five dozen liquor jugs. "
      "いろはにほへと ちりぬるを わかよたれそ つねならむ。 "
      "Waves are loaded from archives by their ID, and each entry is packed block by block.\n";
  std::vector<std::uint8_t> out;
  out.reserve(size);
  for (std::size_t i = 0; out.size() < size; ++i) {
    out.push_back(static_cast<std::uint8_t>(text[i % text.size()]));
  }
  return out;
}

std::vector<std::uint8_t> PcmData(std::size_t size) {
  std::vector<std::uint8_t> out;
  out.reserve(size + 1);
  for (std::size_t frame = 0; out.size() < size; ++frame) {
    const double t = static_cast<double>(frame) / 22050.0;
    const double envelope = std::exp(-1.5 * t);
    const double value = 9000.0 * envelope *
                         (std::sin(2 * M_PI * 440.0 * t) + 0.3 * std::sin(2 * M_PI * 1320.0 * t));
    const auto sample = static_cast<std::int16_t>(std::lround(value));
    out.push_back(static_cast<std::uint8_t>(sample & 0xFF));
    out.push_back(static_cast<std::uint8_t>((sample >> 8) & 0xFF));
  }
  out.resize(size);
  return out;
}

std::vector<std::uint8_t> RandomData(std::size_t size, std::uint32_t seed) {
  std::mt19937 engine(seed);
  std::vector<std::uint8_t> out(size);
  for (auto& byte : out)
    byte = static_cast<std::uint8_t>(engine() >> 24);
  return out;
}

std::vector<std::uint8_t> AllByteValues(std::size_t size) {
  std::vector<std::uint8_t> out(size);
  for (std::size_t i = 0; i < size; ++i)
    out[i] = static_cast<std::uint8_t>(i);
  return out;
}

std::vector<std::uint8_t> SlotFillingBlock() {
  // A de Bruijn sequence over 96 symbols holds every pair of them once, so its
  // first 7992 bytes count nearly 8000 distinct pairs. The pair (1, 2), put
  // between the symbols every 80 bytes, is the one pair counted often enough
  // to be replaced; replacing it adds a new pair on each side of every
  // occurrence, and those no longer fit.
  constexpr std::uint32_t kSymbols = 96;
  constexpr std::uint8_t kFirstSymbol = 10;
  std::vector<std::uint8_t> de_bruijn;
  for (std::uint32_t i = 0; i < kSymbols; ++i) {
    de_bruijn.push_back(static_cast<std::uint8_t>(kFirstSymbol + i));
    for (std::uint32_t j = i + 1; j < kSymbols; ++j) {
      de_bruijn.push_back(static_cast<std::uint8_t>(kFirstSymbol + i));
      de_bruijn.push_back(static_cast<std::uint8_t>(kFirstSymbol + j));
    }
  }
  std::vector<std::uint8_t> block;
  for (std::size_t i = 0; block.size() < 8192; ++i) {
    if (i > 0 && i % 80 == 0) {
      block.push_back(1);
      block.push_back(2);
    }
    block.push_back(de_bruijn[i]);
  }
  block.resize(8192);
  return block;
}

}  // namespace velmo::test
