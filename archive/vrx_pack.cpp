#include "archive/vrx_pack.h"

#include <memory>

#include "archive/vrx_block_packer.h"

namespace velmo {

std::vector<std::uint8_t> PackVRXData(std::span<const std::uint8_t> source) {
  // The packer's tables and block are about 35 KB: keep them off the stack.
  const auto packer = std::make_unique<VRXBlockPacker>();
  std::vector<std::uint8_t> out;
  out.reserve(source.size() / 2 + 64);
  std::size_t pos = 0;
  do {
    packer->PackBlock(source, pos, out);
  } while (pos < source.size());
  return out;
}

}  // namespace velmo
