#include "wave_test_files.h"

#include <unistd.h>

#include <atomic>
#include <fstream>

#include <gtest/gtest.h>

namespace velmo::testing {

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value & 0xFF));
  out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

void PutId(std::vector<uint8_t>& out, const std::string& id) {
  out.insert(out.end(), id.begin(), id.begin() + 4);
}

}  // namespace

std::vector<uint8_t> RiffFile(const std::string& form, const std::vector<Chunk>& chunks) {
  std::vector<uint8_t> body;
  PutId(body, form);
  for (const Chunk& chunk : chunks) {
    PutId(body, chunk.id);
    Put32(body, chunk.declared.value_or(static_cast<uint32_t>(chunk.body.size())));
    body.insert(body.end(), chunk.body.begin(), chunk.body.end());
    // A chunk whose size lies (a truncated file) gets no pad byte.
    if (chunk.body.size() % 2 != 0 && !chunk.declared) body.push_back(0);
  }
  std::vector<uint8_t> file;
  PutId(file, "RIFF");
  Put32(file, static_cast<uint32_t>(body.size()));
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

std::vector<uint8_t> FmtBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                             uint32_t size, uint16_t subFormatTag) {
  std::vector<uint8_t> body;
  const uint16_t blockAlign = static_cast<uint16_t>(channels * bits / 8);
  Put16(body, tag);
  Put16(body, channels);
  Put32(body, rate);
  Put32(body, rate * blockAlign);
  Put16(body, blockAlign);
  Put16(body, bits);
  if (size >= 18) Put16(body, size - 18);
  if (size >= 40) {
    Put16(body, bits);                         // valid bits
    Put32(body, channels == 2 ? 0x3u : 0x4u);  // speaker mask
    Put16(body, subFormatTag);
    const uint8_t suffix[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    body.insert(body.end(), suffix, suffix + 14);
  }
  body.resize(size, 0);
  return body;
}

std::vector<uint8_t> PcmBytes(uint32_t frames, uint16_t channels, uint16_t bits, uint32_t seed) {
  std::vector<uint8_t> out;
  uint32_t state = seed * 2654435761u + 1;
  for (uint32_t i = 0; i < frames * channels; ++i) {
    state = state * 1103515245u + 12345u;
    const uint32_t value = state >> 16;
    if (bits == 8) {
      out.push_back(static_cast<uint8_t>(value));
    } else {
      Put16(out, value);
    }
  }
  return out;
}

std::vector<uint8_t> PcmWave(uint16_t channels, uint32_t rate, uint16_t bits,
                             const std::vector<uint8_t>& data, uint32_t fmtSize) {
  return RiffFile("WAVE", {{"fmt ", FmtBody(1, channels, rate, bits, fmtSize)}, {"data", data}});
}

void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

TempFolder::TempFolder() {
  static std::atomic<int> serial{0};
  path_ = std::filesystem::path(::testing::TempDir()) /
          ("velmo_wave_" + std::to_string(::getpid()) + "_" + std::to_string(serial++));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace velmo::testing
