// The glyph layout of ExtTextOutW, shared by the raster engine and the
// vector backend.
#include "text_layout.h"

#include <algorithm>
#include <cmath>

namespace tw::gdi::text {

std::vector<WORD> GlyphsOf(const RealizedFont& font, std::u16string_view text, bool glyphIndex) {
  std::vector<WORD> glyphs(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (glyphIndex) {
      glyphs[i] = c;
    } else if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      char32_t cp = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      glyphs[i] = font.GlyphIndex(cp);
      glyphs[++i] = kNoGlyph;
    } else {
      glyphs[i] = font.GlyphIndex(c);
    }
  }
  return glyphs;
}

int Justifier::Next() {
  if (count <= 0) return 0;
  int share = extra / count + (given < extra % count ? 1 : 0);
  ++given;
  return share;
}

void TextLayout::GlyphOrigin(std::size_t i, double& x, double& y) const {
  double gx, gy;
  font->TextToDevice().ApplyVector(ox + penX[i], oy + penY[i], gx, gy);
  x = refX + gx;
  y = refY + gy;
}

void TextLayout::RectToDevice(double x0, double x1, double y0, double y1, double (&px)[4], double (&py)[4]) const {
  const Matrix& t = font->TextToDevice();
  double xs[4] = {x0, x1, x1, x0}, ys[4] = {y0, y0, y1, y1};
  for (int i = 0; i < 4; ++i) {
    double dx, dy;
    t.ApplyVector(xs[i], ys[i], dx, dy);
    px[i] = refX + dx, py[i] = refY + dy;
  }
}

void TextLayout::CellToDevice(double (&px)[4], double (&py)[4]) const {
  RectToDevice(ox + std::min(0.0, width), ox + std::max(0.0, width), oy - ascent, oy + descent, px, py);
}

bool TextLayout::BarToDevice(bool underline, double (&px)[4], double (&py)[4]) const {
  const LOGFONTW& lf = font->Logfont();
  if (glyphs.empty() || !(underline ? lf.lfUnderline : lf.lfStrikeOut)) return false;
  double centreDown = underline ? font->UnderlinePosDev() / font->ScaleY() : -font->StrikeoutPosDev() / font->ScaleY();
  double th = (underline ? font->UnderlineSizeDev() : font->StrikeoutSizeDev()) / font->ScaleY();
  double y0 = oy + centreDown - th / 2;
  RectToDevice(ox + std::min(0.0, width), ox + std::max(0.0, width), y0, y0 + th, px, py);
  return true;
}

bool LayoutText(Dc& dc, int x, int y, UINT options, std::u16string_view text, const INT* dx, TextLayout& out) {
  out.font = RealizedFont::ForDc(dc);
  if (!out.font) return false;
  const RealizedFont& font = *out.font;
  auto& s = dc.State();
  bool glyphIndex = options & ETO_GLYPH_INDEX;
  out.glyphs = GlyphsOf(font, text, glyphIndex);

  // Pen positions in text space: the Dx array (logical units, with
  // ETO_PDY pairs whose y goes up the page), else the realised advances.
  std::size_t n = out.glyphs.size();
  out.penX.assign(n + 1, 0);
  out.penY.assign(n + 1, 0);
  Justifier j{s.justifyExtra, s.justifyCount};
  WORD breakGlyph = glyphIndex ? font.GlyphIndex(u' ') : 0;
  for (std::size_t i = 0; i < n; ++i) {
    double ax, ay = 0;
    if (dx && (options & ETO_PDY)) {
      ax = dx[2 * i], ay = -dx[2 * i + 1];
    } else if (dx) {
      ax = dx[i];
    } else {
      WORD g = out.glyphs[i];
      ax = g == kNoGlyph ? 0 : font.AdvanceDev(g) / font.ScaleX() + s.charExtra;
      bool isBreak = glyphIndex ? g == breakGlyph : text[i] == u' ';
      if (isBreak) ax += j.Next();
    }
    out.penX[i + 1] = out.penX[i] + ax;
    out.penY[i + 1] = out.penY[i] + ay;
  }
  out.width = out.penX[n];

  POINT ref = (s.textAlign & TA_UPDATECP) ? s.currentPos : POINT{x, y};
  out.ascent = font.AscentDev() / font.ScaleY();
  out.descent = font.DescentDev() / font.ScaleY();
  out.ox = out.oy = 0;
  if ((s.textAlign & TA_CENTER) == TA_CENTER) out.ox = -out.width / 2;
  else if (s.textAlign & TA_RIGHT) out.ox = -out.width;
  if ((s.textAlign & TA_BASELINE) == TA_BASELINE) out.oy = 0;
  else if (s.textAlign & TA_BOTTOM) out.oy = -out.descent;
  else out.oy = out.ascent;

  if (s.textAlign & TA_UPDATECP) {
    // The current position moves past the string (to its left end with
    // TA_RIGHT; TA_CENTER leaves it), along the baseline, in logical units.
    double move = (s.textAlign & TA_CENTER) == TA_CENTER ? 0 : (s.textAlign & TA_RIGHT) ? -out.width : out.width;
    double ddx, ddy, lx = move, ly = 0;
    font.TextToDevice().ApplyVector(move, 0, ddx, ddy);
    Matrix inverse;
    if (dc.DeviceToLogical(inverse)) inverse.ApplyVector(ddx, ddy, lx, ly);
    s.currentPos = {ref.x + LONG(std::lround(lx)), ref.y + LONG(std::lround(ly))};
  }
  dc.ToDevice(double(ref.x), double(ref.y), out.refX, out.refY);
  return true;
}

}  // namespace tw::gdi::text
