#include "archive/vrx_pair_table.h"

#include "archive/vrx_error.h"

namespace velmo {

namespace {

constexpr std::uint32_t kCodeCount = 256;
constexpr std::uint32_t kMaxLiteralRun = 127;
constexpr std::uint32_t kMaxEntryRunExtra = 127;
constexpr std::uint32_t kMaxBridgedEntryRunExtra = 125;

void WriteEntry(const VRXPairTable& table, std::uint32_t code, std::vector<std::uint8_t>& out) {
  out.push_back(table.Left[code]);
  if (!table.IsLiteral(code)) out.push_back(table.Right[code]);
}

std::uint8_t NextByte(std::span<const std::uint8_t> in, std::size_t& pos) {
  if (pos >= in.size())
    throw EVRXError("VRX packed data is truncated: a block ends in its pair table");
  return in[pos++];
}

}  // namespace

VRXPairTable::VRXPairTable() {
  for (std::uint32_t code = 0; code < kCodeCount; ++code) {
    Left[code] = static_cast<std::uint8_t>(code);
    Right[code] = 0;
  }
}

void WriteVRXPairTable(const VRXPairTable& table, std::vector<std::uint8_t>& out) {
  std::uint32_t code = 0;
  while (code < kCodeCount) {
    std::uint32_t extra = 0;  // entries in the run beyond the first
    if (table.IsLiteral(code)) {
      std::uint32_t literals = 1;
      ++code;
      while (literals < kMaxLiteralRun && code < kCodeCount && table.IsLiteral(code)) {
        ++literals;
        ++code;
      }
      out.push_back(static_cast<std::uint8_t>(literals + 127));
      if (code == kCodeCount) break;
    } else {
      // A run of entries may bridge a single literal that a pair code follows.
      ++code;
      while ((extra < kMaxEntryRunExtra && code < kCodeCount && !table.IsLiteral(code)) ||
             (extra < kMaxBridgedEntryRunExtra && code < kCodeCount - 2 &&
              !table.IsLiteral(code + 1))) {
        ++extra;
        ++code;
      }
      out.push_back(static_cast<std::uint8_t>(extra));
      code -= extra + 1;
    }
    for (std::uint32_t i = 0; i <= extra; ++i, ++code)
      WriteEntry(table, code, out);
  }
}

VRXPairTable ReadVRXPairTable(std::span<const std::uint8_t> in, std::size_t& pos) {
  VRXPairTable table;
  std::uint32_t code = 0;
  std::uint32_t count = NextByte(in, pos);
  for (;;) {
    if (count > 127) {
      code += count - 127;
      count = 0;
      if (code > kCodeCount)
        throw EVRXError("VRX packed data is corrupt: a pair table passes code 255");
    }
    if (code == kCodeCount) break;
    for (std::uint32_t i = 0; i <= count; ++i, ++code) {
      if (code == kCodeCount)
        throw EVRXError("VRX packed data is corrupt: a pair table passes code 255");
      table.Left[code] = NextByte(in, pos);
      if (!table.IsLiteral(code)) table.Right[code] = NextByte(in, pos);
    }
    if (code == kCodeCount) break;
    count = NextByte(in, pos);
  }
  return table;
}

}  // namespace velmo
