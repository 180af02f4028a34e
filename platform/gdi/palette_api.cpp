// Logical palettes. Surfaces here are true colour or carry their own colour
// table, so a palette is a lookup table; on metafile DCs the calls are
// recorded.
#include <algorithm>

#include "dc.h"
#include "dibinfo.h"
#include "winerror.h"

using namespace tw::gdi;

HPALETTE CreatePalette(CONST LOGPALETTE* plpal) {
  if (!plpal || plpal->palVersion != 0x300 || plpal->palNumEntries == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::vector<PALETTEENTRY> entries(plpal->palPalEntry, plpal->palPalEntry + plpal->palNumEntries);
  return static_cast<HPALETTE>(InsertObject(std::make_shared<Palette>(std::move(entries))));
}

HPALETTE CreateHalftonePalette(HDC hdc) {
  if (hdc && !LookupDc(hdc)) return nullptr;
  const auto& table = DefaultColorTable(8);
  std::vector<PALETTEENTRY> entries;
  for (const RGBQUAD& q : table) entries.push_back({q.rgbRed, q.rgbGreen, q.rgbBlue, 0});
  return static_cast<HPALETTE>(InsertObject(std::make_shared<Palette>(std::move(entries))));
}

HPALETTE SelectPalette(HDC hdc, HPALETTE hPal, BOOL bForceBkgd) {
  auto dc = LookupDc(hdc);
  if (!dc) return nullptr;
  auto palette = LookupObjectAs<Palette>(hPal);
  if (!palette) return nullptr;
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->SelectPalette(*dc, hPal, *palette, bForceBkgd)) return nullptr;
  DcState& s = dc->State();
  auto previous = static_cast<HPALETTE>(s.paletteHandle);
  s.paletteHandle = hPal;
  s.palette = palette;
  return previous;
}

UINT RealizePalette(HDC hdc) {
  auto dc = LookupDc(hdc);
  if (!dc) return GDI_ERROR;
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->RealizePalette(*dc)) return GDI_ERROR;
  // No device has a hardware palette: nothing is mapped into one.
  return 0;
}

UINT GetNearestPaletteIndex(HPALETTE h, COLORREF color) {
  auto palette = LookupObjectAs<Palette>(h);
  if (!palette) return CLR_INVALID;
  return palette->NearestIndex(color);
}

COLORREF GetNearestColor(HDC hdc, COLORREF color) {
  auto dc = LookupDc(hdc);
  if (!dc) return CLR_INVALID;
  if (color & 0x01000000) {  // PALETTEINDEX
    auto entries = dc->State().palette->Entries();
    WORD index = static_cast<WORD>(color & 0xFFFF);
    if (index >= entries.size()) return CLR_INVALID;
    return RGB(entries[index].peRed, entries[index].peGreen, entries[index].peBlue);
  }
  color &= 0x00FFFFFF;
  if (Dib* surface = dc->Surface(); surface && surface->bpp <= 8)
    return ColorrefFromRgb(surface->funcs->pixelToRgb(*surface, surface->funcs->rgbToPixel(*surface, RgbFromColorref(color))));
  return color;
}

UINT GetPaletteEntries(HPALETTE hpal, UINT iStart, UINT cEntries, LPPALETTEENTRY pPalEntries) {
  auto palette = LookupObjectAs<Palette>(hpal);
  if (!palette) return 0;
  auto entries = palette->Entries();
  if (!pPalEntries) return static_cast<UINT>(entries.size());
  if (iStart >= entries.size()) return 0;
  UINT n = std::min<UINT>(cEntries, static_cast<UINT>(entries.size()) - iStart);
  std::copy_n(entries.begin() + iStart, n, pPalEntries);
  return n;
}

UINT SetPaletteEntries(HPALETTE hpal, UINT iStart, UINT cEntries, CONST PALETTEENTRY* pPalEntries) {
  auto palette = LookupObjectAs<Palette>(hpal);
  if (!palette || !pPalEntries) return 0;
  if (IsStockObject(hpal)) return 0;
  auto entries = palette->Entries();
  if (iStart >= entries.size()) return 0;
  UINT n = std::min<UINT>(cEntries, static_cast<UINT>(entries.size()) - iStart);
  std::copy_n(pPalEntries, n, entries.begin() + iStart);
  palette->SetEntries(std::move(entries));
  return n;
}

BOOL AnimatePalette(HPALETTE hPal, UINT iStartIndex, UINT cEntries, CONST PALETTEENTRY* ppe) {
  auto palette = LookupObjectAs<Palette>(hPal);
  if (!palette || !ppe) return FALSE;
  auto entries = palette->Entries();
  // Only PC_RESERVED entries may be animated.
  for (UINT i = 0; i < cEntries && iStartIndex + i < entries.size(); ++i)
    if (entries[iStartIndex + i].peFlags & PC_RESERVED) entries[iStartIndex + i] = ppe[i];
  palette->SetEntries(std::move(entries));
  return TRUE;
}

BOOL ResizePalette(HPALETTE hpal, UINT n) {
  auto palette = LookupObjectAs<Palette>(hpal);
  if (!palette || n == 0 || n > 1024 || IsStockObject(hpal)) {
    if (palette) SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto entries = palette->Entries();
  entries.resize(n, PALETTEENTRY{0, 0, 0, 0});
  palette->SetEntries(std::move(entries));
  return TRUE;
}

UINT GetSystemPaletteEntries(HDC hdc, UINT, UINT, LPPALETTEENTRY) {
  // No device is palette-based: as on Windows, there is no system palette.
  if (!LookupDc(hdc)) return 0;
  return 0;
}

UINT GetSystemPaletteUse(HDC hdc) { return LookupDc(hdc) ? SYSPAL_STATIC : SYSPAL_ERROR; }

UINT SetSystemPaletteUse(HDC hdc, UINT) { return LookupDc(hdc) ? SYSPAL_STATIC : SYSPAL_ERROR; }
