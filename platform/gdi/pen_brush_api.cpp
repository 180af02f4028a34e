// Pens, brushes and fonts: creation.
#include <algorithm>
#include <cstring>

#include "bitmap.h"
#include "dc.h"
#include "dibinfo.h"
#include "tw/memory.h"
#include "winerror.h"

using namespace tw::gdi;

namespace tw::gdi {

// A brush pattern from a packed DIB (header, colour table, bits); the bytes
// are copied. Only uncompressed DIBs make patterns.
std::shared_ptr<const BrushPattern> PatternFromPackedDib(const void* packed, UINT usage, const Palette* palette) {
  DibHeader header;
  if (!packed || !ParseDibHeader(static_cast<const BITMAPINFO*>(packed), SIZE_MAX, usage, palette, false, header))
    return nullptr;
  auto pattern = std::make_shared<BrushPattern>();
  std::size_t total = header.infoBytes + header.sizeImage;
  try {
    pattern->packedDib.assign(static_cast<const BYTE*>(packed), static_cast<const BYTE*>(packed) + total);
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  pattern->usage = usage;
  if (!MakeDibView(header, pattern->packedDib.data() + header.infoBytes, header.sizeImage, pattern->dib))
    return nullptr;
  return pattern;
}

// A brush pattern from a bitmap: its pixels as a packed bottom-up DIB of the
// same depth and colour table.
std::shared_ptr<const BrushPattern> PatternFromBitmap(const Bitmap& bitmap) {
  const Dib& src = bitmap.dib;
  std::size_t stride = Dib::StrideFor(src.width, src.bpp);
  std::size_t colors = src.bpp <= 8 ? src.colors.size() : 0;
  bool fields = src.bpp == 16 || (src.bpp == 32 && src.funcs != nullptr && src.masks[0] != 0xFF0000);
  std::size_t info = sizeof(BITMAPINFOHEADER) + (fields ? 12 : 0) + colors * 4;
  auto pattern = std::make_shared<BrushPattern>();
  try {
    pattern->packedDib.assign(info + stride * static_cast<std::size_t>(src.height), 0);
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  BITMAPINFOHEADER h{sizeof(BITMAPINFOHEADER), src.width, src.height, 1, static_cast<WORD>(src.bpp),
                     fields ? static_cast<DWORD>(BI_BITFIELDS) : static_cast<DWORD>(BI_RGB),
                     static_cast<DWORD>(stride * static_cast<std::size_t>(src.height)), 0, 0,
                     static_cast<DWORD>(colors), 0};
  BYTE* out = pattern->packedDib.data();
  std::memcpy(out, &h, sizeof(h));
  if (fields) std::memcpy(out + sizeof(h), src.masks, 12);
  if (colors) std::memcpy(out + sizeof(h) + (fields ? 12 : 0), src.colors.data(), colors * 4);
  for (int y = 0; y < src.height; ++y)
    std::memcpy(out + info + stride * static_cast<std::size_t>(src.height - 1 - y), src.Row(y), stride);
  pattern->mono = bitmap.MonoDdb();
  pattern->dib = src;
  pattern->dib.top = out + info + stride * static_cast<std::size_t>(src.height - 1);
  pattern->dib.pitch = -static_cast<std::ptrdiff_t>(stride);
  return pattern;
}

// Builds a brush from a LOGBRUSH (CreateBrushIndirect and ExtCreatePen).
std::shared_ptr<Brush> MakeBrush(const LOGBRUSH& lb) {
  auto brush = std::make_shared<Brush>();
  brush->style = lb.lbStyle;
  brush->color = lb.lbColor;
  switch (lb.lbStyle) {
    case BS_SOLID:
    case BS_NULL:
      brush->color = lb.lbStyle == BS_NULL ? 0 : lb.lbColor;
      return brush;
    case BS_HATCHED:
      if (lb.lbHatch > HS_DIAGCROSS) break;
      brush->hatch = lb.lbHatch;
      return brush;
    case BS_PATTERN:
    case BS_PATTERN8X8: {
      auto bitmap = LookupObjectAs<Bitmap>(reinterpret_cast<HGDIOBJ>(lb.lbHatch));
      if (!bitmap) return nullptr;
      brush->style = BS_PATTERN;
      brush->hatch = lb.lbHatch;
      brush->pattern = PatternFromBitmap(*bitmap);
      return brush->pattern ? brush : nullptr;
    }
    case BS_DIBPATTERN:
    case BS_DIBPATTERN8X8: {
      // lbHatch is a global memory handle holding the packed DIB.
      HGLOBAL block = reinterpret_cast<HGLOBAL>(lb.lbHatch);
      void* packed = GlobalLock(block);
      if (!packed) return nullptr;
      brush->pattern = PatternFromPackedDib(packed, lb.lbColor, nullptr);
      GlobalUnlock(block);
      brush->style = BS_DIBPATTERNPT;
      return brush->pattern ? brush : nullptr;
    }
    case BS_DIBPATTERNPT:
      brush->pattern = PatternFromPackedDib(reinterpret_cast<const void*>(lb.lbHatch), lb.lbColor, nullptr);
      brush->hatch = 0;
      return brush->pattern ? brush : nullptr;
    default: break;
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return nullptr;
}

}  // namespace tw::gdi

namespace {

template <class T>
T insertAs(std::shared_ptr<GdiObject> object) {
  if (!object) return nullptr;
  return static_cast<T>(InsertObject(std::move(object)));
}

}  // namespace

HPEN CreatePen(int iStyle, int cWidth, COLORREF color) {
  auto pen = std::make_shared<Pen>();
  DWORD style = static_cast<DWORD>(iStyle);
  if ((style & PS_STYLE_MASK) > PS_INSIDEFRAME) style = (style & ~PS_STYLE_MASK) | PS_SOLID;
  pen->style = style;
  pen->width = static_cast<DWORD>(cWidth < 0 ? -static_cast<long long>(cWidth) : cWidth);
  pen->color = color;
  return insertAs<HPEN>(pen);
}

HPEN CreatePenIndirect(CONST LOGPEN* plpen) {
  if (!plpen) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return CreatePen(static_cast<int>(plpen->lopnStyle), plpen->lopnWidth.x, plpen->lopnColor);
}

HPEN ExtCreatePen(DWORD iPenStyle, DWORD cWidth, CONST LOGBRUSH* plbrush, DWORD cStyle, CONST DWORD* pstyle) {
  DWORD lineStyle = iPenStyle & PS_STYLE_MASK;
  bool geometric = (iPenStyle & PS_TYPE_MASK) == PS_GEOMETRIC;
  bool ok = plbrush && lineStyle <= PS_ALTERNATE && (iPenStyle & PS_TYPE_MASK) <= PS_GEOMETRIC &&
            (iPenStyle & PS_ENDCAP_MASK) <= PS_ENDCAP_FLAT && (iPenStyle & PS_JOIN_MASK) <= PS_JOIN_MITER;
  if (ok && lineStyle == PS_USERSTYLE) ok = cStyle > 0 && cStyle <= 16 && pstyle;
  if (ok && lineStyle != PS_USERSTYLE) ok = cStyle == 0 && !pstyle;
  if (ok && !geometric) ok = cWidth == 1 && plbrush->lbStyle == BS_SOLID && lineStyle != PS_INSIDEFRAME;
  if (ok && geometric) ok = lineStyle != PS_ALTERNATE;
  if (!ok) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto pen = std::make_shared<Pen>();
  pen->extended = true;
  pen->style = iPenStyle;
  pen->width = cWidth;
  pen->brushStyle = plbrush->lbStyle;
  pen->color = plbrush->lbColor;
  pen->hatch = plbrush->lbHatch;
  if (lineStyle == PS_USERSTYLE) pen->styleEntries.assign(pstyle, pstyle + cStyle);
  if (plbrush->lbStyle != BS_SOLID && plbrush->lbStyle != BS_NULL) {
    pen->brush = MakeBrush(*plbrush);
    if (!pen->brush) return nullptr;
    if (plbrush->lbStyle == BS_DIBPATTERNPT || plbrush->lbStyle == BS_DIBPATTERN) pen->hatch = 0;
  }
  return insertAs<HPEN>(pen);
}

HBRUSH CreateSolidBrush(COLORREF color) {
  LOGBRUSH lb{BS_SOLID, color, 0};
  return insertAs<HBRUSH>(MakeBrush(lb));
}

HBRUSH CreateHatchBrush(int iHatch, COLORREF color) {
  LOGBRUSH lb{BS_HATCHED, color, static_cast<ULONG_PTR>(iHatch)};
  if (iHatch < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return insertAs<HBRUSH>(MakeBrush(lb));
}

HBRUSH CreatePatternBrush(HBITMAP hbm) {
  LOGBRUSH lb{BS_PATTERN, 0, reinterpret_cast<ULONG_PTR>(hbm)};
  return insertAs<HBRUSH>(MakeBrush(lb));
}

HBRUSH CreateDIBPatternBrushPt(CONST VOID* lpPackedDIB, UINT iUsage) {
  LOGBRUSH lb{BS_DIBPATTERNPT, iUsage, reinterpret_cast<ULONG_PTR>(lpPackedDIB)};
  return insertAs<HBRUSH>(MakeBrush(lb));
}

HBRUSH CreateDIBPatternBrush(HGLOBAL h, UINT iUsage) {
  LOGBRUSH lb{BS_DIBPATTERN, iUsage, reinterpret_cast<ULONG_PTR>(h)};
  return insertAs<HBRUSH>(MakeBrush(lb));
}

HBRUSH CreateBrushIndirect(CONST LOGBRUSH* plbrush) {
  if (!plbrush) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return insertAs<HBRUSH>(MakeBrush(*plbrush));
}

HFONT CreateFontIndirectW(CONST LOGFONTW* lplf) {
  if (!lplf) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  LOGFONTW lf = *lplf;
  lf.lfFaceName[LF_FACESIZE - 1] = 0;  // an unterminated face name is cut, never read past
  return insertAs<HFONT>(std::make_shared<Font>(lf));
}

HFONT CreateFontIndirectA(CONST LOGFONTA* lplf) {
  if (!lplf) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  LOGFONTW lf{};
  std::memcpy(&lf, lplf, offsetof(LOGFONTA, lfFaceName));
  for (int i = 0; i < LF_FACESIZE - 1 && lplf->lfFaceName[i]; ++i)
    lf.lfFaceName[i] = static_cast<WCHAR>(static_cast<unsigned char>(lplf->lfFaceName[i]));  // faces are ASCII
  return CreateFontIndirectW(&lf);
}

HFONT CreateFontW(int cHeight, int cWidth, int cEscapement, int cOrientation, int cWeight, DWORD bItalic,
                  DWORD bUnderline, DWORD bStrikeOut, DWORD iCharSet, DWORD iOutPrecision, DWORD iClipPrecision,
                  DWORD iQuality, DWORD iPitchAndFamily, LPCWSTR pszFaceName) {
  LOGFONTW lf{};
  lf.lfHeight = cHeight;
  lf.lfWidth = cWidth;
  lf.lfEscapement = cEscapement;
  lf.lfOrientation = cOrientation;
  lf.lfWeight = cWeight;
  lf.lfItalic = bItalic ? 1 : 0;
  lf.lfUnderline = bUnderline ? 1 : 0;
  lf.lfStrikeOut = bStrikeOut ? 1 : 0;
  lf.lfCharSet = static_cast<BYTE>(iCharSet);
  lf.lfOutPrecision = static_cast<BYTE>(iOutPrecision);
  lf.lfClipPrecision = static_cast<BYTE>(iClipPrecision);
  lf.lfQuality = static_cast<BYTE>(iQuality);
  lf.lfPitchAndFamily = static_cast<BYTE>(iPitchAndFamily);
  for (int i = 0; pszFaceName && i < LF_FACESIZE - 1 && pszFaceName[i]; ++i) lf.lfFaceName[i] = pszFaceName[i];
  return CreateFontIndirectW(&lf);
}
