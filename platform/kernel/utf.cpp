#include "tw/utf.h"

namespace tw {

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  const size_t n = text.size();
  auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  while (i < n) {
    unsigned char b = byte(i);
    char32_t c = 0xFFFD;
    size_t len = 1;
    if (b < 0x80) {
      c = b;
    } else if (b >= 0xC2 && b <= 0xF4) {
      size_t need = b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
      char32_t v = b & (need == 1 ? 0x1F : need == 2 ? 0x0F : 0x07);
      size_t k = 1;
      for (; k <= need && i + k < n; ++k) {
        unsigned char t = byte(i + k);
        if ((t & 0xC0) != 0x80) break;
        v = (v << 6) | (t & 0x3F);
      }
      if (k == need + 1) {
        bool overlong = (need == 2 && v < 0x800) || (need == 3 && v < 0x10000);
        bool bad = overlong || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF);
        c = bad ? 0xFFFD : v;
        len = need + 1;
      } else {
        len = k;  // skip the broken sequence, keep the byte that broke it
      }
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += len;
  }
  return out;
}

}  // namespace tw
