// Case folding of names, per UTF-16 unit, as Windows compares them.
#include "tw/name_upcase.h"

#include <unicode/uchar.h>

namespace tw {

std::u16string UpcaseNameUnits(std::u16string_view name) {
  std::u16string out(name);
  for (auto& unit : out) {
    if (unit < 0x80) {
      if (unit >= u'a' && unit <= u'z') unit = char16_t(unit - 32);
    } else if (unit < 0xD800 || unit > 0xDFFF) {
      UChar32 upper = u_toupper(unit);
      // A unit whose upper case lies outside the BMP keeps its form.
      if (upper <= 0xFFFF) unit = static_cast<char16_t>(upper);
    }
  }
  return out;
}

}  // namespace tw
