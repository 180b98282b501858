#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "archive/vrx_pair_counts.h"
#include "archive/vrx_pair_table.h"

namespace velmo {

// Packs one block at a time; PackVRXData drives it over the whole input.
class VRXBlockPacker {
 public:
  static constexpr std::uint32_t kBlockSize = 8192;
  static constexpr std::uint32_t kMaxDistinctBytes = 200;
  static constexpr std::uint8_t kMinPairCount = 3;

  // Fills the block from source[pos...], advancing pos, then substitutes pairs
  // and appends the packed block to out.
  void PackBlock(std::span<const std::uint8_t> source, std::size_t& pos,
                 std::vector<std::uint8_t>& out);

  const VRXPairCounts& PairCounts() const { return pair_counts_; }

 private:
  void Fill(std::span<const std::uint8_t> source, std::size_t& pos);
  void Substitute();
  // The highest literal code below `below` whose byte value is not in the block, or -1.
  std::int32_t NextFreeCode(std::int32_t below) const;
  void ReplacePair(std::uint8_t left, std::uint8_t right, std::uint8_t code);

  VRXPairCounts pair_counts_;
  VRXPairTable table_;
  std::array<bool, 256> used_ = {};
  std::array<std::uint8_t, kBlockSize> block_ = {};
  std::uint32_t size_ = 0;
};

}  // namespace velmo
