// The exported wave slot functions over TheEngine().bank.
#include "synth/velmo_wave_api.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "synth/engine.h"

namespace velmo {
namespace {

constexpr int32_t kImageHeaderBytes = VELMO_WAVE_IMAGE_HEADER_BYTES;

bool SlotInRange(int slot) {
  return slot >= 0 && slot < kWaveSlotCapacity;
}

uint16_t ReadU16(const uint8_t* bytes) {
  return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

// A new block of `size` bytes whose header is the image's first 8 bytes with the size word
// replaced; null when it cannot be allocated.
std::unique_ptr<uint8_t[]> NewBlock(const uint8_t* image, uint16_t size) {
  std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[size]);
  if (block == nullptr) return nullptr;
  std::memcpy(block.get(), image, kWaveHeaderBytes);
  block[0] = static_cast<uint8_t>(size & 0xFF);
  block[1] = static_cast<uint8_t>(size >> 8);
  return block;
}

// The image's total length when the call is acceptable, else -1.
int32_t AcceptedLength(int slot, const void* data) {
  if (!SlotInRange(slot) || data == nullptr) return -1;
  const int32_t total = ReadU16(static_cast<const uint8_t*>(data));
  return total >= kImageHeaderBytes ? total : -1;
}

}  // namespace
}  // namespace velmo

extern "C" void VelmoWaveFree(int slot) {
  if (!velmo::SlotInRange(slot)) return;
  velmo::TheEngine().bank.WaveSlots[static_cast<size_t>(slot)].reset();
}

extern "C" void VelmoWaveLoad(int slot, const void* data) {
  const int32_t total = velmo::AcceptedLength(slot, data);
  if (total < 0) return;
  const auto* image = static_cast<const uint8_t*>(data);
  const int32_t frames = (total - velmo::kImageHeaderBytes) / 2;
  std::unique_ptr<uint8_t[]> block =
      velmo::NewBlock(image, static_cast<uint16_t>(frames + velmo::kWaveHeaderBytes));
  if (block == nullptr) return;
  const uint8_t* samples = image + velmo::kImageHeaderBytes;
  for (int32_t i = 0; i < frames; ++i) {
    const auto sample = static_cast<int16_t>(velmo::ReadU16(samples + 2 * i));
    const int32_t narrowed = std::clamp(sample >> 7, -128, 127);
    block[static_cast<size_t>(velmo::kWaveHeaderBytes + i)] = static_cast<uint8_t>(narrowed);
  }
  velmo::TheEngine().bank.WaveSlots[static_cast<size_t>(slot)] =
      velmo::OwnedWaveBlock(std::move(block));
}

extern "C" void VelmoWaveLoad2(int slot, const void* data) {
  const int32_t total = velmo::AcceptedLength(slot, data);
  if (total < 0) return;
  const auto* image = static_cast<const uint8_t*>(data);
  const auto size =
      static_cast<uint16_t>(total - (velmo::kImageHeaderBytes - velmo::kWaveHeaderBytes));
  std::unique_ptr<uint8_t[]> block = velmo::NewBlock(image, size);
  if (block == nullptr) return;
  std::memcpy(block.get() + velmo::kWaveHeaderBytes, image + velmo::kImageHeaderBytes,
              size - static_cast<size_t>(velmo::kWaveHeaderBytes));
  velmo::TheEngine().bank.WaveSlots[static_cast<size_t>(slot)] =
      velmo::OwnedWaveBlock(std::move(block));
}

extern "C" int VelmoWaveSlotSize(int slot) {
  if (!velmo::SlotInRange(slot)) return -1;
  const velmo::WaveBlock& block = velmo::TheEngine().bank.WaveSlots[static_cast<size_t>(slot)];
  return block == nullptr ? 0 : velmo::WaveBlockSize(block.get());
}
