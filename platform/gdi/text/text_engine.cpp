// Text output and measurement on realised fonts (the functions text_api.cpp
// hands over once it has checked the arguments).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "../draw.h"
#include "../text_seam.h"
#include "realized_font.h"
#include "text_layout.h"
#include "tw/nls.h"
#include "winerror.h"

namespace tw::gdi::text {
namespace {

int glyphAdvanceDev(const RealizedFont& font, WORD glyph) { return glyph == kNoGlyph ? 0 : font.AdvanceDev(glyph); }

// Logical advances as the measuring calls report them: whole logical
// units, with the character extra and the justification added.
std::vector<int> logicalAdvances(Dc& dc, const RealizedFont& font, std::u16string_view text,
                                 const std::vector<WORD>& glyphs, bool glyphIndex) {
  const auto& s = dc.State();
  Justifier j{s.justifyExtra, s.justifyCount};
  WORD breakGlyph = glyphIndex ? font.GlyphIndex(u' ') : 0;
  std::vector<int> out(glyphs.size());
  for (std::size_t i = 0; i < glyphs.size(); ++i) {
    if (glyphs[i] == kNoGlyph) continue;
    out[i] = int(std::lround(glyphAdvanceDev(font, glyphs[i]) / font.ScaleX())) + s.charExtra;
    bool isBreak = glyphIndex ? glyphs[i] == breakGlyph : text[i] == u' ';
    if (isBreak) out[i] += j.Next();
  }
  return out;
}

// Fills a device quadrilateral (corners in order) with a solid colour,
// aliased, with the pixel-centre rule of the other fills.
void fillQuad(Dc& dc, Dib& dib, const RegionData& clip, const double (&px)[4], const double (&py)[4], COLORREF color) {
  SpanPainter painter(dc, dib, color, &clip);
  painter.SetRop2(R2_COPYPEN);
  double lo = std::min({py[0], py[1], py[2], py[3]}), hi = std::max({py[0], py[1], py[2], py[3]});
  int y0 = std::max(int(std::ceil(lo)), 0), y1 = std::min(int(std::ceil(hi)), dib.height);
  for (int y = y0; y < y1; ++y) {
    double xmin = 1e18, xmax = -1e18;
    for (int e = 0; e < 4; ++e) {
      double ax = px[e], ay = py[e], bx = px[(e + 1) % 4], by = py[(e + 1) % 4];
      if ((ay <= y && y < by) || (by <= y && y < ay)) {
        double x = ax + (y - ay) * (bx - ax) / (by - ay);
        xmin = std::min(xmin, x), xmax = std::max(xmax, x);
      }
    }
    if (xmin > xmax) continue;
    int x0 = int(std::max(std::ceil(xmin), -1.0)), x1 = int(std::min(std::ceil(xmax), double(dib.width) + 1));
    if (x0 < x1) painter.Fill(y, x0, x1);
  }
}

void blendGlyph(Dib& dib, const RegionData& clip, int x, int y, const GlyphBitmap& g, DWORD rgb) {
  int r0 = std::max(y, 0), r1 = std::min(y + g.height, dib.height);
  for (int row = r0; row < r1; ++row) {
    const BYTE* line = g.mask.data() + std::size_t(row - y) * g.width;
    clip.ForEachInRow(row, [&](int c0, int c1) {
      int lo = std::max({x, c0, 0}), hi = std::min({x + g.width, c1, dib.width});
      if (lo < hi) dib.funcs->blendCoverage(dib, row, lo, hi - lo, line + (lo - x), rgb);
    });
  }
}

// The code page GDI reads 8-bit text in for a font of this character set:
// the machine's ANSI code page for ANSI_CHARSET and DEFAULT_CHARSET, the
// OEM code page for OEM_CHARSET, a character set's own code page where the
// layer has it, else the ANSI code page.
UINT codePageOf(BYTE charset) {
  UINT cp;
  switch (charset) {
    case EASTEUROPE_CHARSET: cp = 1250; break;
    case RUSSIAN_CHARSET: cp = 1251; break;
    case GREEK_CHARSET: cp = 1253; break;
    case TURKISH_CHARSET: cp = 1254; break;
    case HEBREW_CHARSET: cp = 1255; break;
    case ARABIC_CHARSET: cp = 1256; break;
    case BALTIC_CHARSET: cp = 1257; break;
    case VIETNAMESE_CHARSET: cp = 1258; break;
    case THAI_CHARSET: cp = 874; break;
    case SHIFTJIS_CHARSET: cp = 932; break;
    case GB2312_CHARSET: cp = 936; break;
    case HANGUL_CHARSET: cp = 949; break;
    case CHINESEBIG5_CHARSET: cp = 950; break;
    case JOHAB_CHARSET: cp = 1361; break;
    case MAC_CHARSET: cp = 10000; break;
    case OEM_CHARSET: return GetOEMCP();
    default: return GetACP();  // ANSI_CHARSET, DEFAULT_CHARSET and unknown ones
  }
  return IsValidCodePage(cp) ? cp : GetACP();
}

std::u16string ansiToWide(BYTE charset, std::string_view text) {
  std::u16string wide(text.size(), u'\0');
  if (charset == SYMBOL_CHARSET) {  // symbol fonts take the bytes as they are
    for (std::size_t i = 0; i < text.size(); ++i) wide[i] = static_cast<unsigned char>(text[i]);
    return wide;
  }
  int n = text.empty() ? 0
                       : MultiByteToWideChar(codePageOf(charset), 0, text.data(), int(text.size()),
                                             reinterpret_cast<LPWSTR>(wide.data()), int(wide.size()));
  wide.resize(std::size_t(std::max(n, 0)));
  return wide;
}

int fitCount(const std::vector<int>& partial, int maxExtent) {
  int fit = 0;
  while (std::size_t(fit) < partial.size() && partial[std::size_t(fit)] <= maxExtent) ++fit;
  return fit;
}

}  // namespace

BOOL ExtTextOutW(Dc& dc, int x, int y, UINT options, const RECT* rect, std::u16string_view text, const INT* dx) {
  TextLayout layout;
  if (!LayoutText(dc, x, y, options, text, dx, layout)) return FALSE;
  const RealizedFont* font = layout.font.get();
  const std::vector<WORD>& glyphs = layout.glyphs;
  std::size_t n = glyphs.size();
  auto& s = dc.State();

  Dib* dib = dc.Surface();
  if (!dib || s.path.Building()) return TRUE;  // nothing to draw on (printer, screen DCs); paths take no text here
  RegionData clip = dc.EffectiveClip();
  if (rect && (options & ETO_CLIPPED)) clip = RegionData::Combine(clip, LogicalRectRegion(dc, *rect), RGN_AND);
  if (clip.Empty()) return TRUE;

  double px[4], py[4];
  if (s.bkMode == OPAQUE && n > 0) {
    layout.CellToDevice(px, py);
    fillQuad(dc, *dib, clip, px, py, s.bkColor);
  }
  bool mono = dib->bpp == 1 || font->Logfont().lfQuality == NONANTIALIASED_QUALITY || !font->Smoothed();
  DWORD rgb = ResolveColor(dc, s.textColor);
  // Glyphs that cannot reach the clip box are not rendered (text drawn far
  // off the page in large sizes costs nothing).
  RECT reachable = clip.Bounds();
  double reach = font->GlyphReach();
  for (std::size_t i = 0; i < n; ++i) {
    if (glyphs[i] == kNoGlyph) continue;
    double cx, cy;
    layout.GlyphOrigin(i, cx, cy);
    if (cx + reach < reachable.left || cx - reach > reachable.right || cy + reach < reachable.top ||
        cy - reach > reachable.bottom)
      continue;
    auto bitmap = font->Render(glyphs[i], mono);
    if (!bitmap) continue;
    int ix = int(std::floor(cx + 0.5)), iy = int(std::floor(cy + 0.5));
    blendGlyph(*dib, clip, ix + bitmap->left, iy - bitmap->top, *bitmap, rgb);
  }
  for (bool underline : {true, false})
    if (layout.BarToDevice(underline, px, py)) fillQuad(dc, *dib, clip, px, py, s.textColor);
  return TRUE;
}

BOOL ExtTextOutA(Dc& dc, int x, int y, UINT options, const RECT* rect, std::string_view text, const INT* dx) {
  auto font = RealizedFont::ForDc(dc);
  if (!font) return FALSE;
  if (options & ETO_GLYPH_INDEX) {  // 8-bit glyph indices
    std::u16string glyphs(text.begin(), text.end());
    for (std::size_t i = 0; i < text.size(); ++i) glyphs[i] = static_cast<unsigned char>(text[i]);
    return ExtTextOutW(dc, x, y, options, rect, glyphs, dx);
  }
  std::u16string wide = ansiToWide(font->Logfont().lfCharSet, text);
  if (wide.size() != text.size()) dx = nullptr;  // only single-byte code pages keep one advance per byte
  return ExtTextOutW(dc, x, y, options, rect, wide, dx);
}

std::u16string WidenForMeasuring(Dc& dc, std::string_view text) {
  std::u16string wide = ansiToWide(dc.State().font ? dc.State().font->logfont.lfCharSet : BYTE(DEFAULT_CHARSET), text);
  if (wide.size() == text.size()) return wide;
  // A multi-byte code page: one character per byte still measures each byte.
  wide.assign(text.size(), u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) wide[i] = static_cast<unsigned char>(text[i]);
  return wide;
}

BOOL GetTextExtentPoint(Dc& dc, std::u16string_view text, LPSIZE size) {
  return GetTextExtentExPoint(dc, text, 0, nullptr, nullptr, size);
}

BOOL GetTextExtentPointI(Dc& dc, std::span<const WORD> glyphs, LPSIZE size) {
  auto font = RealizedFont::ForDc(dc);
  if (!font) return FALSE;
  std::u16string text(glyphs.begin(), glyphs.end());
  std::vector<WORD> list(glyphs.begin(), glyphs.end());
  std::vector<int> adv = logicalAdvances(dc, *font, text, list, true);
  LONG cx = 0;
  for (int a : adv) cx += a;
  *size = {cx, font->Metrics().tmHeight};
  return TRUE;
}

BOOL GetTextExtentExPoint(Dc& dc, std::u16string_view text, int maxExtent, LPINT fit, LPINT dx, LPSIZE size) {
  auto font = RealizedFont::ForDc(dc);
  if (!font) return FALSE;
  std::vector<WORD> glyphs = GlyphsOf(*font, text, false);
  std::vector<int> adv = logicalAdvances(dc, *font, text, glyphs, false);
  std::vector<int> partial(adv.size());
  LONG total = 0;
  for (std::size_t i = 0; i < adv.size(); ++i) partial[i] = total += adv[i];
  if (dx && !partial.empty()) std::copy(partial.begin(), partial.end(), dx);
  if (fit) *fit = fitCount(partial, maxExtent);
  *size = {total, font->Metrics().tmHeight};
  return TRUE;
}

BOOL GetTextMetrics(Dc& dc, LPTEXTMETRICW metrics) {
  auto font = RealizedFont::ForDc(dc);
  if (!font) return FALSE;
  *metrics = font->Metrics();
  metrics->tmDigitizedAspectX = dc.Caps().logPixelsX;
  metrics->tmDigitizedAspectY = dc.Caps().logPixelsY;
  return TRUE;
}

int GetTextFace(Dc& dc, int count, LPWSTR name) {
  auto font = RealizedFont::ForDc(dc);
  if (!font) return 0;
  const std::u16string& face = font->Match().requested;
  if (!name) return int(face.size()) + 1;
  if (count <= 0) return 0;
  std::size_t n = std::min(face.size(), std::size_t(count) - 1);
  std::memcpy(name, face.data(), n * sizeof(WCHAR));
  name[n] = 0;
  return int(n) + 1;
}

BOOL GetCharABCWidths(Dc& dc, UINT first, UINT last, LPABC abc) {
  auto font = RealizedFont::ForDc(dc);
  if (!font) return FALSE;
  if (last - first > 0x10FFFF) return InvalidParameter();
  for (UINT c = first; c <= last; ++c) {
    int a, b, cc;
    font->AbcDev(font->GlyphIndex(c), a, b, cc);
    double k = 1 / font->ScaleX();
    abc[c - first] = {int(std::lround(a * k)), UINT(std::lround(b * k)), int(std::lround(cc * k))};
  }
  return TRUE;
}

BOOL GetCharABCWidthsI(Dc& dc, UINT first, UINT count, LPWORD glyphs, LPABC abc) {
  auto font = RealizedFont::ForDc(dc);
  if (!font) return FALSE;
  if (count > 0x10000) return InvalidParameter();
  for (UINT i = 0; i < count; ++i) {
    int a, b, c;
    font->AbcDev(glyphs ? glyphs[i] : WORD(first + i), a, b, c);
    double k = 1 / font->ScaleX();
    abc[i] = {int(std::lround(a * k)), UINT(std::lround(b * k)), int(std::lround(c * k))};
  }
  return TRUE;
}

BOOL GetCharWidth32(Dc& dc, UINT first, UINT last, LPINT widths) {
  auto font = RealizedFont::ForDc(dc);
  if (!font) return FALSE;
  if (last - first > 0x10FFFF) return InvalidParameter();
  for (UINT c = first; c <= last; ++c)
    widths[c - first] = int(std::lround(font->AdvanceDev(font->GlyphIndex(c)) / font->ScaleX()));
  return TRUE;
}

DWORD GetGlyphIndices(Dc& dc, std::u16string_view text, LPWORD glyphs, DWORD flags) {
  auto font = RealizedFont::ForDc(dc);
  if (!font) return GDI_ERROR;
  for (std::size_t i = 0; i < text.size(); ++i) {
    bool exists = false;
    WORD g = font->GlyphIndex(text[i], &exists);
    glyphs[i] = exists ? g : ((flags & GGI_MARK_NONEXISTING_GLYPHS) ? 0xFFFF : 0);
  }
  return DWORD(text.size());
}

DWORD GetFontUnicodeRanges(Dc& dc, LPGLYPHSET glyphSet) {
  auto font = RealizedFont::ForDc(dc);
  if (!font) return 0;
  auto ranges = font->UnicodeRanges();
  std::vector<WCRANGE> split;
  DWORD total = 0;
  for (auto [lo, hi] : ranges) {
    for (char32_t c = lo; c <= hi;) {  // cGlyphs is 16 bits
      char32_t end = std::min<char32_t>(hi, c + 0xFFFE);
      split.push_back({WCHAR(c), USHORT(end - c + 1)});
      total += end - c + 1;
      c = end + 1;
    }
  }
  DWORD bytes = DWORD(offsetof(GLYPHSET, ranges) + std::max<std::size_t>(split.size(), 1) * sizeof(WCRANGE));
  if (!glyphSet) return bytes;
  glyphSet->cbThis = bytes;
  glyphSet->flAccel = 0;
  glyphSet->cGlyphsSupported = total;
  glyphSet->cRanges = DWORD(split.size());
  if (!split.empty()) std::memcpy(glyphSet->ranges, split.data(), split.size() * sizeof(WCRANGE));
  return bytes;
}

DWORD GetFontData(Dc& dc, DWORD table, DWORD offset, PVOID buffer, DWORD size) {
  auto font = RealizedFont::ForDc(dc);
  if (!font) return GDI_ERROR;
  // The tag arrives in file byte order read as a little-endian DWORD; a
  // whole collection ('ttcf') comes back as the face's whole file.
  DWORD tag = ((table & 0xFF) << 24) | ((table & 0xFF00) << 8) | ((table >> 8) & 0xFF00) | (table >> 24);
  if (table == 0x66637474) tag = 0;
  std::vector<BYTE> data;
  if (!font->TableData(tag, data) || offset > data.size()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return GDI_ERROR;
  }
  DWORD available = DWORD(data.size() - offset);
  if (!buffer || size == 0) return available;
  DWORD n = std::min(size, available);
  std::memcpy(buffer, data.data() + offset, n);
  return n;
}

HANDLE AddFontMemResource(PVOID data, DWORD size, DWORD* count) {
  auto bytes = std::make_shared<std::vector<BYTE>>(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + size);
  return AddPrivateFonts(std::move(bytes), *count);
}

BOOL RemoveFontMemResource(HANDLE handle) { return RemovePrivateFonts(handle) ? TRUE : FALSE; }

std::u16string WidenAnsiText(const RealizedFont& font, std::string_view text) { return ansiToWide(font.Logfont().lfCharSet, text); }

}  // namespace tw::gdi::text
