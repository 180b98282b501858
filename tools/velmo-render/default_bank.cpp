#include "tools/velmo-render/default_bank.h"

#include "assets/builtin_bank.h"

namespace velmo::render {

std::span<const uint8_t> BuiltInBankImage() {
  return BuiltinBankImage();
}

const WaveSectionIndex& BuiltInBankWaveIndex() {
  return BuiltinBankWaveIndex();
}

}  // namespace velmo::render
