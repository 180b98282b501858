#pragma once

namespace velmo {

// The Unicode simple lowercase mapping of one Basic Multilingual Plane code
// unit (UnicodeData.txt, field 13). Units without a mapping, and surrogate
// units, come back unchanged.
char16_t SimpleLowercase(char16_t unit);

}  // namespace velmo
