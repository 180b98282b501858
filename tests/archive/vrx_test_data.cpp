#include "tests/archive/vrx_test_data.h"

#include <cmath>
#include <random>
#include <string>

namespace velmo::test {

std::vector<std::uint8_t> TextData(std::size_t size) {
  // Sentences of words drawn from a fixed seed, with a Japanese line now and then.
  const char* const words[] = {
      "the",    "wave",   "archive", "entry", "packed", "block", "pair",    "table",
      "sound",  "bank",   "voice",   "note",  "key",    "loop",  "channel", "program",
      "of",     "and",    "is",      "in",    "a",      "with",  "from",    "by",
      "loaded", "stored", "plays",   "every", "each",   "fades", "while",   "quick",
      "brown",  "fox",    "jumps",   "over",  "lazy",   "dog",   "volume",  "pitch"};
  const std::string japanese = "いろはにほへと ちりぬるを わかよたれそ つねならむ。\n";
  std::mt19937 engine(42);
  std::string text;
  while (text.size() < size) {
    const std::uint32_t length = 4 + engine() % 12;
    for (std::uint32_t i = 0; i < length; ++i) {
      std::string word = words[engine() % std::size(words)];
      if (i == 0) word[0] = static_cast<char>(word[0] - 'a' + 'A');
      text += word;
      text += (i + 1 < length) ? " " : ". ";
    }
    if (engine() % 8 == 0) text += "\n";
    if (engine() % 16 == 0) text += japanese;
  }
  return std::vector<std::uint8_t>(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(size));
}

namespace {

// Notes of half a second each, struck and decaying, peaking near 0.8 of full scale.
double NoteSample(std::size_t frame) {
  constexpr double kRate = 22050.0;
  constexpr double kNoteSeconds = 0.5;
  const double pitches[] = {261.63, 329.63, 392.0, 523.25, 440.0, 349.23, 293.66, 246.94};
  const double t = static_cast<double>(frame) / kRate;
  const auto note = static_cast<std::size_t>(t / kNoteSeconds);
  const double since_strike = t - static_cast<double>(note) * kNoteSeconds;
  const double pitch = pitches[note % std::size(pitches)];
  const double envelope = std::exp(-4.0 * since_strike);
  return 0.6 * envelope * (std::sin(2 * M_PI * pitch * t) + 0.3 * std::sin(6 * M_PI * pitch * t));
}

}  // namespace

std::vector<std::uint8_t> PcmData(std::size_t size) {
  // 16-bit samples over a faint noise floor of a few steps.
  std::mt19937 noise(99);
  std::vector<std::uint8_t> out;
  out.reserve(size + 1);
  for (std::size_t frame = 0; out.size() < size; ++frame) {
    const double value = 32767.0 * NoteSample(frame) + static_cast<double>(noise() % 7) - 3.0;
    const auto sample = static_cast<std::int16_t>(std::lround(value));
    out.push_back(static_cast<std::uint8_t>(sample & 0xFF));
    out.push_back(static_cast<std::uint8_t>((sample >> 8) & 0xFF));
  }
  out.resize(size);
  return out;
}

std::vector<std::uint8_t> Pcm8Data(std::size_t size) {
  std::vector<std::uint8_t> out(size);
  for (std::size_t frame = 0; frame < size; ++frame) {
    const auto sample = static_cast<std::int8_t>(std::lround(127.0 * NoteSample(frame)));
    out[frame] = static_cast<std::uint8_t>(sample);
  }
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
