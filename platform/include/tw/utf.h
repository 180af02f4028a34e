// Internal: conversions between UTF-16 (the layer's strings) and UTF-8 (Linux
// file names, JSON, SQLite). Unpaired surrogates and invalid UTF-8 become
// U+FFFD; nothing is dropped silently.
#pragma once
#include <string>
#include <string_view>
#include "tw/wintypes.h"

namespace tw {

TWCPPAPI std::string ToUtf8(std::u16string_view text);
TWCPPAPI std::u16string FromUtf8(std::string_view text);
// A view of a null-terminated wide string; empty for a null pointer.
inline std::u16string_view View(LPCWSTR text) { return text ? std::u16string_view(text) : std::u16string_view(); }

}  // namespace tw
