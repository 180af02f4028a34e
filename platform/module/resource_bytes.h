// Private to the module area: little-endian writing of resource bytes.
#pragma once
#include <string_view>
#include <vector>

#include "tw/wintypes.h"

namespace tw::res::bytes {

inline void PutWord(std::vector<BYTE>& out, WORD w) {
  out.push_back(static_cast<BYTE>(w & 0xFF));
  out.push_back(static_cast<BYTE>(w >> 8));
}

inline void PutDword(std::vector<BYTE>& out, DWORD d) {
  PutWord(out, static_cast<WORD>(d & 0xFFFF));
  PutWord(out, static_cast<WORD>(d >> 16));
}

inline void PutText(std::vector<BYTE>& out, std::u16string_view text) {
  for (char16_t c : text) PutWord(out, c);
}

}  // namespace tw::res::bytes
