// Internal: the case folding Windows uses to compare names that are
// case-insensitive (registry keys and values, kernel object names): each
// UTF-16 code unit is upper-cased on its own, by the simple Unicode mapping;
// surrogates and units without an upper-case form stay as they are. Two names
// are equal ignoring case when their upcased forms are equal, and registry
// keys sort by the code units of their upcased forms.
#pragma once
#include <string>
#include <string_view>
#include "tw/wintypes.h"

namespace tw {

TWCPPAPI std::u16string UpcaseNameUnits(std::u16string_view name);

}  // namespace tw
