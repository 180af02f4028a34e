// The drawing calls: lines, curves, filled shapes, pixels, regions. Each
// one lets a recorder see it, adds to the path while one is being built,
// and otherwise draws on the DC's surface.
#include <algorithm>
#include <cmath>

#include "draw.h"
#include "raster/shapes.h"
#include "winerror.h"

using namespace tw::gdi;

namespace {

constexpr double kPi = 3.14159265358979323846;


std::vector<PointF> devicePoints(Dc& dc, const POINT* pts, std::size_t n) {
  std::vector<PointF> out(n);
  for (std::size_t i = 0; i < n; ++i) {
    POINT p = dc.ToDevice(pts[i]);
    out[i] = {static_cast<double>(p.x), static_cast<double>(p.y)};
  }
  return out;
}

PointF deviceCp(Dc& dc) {
  POINT p = dc.ToDevice(dc.State().currentPos);
  return {static_cast<double>(p.x), static_cast<double>(p.y)};
}

bool building(Dc& dc) { return dc.State().path.Building(); }

// Flattens Bezier control points that follow `start` (groups of three).
std::vector<PointF> flattenBeziers(PointF start, const std::vector<PointF>& control) {
  std::vector<PointF> out{start};
  for (std::size_t i = 0; i + 2 < control.size(); i += 3) FlattenBezier(out.back(), control[i], control[i + 1], control[i + 2], out);
  return out;
}

}  // namespace

namespace tw::gdi {

ArcShape ArcShapeOf(Dc& dc, const RECT& logicalBox, POINT start, POINT end) {
  ArcShape out;
  const DcState& s = dc.State();
  bool clockwise = s.arcDirection == AD_CLOCKWISE;
  const Matrix& m = dc.LogicalToDevice();
  RECT box;
  if (DeviceBox(dc, logicalBox, box)) {
    if (s.graphicsMode == GM_ADVANCED && m.Determinant() < 0) clockwise = !clockwise;
    EllipseGeometry e = EllipseGeometry::FromBox(box.left, box.top, box.right, box.bottom);
    double sx, sy, ex, ey;
    m.Apply(start.x, start.y, sx, sy);
    m.Apply(end.x, end.y, ex, ey);
    out.points = ArcPoints(e, e.AngleOf(sx, sy), e.AngleOf(ex, ey), clockwise);
    out.center = {e.cx, e.cy};
    return out;
  }
  // Rotated: work in logical space and transform every point.
  EllipseGeometry e;
  e.cx = (double(logicalBox.left) + logicalBox.right) / 2.0;
  e.cy = (double(logicalBox.top) + logicalBox.bottom) / 2.0;
  e.rx = std::fabs(double(logicalBox.right) - logicalBox.left) / 2.0;
  e.ry = std::fabs(double(logicalBox.bottom) - logicalBox.top) / 2.0;
  out.points = ArcPoints(e, e.AngleOf(start.x, start.y), e.AngleOf(end.x, end.y), clockwise);
  for (PointF& p : out.points) m.Apply(p.x, p.y, p.x, p.y);
  m.Apply(e.cx, e.cy, out.center.x, out.center.y);
  return out;
}

}  // namespace tw::gdi

namespace {

enum class ArcKind { Arc, ArcTo, Chord, Pie };

BOOL arcCall(HDC hdc, ArcKind kind, int left, int top, int right, int bottom, int x1, int y1, int x2, int y2) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  RECT box{left, top, right, bottom};
  POINT a{x1, y1}, b{x2, y2};
  if (DcRecorder* recorder = dc->Recorder()) {
    bool ok = kind == ArcKind::Arc     ? recorder->Arc(*dc, box, a, b)
              : kind == ArcKind::ArcTo ? recorder->ArcTo(*dc, box, a, b)
              : kind == ArcKind::Chord ? recorder->Chord(*dc, box, a, b)
                                       : recorder->Pie(*dc, box, a, b);
    if (!ok) return FALSE;
  }
  if (left == right || top == bottom) return TRUE;  // nothing to draw
  ArcShape arc = ArcShapeOf(*dc, box, a, b);
  if (kind == ArcKind::ArcTo) {
    std::vector<PointF> pts{deviceCp(*dc)};
    pts.insert(pts.end(), arc.points.begin(), arc.points.end());
    if (building(*dc)) {
      PathAddPoints(*dc, pts, PT_LINETO);
    } else {
      StrokePolyline(*dc, pts, false);
    }
    // The current position moves to the arc's end (back in logical units).
    Matrix inverse;
    if (dc->DeviceToLogical(inverse)) {
      double x, y;
      inverse.Apply(arc.points.back().x, arc.points.back().y, x, y);
      dc->State().currentPos = {RoundToDevice(x), RoundToDevice(y)};
    }
    return TRUE;
  }
  std::vector<PointF> figure = arc.points;
  if (kind == ArcKind::Pie) figure.insert(figure.begin(), arc.center);
  if (building(*dc)) {
    PathAddPoints(*dc, figure, PT_MOVETO);
    if (kind != ArcKind::Arc) PathCloseFigure(*dc);
    return TRUE;
  }
  if (kind == ArcKind::Arc) {
    StrokePolyline(*dc, figure, false);
  } else {
    DrawPolygons(*dc, {figure}, ALTERNATE, true, true);
  }
  return TRUE;
}

// --- rectangles, ellipses, rounded rectangles ---

enum class BoxKind { Rectangle, Ellipse, RoundRect };

std::vector<PointF> roundRectOutline(double l, double t, double r, double b, double cw, double ch) {
  // Four quarter arcs through the corner ellipses' pixel centres.
  double rx = std::clamp(cw / 2, 0.0, (r - l) / 2), ry = std::clamp(ch / 2, 0.0, (b - t) / 2);
  std::vector<PointF> out;
  auto corner = [&](double cx, double cy, double from) {
    EllipseGeometry e{cx, cy, rx, ry};
    auto pts = ArcPoints(e, from, from + kPi / 2, true);
    out.insert(out.end(), pts.begin(), pts.end());
  };
  corner(r - rx, t + ry, -kPi / 2);
  corner(r - rx, b - ry, 0);
  corner(l + rx, b - ry, kPi / 2);
  corner(l + rx, t + ry, kPi);
  return out;
}

BOOL boxCall(HDC hdc, BoxKind kind, int left, int top, int right, int bottom, int cw = 0, int ch = 0) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  RECT logical{left, top, right, bottom};
  if (DcRecorder* recorder = dc->Recorder()) {
    bool ok = kind == BoxKind::Rectangle ? recorder->Rectangle(*dc, logical)
              : kind == BoxKind::Ellipse ? recorder->Ellipse(*dc, logical)
                                         : recorder->RoundRect(*dc, logical, cw, ch);
    if (!ok) return FALSE;
  }
  RECT box;
  bool aligned = DeviceBox(*dc, logical, box);
  const Matrix& m = dc->LogicalToDevice();
  double scaleX = std::hypot(m.m11, m.m12), scaleY = std::hypot(m.m21, m.m22);
  if (aligned && m.IsQuarterTurn()) std::swap(scaleX, scaleY);
  double cornerW = std::fabs(double(cw)) * scaleX, cornerH = std::fabs(double(ch)) * scaleY;

  if (building(*dc)) {
    std::vector<PointF> figure;
    if (aligned) {
      double l = box.left, t = box.top, r = box.right - 1, b = box.bottom - 1;
      if (kind == BoxKind::Rectangle) {
        figure = {{l, t}, {r, t}, {r, b}, {l, b}};
      } else if (kind == BoxKind::Ellipse) {
        EllipseGeometry e = EllipseGeometry::FromBox(box.left, box.top, box.right, box.bottom);
        figure = ArcPoints(e, 0, 0, true);
      } else {
        figure = roundRectOutline(l, t, r, b, cornerW, cornerH);
      }
    } else {
      figure = DeviceCorners(*dc, logical);
    }
    PathAddPoints(*dc, figure, PT_MOVETO);
    PathCloseFigure(*dc);
    return TRUE;
  }
  if (!dc->Surface()) return TRUE;
  if (!aligned) {
    // A rotated box: its corner polygon (ellipses through the logical space).
    std::vector<PointF> figure;
    if (kind == BoxKind::Rectangle) {
      figure = DeviceCorners(*dc, logical);
    } else {
      EllipseGeometry e{(double(left) + right) / 2.0, (double(top) + bottom) / 2.0,
                        std::fabs(double(right) - left) / 2.0, std::fabs(double(bottom) - top) / 2.0};
      figure = kind == BoxKind::Ellipse ? ArcPoints(e, 0, 0, true)
                                        : roundRectOutline(std::min(left, right), std::min(top, bottom),
                                                           std::max(left, right), std::max(top, bottom),
                                                           std::fabs(double(cw)), std::fabs(double(ch)));
      for (PointF& p : figure) m.Apply(p.x, p.y, p.x, p.y);
    }
    DrawPolygons(*dc, {figure}, ALTERNATE, true, true);
    return TRUE;
  }
  if (box.right - box.left < 1 || box.bottom - box.top < 1) return TRUE;

  const Pen* pen = dc->State().pen.get();
  bool noPen = !pen || pen->Style() == PS_NULL;
  double width = dc->PenWidthDevice();
  bool thin = !noPen && width < 1.5;
  bool insideFrame = !noPen && pen->Style() == PS_INSIDEFRAME;
  // Without a pen the shape is one pixel smaller on the right and bottom.
  RECT fillBox = box;
  if (noPen) {
    --fillBox.right;
    --fillBox.bottom;
  }
  double l = box.left, t = box.top, r = box.right - 1, b = box.bottom - 1;  // pixel centres
  double half = width / 2;
  // Rows are only worked out over the surface (one beyond each edge, so an
  // outline is never found along the surface's edge).
  RECT surface = dc->DeviceBounds();
  int rowTop = surface.top - 1, rowBottom = surface.bottom + 1;
  if (kind == BoxKind::Rectangle) {
    std::vector<RegionData::Span> rows;
    RECT fill = noPen ? fillBox : RECT{box.left, box.top, box.right - 1, box.bottom - 1};
    for (int y = std::max<int>(fill.top, rowTop); y < std::min<int>(fill.bottom, rowBottom); ++y)
      rows.push_back({y, fill.left, fill.right});
    if (noPen) {
      DrawRowShape(*dc, rows, nullptr);
      return TRUE;
    }
    Polygons outline;
    if (thin) {
      outline = {{{l, t}, {r, t}, {r, b}, {l, b}}};
    } else if (insideFrame) {
      // The pen's outer edge on the box's edges: the frame lies inside.
      double il = box.left + half, it = box.top + half, ir = box.right - half, ib = box.bottom - half;
      if (ir <= il || ib <= it) {  // all pen: fill the box with the pen
        il = ir = (double(box.left) + box.right) / 2.0;
        it = ib = (double(box.top) + box.bottom) / 2.0;
      }
      outline = {{{il, it}, {ir, it}, {ir, ib}, {il, ib}}};
    } else {
      outline = {{{l, t}, {r, t}, {r, b}, {l, b}}};
    }
    // The box's inside (not under the pen), then the frame.
    DrawRowShape(*dc, rows, &outline);
    return TRUE;
  }
  std::vector<RegionData::Span> rows;
  RowEmitter collect = [&](int y, int x0, int x1) { rows.push_back({y, x0, x1}); };
  if (kind == BoxKind::Ellipse) {
    EllipseRows(fillBox, collect, rowTop, rowBottom);
  } else {
    RoundRectRows(fillBox, cornerW, cornerH, collect, rowTop, rowBottom);
  }
  if (noPen || (thin && pen->Style() == PS_SOLID) || (thin && insideFrame)) {
    DrawRowShape(*dc, rows, nullptr);
    return TRUE;
  }
  Polygons outline;
  if (kind == BoxKind::Ellipse) {
    EllipseGeometry e = EllipseGeometry::FromBox(box.left, box.top, box.right, box.bottom);
    if (insideFrame && !thin) {
      e.rx = std::max(0.0, (double(box.right) - box.left) / 2.0 - half);
      e.ry = std::max(0.0, (double(box.bottom) - box.top) / 2.0 - half);
    }
    outline = {ArcPoints(e, 0, 0, true)};
  } else if (insideFrame && !thin) {
    outline = {roundRectOutline(box.left + half - 0.5, box.top + half - 0.5, box.right - half - 0.5,
                                box.bottom - half - 0.5, std::max(0.0, cornerW - width), std::max(0.0, cornerH - width))};
  } else {
    outline = {roundRectOutline(l, t, r, b, cornerW, cornerH)};
  }
  DrawRowShape(*dc, rows, &outline);
  return TRUE;
}

}  // namespace

BOOL LineTo(HDC hdc, int x, int y) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->LineTo(*dc, x, y)) return FALSE;
  POINT target{x, y};
  std::vector<PointF> to = devicePoints(*dc, &target, 1);
  if (building(*dc)) {
    PathAddPoints(*dc, to, PT_LINETO);
  } else {
    PointF pts[2] = {deviceCp(*dc), to[0]};
    StrokePolyline(*dc, pts, false);
  }
  dc->State().currentPos = target;
  return TRUE;
}

BOOL Polyline(HDC hdc, CONST POINT* apt, int cpt) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if (!apt || cpt < 2) return InvalidParameter();
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->Polyline(*dc, {apt, static_cast<std::size_t>(cpt)})) return FALSE;
  auto pts = devicePoints(*dc, apt, static_cast<std::size_t>(cpt));
  if (building(*dc)) {
    PathAddPoints(*dc, pts, PT_MOVETO);
  } else {
    StrokePolyline(*dc, pts, false);
  }
  return TRUE;
}

BOOL PolylineTo(HDC hdc, CONST POINT* apt, DWORD cpt) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if (!apt && cpt) return InvalidParameter();
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->PolylineTo(*dc, {apt, cpt})) return FALSE;
  if (cpt == 0) return TRUE;
  auto pts = devicePoints(*dc, apt, cpt);
  if (building(*dc)) {
    PathAddPoints(*dc, pts, PT_LINETO);
  } else {
    pts.insert(pts.begin(), deviceCp(*dc));
    StrokePolyline(*dc, pts, false);
  }
  dc->State().currentPos = apt[cpt - 1];
  return TRUE;
}

BOOL PolyPolyline(HDC hdc, CONST POINT* apt, CONST DWORD* asz, DWORD csz) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if (!apt || !asz || csz == 0) return InvalidParameter();
  std::size_t total = 0;
  for (DWORD i = 0; i < csz; ++i) {
    if (asz[i] < 2) return InvalidParameter();
    total += asz[i];
  }
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->PolyPolyline(*dc, {apt, total}, {asz, csz})) return FALSE;
  const POINT* p = apt;
  for (DWORD i = 0; i < csz; ++i) {
    auto pts = devicePoints(*dc, p, asz[i]);
    if (building(*dc)) {
      PathAddPoints(*dc, pts, PT_MOVETO);
    } else {
      StrokePolyline(*dc, pts, false);
    }
    p += asz[i];
  }
  return TRUE;
}

BOOL PolyBezier(HDC hdc, CONST POINT* apt, DWORD cpt) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if (!apt || cpt < 4 || (cpt - 1) % 3 != 0) return InvalidParameter();
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->PolyBezier(*dc, {apt, cpt})) return FALSE;
  auto pts = devicePoints(*dc, apt, cpt);
  if (building(*dc)) {
    PathAddPoints(*dc, std::span(pts).first(1), PT_MOVETO);
    PathAddPoints(*dc, std::span(pts).subspan(1), PT_BEZIERTO);
  } else {
    StrokePolyline(*dc, flattenBeziers(pts[0], {pts.begin() + 1, pts.end()}), false);
  }
  return TRUE;
}

BOOL PolyBezierTo(HDC hdc, CONST POINT* apt, DWORD cpt) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if (!apt || cpt < 3 || cpt % 3 != 0) return InvalidParameter();
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->PolyBezierTo(*dc, {apt, cpt})) return FALSE;
  auto pts = devicePoints(*dc, apt, cpt);
  if (building(*dc)) {
    PathAddPoints(*dc, pts, PT_BEZIERTO);
  } else {
    StrokePolyline(*dc, flattenBeziers(deviceCp(*dc), pts), false);
  }
  dc->State().currentPos = apt[cpt - 1];
  return TRUE;
}

BOOL PolyDraw(HDC hdc, CONST POINT* apt, CONST BYTE* aj, int cpt) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if (!apt || !aj || cpt < 0) return InvalidParameter();
  // Validate first: Bezier points come in threes.
  for (int i = 0; i < cpt;) {
    BYTE kind = aj[i] & ~PT_CLOSEFIGURE;
    if (kind == PT_BEZIERTO) {
      if (i + 2 >= cpt || (aj[i + 1] & ~PT_CLOSEFIGURE) != PT_BEZIERTO || (aj[i + 2] & ~PT_CLOSEFIGURE) != PT_BEZIERTO)
        return InvalidParameter();
      i += 3;
    } else if (kind == PT_MOVETO || kind == PT_LINETO) {
      ++i;
    } else {
      return InvalidParameter();
    }
  }
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->PolyDraw(*dc, {apt, static_cast<std::size_t>(cpt)}, {aj, static_cast<std::size_t>(cpt)}))
      return FALSE;
  auto pts = devicePoints(*dc, apt, static_cast<std::size_t>(cpt));
  PointF figureStart = deviceCp(*dc);
  std::vector<PointF> line{figureStart};
  auto flush = [&](bool close) {
    if (!building(*dc) && line.size() > 1) StrokePolyline(*dc, line, close);
    line = {line.back()};
  };
  for (int i = 0; i < cpt;) {
    BYTE kind = aj[i] & ~PT_CLOSEFIGURE;
    bool close = false;
    if (kind == PT_MOVETO) {
      flush(false);
      line = {pts[static_cast<std::size_t>(i)]};
      figureStart = line[0];
      if (building(*dc)) PathAddPoints(*dc, std::span(pts).subspan(static_cast<std::size_t>(i), 1), PT_MOVETO);
      close = aj[i] & PT_CLOSEFIGURE;
      ++i;
    } else if (kind == PT_LINETO) {
      line.push_back(pts[static_cast<std::size_t>(i)]);
      if (building(*dc)) PathAddPoints(*dc, std::span(pts).subspan(static_cast<std::size_t>(i), 1), PT_LINETO);
      close = aj[i] & PT_CLOSEFIGURE;
      ++i;
    } else {
      FlattenBezier(line.back(), pts[static_cast<std::size_t>(i)], pts[static_cast<std::size_t>(i) + 1],
                    pts[static_cast<std::size_t>(i) + 2], line);
      if (building(*dc)) PathAddPoints(*dc, std::span(pts).subspan(static_cast<std::size_t>(i), 3), PT_BEZIERTO);
      close = aj[i + 2] & PT_CLOSEFIGURE;
      i += 3;
    }
    dc->State().currentPos = apt[i - 1];
    if (close) {
      if (building(*dc)) PathCloseFigure(*dc);
      line.push_back(figureStart);
      flush(false);
      Matrix inverse;
      if (dc->DeviceToLogical(inverse)) {
        double x, y;
        inverse.Apply(figureStart.x, figureStart.y, x, y);
        dc->State().currentPos = {RoundToDevice(x), RoundToDevice(y)};
      }
    }
  }
  flush(false);
  return TRUE;
}

BOOL Arc(HDC hdc, int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) {
  return arcCall(hdc, ArcKind::Arc, x1, y1, x2, y2, x3, y3, x4, y4);
}
BOOL ArcTo(HDC hdc, int l, int t, int r, int b, int x1, int y1, int x2, int y2) {
  return arcCall(hdc, ArcKind::ArcTo, l, t, r, b, x1, y1, x2, y2);
}
BOOL Chord(HDC hdc, int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) {
  return arcCall(hdc, ArcKind::Chord, x1, y1, x2, y2, x3, y3, x4, y4);
}
BOOL Pie(HDC hdc, int l, int t, int r, int b, int x1, int y1, int x2, int y2) {
  return arcCall(hdc, ArcKind::Pie, l, t, r, b, x1, y1, x2, y2);
}

BOOL AngleArc(HDC hdc, int x, int y, DWORD r, FLOAT startAngle, FLOAT sweepAngle) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if (r > 0x7FFFFFFF || !std::isfinite(startAngle) || !std::isfinite(sweepAngle)) return InvalidParameter();
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->AngleArc(*dc, x, y, r, startAngle, sweepAngle)) return FALSE;
  // Angles in degrees, counterclockwise as seen with y growing downwards.
  double a0 = startAngle * kPi / 180, sweep = std::clamp<double>(sweepAngle, -3600, 3600) * kPi / 180;
  int steps = static_cast<int>(std::clamp(std::fabs(sweep) * std::max(4.0, std::sqrt(double(r)) * 2), 1.0, 4096.0));
  std::vector<PointF> logical;
  for (int i = 0; i <= steps; ++i) {
    double t = a0 + sweep * i / steps;
    logical.push_back({x + r * std::cos(t), y - r * std::sin(t)});
  }
  std::vector<PointF> pts{deviceCp(*dc)};
  for (const PointF& p : logical) {
    double dx, dy;
    dc->LogicalToDevice().Apply(p.x, p.y, dx, dy);
    pts.push_back({dx, dy});
  }
  if (building(*dc)) {
    PathAddPoints(*dc, std::span(pts).subspan(1), PT_LINETO);
  } else {
    StrokePolyline(*dc, pts, false);
  }
  dc->State().currentPos = {RoundToDevice(logical.back().x), RoundToDevice(logical.back().y)};
  return TRUE;
}

BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom) {
  return boxCall(hdc, BoxKind::Rectangle, left, top, right, bottom);
}
BOOL Ellipse(HDC hdc, int left, int top, int right, int bottom) {
  return boxCall(hdc, BoxKind::Ellipse, left, top, right, bottom);
}
BOOL RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height) {
  return boxCall(hdc, BoxKind::RoundRect, left, top, right, bottom, width, height);
}

BOOL Polygon(HDC hdc, CONST POINT* apt, int cpt) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if (!apt || cpt < 2) return InvalidParameter();
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->Polygon(*dc, {apt, static_cast<std::size_t>(cpt)})) return FALSE;
  auto pts = devicePoints(*dc, apt, static_cast<std::size_t>(cpt));
  if (building(*dc)) {
    PathAddPoints(*dc, pts, PT_MOVETO);
    PathCloseFigure(*dc);
  } else {
    DrawPolygons(*dc, {pts}, dc->State().polyFillMode, true, true);
  }
  return TRUE;
}

BOOL PolyPolygon(HDC hdc, CONST POINT* apt, CONST INT* asz, int csz) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if (!apt || !asz || csz <= 0) return InvalidParameter();
  std::size_t total = 0;
  for (int i = 0; i < csz; ++i) {
    if (asz[i] < 2) return InvalidParameter();
    total += static_cast<std::size_t>(asz[i]);
  }
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->PolyPolygon(*dc, {apt, total}, {asz, static_cast<std::size_t>(csz)})) return FALSE;
  Polygons polys;
  const POINT* p = apt;
  for (int i = 0; i < csz; ++i) {
    polys.push_back(devicePoints(*dc, p, static_cast<std::size_t>(asz[i])));
    p += asz[i];
  }
  if (building(*dc)) {
    for (const auto& poly : polys) {
      PathAddPoints(*dc, poly, PT_MOVETO);
      PathCloseFigure(*dc);
    }
  } else {
    DrawPolygons(*dc, polys, dc->State().polyFillMode, true, true);
  }
  return TRUE;
}
