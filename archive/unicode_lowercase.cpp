#include "archive/unicode_lowercase.h"

#include <algorithm>
#include <array>

namespace velmo {

namespace {

struct LowercaseMapping {
  char16_t from;
  char16_t to;
};

constexpr LowercaseMapping kSimpleLowercase[] = {
#include "archive/simple_lowercase_table.inc"
};

constexpr bool IsSortedByCodeUnit() {
  for (std::size_t i = 1; i < std::size(kSimpleLowercase); ++i) {
    if (kSimpleLowercase[i - 1].from >= kSimpleLowercase[i].from) return false;
  }
  return true;
}
static_assert(IsSortedByCodeUnit(), "the lowercase table must be sorted for binary search");

}  // namespace

char16_t SimpleLowercase(char16_t unit) {
  if (unit < 0x80) return (unit >= u'A' && unit <= u'Z') ? static_cast<char16_t>(unit + 32) : unit;
  const auto* const end = std::end(kSimpleLowercase);
  const auto* const found = std::lower_bound(
      std::begin(kSimpleLowercase), end, unit,
      [](const LowercaseMapping& mapping, char16_t key) { return mapping.from < key; });
  return (found != end && found->from == unit) ? found->to : unit;
}

}  // namespace velmo
