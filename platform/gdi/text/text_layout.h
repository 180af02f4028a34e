// Internal: where ExtTextOutW puts each glyph. The raster engine and the
// vector (cairo) backend both draw from this layout, so a page comes out of
// either with the same glyphs at the same places: the Dx array or the
// realised advances, ETO_PDY, character extra, justification, alignment,
// the escapement and TA_UPDATECP.
#pragma once
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "realized_font.h"

namespace tw::gdi::text {

// The glyph slot of the low half of a surrogate pair: drawn with the high half.
inline constexpr WORD kNoGlyph = 0xFFFF;

// The glyphs of a string, one per UTF-16 unit (character codes or, with
// `glyphIndex`, the units themselves).
std::vector<WORD> GlyphsOf(const RealizedFont& font, std::u16string_view text, bool glyphIndex);

// Extra logical units SetTextJustification gives each break character.
struct Justifier {
  int extra = 0, count = 0, given = 0;
  int Next();
};

struct TextLayout {
  std::shared_ptr<RealizedFont> font;
  std::vector<WORD> glyphs;        // one per UTF-16 unit
  std::vector<double> penX, penY;  // pen positions in text space, n + 1 entries
  double width = 0;                // the string's advance (text space)
  double ox = 0, oy = 0;           // alignment offset of the pen from the reference point (text space)
  double ascent = 0, descent = 0;  // text space
  double refX = 0, refY = 0;       // the reference point on the device

  // Device position of glyph i's origin (not rounded).
  void GlyphOrigin(std::size_t i, double& x, double& y) const;
  // A text-space rectangle [x0, x1] x [y0, y1] (y down from the baseline,
  // relative to the pen start) as device corners.
  void RectToDevice(double x0, double x1, double y0, double y1, double (&px)[4], double (&py)[4]) const;
  // The cell of the whole string (advance x ascent + descent) as device corners.
  void CellToDevice(double (&px)[4], double (&py)[4]) const;
  // The underline (or strike-out) bar across the whole advance as device
  // corners; false when the font has none or the string is empty.
  bool BarToDevice(bool underline, double (&px)[4], double (&py)[4]) const;
};

// Lays out `text` for ExtTextOutW on `dc` and, with TA_UPDATECP, moves the
// DC's current position past it. False (last error set) when no font can be
// realised.
bool LayoutText(Dc& dc, int x, int y, UINT options, std::u16string_view text, const INT* dx, TextLayout& out);

// ExtTextOutA's conversion of 8-bit text for the font (code page, or the
// bytes as they are for symbol fonts); one unit per byte for single-byte
// code pages.
std::u16string WidenAnsiText(const RealizedFont& font, std::string_view text);

}  // namespace tw::gdi::text
