// Packs arbitrary bytes and checks that unpacking gives them back exactly.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "archive/vrx_pack.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> source(data, size);
  const std::vector<std::uint8_t> packed = velmo::PackVRXData(source);
  const std::vector<std::uint8_t> unpacked =
      velmo::UnpackVRXData(packed, static_cast<std::uint32_t>(size));
  if (unpacked.size() != size || (size > 0 && std::memcmp(unpacked.data(), data, size) != 0)) {
    std::abort();
  }
  return 0;
}
