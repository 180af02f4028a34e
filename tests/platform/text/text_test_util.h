// Helpers for the text tests: a font selected for a scope, and the box of
// the non-white pixels of a canvas.
#pragma once
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "../emf/emf_canvas.h"

namespace texttest {

inline LOGFONTW MakeLogfont(LONG height, const char16_t* face, LONG weight = FW_NORMAL, LONG escapement = 0,
                            BYTE quality = DEFAULT_QUALITY) {
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWeight = weight;
  lf.lfEscapement = lf.lfOrientation = escapement;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = quality;
  std::size_t n = 0;
  while (face[n] && n + 1 < LF_FACESIZE) lf.lfFaceName[n] = face[n], ++n;
  return lf;
}

// CreateFontIndirectW + SelectObject for the scope.
class Font {
 public:
  Font(HDC dc, LONG height, const char16_t* face, LONG weight = FW_NORMAL, LONG escapement = 0,
       BYTE quality = DEFAULT_QUALITY)
      : Font(dc, MakeLogfont(height, face, weight, escapement, quality)) {}
  Font(HDC dc, const LOGFONTW& lf) : dc_(dc), font_(CreateFontIndirectW(&lf)), old_(SelectObject(dc, font_)) {}
  ~Font() {
    SelectObject(dc_, old_);
    DeleteObject(font_);
  }
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;
  HFONT Handle() const { return font_; }

 private:
  HDC dc_;
  HFONT font_;
  HGDIOBJ old_;
};

// Inclusive box of the pixels that are not white inside `area` (which must
// lie on the canvas); left > right when there are none.
inline RECT InkBox(const twtest::Canvas& c, RECT area) {
  RECT box{1 << 20, 1 << 20, -1, -1};
  for (LONG y = area.top; y < area.bottom; ++y)
    for (LONG x = area.left; x < area.right; ++x)
      if (c.Color(x, y) != RGB(255, 255, 255)) {
        box.left = std::min(box.left, x), box.right = std::max(box.right, x);
        box.top = std::min(box.top, y), box.bottom = std::max(box.bottom, y);
      }
  return box;
}

}  // namespace texttest
