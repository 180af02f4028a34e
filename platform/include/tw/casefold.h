// Internal: case-insensitive comparison of names as Windows does it for
// registry keys, file names and kernel object names: each UTF-16 unit is
// upper-cased on its own (no locale, no expansion).
#pragma once
#include <string>
#include <string_view>
#include "tw/wintypes.h"

namespace tw {

TWCPPAPI char16_t UpcaseUnit(char16_t unit);
TWCPPAPI std::u16string Upcase(std::u16string_view text);
TWCPPAPI bool EqualsNoCase(std::u16string_view a, std::u16string_view b);
// <0, 0, >0 comparing the upper-cased forms unit by unit.
TWCPPAPI int CompareNoCase(std::u16string_view a, std::u16string_view b);

}  // namespace tw
