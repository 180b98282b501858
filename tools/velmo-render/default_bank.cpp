#include "tools/velmo-render/default_bank.h"

#include "assets/builtin_bank.h"

namespace velmo::render {

std::unique_ptr<std::istream> OpenBuiltInBank() {
  return OpenBuiltinBank();
}

}  // namespace velmo::render
