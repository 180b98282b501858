#include <algorithm>
#include <array>
#include <string>

#include "archive/vrx_bytes.h"
#include "archive/vrx_error.h"
#include "archive/vrx_pack.h"
#include "archive/vrx_pair_table.h"

namespace velmo {

namespace {

constexpr std::uint32_t kStackSize = 256;
// A packer fills a block from at most this many source bytes.
constexpr std::uint32_t kMaxBlockOutput = 8192;

[[noreturn]] void RaiseCorrupt(const std::string& what) {
  throw EVRXError("VRX packed data is corrupt: " + what);
}

// Stack bytes needed to expand each code, as the expansion loop uses its stack:
// a pair code pops itself and pushes its right then its left code. Rejects a
// table whose codes refer to themselves, directly or through other codes, and
// one that would need more than kStackSize bytes.
class StackNeeds {
 public:
  explicit StackNeeds(const VRXPairTable& table) : table_(table) {
    for (std::uint32_t code = 0; code < 256; ++code) {
      Need(static_cast<std::uint8_t>(code));
    }
  }

 private:
  enum class State : std::uint8_t { kUnvisited, kVisiting, kDone };

  std::uint32_t Need(std::uint8_t code) {
    if (state_[code] == State::kDone) return need_[code];
    if (table_.IsLiteral(code)) {
      state_[code] = State::kDone;
      need_[code] = 0;
      return 0;
    }
    if (state_[code] == State::kVisiting) RaiseCorrupt("a pair table refers to itself");
    state_[code] = State::kVisiting;
    // Nesting is bounded by the 256 codes, so this recursion is too.
    const std::uint32_t left = Need(table_.Left[code]);
    const std::uint32_t right = Need(table_.Right[code]);
    std::uint32_t need = 2;
    if (1 + left > need) need = 1 + left;
    if (right > need) need = right;
    if (need > kStackSize) RaiseCorrupt("pairs nest deeper than the expansion stack");
    state_[code] = State::kDone;
    need_[code] = need;
    return need;
  }

  const VRXPairTable& table_;
  std::array<State, 256> state_ = {};
  std::array<std::uint32_t, 256> need_ = {};
};

void CheckStackNeeds(const VRXPairTable& table) {
  StackNeeds{table};
}

// Expands one block's packed bytes into `out` (emptied first): at most kMaxBlockOutput bytes,
// and at most `limit`, what is left of the unpacked size. Each pair code is expanded once per
// block; later uses copy its bytes from where they first came out, so the work is linear in
// the output however the pairs nest.
class BlockExpander {
 public:
  BlockExpander(const VRXPairTable& table, std::size_t limit, std::vector<std::uint8_t>& out)
      : table_(table),
        limit_(limit),
        block_limit_(std::min<std::size_t>(limit, kMaxBlockOutput)),
        out_(out) {
    out_.resize(block_limit_);
  }

  void Expand(std::span<const std::uint8_t> packed) {
    for (const std::uint8_t code : packed)
      Code(code, 0);
    out_.resize(size_);
  }

 private:
  struct Expansion {
    std::uint32_t start = 0;
    std::uint32_t length = 0;  // 0 = not expanded yet in this block
  };

  void Code(std::uint8_t code, std::uint32_t depth) {
    if (table_.IsLiteral(code)) {
      Reserve(1);
      out_[size_++] = code;
      return;
    }
    const Expansion known = expansions_[code];
    if (known.length > 0) {
      Reserve(known.length);
      std::copy_n(out_.begin() + known.start, known.length, out_.begin() + size_);
      size_ += known.length;
      return;
    }
    // StackNeeds has bounded the nesting; this guards the recursion regardless.
    if (depth >= kStackSize) RaiseCorrupt("pairs nest deeper than the expansion stack");
    const std::size_t start = size_;
    Code(table_.Left[code], depth + 1);
    Code(table_.Right[code], depth + 1);
    expansions_[code] = {static_cast<std::uint32_t>(start),
                         static_cast<std::uint32_t>(size_ - start)};
  }

  void Reserve(std::size_t bytes) {
    if (bytes > block_limit_ - size_) {
      RaiseCorrupt(block_limit_ >= limit_ ? "it expands past its unpacked size"
                                          : "a block expands past 8192 bytes");
    }
  }

  const VRXPairTable& table_;
  const std::size_t limit_;
  const std::size_t block_limit_;
  std::vector<std::uint8_t>& out_;
  std::size_t size_ = 0;
  std::array<Expansion, 256> expansions_ = {};
};

void ExpandBlock(const VRXPairTable& table, std::span<const std::uint8_t> packed, std::size_t limit,
                 std::vector<std::uint8_t>& out) {
  BlockExpander(table, limit, out).Expand(packed);
}

}  // namespace

void UnpackVRXDataTo(std::span<const std::uint8_t> packed, std::uint32_t unpacked_size,
                     const VRXByteSink& sink) {
  std::vector<std::uint8_t> block;
  block.reserve(kMaxBlockOutput);
  std::uint64_t total = 0;
  std::size_t pos = 0;
  while (pos < packed.size()) {
    const VRXPairTable table = ReadVRXPairTable(packed, pos);
    if (packed.size() - pos < 4) {
      throw EVRXError("VRX packed data is truncated: a block ends in its length");
    }
    const std::uint32_t length = ReadU32LE(packed.data() + pos);
    pos += 4;
    if (length > packed.size() - pos) {
      throw EVRXError("VRX packed data is truncated: a block of " + std::to_string(length) +
                      " bytes runs past the end of the entry");
    }
    CheckStackNeeds(table);
    ExpandBlock(table, packed.subspan(pos, length), unpacked_size - total, block);
    total += block.size();
    if (!block.empty()) sink(block);
    pos += length;
  }
  if (total != unpacked_size) {
    throw EVRXError("VRX packed data is truncated: it expands to " + std::to_string(total) +
                    " bytes instead of " + std::to_string(unpacked_size));
  }
}

std::vector<std::uint8_t> UnpackVRXData(std::span<const std::uint8_t> packed,
                                        std::uint32_t unpacked_size) {
  std::vector<std::uint8_t> out;
  // Grow with the output rather than trusting the declared size up front.
  out.reserve(std::min<std::size_t>(unpacked_size, packed.size() * 16 + kMaxBlockOutput));
  UnpackVRXDataTo(packed, unpacked_size, [&](std::span<const std::uint8_t> bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
  });
  return out;
}

}  // namespace velmo
