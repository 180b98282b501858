#include "archive/vrx_pair_counts.h"

#include <cstring>

namespace velmo {

void VRXPairCounts::Reset() {
  counts_.fill(0);
  slots_with_count_.fill(0);
  slots_with_count_[0] = kSlotCount;
}

std::optional<std::uint32_t> VRXPairCounts::Lookup(std::uint8_t left, std::uint8_t right) {
  constexpr std::uint32_t kIndexMask = kSlotCount - 1;
  std::uint32_t index = (left ^ (static_cast<std::uint32_t>(right) << 5)) & kIndexMask;
  for (std::uint32_t probed = 0; probed < kSlotCount; ++probed) {
    if ((left_[index] == left && right_[index] == right) || counts_[index] == 0) {
      left_[index] = left;
      right_[index] = right;
      return index;
    }
    index = (index + 1) & kIndexMask;
  }
  ++full_table_lookups_;
  return std::nullopt;
}

void VRXPairCounts::SetCount(std::uint32_t index, std::uint8_t count) {
  --slots_with_count_[counts_[index]];
  ++slots_with_count_[count];
  counts_[index] = count;
}

std::uint8_t VRXPairCounts::HighestCount() const {
  std::uint32_t count = 255;
  while (count > 0 && slots_with_count_[count] == 0)
    --count;
  return static_cast<std::uint8_t>(count);
}

std::uint32_t VRXPairCounts::FirstSlotWithCount(std::uint8_t count) const {
  const void* const found = std::memchr(counts_.data(), count, counts_.size());
  return found != nullptr
             ? static_cast<std::uint32_t>(static_cast<const std::uint8_t*>(found) - counts_.data())
             : kSlotCount;
}

void VRXPairCounts::Increment(std::uint8_t left, std::uint8_t right) {
  if (const auto index = Lookup(left, right)) {
    if (counts_[*index] < 255) SetCount(*index, static_cast<std::uint8_t>(counts_[*index] + 1));
  }
}

void VRXPairCounts::Decrement(std::uint8_t left, std::uint8_t right) {
  if (const auto index = Lookup(left, right)) {
    if (counts_[*index] > 1) SetCount(*index, static_cast<std::uint8_t>(counts_[*index] - 1));
  }
}

void VRXPairCounts::MarkReplaced(std::uint8_t left, std::uint8_t right) {
  if (const auto index = Lookup(left, right)) SetCount(*index, 1);
}

}  // namespace velmo
