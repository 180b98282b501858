#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "archive/vrx_block_packer.h"
#include "archive/vrx_bytes.h"
#include "archive/vrx_pack.h"
#include "archive/vrx_pair_table.h"
#include "tests/archive/vrx_test_data.h"

namespace velmo {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Repeat(const Bytes& pattern, std::size_t times) {
  Bytes out;
  for (std::size_t i = 0; i < times; ++i)
    out.insert(out.end(), pattern.begin(), pattern.end());
  return out;
}

// The packed length field of every block of a packed stream.
std::vector<std::uint32_t> BlockLengths(const Bytes& packed) {
  std::vector<std::uint32_t> lengths;
  std::size_t pos = 0;
  while (pos < packed.size()) {
    ReadVRXPairTable(packed, pos);
    const std::uint32_t length = ReadU32LE(packed.data() + pos);
    lengths.push_back(length);
    pos += 4 + length;
  }
  return lengths;
}

TEST(PackVRXData, PacksTheKnownExamplesByteForByte) {
  EXPECT_EQ(PackVRXData(Bytes{}), (Bytes{0xFE, 0x7F, 0xFE, 0xFF, 0, 0, 0, 0}));
  EXPECT_EQ(PackVRXData(Bytes{0x61, 0x62, 0x63}),
            (Bytes{0xFE, 0x7F, 0xFE, 0xFF, 3, 0, 0, 0, 0x61, 0x62, 0x63}));
  EXPECT_EQ(PackVRXData(Bytes(6, 0x61)),
            (Bytes{0xFE, 0x7F, 0xFE, 0x61, 0x61, 3, 0, 0, 0, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(PackVRXData(Repeat({0x61, 0x62}, 6)),
            (Bytes{0xFE, 0x7F, 0xFD, 0xFF, 0xFF, 0x00, 0x61, 0x62, 3, 0, 0, 0, 0xFE, 0xFE, 0xFE}));
}

TEST(PackVRXData, SplitsBlocksAt8192BytesAnd200DistinctValues) {
  const Bytes exact = Repeat({1, 2, 3, 4, 5, 6, 7, 8}, 1024);
  EXPECT_EQ(BlockLengths(PackVRXData(exact)).size(), 1u) << "no empty block after a full one";

  Bytes over = exact;
  over.push_back(9);
  const auto over_lengths = BlockLengths(PackVRXData(over));
  ASSERT_EQ(over_lengths.size(), 2u);
  EXPECT_EQ(over_lengths[1], 1u);

  // All 256 values: the first block stops once it has seen 200 of them.
  const auto distinct_lengths = BlockLengths(PackVRXData(test::AllByteValues(256)));
  EXPECT_EQ(distinct_lengths, (std::vector<std::uint32_t>{200, 56}));
}

TEST(PackVRXData, RoundTripsVariedData) {
  struct Case {
    std::string name;
    Bytes data;
  };
  std::vector<Case> cases = {
      {"one byte", {0x42}},
      {"two bytes", {0x42, 0x42}},
      {"text", test::TextData(20000)},
      {"pcm", test::PcmData(30000)},
      {"random", test::RandomData(20000, 7)},
      {"all byte values", test::AllByteValues(5000)},
      {"one value", Bytes(40000, 0)},
      {"slot filling block", test::SlotFillingBlock()},
  };
  for (const std::size_t size : {8191u, 8192u, 8193u, 16383u, 16384u, 16385u, 3 * 8192u + 5}) {
    cases.push_back({"text of " + std::to_string(size), test::TextData(size)});
    cases.push_back({"random of " + std::to_string(size), test::RandomData(size, size)});
  }
  for (const Case& c : cases) {
    const Bytes packed = PackVRXData(c.data);
    EXPECT_EQ(UnpackVRXData(packed, static_cast<std::uint32_t>(c.data.size())), c.data) << c.name;
  }
}

TEST(PackVRXData, CompressesRedundantDataAndBoundsIncompressibleGrowth) {
  const Bytes text = test::TextData(65536);
  EXPECT_LT(PackVRXData(text).size(), text.size() / 2);
  // Random data gains at most a pair table and a length per block.
  const Bytes random = test::RandomData(65536, 3);
  EXPECT_LE(PackVRXData(random).size(), random.size() + 16 * (2 + 4 + 256 * 2));
  // A single value nests pairs to the deepest level and packs tightly.
  EXPECT_LT(PackVRXData(Bytes(8192, 0x55)).size(), 300u);
}

TEST(VRXBlockPacker, EndsWhenEveryPairSlotIsTaken) {
  // Were a lookup allowed to probe on when all 8192 slots hold other pairs,
  // packing this block would never end.
  const Bytes block = test::SlotFillingBlock();
  VRXBlockPacker packer;
  std::size_t pos = 0;
  Bytes packed;
  packer.PackBlock(block, pos, packed);
  EXPECT_EQ(pos, block.size());
  EXPECT_GT(packer.PairCounts().FullTableLookups(), 0u) << "the block must fill every slot";
  EXPECT_EQ(UnpackVRXData(packed, 8192), block);
}

TEST(VRXPairCounts, DropsUpdatesOfPairsThatFindNoSlot) {
  VRXPairCounts counts;
  counts.Reset();
  // (s & 31, s >> 5) hashes to slot s: these 8192 pairs take every slot.
  for (std::uint32_t slot = 0; slot < VRXPairCounts::kSlotCount; ++slot) {
    counts.Increment(static_cast<std::uint8_t>(slot & 31), static_cast<std::uint8_t>(slot >> 5));
  }
  EXPECT_EQ(counts.FullTableLookups(), 0u);
  counts.Increment(200, 0);
  counts.Decrement(200, 0);
  counts.MarkReplaced(200, 0);
  EXPECT_EQ(counts.FullTableLookups(), 3u);
  for (std::uint32_t index = 0; index < VRXPairCounts::kSlotCount; ++index) {
    const auto& slot = counts.SlotAt(index);
    ASSERT_EQ(slot.count, 1) << index;
    ASSERT_EQ(slot.left, index & 31) << "a pair without a slot claimed " << index;
    ASSERT_EQ(slot.right, index >> 5) << "a pair without a slot claimed " << index;
  }
  // Pairs already counted keep counting.
  counts.Increment(5, 3);
  EXPECT_EQ(counts.SlotAt(5 + (3 << 5)).count, 2);
}

TEST(VRXPairTable, WritesRunsOfLiteralsAndEntriesBridgingSingleLiterals) {
  VRXPairTable table;
  table.Left[250] = 0x41;
  table.Right[250] = 0x42;
  table.Left[252] = 0x43;
  table.Right[252] = 0x44;
  table.Left[253] = 252;
  table.Right[253] = 250;
  Bytes out;
  WriteVRXPairTable(table, out);
  EXPECT_EQ(out, (Bytes{0xFE, 0x7F, 0xF9, 0x41, 0x42, 0x80, 0x43, 0x44, 0x00, 252, 250, 0x81}));

  // 241 and 243 are pair codes with the literal 242 between them: one run of three entries.
  VRXPairTable bridged;
  for (const std::uint32_t code : {240u, 241u, 243u}) {
    bridged.Left[code] = 0x30;
    bridged.Right[code] = static_cast<std::uint8_t>(code - 200);
  }
  out.clear();
  WriteVRXPairTable(bridged, out);
  EXPECT_EQ(out, (Bytes{0xFE, 0x7F, 0xEF, 0x30, 40, 0x02, 0x30, 41, 242, 0x30, 43, 0x8B}));
}

TEST(VRXPairTable, ReadsBackEveryTableItWrites) {
  std::mt19937 engine(11);
  for (int round = 0; round < 300; ++round) {
    VRXPairTable table;
    const std::uint32_t density = engine() % 100;
    for (std::uint32_t code = 0; code < 256; ++code) {
      if (engine() % 100 < density) {
        table.Left[code] = static_cast<std::uint8_t>((code + 1 + engine() % 255) & 0xFF);
        table.Right[code] = static_cast<std::uint8_t>(engine());
      }
    }
    Bytes out;
    WriteVRXPairTable(table, out);
    std::size_t pos = 0;
    const VRXPairTable read = ReadVRXPairTable(out, pos);
    ASSERT_EQ(pos, out.size()) << round;
    ASSERT_EQ(read.Left, table.Left) << round;
    for (std::uint32_t code = 0; code < 256; ++code) {
      if (!table.IsLiteral(code)) {
        ASSERT_EQ(read.Right[code], table.Right[code]) << round;
      }
    }
  }
}

}  // namespace
}  // namespace velmo
