#include "archive/vrx_pair_counts.h"

namespace velmo {

void VRXPairCounts::Reset() {
  for (Slot& slot : slots_)
    slot.count = 0;
}

std::optional<std::uint32_t> VRXPairCounts::Lookup(std::uint8_t left, std::uint8_t right) {
  constexpr std::uint32_t kIndexMask = kSlotCount - 1;
  std::uint32_t index = (left ^ (static_cast<std::uint32_t>(right) << 5)) & kIndexMask;
  for (std::uint32_t probed = 0; probed < kSlotCount; ++probed) {
    Slot& slot = slots_[index];
    if ((slot.left == left && slot.right == right) || slot.count == 0) {
      slot.left = left;
      slot.right = right;
      return index;
    }
    index = (index + 1) & kIndexMask;
  }
  ++full_table_lookups_;
  return std::nullopt;
}

void VRXPairCounts::Increment(std::uint8_t left, std::uint8_t right) {
  if (const auto index = Lookup(left, right)) {
    if (slots_[*index].count < 255) ++slots_[*index].count;
  }
}

void VRXPairCounts::Decrement(std::uint8_t left, std::uint8_t right) {
  if (const auto index = Lookup(left, right)) {
    if (slots_[*index].count > 1) --slots_[*index].count;
  }
}

void VRXPairCounts::MarkReplaced(std::uint8_t left, std::uint8_t right) {
  if (const auto index = Lookup(left, right)) slots_[*index].count = 1;
}

}  // namespace velmo
