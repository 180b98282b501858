#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmo {

// The archive unit's own messages, as users of the unit know them.

inline constexpr std::string_view kVRXBadSignatureMessage =
    "Vorand Archiveの扱えるデータではありません";

inline std::string VRXIDNotFoundMessage(std::string_view id) {
  return "アーカイブ内には指定されたID '" + std::string(id) + "' を持つデータが見つかりません";
}

inline std::string VRXInvalidIndexMessage(std::uint32_t index) {
  return std::to_string(index) + " は、無効なVRXファイル内のインデクスです";
}

}  // namespace velmo
