#include "tw/casefold.h"

#include <unicode/uchar.h>

namespace tw {

char16_t UpcaseUnit(char16_t unit) {
  if (unit < 0x80) return (unit >= u'a' && unit <= u'z') ? char16_t(unit - 32) : unit;
  if (unit >= 0xD800 && unit <= 0xDFFF) return unit;  // surrogates are compared as they are
  UChar32 upper = u_toupper(unit);
  return upper <= 0xFFFF ? static_cast<char16_t>(upper) : unit;
}

std::u16string Upcase(std::u16string_view text) {
  std::u16string out(text);
  for (auto& c : out) c = UpcaseUnit(c);
  return out;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i] && UpcaseUnit(a[i]) != UpcaseUnit(b[i])) return false;
  return true;
}

int CompareNoCase(std::u16string_view a, std::u16string_view b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    char16_t x = UpcaseUnit(a[i]), y = UpcaseUnit(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace tw
