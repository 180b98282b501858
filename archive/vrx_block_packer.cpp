#include "archive/vrx_block_packer.h"

#include <algorithm>
#include <cstring>

#include "archive/vrx_bytes.h"

namespace velmo {

void VRXBlockPacker::PackBlock(std::span<const std::uint8_t> source, std::size_t& pos,
                               std::vector<std::uint8_t>& out) {
  Fill(source, pos);
  Substitute();
  WriteVRXPairTable(table_, out);
  std::array<std::uint8_t, 4> length = {};
  WriteU32LE(length.data(), size_);
  out.insert(out.end(), length.begin(), length.end());
  out.insert(out.end(), block_.begin(), block_.begin() + size_);
}

void VRXBlockPacker::Fill(std::span<const std::uint8_t> source, std::size_t& pos) {
  pair_counts_.Reset();
  table_ = VRXPairTable();
  used_.fill(false);
  size_ = 0;
  std::uint32_t distinct = 0;
  while (size_ < kBlockSize && distinct < kMaxDistinctBytes && pos < source.size()) {
    const std::uint8_t byte = source[pos++];
    if (size_ > 0) pair_counts_.Increment(block_[size_ - 1], byte);
    block_[size_++] = byte;
    if (!used_[byte]) {
      used_[byte] = true;
      ++distinct;
    }
  }
}

std::int32_t VRXBlockPacker::NextFreeCode(std::int32_t below) const {
  for (std::int32_t code = below - 1; code >= 0; --code) {
    if (table_.IsLiteral(static_cast<std::uint32_t>(code)) && !used_[code]) return code;
  }
  return -1;
}

void VRXBlockPacker::Substitute() {
  std::int32_t code = 256;
  for (;;) {
    code = NextFreeCode(code);
    if (code < 0) return;

    // The first slot holding the highest count wins.
    const std::uint8_t best = pair_counts_.HighestCount();
    if (best < kMinPairCount) return;
    const VRXPairCounts::Slot slot = pair_counts_.SlotAt(pair_counts_.FirstSlotWithCount(best));
    const std::uint8_t left = slot.left;
    const std::uint8_t right = slot.right;

    const auto pair_code = static_cast<std::uint8_t>(code);
    ReplacePair(left, right, pair_code);
    table_.Left[pair_code] = left;
    table_.Right[pair_code] = right;
    pair_counts_.MarkReplaced(left, right);
  }
}

void VRXBlockPacker::ReplacePair(std::uint8_t left, std::uint8_t right, std::uint8_t code) {
  if (size_ < 2) return;  // counts can outlive the pairs they counted
  // The pair's last possible start; `read` runs ahead of `write` by the number
  // of pairs replaced so far, so block_[write - 1] is the byte already written.
  const std::uint32_t last_start = size_ - 1;
  std::uint32_t write = 0;
  std::uint32_t read = 0;
  while (read < last_start) {
    // Bytes up to the next `left` are only moved down over replaced pairs.
    const void* const hit = std::memchr(&block_[read], left, last_start - read);
    const std::uint32_t next =
        hit != nullptr
            ? static_cast<std::uint32_t>(static_cast<const std::uint8_t*>(hit) - block_.data())
            : last_start;
    if (write != read) std::memmove(&block_[write], &block_[read], next - read);
    write += next - read;
    read = next;
    if (read == last_start) break;
    if (block_[read + 1] != right) {
      block_[write++] = block_[read++];
      continue;
    }
    if (read > 0) {
      const std::uint8_t predecessor = block_[write - 1];
      pair_counts_.Decrement(predecessor, left);
      pair_counts_.Increment(predecessor, code);
    }
    if (read + 1 < last_start) {
      const std::uint8_t following = block_[read + 2];
      pair_counts_.Decrement(right, following);
      pair_counts_.Increment(code, following);
    }
    block_[write++] = code;
    read += 2;
    --size_;
  }
  if (read == last_start) block_[write] = block_[read];
}

}  // namespace velmo
