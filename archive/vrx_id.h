#pragma once

#include <string>
#include <string_view>

#include "archive/vrx_records.h"

namespace velmo {

// IDs are UTF-16 in the archive and UTF-8 in the program.

// Converts a UTF-8 ID to UTF-16; raises EVRXError when it is not valid UTF-8.
std::u16string VRXIDFromUtf8(std::string_view id);

// Converts a stored ID to UTF-8 for display; unpaired surrogates become U+FFFD.
std::string VRXIDToUtf8(std::u16string_view id);

// The ID held in an entry's DataID field: the units before the first zero, or
// all 256 units when the field has no terminating zero.
std::u16string_view StoredVRXID(const TVRXDataInfo& info);

// True when the two IDs are equal after simple lowercasing of every unit.
bool VRXIDsMatch(std::u16string_view a, std::u16string_view b);

// Checks that a UTF-8 ID can be stored: valid UTF-8, no zero character and at
// most 255 UTF-16 units. Returns the UTF-16 form; raises EVRXError otherwise.
std::u16string StorableVRXID(std::string_view id);

}  // namespace velmo
