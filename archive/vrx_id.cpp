#include "archive/vrx_id.h"

#include <algorithm>
#include <cstdint>

#include "archive/unicode_lowercase.h"
#include "archive/vrx_error.h"

namespace velmo {

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

bool IsContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

void AppendUtf16(std::u16string& out, char32_t code_point) {
  if (code_point < 0x10000) {
    out.push_back(static_cast<char16_t>(code_point));
    return;
  }
  const char32_t offset = code_point - 0x10000;
  out.push_back(static_cast<char16_t>(0xD800 + (offset >> 10)));
  out.push_back(static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
}

void AppendUtf8(std::string& out, char32_t code_point) {
  if (code_point < 0x80) {
    out.push_back(static_cast<char>(code_point));
  } else if (code_point < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code_point >> 6)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else if (code_point < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code_point >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code_point >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  }
}

[[noreturn]] void RaiseInvalidUtf8(std::size_t offset) {
  throw EVRXError("ID is not valid UTF-8 (bad byte sequence at offset " + std::to_string(offset) +
                  ")");
}

}  // namespace

std::u16string VRXIDFromUtf8(std::string_view id) {
  std::u16string out;
  out.reserve(id.size());
  std::size_t i = 0;
  while (i < id.size()) {
    const auto lead = static_cast<unsigned char>(id[i]);
    std::size_t length = 0;
    char32_t code_point = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
      length = 1;
      code_point = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2;
      code_point = lead & 0x1F;
      minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      code_point = lead & 0x0F;
      minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      code_point = lead & 0x07;
      minimum = 0x10000;
    } else {
      RaiseInvalidUtf8(i);
    }
    if (id.size() - i < length) RaiseInvalidUtf8(i);
    for (std::size_t k = 1; k < length; ++k) {
      const auto byte = static_cast<unsigned char>(id[i + k]);
      if (!IsContinuation(byte)) RaiseInvalidUtf8(i);
      code_point = (code_point << 6) | (byte & 0x3F);
    }
    const bool overlong = code_point < minimum;
    const bool surrogate = code_point >= 0xD800 && code_point <= 0xDFFF;
    if (overlong || surrogate || code_point > 0x10FFFF) RaiseInvalidUtf8(i);
    AppendUtf16(out, code_point);
    i += length;
  }
  return out;
}

std::string VRXIDToUtf8(std::u16string_view id) {
  std::string out;
  out.reserve(id.size());
  for (std::size_t i = 0; i < id.size(); ++i) {
    const char16_t unit = id[i];
    char32_t code_point = unit;
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < id.size() && id[i + 1] >= 0xDC00 &&
        id[i + 1] <= 0xDFFF) {
      code_point = 0x10000 + ((static_cast<char32_t>(unit - 0xD800) << 10) | (id[i + 1] - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      code_point = kReplacementCharacter;
    }
    AppendUtf8(out, code_point);
  }
  return out;
}

std::u16string_view StoredVRXID(const TVRXDataInfo& info) {
  const auto* const begin = info.DataID.data();
  const auto* const end = std::find(begin, begin + info.DataID.size(), u'\0');
  return std::u16string_view(begin, static_cast<std::size_t>(end - begin));
}

bool VRXIDsMatch(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (SimpleLowercase(a[i]) != SimpleLowercase(b[i])) return false;
  }
  return true;
}

std::u16string StorableVRXID(std::string_view id) {
  std::u16string units = VRXIDFromUtf8(id);
  if (units.find(u'\0') != std::u16string::npos) {
    throw EVRXError("ID '" + std::string(id.substr(0, id.find('\0'))) +
                    "...' contains a zero character, which an archive cannot store");
  }
  if (units.size() > kVRXMaxIDUnits) {
    throw EVRXError("ID '" + std::string(id) + "' is " + std::to_string(units.size()) +
                    " UTF-16 units long; an archive stores at most " +
                    std::to_string(kVRXMaxIDUnits));
  }
  return units;
}

}  // namespace velmo
