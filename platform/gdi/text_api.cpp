// Text calls: DC lookup, argument checks, recording on metafile DCs and the
// ETO_OPAQUE box; glyphs and measurement go to the font engine's seam.
#include <algorithm>
#include <climits>

#include "draw.h"
#include "text_seam.h"
#include "winerror.h"

using namespace tw::gdi;

namespace {


// ExtTextOut's opaque box: the background colour, whatever the ROP2.
void opaqueBox(Dc& dc, const RECT& rect) {
  Dib* dib = dc.Surface();
  if (!dib) return;
  RECT r = rect;
  if (r.left > r.right) std::swap(r.left, r.right);
  if (r.top > r.bottom) std::swap(r.top, r.bottom);
  SpanPainter painter(dc, *dib, dc.State().bkColor);
  painter.SetRop2(R2_COPYPEN);
  painter.FillRegion(LogicalRectRegion(dc, r));
}

template <class Measure>
BOOL measure(HDC hdc, Measure&& f) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  return f(*dc);
}

}  // namespace

BOOL ExtTextOutW(HDC hdc, int x, int y, UINT options, CONST RECT* lprect, LPCWSTR lpString, UINT c,
                 CONST INT* lpDx) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if ((c > 0 && !lpString) || c > INT_MAX / 2) return InvalidParameter();
  std::u16string_view text(lpString ? lpString : u"", c);
  if (DcRecorder* recorder = dc->Recorder())
    return recorder->ExtTextOutW(*dc, x, y, options, lprect, text, lpDx) ? TRUE : FALSE;
  if (lprect && (options & ETO_OPAQUE) && !dc->State().path.Building()) opaqueBox(*dc, *lprect);
  if (c == 0) return TRUE;
  return text::ExtTextOutW(*dc, x, y, options, lprect, text, lpDx);
}

BOOL ExtTextOutA(HDC hdc, int x, int y, UINT options, CONST RECT* lprect, LPCSTR lpString, UINT c, CONST INT* lpDx) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if ((c > 0 && !lpString) || c > INT_MAX / 2) return InvalidParameter();
  std::string_view text(lpString ? lpString : "", c);
  if (DcRecorder* recorder = dc->Recorder())
    return recorder->ExtTextOutA(*dc, x, y, options, lprect, text, lpDx) ? TRUE : FALSE;
  if (lprect && (options & ETO_OPAQUE) && !dc->State().path.Building()) opaqueBox(*dc, *lprect);
  if (c == 0) return TRUE;
  return text::ExtTextOutA(*dc, x, y, options, lprect, text, lpDx);
}

BOOL TextOutW(HDC hdc, int x, int y, LPCWSTR lpString, int c) {
  if (c < 0) return InvalidParameter();
  return ExtTextOutW(hdc, x, y, 0, nullptr, lpString, static_cast<UINT>(c), nullptr);
}

BOOL TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c) {
  if (c < 0) return InvalidParameter();
  return ExtTextOutA(hdc, x, y, 0, nullptr, lpString, static_cast<UINT>(c), nullptr);
}

BOOL PolyTextOutW(HDC hdc, CONST POLYTEXTW* ppt, int nstrings) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if (!ppt || nstrings < 0) return InvalidParameter();
  std::span<const POLYTEXTW> items(ppt, static_cast<std::size_t>(nstrings));
  for (const auto& item : items)
    if (item.n > 0 && !item.lpstr) return InvalidParameter();
  if (DcRecorder* recorder = dc->Recorder()) return recorder->PolyTextOutW(*dc, items) ? TRUE : FALSE;
  for (const auto& item : items)
    if (!ExtTextOutW(hdc, item.x, item.y, item.uiFlags, &item.rcl, item.lpstr, item.n, item.pdx)) return FALSE;
  return TRUE;
}

BOOL PolyTextOutA(HDC hdc, CONST POLYTEXTA* ppt, int nstrings) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if (!ppt || nstrings < 0) return InvalidParameter();
  std::span<const POLYTEXTA> items(ppt, static_cast<std::size_t>(nstrings));
  for (const auto& item : items)
    if (item.n > 0 && !item.lpstr) return InvalidParameter();
  if (DcRecorder* recorder = dc->Recorder()) return recorder->PolyTextOutA(*dc, items) ? TRUE : FALSE;
  for (const auto& item : items)
    if (!ExtTextOutA(hdc, item.x, item.y, item.uiFlags, &item.rcl, item.lpstr, item.n, item.pdx)) return FALSE;
  return TRUE;
}

int DrawTextW(HDC hdc, LPCWSTR lpchText, int cchText, LPRECT lprc, UINT format) {
  auto dc = LookupDc(hdc);
  if (!dc) return 0;
  if (!lpchText || !lprc) return InvalidParameter();
  std::u16string_view text = cchText < 0 ? std::u16string_view(lpchText) : std::u16string_view(lpchText, static_cast<std::size_t>(cchText));
  return text::DrawTextW(*dc, text, lprc, format);
}

BOOL GetTextExtentPoint32W(HDC hdc, LPCWSTR lpString, int c, LPSIZE psizl) {
  return measure(hdc, [&](Dc& dc) -> BOOL {
    if (c < 0 || (c > 0 && !lpString) || !psizl) return InvalidParameter();
    return text::GetTextExtentPoint(dc, {lpString ? lpString : u"", static_cast<std::size_t>(c)}, psizl);
  });
}

BOOL GetTextExtentPointW(HDC hdc, LPCWSTR lpString, int c, LPSIZE lpsz) {
  return GetTextExtentPoint32W(hdc, lpString, c, lpsz);
}

BOOL GetTextExtentPointI(HDC hdc, LPWORD pgiIn, int cgi, LPSIZE psize) {
  return measure(hdc, [&](Dc& dc) -> BOOL {
    if (cgi < 0 || (cgi > 0 && !pgiIn) || !psize) return InvalidParameter();
    return text::GetTextExtentPointI(dc, {pgiIn, static_cast<std::size_t>(cgi)}, psize);
  });
}

BOOL GetTextExtentExPointW(HDC hdc, LPCWSTR lpszString, int cchString, int nMaxExtent, LPINT lpnFit, LPINT lpnDx,
                           LPSIZE lpSize) {
  return measure(hdc, [&](Dc& dc) -> BOOL {
    if (cchString < 0 || (cchString > 0 && !lpszString) || !lpSize) return InvalidParameter();
    return text::GetTextExtentExPoint(dc, {lpszString ? lpszString : u"", static_cast<std::size_t>(cchString)},
                                      nMaxExtent, lpnFit, lpnDx, lpSize);
  });
}

BOOL GetTextMetricsW(HDC hdc, LPTEXTMETRICW lptm) {
  return measure(hdc, [&](Dc& dc) -> BOOL { return lptm ? text::GetTextMetrics(dc, lptm) : InvalidParameter(); });
}

int GetTextFaceW(HDC hdc, int c, LPWSTR lpName) {
  auto dc = LookupDc(hdc);
  if (!dc) return 0;
  if (c < 0 || (c > 0 && !lpName)) return InvalidParameter();
  return text::GetTextFace(*dc, c, lpName);
}

BOOL GetCharABCWidthsW(HDC hdc, UINT wFirst, UINT wLast, LPABC lpABC) {
  return measure(hdc, [&](Dc& dc) -> BOOL {
    if (!lpABC || wLast < wFirst) return InvalidParameter();
    return text::GetCharABCWidths(dc, wFirst, wLast, lpABC);
  });
}

BOOL GetCharABCWidthsI(HDC hdc, UINT giFirst, UINT cgi, LPWORD pgi, LPABC pabc) {
  return measure(hdc, [&](Dc& dc) -> BOOL {
    if (!pabc) return InvalidParameter();
    return text::GetCharABCWidthsI(dc, giFirst, cgi, pgi, pabc);
  });
}

BOOL GetCharWidth32W(HDC hdc, UINT iFirst, UINT iLast, LPINT lpBuffer) {
  return measure(hdc, [&](Dc& dc) -> BOOL {
    if (!lpBuffer || iLast < iFirst) return InvalidParameter();
    return text::GetCharWidth32(dc, iFirst, iLast, lpBuffer);
  });
}

DWORD GetGlyphIndicesW(HDC hdc, LPCWSTR lpstr, int c, LPWORD pgi, DWORD fl) {
  auto dc = LookupDc(hdc);
  if (!dc) return GDI_ERROR;
  if (c < 0 || (c > 0 && (!lpstr || !pgi))) {
    InvalidParameter();
    return GDI_ERROR;
  }
  return text::GetGlyphIndices(*dc, {lpstr ? lpstr : u"", static_cast<std::size_t>(c)}, pgi, fl);
}

DWORD GetFontUnicodeRanges(HDC hdc, LPGLYPHSET lpgs) {
  auto dc = LookupDc(hdc);
  if (!dc) return 0;
  return text::GetFontUnicodeRanges(*dc, lpgs);
}

DWORD GetFontData(HDC hdc, DWORD dwTable, DWORD dwOffset, PVOID pvBuffer, DWORD cjBuffer) {
  auto dc = LookupDc(hdc);
  if (!dc) return GDI_ERROR;
  return text::GetFontData(*dc, dwTable, dwOffset, pvBuffer, cjBuffer);
}

int EnumFontFamiliesExW(HDC hdc, LPLOGFONTW lpLogfont, FONTENUMPROCW lpProc, LPARAM lParam, DWORD dwFlags) {
  auto dc = LookupDc(hdc);
  if (!dc) return 0;
  if (!lpLogfont || !lpProc) return InvalidParameter();
  return text::EnumFontFamiliesEx(*dc, lpLogfont, lpProc, lParam, dwFlags);
}

HANDLE AddFontMemResourceEx(PVOID pFileView, DWORD cjSize, PVOID, DWORD* pNumFonts) {
  if (!pFileView || cjSize == 0 || !pNumFonts) {
    InvalidParameter();
    return nullptr;
  }
  return text::AddFontMemResource(pFileView, cjSize, pNumFonts);
}

BOOL RemoveFontMemResourceEx(HANDLE h) {
  if (!h) return InvalidParameter();
  return text::RemoveFontMemResource(h);
}
