// Pixels, flood fills, gradient fills and region painting.
#include <algorithm>
#include <cmath>
#include <vector>

#include "draw.h"
#include "raster/scan.h"
#include "winerror.h"

using namespace tw::gdi;

namespace {


// A region given in logical coordinates, on the device.
RegionData regionToDevice(Dc& dc, const RegionData& logical) {
  RECT bounds = dc.DeviceBounds();
  return TransformRegion(logical, dc.LogicalToDevice(), bounds.top - 1, bounds.bottom + 1);
}

// The pixel value rgb of (x, y) (device), or false outside the surface.
bool readPixel(const Dib& dib, int x, int y, DWORD& rgb) {
  if (x < 0 || y < 0 || x >= dib.width || y >= dib.height) return false;
  DWORD v;
  dib.funcs->getPixels(dib, y, x, 1, &v);
  rgb = dib.funcs->pixelToRgb(dib, v) & 0xFFFFFF;
  return true;
}

BOOL paintRegion(HDC hdc, HRGN hrgn, HBRUSH hbr, int mode) {
  enum { Fill, Paint, Invert };
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  auto region = LookupObjectAs<Region>(hrgn);
  if (!region) return FALSE;
  std::shared_ptr<Brush> brush;
  if (mode == Fill && !(brush = LookupObjectAs<Brush>(hbr))) return FALSE;
  RegionData data = region->Get();
  if (DcRecorder* recorder = dc->Recorder()) {
    bool ok = mode == Fill    ? recorder->FillRgn(*dc, data, hbr, *brush)
              : mode == Paint ? recorder->PaintRgn(*dc, data)
                              : recorder->InvertRgn(*dc, data);
    if (!ok) return FALSE;
  }
  Dib* dib = dc->Surface();
  if (!dib) return TRUE;
  RegionData device = regionToDevice(*dc, data);
  if (mode == Invert) {
    SpanPainter painter(*dc, *dib, RGB(0, 0, 0));
    painter.SetRop2(R2_NOT);
    painter.FillRegion(device);
    return TRUE;
  }
  const Brush* use = mode == Fill ? brush.get() : dc->State().brush.get();
  if (use) SpanPainter(*dc, *dib, *use).FillRegion(device);
  return TRUE;
}

}  // namespace

COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color) {
  auto dc = LookupDc(hdc);
  if (!dc) return CLR_INVALID;
  if (DcRecorder* recorder = dc->Recorder()) {
    if (!recorder->SetPixelV(*dc, x, y, color)) return CLR_INVALID;
    return color & 0x00FFFFFF;
  }
  Dib* dib = dc->Surface();
  if (!dib) return color & 0x00FFFFFF;
  POINT p = dc->ToDevice({x, y});
  if (!dc->EffectiveClip().Contains(p.x, p.y)) return CLR_INVALID;
  // SetPixel copies the colour (no ROP2); the pixel gets the nearest
  // colour the surface can hold, which is returned.
  DWORD value = dib->funcs->rgbToPixel(*dib, ResolveColor(*dc, color));
  dib->funcs->putPixels(*dib, p.y, p.x, 1, &value);
  return ColorrefFromRgb(dib->funcs->pixelToRgb(*dib, value) & 0xFFFFFF);
}

BOOL SetPixelV(HDC hdc, int x, int y, COLORREF color) { return SetPixel(hdc, x, y, color) != CLR_INVALID; }

COLORREF GetPixel(HDC hdc, int x, int y) {
  auto dc = LookupDc(hdc);
  if (!dc) return CLR_INVALID;
  Dib* dib = dc->Surface();
  if (!dib) return CLR_INVALID;
  POINT p = dc->ToDevice({x, y});
  DWORD rgb;
  if (!dc->EffectiveClip().Contains(p.x, p.y) || !readPixel(*dib, p.x, p.y, rgb)) return CLR_INVALID;
  return ColorrefFromRgb(rgb);
}

BOOL ExtFloodFill(HDC hdc, int x, int y, COLORREF color, UINT type) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if (type != FLOODFILLBORDER && type != FLOODFILLSURFACE) return InvalidParameter();
  if (DcRecorder* recorder = dc->Recorder()) return recorder->ExtFloodFill(*dc, x, y, color, type) ? TRUE : FALSE;
  Dib* dib = dc->Surface();
  if (!dib) return TRUE;
  POINT start = dc->ToDevice({x, y});
  const RegionData& clip = dc->EffectiveClip();
  // Colours compare as the surface holds them.
  DWORD target = dib->funcs->pixelToRgb(*dib, dib->funcs->rgbToPixel(*dib, ResolveColor(*dc, color))) & 0xFFFFFF;
  auto fillable = [&](int px, int py) {
    DWORD rgb;
    if (!clip.Contains(px, py) || !readPixel(*dib, px, py, rgb)) return false;
    return type == FLOODFILLBORDER ? rgb != target : rgb == target;
  };
  if (!fillable(start.x, start.y)) return FALSE;
  // Scanline fill: spans are found first, painted at the end, so the test
  // always reads the original pixels.
  std::vector<BYTE> seen(static_cast<std::size_t>(dib->width) * dib->height, 0);
  std::vector<RegionData::Span> spans;
  std::vector<POINT> stack{start};
  while (!stack.empty()) {
    POINT p = stack.back();
    stack.pop_back();
    auto idx = [&](int px, int py) { return static_cast<std::size_t>(py) * dib->width + px; };
    if (seen[idx(p.x, p.y)] || !fillable(p.x, p.y)) continue;
    int l = p.x, r = p.x;
    while (l > 0 && !seen[idx(l - 1, p.y)] && fillable(l - 1, p.y)) --l;
    while (r + 1 < dib->width && !seen[idx(r + 1, p.y)] && fillable(r + 1, p.y)) ++r;
    for (int i = l; i <= r; ++i) seen[idx(i, p.y)] = 1;
    spans.push_back({p.y, l, r + 1});
    for (int ny : {p.y - 1, p.y + 1}) {
      if (ny < 0 || ny >= dib->height) continue;
      for (int i = l; i <= r; ++i)
        if (!seen[idx(i, ny)] && fillable(i, ny)) stack.push_back({i, ny});
    }
  }
  if (dc->State().brush) {
    SpanPainter painter(*dc, *dib, *dc->State().brush);
    for (const auto& s : spans) painter.Fill(s.y, s.x0, s.x1);
  }
  return TRUE;
}

BOOL FloodFill(HDC hdc, int x, int y, COLORREF color) { return ExtFloodFill(hdc, x, y, color, FLOODFILLBORDER); }

BOOL GradientFill(HDC hdc, PTRIVERTEX pVertex, ULONG nVertex, PVOID pMesh, ULONG nMesh, ULONG ulMode) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if (!pVertex || !pMesh || nVertex == 0 || ulMode > GRADIENT_FILL_TRIANGLE) return InvalidParameter();
  // Every mesh entry must name existing vertices.
  ULONG perEntry = ulMode == GRADIENT_FILL_TRIANGLE ? 3 : 2;
  const ULONG* indices = static_cast<const ULONG*>(pMesh);
  for (ULONG i = 0; i < nMesh * perEntry; ++i)
    if (indices[i] >= nVertex) return InvalidParameter();
  if (DcRecorder* recorder = dc->Recorder())
    return recorder->GradientFill(*dc, {pVertex, nVertex}, pMesh, nMesh, ulMode) ? TRUE : FALSE;
  Dib* dib = dc->Surface();
  if (!dib) return TRUE;
  const RegionData& clip = dc->EffectiveClip();
  struct V {
    double x, y, r, g, b, a;
  };
  auto vertex = [&](ULONG i) {
    POINT p = dc->ToDevice({pVertex[i].x, pVertex[i].y});
    return V{double(p.x), double(p.y), pVertex[i].Red / 256.0, pVertex[i].Green / 256.0, pVertex[i].Blue / 256.0,
             pVertex[i].Alpha / 256.0};
  };
  bool alpha32 = dib->bpp == 32 && dib->masks[0] == 0xFF0000;
  auto put = [&](int y, int x, double r, double g, double b, double a) {
    if (!clip.Contains(x, y)) return;
    DWORD rgb = (static_cast<DWORD>(std::clamp(r, 0.0, 255.0)) << 16) |
                (static_cast<DWORD>(std::clamp(g, 0.0, 255.0)) << 8) | static_cast<DWORD>(std::clamp(b, 0.0, 255.0));
    DWORD value = dib->funcs->rgbToPixel(*dib, rgb);
    if (alpha32) value |= static_cast<DWORD>(std::clamp(a, 0.0, 255.0)) << 24;
    dib->funcs->putPixels(*dib, y, x, 1, &value);
  };
  for (ULONG m = 0; m < nMesh; ++m) {
    const ULONG* e = indices + m * perEntry;
    if (ulMode != GRADIENT_FILL_TRIANGLE) {
      V a = vertex(e[0]), b = vertex(e[1]);
      int x0 = static_cast<int>(std::min(a.x, b.x)), x1 = static_cast<int>(std::max(a.x, b.x));
      int y0 = static_cast<int>(std::min(a.y, b.y)), y1 = static_cast<int>(std::max(a.y, b.y));
      x0 = std::max(x0, 0);
      y0 = std::max(y0, 0);
      x1 = std::min(x1, dib->width);
      y1 = std::min(y1, dib->height);
      bool horizontal = ulMode == GRADIENT_FILL_RECT_H;
      double from = horizontal ? a.x : a.y, span = horizontal ? b.x - a.x : b.y - a.y;
      for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
          double t = span == 0 ? 0 : ((horizontal ? x : y) - from) / span;
          put(y, x, a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t);
        }
      continue;
    }
    V a = vertex(e[0]), b = vertex(e[1]), c = vertex(e[2]);
    double det = (b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y);
    if (det == 0) continue;
    ScanPolygons({{{a.x, a.y}, {b.x, b.y}, {c.x, c.y}}}, ALTERNATE, 0, dib->height, [&](int y, int x0, int x1) {
      x0 = std::max(x0, 0);
      x1 = std::min(x1, dib->width);
      for (int x = x0; x < x1; ++x) {
        // Barycentric weights of the pixel.
        double wb = ((x - a.x) * (c.y - a.y) - (c.x - a.x) * (y - a.y)) / det;
        double wc = ((b.x - a.x) * (y - a.y) - (x - a.x) * (b.y - a.y)) / det;
        double wa = 1 - wb - wc;
        put(y, x, a.r * wa + b.r * wb + c.r * wc, a.g * wa + b.g * wb + c.g * wc, a.b * wa + b.b * wb + c.b * wc,
            a.a * wa + b.a * wb + c.a * wc);
      }
    });
  }
  return TRUE;
}

BOOL GdiGradientFill(HDC hdc, PTRIVERTEX pVertex, ULONG nVertex, PVOID pMesh, ULONG nCount, ULONG ulMode) {
  return GradientFill(hdc, pVertex, nVertex, pMesh, nCount, ulMode);
}

BOOL FillRgn(HDC hdc, HRGN hrgn, HBRUSH hbr) { return paintRegion(hdc, hrgn, hbr, 0); }
BOOL PaintRgn(HDC hdc, HRGN hrgn) { return paintRegion(hdc, hrgn, nullptr, 1); }
BOOL InvertRgn(HDC hdc, HRGN hrgn) { return paintRegion(hdc, hrgn, nullptr, 2); }

BOOL FrameRgn(HDC hdc, HRGN hrgn, HBRUSH hbr, int w, int h) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  auto region = LookupObjectAs<Region>(hrgn);
  auto brush = LookupObjectAs<Brush>(hbr);
  if (!region || !brush) return FALSE;
  if (w <= 0 || h <= 0) return InvalidParameter();
  RegionData data = region->Get();
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->FrameRgn(*dc, data, hbr, *brush, w, h)) return FALSE;
  Dib* dib = dc->Surface();
  if (!dib) return TRUE;
  // The frame: the region minus the region shrunk by w and h (logical).
  RegionData shrunk = data.Erode(w, h);
  RegionData frame = RegionData::Combine(data, shrunk, RGN_DIFF);
  SpanPainter(*dc, *dib, *brush).FillRegion(regionToDevice(*dc, frame));
  return TRUE;
}
