#include "tools/velmo-render/default_bank.h"

namespace velmo::render {

std::unique_ptr<std::istream> OpenBuiltInBank() {
  return nullptr;
}

}  // namespace velmo::render
