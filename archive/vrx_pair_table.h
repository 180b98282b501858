#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace velmo {

// What each byte value stands for in one packed block: a code c is a literal
// when Left[c] == c, otherwise it stands for the pair (Left[c], Right[c]).
struct VRXPairTable {
  std::array<std::uint8_t, 256> Left;
  std::array<std::uint8_t, 256> Right;

  VRXPairTable();
  bool IsLiteral(std::uint32_t code) const { return Left[code] == code; }
};

// Appends the table as runs of literal codes and runs of entries.
void WriteVRXPairTable(const VRXPairTable& table, std::vector<std::uint8_t>& out);

// Reads a table written by WriteVRXPairTable from in[pos...], advancing pos.
// Raises EVRXError when the bytes end inside the table or a run passes code 255.
VRXPairTable ReadVRXPairTable(std::span<const std::uint8_t> in, std::size_t& pos);

}  // namespace velmo
