#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace velmo {

// Counts of adjacent byte pairs in one block being packed: an open-addressing
// hash table of 8192 slots, each holding a (left, right) pair and a saturating
// u8 count. A slot with count 0 is free; a pair that was replaced keeps count 1
// so that probes run past it. Looking a pair up claims a free slot for it.
class VRXPairCounts {
 public:
  static constexpr std::uint32_t kSlotCount = 8192;

  struct Slot {
    std::uint8_t left;
    std::uint8_t right;
    std::uint8_t count;
  };

  VRXPairCounts() { Reset(); }

  // Frees every slot (the pair bytes of free slots do not matter).
  void Reset();

  // Adds one to the pair's count unless it is 255.
  void Increment(std::uint8_t left, std::uint8_t right);
  // Takes one from the pair's count when it is above 1.
  void Decrement(std::uint8_t left, std::uint8_t right);
  // Sets the count of a pair that has been replaced to 1.
  void MarkReplaced(std::uint8_t left, std::uint8_t right);

  Slot SlotAt(std::uint32_t index) const { return {left_[index], right_[index], counts_[index]}; }

  // The highest count of any slot (0 when all are free).
  std::uint8_t HighestCount() const;
  // The first slot, in index order, holding `count`; kSlotCount when none does.
  std::uint32_t FirstSlotWithCount(std::uint8_t count) const;

  // Lookups that probed all slots without finding their pair or a free slot;
  // such a lookup claims nothing and its update is dropped.
  std::uint32_t FullTableLookups() const { return full_table_lookups_; }

 private:
  // The slot holding the pair, or the first free slot on its probe path (now
  // claimed for it); none when every slot holds another pair.
  std::optional<std::uint32_t> Lookup(std::uint8_t left, std::uint8_t right);

  void SetCount(std::uint32_t index, std::uint8_t count);

  // Kept apart so that the search for a count runs over counts alone.
  std::array<std::uint8_t, kSlotCount> left_ = {};
  std::array<std::uint8_t, kSlotCount> right_ = {};
  std::array<std::uint8_t, kSlotCount> counts_ = {};
  // How many slots hold each count, for finding the highest count quickly.
  std::array<std::uint32_t, 256> slots_with_count_ = {};
  std::uint32_t full_table_lookups_ = 0;
};

}  // namespace velmo
