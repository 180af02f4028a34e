// Filled shapes: brush inside, pen outline, never both on one pixel.
#include <algorithm>
#include <cmath>
#include <optional>

#include "../draw.h"

namespace tw::gdi {
namespace {

// Paints collected pen pixels with the pen's colour (or brush) and the
// style gaps with the background colour.
void paintPenCoverage(Dc& dc, Dib& dib, const RegionData& on, const RegionData& gaps) {
  const DcState& s = dc.State();
  const Pen* pen = s.pen.get();
  if (!pen) return;
  if (!on.Empty()) {
    if (pen->brush && pen->Geometric()) {
      SpanPainter(dc, dib, *pen->brush).FillRegion(on);
    } else {
      SpanPainter(dc, dib, pen->dcPen ? s.dcPenColor : pen->color).FillRegion(on);
    }
  }
  if (!gaps.Empty()) SpanPainter(dc, dib, s.bkColor).FillRegion(gaps);
}

RegionData regionOf(std::vector<RegionData::Span>& spans) { return RegionData::FromSpans(std::move(spans)); }

// The brush's clip: the effective clip without the pen's pixels.
RegionData brushClip(Dc& dc, const RegionData& on, const RegionData& gaps) {
  RegionData clip = RegionData::Combine(dc.EffectiveClip(), on, RGN_DIFF);
  return gaps.Empty() ? clip : RegionData::Combine(clip, gaps, RGN_DIFF);
}

}  // namespace

bool DeviceBox(Dc& dc, const RECT& logical, RECT& box) {
  const Matrix& m = dc.LogicalToDevice();
  if (!m.IsAxisAligned() && !m.IsQuarterTurn()) return false;
  POINT a = dc.ToDevice({logical.left, logical.top}), b = dc.ToDevice({logical.right, logical.bottom});
  box = {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
  if (dc.State().graphicsMode == GM_ADVANCED) {  // edges included
    ++box.right;
    ++box.bottom;
  }
  return true;
}

std::vector<PointF> DeviceCorners(Dc& dc, const RECT& r) {
  std::vector<PointF> out(4);
  const POINT corners[4] = {{r.left, r.top}, {r.right, r.top}, {r.right, r.bottom}, {r.left, r.bottom}};
  for (int i = 0; i < 4; ++i) {
    POINT p = dc.ToDevice(corners[i]);
    out[i] = {static_cast<double>(p.x), static_cast<double>(p.y)};
  }
  return out;
}

void DrawPolygons(Dc& dc, const Polygons& polygons, int fillMode, bool fill, bool stroke) {
  Dib* dib = dc.Surface();
  if (!dib) return;
  const DcState& s = dc.State();
  bool pen = stroke && s.pen && s.pen->Style() != PS_NULL;
  PenCoverage coverage;
  if (pen)
    for (const auto& poly : polygons) StrokePolyline(dc, poly, true, &coverage);
  RegionData on = regionOf(coverage.on), gaps = regionOf(coverage.gaps);
  if (fill && s.brush) {
    RegionData clip = brushClip(dc, on, gaps);
    SpanPainter brush(dc, *dib, *s.brush, &clip);
    if (brush.Active())
      ScanPolygons(polygons, fillMode, 0, dib->height, [&](int y, int x0, int x1) { brush.Fill(y, x0, x1); });
  }
  paintPenCoverage(dc, *dib, on, gaps);
}

void DrawRowShape(Dc& dc, const std::vector<RegionData::Span>& rows, const Polygons* outline) {
  Dib* dib = dc.Surface();
  if (!dib) return;
  const DcState& s = dc.State();
  std::vector<RegionData::Span> copy = rows;
  RegionData shape = RegionData::FromSpans(std::move(copy));
  RegionData on, gaps;
  bool pen = s.pen && s.pen->Style() != PS_NULL;
  if (pen && outline) {
    PenCoverage coverage;
    for (const auto& poly : *outline) StrokePolyline(dc, poly, true, &coverage);
    on = regionOf(coverage.on);
    gaps = regionOf(coverage.gaps);
  } else if (pen) {
    // The one-pixel outline: pixels of the shape with a 4-neighbour outside.
    RegionData inner = shape;
    for (auto [dx, dy] : {std::pair{1, 0}, std::pair{-1, 0}, std::pair{0, 1}, std::pair{0, -1}}) {
      RegionData moved = shape;
      moved.Offset(dx, dy);
      inner = RegionData::Combine(inner, moved, RGN_AND);
    }
    on = RegionData::Combine(shape, inner, RGN_DIFF);
  }
  if (s.brush) {
    RegionData clip = brushClip(dc, on, gaps);
    SpanPainter brush(dc, *dib, *s.brush, &clip);
    if (brush.Active()) brush.FillRegion(shape);
  }
  paintPenCoverage(dc, *dib, on, gaps);
}

}  // namespace tw::gdi
