// Internal: the seam between the DC layer and the font engine. The text
// API (text_api.cpp) looks up the DC, validates, lets a metafile recorder
// see the call and draws ETO_OPAQUE boxes; everything that needs a realised
// font comes here (implemented in platform/gdi/text/).
//
// Glyphs are 8-bit coverage masks blended per pixel format (alpha 0 on
// 32-bit surfaces).
#pragma once
#include <span>
#include <string>
#include <string_view>

#include "dc.h"

namespace tw::gdi::text {

// Raster output (never called for metafile DCs, whose recorder got the call).
BOOL ExtTextOutW(Dc& dc, int x, int y, UINT options, const RECT* rect, std::u16string_view text, const INT* dx);
BOOL ExtTextOutA(Dc& dc, int x, int y, UINT options, const RECT* rect, std::string_view text, const INT* dx);
int DrawTextW(Dc& dc, std::u16string_view text, LPRECT rect, UINT format);

// 8-bit text as the DC's font reads it (in the code page of its character
// set), one character per byte, for measuring what ExtTextOutA draws.
std::u16string WidenForMeasuring(Dc& dc, std::string_view text);

// Measurement (on any DC, metafile DCs measuring on their reference device).
BOOL GetTextExtentPoint(Dc& dc, std::u16string_view text, LPSIZE size);
BOOL GetTextExtentPointI(Dc& dc, std::span<const WORD> glyphs, LPSIZE size);
BOOL GetTextExtentExPoint(Dc& dc, std::u16string_view text, int maxExtent, LPINT fit, LPINT dx, LPSIZE size);
BOOL GetTextMetrics(Dc& dc, LPTEXTMETRICW metrics);
int GetTextFace(Dc& dc, int count, LPWSTR name);
BOOL GetCharABCWidths(Dc& dc, UINT first, UINT last, LPABC abc);
BOOL GetCharABCWidthsI(Dc& dc, UINT first, UINT count, LPWORD glyphs, LPABC abc);
BOOL GetCharWidth32(Dc& dc, UINT first, UINT last, LPINT widths);
DWORD GetGlyphIndices(Dc& dc, std::u16string_view text, LPWORD glyphs, DWORD flags);
DWORD GetFontUnicodeRanges(Dc& dc, LPGLYPHSET glyphSet);
DWORD GetFontData(Dc& dc, DWORD table, DWORD offset, PVOID buffer, DWORD size);
int EnumFontFamiliesEx(Dc& dc, LPLOGFONTW logfont, FONTENUMPROCW proc, LPARAM param, DWORD flags);

// While one lives, text on this thread follows GM_COMPATIBLE's rules (glyphs
// never mirrored by the transform) whatever the DC's graphics mode: the
// metafile player draws GM_COMPATIBLE text records with it.
class CompatibleTextScope {
 public:
  CompatibleTextScope();
  ~CompatibleTextScope();
  CompatibleTextScope(const CompatibleTextScope&) = delete;
  CompatibleTextScope& operator=(const CompatibleTextScope&) = delete;
};

// The process-wide font registry.
HANDLE AddFontMemResource(PVOID data, DWORD size, DWORD* count);
BOOL RemoveFontMemResource(HANDLE handle);

}  // namespace tw::gdi::text
