// Internal: the raster drawing engine behind the drawing calls. Geometry
// arrives in device coordinates (doubles; pixel (x, y) is the point (x, y)),
// is clipped to the DC's effective clip region and painted with the DC's
// pen, brush and ROP2 through the surface's per-format primitives.
#pragma once
#include <algorithm>
#include <functional>
#include <span>
#include <vector>

#include "dc.h"
#include "raster/scan.h"

namespace tw::gdi {

// --- colours ---
// A COLORREF (also PALETTEINDEX / PALETTERGB forms) as rgb for this DC.
DWORD ResolveColor(Dc& dc, COLORREF color);

// --- painting spans ---
// Paints spans with a solid colour or a brush under the DC's ROP2, clipped
// to `clip` (the DC's effective clip unless given).
class SpanPainter {
 public:
  // Solid colour (pens, SetPixel).
  SpanPainter(Dc& dc, Dib& dib, COLORREF color, const RegionData* clip = nullptr);
  // A brush: solid, hatched, pattern; a null brush paints nothing.
  SpanPainter(Dc& dc, Dib& dib, const Brush& brush, const RegionData* clip = nullptr);
  // An explicit ROP2 instead of the DC's (InvertRgn uses R2_NOT).
  void SetRop2(int rop2);

  bool Active() const { return active_; }
  void Fill(int y, int x0, int x1);
  void FillRegion(const RegionData& region);

 private:
  void Setup(Dc& dc, Dib& dib, const RegionData* clip);
  void Paint(int y, int x0, int x1);

  Dib* dib_ = nullptr;
  const RegionData* clip_ = nullptr;
  bool active_ = true;
  int rop2_ = R2_COPYPEN;
  DWORD writeMask_ = 0xFFFFFFFF;
  // Solid colour
  bool solid_ = true;
  DWORD pixel_ = 0;
  DWORD and_ = 0, xor_ = 0;
  // Patterns: pixel values of the destination format, and which of them
  // are drawn (transparent hatch backgrounds are not).
  int patternWidth_ = 0, patternHeight_ = 0;
  std::vector<DWORD> pattern_;
  std::vector<BYTE> patternDrawn_;
  POINT origin_{0, 0};
  std::vector<DWORD> row_;
};

// --- lines ---
// Bresenham pixels of a line, the end point excluded (as GDI draws lines);
// with `clip` only those whose major coordinate lies inside it.
void ForEachLinePixel(int x0, int y0, int x1, int y1, const std::function<void(int x, int y)>& f,
                      const RECT* clip = nullptr);
// The same with the step number (0 at the start point) of each pixel,
// calling f(x, y, step) inline (lines are a hot path).
template <class F>
void ForEachLineStep(int x0, int y0, int x1, int y1, const RECT* clip, F&& f) {
  // Step i along the major axis puts the minor coordinate k_i steps on,
  // k_i = floor((2 i minor + major - 1) / (2 major)): a midpoint rule with
  // halves rounded towards the start. With a clip rectangle only the steps
  // whose major coordinate lies inside it are walked.
  long long dx = static_cast<long long>(x1) - x0, dy = static_cast<long long>(y1) - y0;
  bool xMajor = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
  long long major = xMajor ? (dx < 0 ? -dx : dx) : (dy < 0 ? -dy : dy);
  long long minor = xMajor ? (dy < 0 ? -dy : dy) : (dx < 0 ? -dx : dx);
  int sMajor = (xMajor ? dx : dy) < 0 ? -1 : 1, sMinor = (xMajor ? dy : dx) < 0 ? -1 : 1;
  long long start = xMajor ? x0 : y0, startMinor = xMajor ? y0 : x0;
  long long first = 0, last = major;  // steps [first, last)
  if (clip) {
    long long lo = xMajor ? clip->left : clip->top, hi = (xMajor ? clip->right : clip->bottom) - 1;
    long long a = sMajor > 0 ? lo - start : start - hi, b = sMajor > 0 ? hi - start : start - lo;
    first = std::max(first, a);
    last = std::min(last, b + 1);
  }
  if (first >= last) return;
  __int128 num = static_cast<__int128>(2) * first * minor + major - 1;
  long long k = major ? static_cast<long long>(num / (2 * major)) : 0;
  long long err = static_cast<long long>(static_cast<__int128>(2) * first * minor - static_cast<__int128>(2) * major * k);
  for (long long i = first; i < last; ++i) {
    long long a = start + sMajor * i, b = startMinor + sMinor * k;
    if (xMajor) {
      f(static_cast<int>(a), static_cast<int>(b), i);
    } else {
      f(static_cast<int>(b), static_cast<int>(a), i);
    }
    err += 2 * minor;
    if (err > major) {
      ++k;
      err -= 2 * major;
    }
  }
}


// Strokes a polyline (closed: back to its first point) with the DC's pen.
// Cosmetic pens and pens one pixel wide draw Bresenham lines with the
// pen's style; wider pens are outlined (caps, joins, dashes) and filled.
// With `coverage` the pixels are collected instead of painted (on: pen
// colour, gaps: background colour of styled lines in OPAQUE mode).
struct PenCoverage {
  std::vector<RegionData::Span> on;
  std::vector<RegionData::Span> gaps;
};
void StrokePolyline(Dc& dc, std::span<const PointF> points, bool closed, PenCoverage* coverage = nullptr);
// Outline polygons of a wide stroke (WINDING union), for WidenPath too.
Polygons StrokeOutline(Dc& dc, std::span<const PointF> points, bool closed, double width);

// The dash patterns of pens: cosmetic (and one-pixel) pens in pixels,
// wider pens in pen widths (user styles in logical units).
const std::vector<DWORD>& CosmeticPenStyle(int style);
std::vector<double> GeometricPenStyle(const Pen& pen, double width, const Matrix& toDevice);

// --- arcs ---
// The arc of the ellipse in `logicalBox` from the radial through `start` to
// the radial through `end`, in device coordinates, and the ellipse's centre.
// GM_COMPATIBLE draws in the DC's arc direction on the device; GM_ADVANCED in
// the logical space, so a mirroring transform mirrors the direction.
struct ArcShape {
  std::vector<PointF> points;
  PointF center;
};
ArcShape ArcShapeOf(Dc& dc, const RECT& logicalBox, POINT start, POINT end);

// --- filled shapes ---
// Fills polygons with the brush and strokes their outlines with the pen;
// the brush never paints under the pen.
void DrawPolygons(Dc& dc, const Polygons& polygons, int fillMode, bool fill, bool stroke);
// A shape given as row spans (ellipses, rounded rectangles): brush inside,
// then the outline with the pen (`outline` null: the 1-pixel outline of the
// rows themselves).
void DrawRowShape(Dc& dc, const std::vector<RegionData::Span>& rows, const Polygons* outline);

// The logical rectangle as the device box GDI draws: normalised, bottom and
// right edges excluded in GM_COMPATIBLE and included in GM_ADVANCED.
// False when the transform rotates (then use the corner polygon).
bool DeviceBox(Dc& dc, const RECT& logical, RECT& box);
std::vector<PointF> DeviceCorners(Dc& dc, const RECT& logical);

// A logical rectangle as a device region (a rectangle unless the transform
// rotates it). Right and bottom edges excluded.
RegionData LogicalRectRegion(Dc& dc, RECT rect);

// --- glyphs ---
// Blends an 8-bit coverage mask (0 = untouched, 255 = colour) with its
// top-left pixel at device (x, y), clipped; 32-bit surfaces get alpha 0
// where the mask touches them. The font engine draws text with it.
void DrawCoverageMask(Dc& dc, int x, int y, int width, int height, const BYTE* mask, std::ptrdiff_t pitch,
                      COLORREF color);

// --- paths (path.cpp) ---
// These take logical coordinates and add to the open path.
void PathMoveTo(Dc& dc, int x, int y);
void PathAddPoints(Dc& dc, std::span<const PointF> devicePoints, BYTE type);
void PathCloseFigure(Dc& dc);
// The path's figures flattened: polygons (device) and whether each was closed.
void PathFigures(const Path& path, Polygons& figures, std::vector<bool>& closed);

}  // namespace tw::gdi
