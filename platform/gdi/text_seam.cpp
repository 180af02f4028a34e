// The font engine's seam: text output and measurement need realised fonts,
// which the next stage brings (FreeType faces matched from the LOGFONT).
// Until then every call fails cleanly with ERROR_CALL_NOT_IMPLEMENTED.
#include "text_seam.h"

#include "winerror.h"

namespace tw::gdi::text {
namespace {

template <class T>
T notImplemented(T failure) {
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return failure;
}

}  // namespace

BOOL ExtTextOutW(Dc&, int, int, UINT, const RECT*, std::u16string_view, const INT*) { return notImplemented(FALSE); }
BOOL ExtTextOutA(Dc&, int, int, UINT, const RECT*, std::string_view, const INT*) { return notImplemented(FALSE); }
int DrawTextW(Dc&, std::u16string_view, LPRECT, UINT) { return notImplemented(0); }
BOOL GetTextExtentPoint(Dc&, std::u16string_view, LPSIZE) { return notImplemented(FALSE); }
BOOL GetTextExtentPointI(Dc&, std::span<const WORD>, LPSIZE) { return notImplemented(FALSE); }
BOOL GetTextExtentExPoint(Dc&, std::u16string_view, int, LPINT, LPINT, LPSIZE) { return notImplemented(FALSE); }
BOOL GetTextMetrics(Dc&, LPTEXTMETRICW) { return notImplemented(FALSE); }
int GetTextFace(Dc&, int, LPWSTR) { return notImplemented(0); }
BOOL GetCharABCWidths(Dc&, UINT, UINT, LPABC) { return notImplemented(FALSE); }
BOOL GetCharABCWidthsI(Dc&, UINT, UINT, LPWORD, LPABC) { return notImplemented(FALSE); }
BOOL GetCharWidth32(Dc&, UINT, UINT, LPINT) { return notImplemented(FALSE); }
DWORD GetGlyphIndices(Dc&, std::u16string_view, LPWORD, DWORD) { return notImplemented<DWORD>(GDI_ERROR); }
DWORD GetFontUnicodeRanges(Dc&, LPGLYPHSET) { return notImplemented<DWORD>(0); }
DWORD GetFontData(Dc&, DWORD, DWORD, PVOID, DWORD) { return notImplemented<DWORD>(GDI_ERROR); }
int EnumFontFamiliesEx(Dc&, LPLOGFONTW, FONTENUMPROCW, LPARAM, DWORD) { return notImplemented(0); }
HANDLE AddFontMemResource(PVOID, DWORD, DWORD*) { return notImplemented<HANDLE>(nullptr); }
BOOL RemoveFontMemResource(HANDLE) { return notImplemented(FALSE); }

}  // namespace tw::gdi::text
