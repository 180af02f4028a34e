// Blits: PatBlt, BitBlt, StretchBlt, StretchDIBits, SetDIBitsToDevice,
// AlphaBlend, TransparentBlt, MaskBlt, PlgBlt; FillRect and friends.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <optional>

#include "dibinfo.h"
#include "draw.h"
#include "raster/blit.h"
#include "rle.h"
#include "winerror.h"

using namespace tw::gdi;

namespace {


PointF devicePoint(Dc& dc, double x, double y) {
  double dx, dy;
  dc.LogicalToDevice().Apply(x, y, dx, dy);
  return {static_cast<double>(RoundToDevice(dx)), static_cast<double>(RoundToDevice(dy))};
}

// Where a logical destination rectangle lands on the device.
BlitTarget targetOf(Dc& dc, int x, int y, int w, int h) {
  return {devicePoint(dc, x, y), devicePoint(dc, static_cast<double>(x) + w, y),
          devicePoint(dc, x, static_cast<double>(y) + h)};
}

// The source DC's rectangle in device pixels; mirrored sources turn into
// mirrored targets. False when the source transform rotates.
bool sourceRect(Dc& src, int x, int y, int w, int h, BlitSource& out, BlitTarget& target) {
  const Matrix& m = src.LogicalToDevice();
  if (!m.IsAxisAligned()) return InvalidParameter();
  POINT a = src.ToDevice({x, y});
  POINT b = src.ToDevice({static_cast<LONG>(static_cast<long long>(x) + w), static_cast<LONG>(static_cast<long long>(y) + h)});
  if (b.x < a.x) {
    std::swap(a.x, b.x);
    MirrorTargetX(target);
  }
  if (b.y < a.y) {
    std::swap(a.y, b.y);
    MirrorTargetY(target);
  }
  out.x = a.x;
  out.y = a.y;
  out.width = b.x - a.x;
  out.height = b.y - a.y;
  return true;
}

bool fillSource(Dc& src, BlitSource& out) {
  Dib* dib = src.Surface();
  if (!dib) return InvalidParameter();  // printer, screen and metafile DCs have no pixels to read
  out.dib = dib;
  out.monoDdb = src.SurfaceIsMonoDdb();
  out.bkRgb = ResolveColor(src, src.State().bkColor);
  return true;
}

BOOL stretchBlt(HDC hdcDest, int x, int y, int w, int h, HDC hdcSrc, int xs, int ys, int ws, int hs, DWORD rop,
                bool stretch) {
  auto dc = LookupDc(hdcDest);
  if (!dc) return FALSE;
  bool needsSource = RopUsesSource(rop);
  std::shared_ptr<Dc> src;
  if (needsSource) {
    src = LookupDc(hdcSrc);
    if (!src) return FALSE;
  }
  if (DcRecorder* recorder = dc->Recorder()) {
    bool ok = stretch ? recorder->StretchBlt(*dc, x, y, w, h, src.get(), xs, ys, ws, hs, rop)
                      : recorder->BitBlt(*dc, x, y, w, h, src.get(), xs, ys, rop);
    return ok ? TRUE : FALSE;
  }
  if (!dc->Surface()) return TRUE;
  BlitTarget target = targetOf(*dc, x, y, w, h);
  BlitParams params;
  params.rop = rop;
  params.stretchMode = dc->State().stretchMode;
  if (!needsSource) {
    Blit(*dc, target, nullptr, params);
    return TRUE;
  }
  BlitSource source;
  if (!fillSource(*src, source) || !sourceRect(*src, xs, ys, ws, hs, source, target)) return FALSE;
  Blit(*dc, target, &source, params);
  return TRUE;
}

// A BITMAPINFO and its bits as a blit source: uncompressed bits in place,
// RLE bits read row by row from their stream.
struct DibInput {
  DibHeader header;
  Dib dib;
  std::optional<RleImage> rle;

  bool Read(Dc& dc, const void* bits, const BITMAPINFO* info, UINT usage) {
    if (!bits || !info) return InvalidParameter();
    if (!ParseDibHeader(info, SIZE_MAX, usage, dc.State().palette.get(), true, header)) return false;
    if (header.compression == BI_RLE8 || header.compression == BI_RLE4) {
      dib = RleFormat(header);
      rle.emplace(static_cast<const BYTE*>(bits), header.sizeImage, header.compression == BI_RLE4, header.width,
                  header.height);
      return true;
    }
    return MakeDibView(header, bits, header.sizeImage, dib);
  }
  void Describe(BlitSource& source) const {
    source.dib = &dib;
    source.rle = rle ? &*rle : nullptr;
  }
};

// StretchDIBits; `unsetIsZero` as in BlitSource::rleUnsetIsZero, `bkRgb`
// the background colour for monochrome targets.
int stretchDibits(Dc& dc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc, int ySrc, int SrcWidth,
                  int SrcHeight, const VOID* lpBits, const BITMAPINFO* lpbmi, UINT iUsage, DWORD rop,
                  bool unsetIsZero, DWORD bkRgb) {
  DibInput in;
  if (!in.Read(dc, lpBits, lpbmi, iUsage)) return 0;
  if (DcRecorder* recorder = dc.Recorder()) {
    bool ok = recorder->StretchDIBits(dc, xDest, yDest, DestWidth, DestHeight, xSrc, ySrc, SrcWidth, SrcHeight,
                                      {static_cast<const BYTE*>(lpBits), in.header.sizeImage},
                                      {reinterpret_cast<const BYTE*>(lpbmi), in.header.infoBytes}, iUsage, rop);
    return ok ? std::abs(SrcHeight) : 0;
  }
  if (!dc.Surface()) return std::abs(SrcHeight);
  BlitTarget target = targetOf(dc, xDest, yDest, DestWidth, DestHeight);
  // The source rectangle counts its y from the bottom of a bottom-up DIB.
  if (SrcWidth < 0) {
    xSrc += SrcWidth;
    SrcWidth = -SrcWidth;
    MirrorTargetX(target);
  }
  if (SrcHeight < 0) {
    ySrc += SrcHeight;
    SrcHeight = -SrcHeight;
    MirrorTargetY(target);
  }
  BlitSource source;
  in.Describe(source);
  source.rleUnsetIsZero = unsetIsZero;
  source.bkRgb = bkRgb;
  source.x = xSrc;
  source.width = SrcWidth;
  source.height = SrcHeight;
  source.y = in.header.topDown ? ySrc : in.header.height - ySrc - SrcHeight;
  BlitParams params;
  params.rop = rop;
  params.stretchMode = dc.State().stretchMode;
  Blit(dc, target, &source, params);
  return SrcHeight;
}

}  // namespace

namespace tw::gdi {

bool ReadSourceBits(Dc& source, const RECT& rect, std::vector<BYTE>& info, std::vector<BYTE>& bits) {
  Dib* surface = source.Surface();
  int w = rect.right - rect.left, h = rect.bottom - rect.top;
  if (!surface || w <= 0 || h <= 0) return InvalidParameter();
  int bpp = surface->bpp == 16 ? 24 : surface->bpp;
  std::vector<RGBQUAD> colors = bpp <= 8 ? surface->colors : std::vector<RGBQUAD>();
  if (source.SurfaceIsMonoDdb()) colors = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  std::size_t stride = Dib::StrideFor(w, bpp);
  try {
    info.assign(sizeof(BITMAPINFOHEADER) + colors.size() * sizeof(RGBQUAD), 0);
    bits.assign(stride * static_cast<std::size_t>(h), 0);
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  BITMAPINFOHEADER header{sizeof(BITMAPINFOHEADER), w, h, 1, static_cast<WORD>(bpp), BI_RGB,
                          static_cast<DWORD>(bits.size()), 0, 0, static_cast<DWORD>(colors.size()), 0};
  std::memcpy(info.data(), &header, sizeof(header));
  if (!colors.empty()) std::memcpy(info.data() + sizeof(header), colors.data(), colors.size() * sizeof(RGBQUAD));
  Dib out;
  out.SetFormat(bpp);
  out.width = w;
  out.height = h;
  out.colors = colors;
  out.top = bits.data() + stride * static_cast<std::size_t>(h - 1);
  out.pitch = -static_cast<std::ptrdiff_t>(stride);
  std::vector<DWORD> row(static_cast<std::size_t>(w));
  for (int y = 0; y < h; ++y) {
    int sy = rect.top + y;
    std::fill(row.begin(), row.end(), 0);
    if (sy >= 0 && sy < surface->height) {
      int x0 = std::max<int>(rect.left, 0), x1 = std::min<int>(rect.right, surface->width);
      if (x0 < x1) {
        surface->funcs->getPixels(*surface, sy, x0, x1 - x0, row.data() + (x0 - rect.left));
        if (surface->bpp == 16)
          for (int i = x0 - rect.left; i < x1 - rect.left; ++i)
            row[static_cast<std::size_t>(i)] = surface->funcs->pixelToRgb(*surface, row[static_cast<std::size_t>(i)]);
      }
    }
    out.funcs->putPixels(out, y, 0, w, row.data());
  }
  return true;
}

}  // namespace tw::gdi

BOOL PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop) {
  if (RopUsesSource(rop)) return InvalidParameter();
  return stretchBlt(hdc, x, y, w, h, nullptr, 0, 0, 0, 0, rop, false);
}

BOOL BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop) {
  return stretchBlt(hdc, x, y, cx, cy, hdcSrc, x1, y1, cx, cy, rop, false);
}

BOOL StretchBlt(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc, int xSrc, int ySrc, int wSrc,
                int hSrc, DWORD rop) {
  return stretchBlt(hdcDest, xDest, yDest, wDest, hDest, hdcSrc, xSrc, ySrc, wSrc, hSrc, rop, true);
}

int StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc, int ySrc, int SrcWidth,
                  int SrcHeight, CONST VOID* lpBits, CONST BITMAPINFO* lpbmi, UINT iUsage, DWORD rop) {
  auto dc = LookupDc(hdc);
  if (!dc) return 0;
  return stretchDibits(*dc, xDest, yDest, DestWidth, DestHeight, xSrc, ySrc, SrcWidth, SrcHeight, lpBits, lpbmi,
                       iUsage, rop, false, ResolveColor(*dc, dc->State().bkColor));
}

namespace tw::gdi {

int StretchDibAsBitmap(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc, int ySrc,
                       int SrcWidth, int SrcHeight, const void* bits, const BITMAPINFO* info, UINT usage, DWORD rop,
                       COLORREF sourceBkColor) {
  auto dc = LookupDc(hdc);
  if (!dc) return 0;
  return stretchDibits(*dc, xDest, yDest, DestWidth, DestHeight, xSrc, ySrc, SrcWidth, SrcHeight, bits, info, usage,
                       rop, true, ResolveColor(*dc, sourceBkColor));
}

}  // namespace tw::gdi

int SetDIBitsToDevice(HDC hdc, int xDest, int yDest, DWORD w, DWORD h, int xSrc, int ySrc, UINT StartScan,
                      UINT cLines, CONST VOID* lpvBits, CONST BITMAPINFO* lpbmi, UINT ColorUse) {
  auto dc = LookupDc(hdc);
  if (!dc) return 0;
  if (!lpvBits || !lpbmi || w > 0x7FFFFFFF || h > 0x7FFFFFFF) return InvalidParameter();
  DibHeader header;
  if (!ParseDibHeader(lpbmi, SIZE_MAX, ColorUse, dc->State().palette.get(), true, header)) return 0;
  const bool rle = header.compression == BI_RLE8 || header.compression == BI_RLE4;
  if (header.compression != BI_RGB && header.compression != BI_BITFIELDS && !rle) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
  }
  if (StartScan >= static_cast<UINT>(header.height)) return 0;
  cLines = std::min<UINT>(cLines, static_cast<UINT>(header.height) - StartScan);
  // Uncompressed bits hold just the scan lines given; an RLE stream always
  // describes the whole image, of which those lines are drawn.
  std::size_t bytes = rle ? header.sizeImage : header.stride * cLines;
  if (DcRecorder* recorder = dc->Recorder()) {
    bool ok = recorder->SetDIBitsToDevice(*dc, xDest, yDest, w, h, xSrc, ySrc, StartScan, cLines,
                                          {static_cast<const BYTE*>(lpvBits), bytes},
                                          {reinterpret_cast<const BYTE*>(lpbmi), header.infoBytes}, ColorUse);
    return ok ? static_cast<int>(cLines) : 0;
  }
  if (!dc->Surface() || cLines == 0) return static_cast<int>(cLines);
  DibInput in;
  in.header = header;
  // Full-DIB rows (top-down) the given scan lines are, and the view of them.
  int firstRow = header.topDown ? static_cast<int>(StartScan) : header.height - static_cast<int>(StartScan + cLines);
  if (rle) {
    in.dib = RleFormat(header);
    in.rle.emplace(static_cast<const BYTE*>(lpvBits), header.sizeImage, header.compression == BI_RLE4, header.width,
                   header.height);
  } else {
    in.header.height = static_cast<int>(cLines);
    in.header.sizeImage = static_cast<DWORD>(bytes);
    if (!MakeDibView(in.header, lpvBits, bytes, in.dib)) return 0;
  }
  int srcTop = header.topDown ? ySrc : header.height - ySrc - static_cast<int>(h);
  // One to one in device pixels from the destination's origin; only the
  // given scan lines are drawn.
  POINT origin = dc->ToDevice({xDest, yDest});
  int top = std::max(srcTop, firstRow);
  int bottom = static_cast<int>(
      std::min(static_cast<long long>(srcTop) + h, static_cast<long long>(firstRow) + cLines));
  if (bottom <= top) return static_cast<int>(cLines);
  BlitSource source;
  in.Describe(source);
  source.bkRgb = ResolveColor(*dc, dc->State().bkColor);
  source.x = xSrc;
  source.y = rle ? top : top - firstRow;
  source.width = static_cast<int>(w);
  source.height = bottom - top;
  double y0 = double(origin.y) + (top - srcTop);
  BlitTarget target{{double(origin.x), y0}, {double(origin.x) + w, y0}, {double(origin.x), y0 + source.height}};
  BlitParams params;
  Blit(*dc, target, &source, params);
  return static_cast<int>(cLines);
}

BOOL AlphaBlend(HDC hdcDest, int x, int y, int w, int h, HDC hdcSrc, int xs, int ys, int ws, int hs,
                BLENDFUNCTION ftn) {
  auto dc = LookupDc(hdcDest);
  auto src = LookupDc(hdcSrc);
  if (!dc || !src) return FALSE;
  if (ftn.BlendOp != AC_SRC_OVER || w < 0 || h < 0 || ws < 0 || hs < 0) return InvalidParameter();
  if (DcRecorder* recorder = dc->Recorder())
    return recorder->AlphaBlend(*dc, x, y, w, h, *src, xs, ys, ws, hs, ftn) ? TRUE : FALSE;
  BlitTarget target = targetOf(*dc, x, y, w, h);
  BlitSource source;
  if (!fillSource(*src, source) || !sourceRect(*src, xs, ys, ws, hs, source, target)) return FALSE;
  // The source rectangle must lie inside the source bitmap, and per-pixel
  // alpha needs 32-bit pixels.
  if (source.x < 0 || source.y < 0 || source.x + source.width > source.dib->width ||
      source.y + source.height > source.dib->height)
    return InvalidParameter();
  if ((ftn.AlphaFormat & AC_SRC_ALPHA) && source.dib->bpp != 32) return InvalidParameter();
  if (!dc->Surface()) return TRUE;
  BlitParams params;
  params.kind = BlitKind::AlphaBlend;
  params.blend = ftn;
  Blit(*dc, target, &source, params);
  return TRUE;
}

BOOL GdiAlphaBlend(HDC hdcDest, int x, int y, int w, int h, HDC hdcSrc, int xs, int ys, int ws, int hs,
                   BLENDFUNCTION ftn) {
  return AlphaBlend(hdcDest, x, y, w, h, hdcSrc, xs, ys, ws, hs, ftn);
}

BOOL TransparentBlt(HDC hdcDest, int x, int y, int w, int h, HDC hdcSrc, int xs, int ys, int ws, int hs,
                    UINT crTransparent) {
  auto dc = LookupDc(hdcDest);
  auto src = LookupDc(hdcSrc);
  if (!dc || !src) return FALSE;
  if (w <= 0 || h <= 0 || ws <= 0 || hs <= 0) return InvalidParameter();
  if (DcRecorder* recorder = dc->Recorder())
    return recorder->TransparentBlt(*dc, x, y, w, h, *src, xs, ys, ws, hs, crTransparent) ? TRUE : FALSE;
  BlitTarget target = targetOf(*dc, x, y, w, h);
  BlitSource source;
  if (!fillSource(*src, source) || !sourceRect(*src, xs, ys, ws, hs, source, target)) return FALSE;
  if (!dc->Surface()) return TRUE;
  BlitParams params;
  params.kind = BlitKind::Transparent;
  params.transparentRgb = RgbFromColorref(crTransparent & 0xFFFFFF);
  Blit(*dc, target, &source, params);
  return TRUE;
}

BOOL GdiTransparentBlt(HDC hdcDest, int x, int y, int w, int h, HDC hdcSrc, int xs, int ys, int ws, int hs,
                       UINT crTransparent) {
  return TransparentBlt(hdcDest, x, y, w, h, hdcSrc, xs, ys, ws, hs, crTransparent);
}

BOOL MaskBlt(HDC hdcDest, int x, int y, int w, int h, HDC hdcSrc, int xs, int ys, HBITMAP hbmMask, int xMask,
             int yMask, DWORD rop) {
  if (!hbmMask) return BitBlt(hdcDest, x, y, w, h, hdcSrc, xs, ys, rop & 0x00FFFFFF);
  auto dc = LookupDc(hdcDest);
  if (!dc) return FALSE;
  auto mask = LookupObjectAs<Bitmap>(hbmMask);
  if (!mask) return FALSE;
  if (mask->dib.bpp != 1) return InvalidParameter();
  bool needsSource = RopUsesSource(rop) || RopUsesSource(rop >> 8);
  std::shared_ptr<Dc> src;
  if (needsSource && !(src = LookupDc(hdcSrc))) return FALSE;
  if (DcRecorder* recorder = dc->Recorder())
    return recorder->MaskBlt(*dc, x, y, w, h, src.get(), xs, ys, mask.get(), xMask, yMask, rop) ? TRUE : FALSE;
  if (!dc->Surface()) return TRUE;
  BlitTarget target = targetOf(*dc, x, y, w, h);
  BlitSource source;
  Dib maskSource;  // without a source the mask itself gives the rectangle
  if (src) {
    if (!fillSource(*src, source) || !sourceRect(*src, xs, ys, w, h, source, target)) return FALSE;
  } else {
    maskSource = mask->dib;
    source.dib = &maskSource;
    source.x = xMask;
    source.y = yMask;
    source.width = w;
    source.height = h;
  }
  BlitParams params;
  params.rop = rop;
  params.mask = &mask->dib;
  params.maskX = xMask;  // mask pixel = (xMask, yMask) + offset within the source rectangle
  params.maskY = yMask;
  Blit(*dc, target, &source, params);
  return TRUE;
}

BOOL PlgBlt(HDC hdcDest, CONST POINT* lpPoint, HDC hdcSrc, int xs, int ys, int w, int h, HBITMAP hbmMask, int xMask,
            int yMask) {
  auto dc = LookupDc(hdcDest);
  auto src = LookupDc(hdcSrc);
  if (!dc || !src) return FALSE;
  if (!lpPoint) return InvalidParameter();
  std::shared_ptr<Bitmap> mask;
  if (hbmMask) {
    mask = LookupObjectAs<Bitmap>(hbmMask);
    if (!mask) return FALSE;
    if (mask->dib.bpp != 1) return InvalidParameter();
  }
  if (DcRecorder* recorder = dc->Recorder())
    return recorder->PlgBlt(*dc, lpPoint, *src, xs, ys, w, h, mask.get(), xMask, yMask) ? TRUE : FALSE;
  if (!dc->Surface()) return TRUE;
  BlitTarget target{devicePoint(*dc, lpPoint[0].x, lpPoint[0].y), devicePoint(*dc, lpPoint[1].x, lpPoint[1].y),
                    devicePoint(*dc, lpPoint[2].x, lpPoint[2].y)};
  BlitSource source;
  if (!fillSource(*src, source) || !sourceRect(*src, xs, ys, w, h, source, target)) return FALSE;
  BlitParams params;
  // Where the mask is 0 the destination stays (background ROP = D).
  params.rop = (0xAAu << 24) | SRCCOPY;
  if (mask) {
    params.mask = &mask->dib;
    params.maskX = xMask;
    params.maskY = yMask;
  }
  Blit(*dc, target, &source, params);
  return TRUE;
}

namespace {

// A rectangle brought into +-2^29, so that its width and height fit an int
// (GDI's own coordinate space is far smaller).
RECT saneRect(const RECT& r) {
  auto c = [](LONG v) { return std::clamp<LONG>(v, -(1 << 29), 1 << 29); };
  return {c(r.left), c(r.top), c(r.right), c(r.bottom)};
}

}  // namespace

int FillRect(HDC hDC, CONST RECT* lprc, HBRUSH hbr) {
  if (!lprc) return InvalidParameter();
  if (!LookupObjectAs<Brush>(hbr)) return FALSE;
  HGDIOBJ previous = SelectObject(hDC, hbr);
  if (!previous) return FALSE;
  RECT r = saneRect(*lprc);
  BOOL ok = PatBlt(hDC, r.left, r.top, r.right - r.left, r.bottom - r.top, PATCOPY);
  SelectObject(hDC, previous);
  return ok;
}

int FrameRect(HDC hDC, CONST RECT* lprc, HBRUSH hbr) {
  if (!lprc) return InvalidParameter();
  if (!LookupObjectAs<Brush>(hbr)) return FALSE;
  if (lprc->right <= lprc->left || lprc->bottom <= lprc->top) return TRUE;
  HGDIOBJ previous = SelectObject(hDC, hbr);
  if (!previous) return FALSE;
  RECT s = saneRect(*lprc);
  LONG l = s.left, t = s.top, r = s.right, b = s.bottom, w = r - l, h = b - t;
  BOOL ok = PatBlt(hDC, l, t, w, 1, PATCOPY) && PatBlt(hDC, l, b - 1, w, 1, PATCOPY) &&
            PatBlt(hDC, l, t, 1, h, PATCOPY) && PatBlt(hDC, r - 1, t, 1, h, PATCOPY);
  SelectObject(hDC, previous);
  return ok;
}

BOOL InvertRect(HDC hDC, CONST RECT* lprc) {
  if (!lprc) return InvalidParameter();
  RECT r = saneRect(*lprc);
  return PatBlt(hDC, r.left, r.top, r.right - r.left, r.bottom - r.top, DSTINVERT);
}
