#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/vrx_bytes.h"
#include "archive/vrx_error.h"
#include "archive/vrx_pack.h"
#include "archive/vrx_pair_table.h"

namespace velmo {
namespace {

using Bytes = std::vector<std::uint8_t>;

// One block: the table, the u32 length and the packed bytes.
Bytes Block(const VRXPairTable& table, const Bytes& data) {
  Bytes out;
  WriteVRXPairTable(table, out);
  std::uint8_t length[4];
  WriteU32LE(length, static_cast<std::uint32_t>(data.size()));
  out.insert(out.end(), length, length + 4);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

void ExpectCorrupt(const Bytes& packed, std::uint32_t unpacked_size, const std::string& reason) {
  try {
    UnpackVRXData(packed, unpacked_size);
    ADD_FAILURE() << "accepted: " << reason;
  } catch (const EVRXError& error) {
    EXPECT_NE(std::string(error.what()).find(reason), std::string::npos) << error.what();
  }
}

TEST(UnpackVRXData, ExpandsNestedPairsAndConsecutiveBlocks) {
  VRXPairTable table;
  table.Left[255] = 'a';
  table.Right[255] = 'b';
  table.Left[254] = 255;
  table.Right[254] = 'c';
  Bytes packed = Block(table, {254, 'x', 255});
  // The next block's table gives code 255 another meaning.
  VRXPairTable next;
  next.Left[255] = 'y';
  next.Right[255] = 'z';
  const Bytes second = Block(next, {255});
  packed.insert(packed.end(), second.begin(), second.end());
  EXPECT_EQ(UnpackVRXData(packed, 8), (Bytes{'a', 'b', 'c', 'x', 'a', 'b', 'y', 'z'}));
  EXPECT_EQ(UnpackVRXData({}, 0), Bytes{}) << "no blocks, no bytes";
}

TEST(UnpackVRXData, ExpandsTheDeepestNestingItsStackAllows) {
  // Code c stands for (c - 1, 0): code 255 needs all 256 stack bytes.
  VRXPairTable table;
  for (std::uint32_t code = 1; code < 256; ++code) {
    table.Left[code] = static_cast<std::uint8_t>(code - 1);
    table.Right[code] = 0;
  }
  EXPECT_EQ(UnpackVRXData(Block(table, {255}), 256), Bytes(256, 0));
}

TEST(UnpackVRXData, RejectsPairTablesThatReferToThemselves) {
  VRXPairTable direct;
  direct.Left[200] = 'a';
  direct.Right[200] = 200;
  ExpectCorrupt(Block(direct, {'a'}), 1, "refers to itself");

  VRXPairTable through_others;  // 201 -> 202 -> 203 -> 201, never used by the data
  through_others.Left[201] = 202;
  through_others.Left[202] = 203;
  through_others.Left[203] = 201;
  ExpectCorrupt(Block(through_others, {'a'}), 1, "refers to itself");
}

TEST(UnpackVRXData, RejectsTruncatedBlocks) {
  const Bytes whole = PackVRXData(Bytes{'a', 'b', 'c'});
  ExpectCorrupt({0xFE}, 3, "ends in its pair table");
  ExpectCorrupt(Bytes(whole.begin(), whole.begin() + 6), 3, "ends in its length");
  ExpectCorrupt(Bytes(whole.begin(), whole.end() - 1), 3, "runs past the end");
  Bytes huge_length = whole;
  WriteU32LE(huge_length.data() + 4, 0xFFFFFFFF);
  ExpectCorrupt(huge_length, 3, "runs past the end");
}

TEST(UnpackVRXData, RejectsPairTablesRunningPastCode255) {
  // Codes 0 to 254 literal, then a run of two literals.
  ExpectCorrupt({0xFE, 0x7F, 0xFD, 0xFE, 0x81, 0, 0, 0, 0}, 0, "passes code 255");
  // Codes 0 to 254 literal, then a run of two entries.
  ExpectCorrupt({0xFE, 0x7F, 0xFD, 0xFE, 0x01, 0xFF, 0x00, 0, 0, 0, 0}, 0, "passes code 255");
}

TEST(UnpackVRXData, RejectsOutputOfAnotherSizeThanDeclared) {
  const Bytes packed = PackVRXData(Bytes(100, 'z'));
  ExpectCorrupt(packed, 99, "past its unpacked size");
  ExpectCorrupt(packed, 101, "instead of 101");
  EXPECT_EQ(UnpackVRXData(packed, 100), Bytes(100, 'z'));
}

TEST(UnpackVRXData, RejectsBlocksExpandingPast8192Bytes) {
  // Each code doubles the one below it: code 255 stands for 2^14 bytes.
  VRXPairTable table;
  for (std::uint32_t code = 242; code < 256; ++code) {
    table.Left[code] = static_cast<std::uint8_t>(code - 1);
    table.Right[code] = static_cast<std::uint8_t>(code - 1);
  }
  table.Left[241] = 241;
  ExpectCorrupt(Block(table, {255}), 1u << 20, "expands past 8192 bytes");
  EXPECT_EQ(UnpackVRXData(Block(table, {254}), 8192), Bytes(8192, 241));
}

}  // namespace
}  // namespace velmo
