// Paths: building them from the drawing calls, and the path operations
// (FillPath, StrokePath, WidenPath, SelectClipPath ...).
#include <algorithm>
#include <cstring>

#include "draw.h"
#include "raster/shapes.h"
#include "winerror.h"

namespace tw::gdi {

int SelectClipRegion(Dc& dc, const RegionData* region, int mode);

namespace {

PointF toDevice(Dc& dc, int x, int y) {
  POINT p = dc.ToDevice({x, y});
  return {static_cast<double>(p.x), static_cast<double>(p.y)};
}

// A figure needs a starting MOVETO: after BeginPath, after CloseFigure.
void ensureFigure(Dc& dc) {
  Path& path = dc.State().path;
  if (path.points.empty() || (path.points.back().type & PT_CLOSEFIGURE)) {
    PointF cp = toDevice(dc, dc.State().currentPos.x, dc.State().currentPos.y);
    path.points.push_back({cp.x, cp.y, PT_MOVETO});
  }
}

}  // namespace

void PathMoveTo(Dc& dc, int x, int y) {
  Path& path = dc.State().path;
  PointF p = toDevice(dc, x, y);
  if (!path.points.empty() && path.points.back().type == PT_MOVETO) {
    path.points.back() = {p.x, p.y, PT_MOVETO};  // a second MOVETO replaces the first
  } else {
    path.points.push_back({p.x, p.y, PT_MOVETO});
  }
}

void PathAddPoints(Dc& dc, std::span<const PointF> points, BYTE type) {
  if (points.empty()) return;
  Path& path = dc.State().path;
  if (type == PT_MOVETO) {
    path.points.push_back({points[0].x, points[0].y, PT_MOVETO});
    for (std::size_t i = 1; i < points.size(); ++i) path.points.push_back({points[i].x, points[i].y, PT_LINETO});
    return;
  }
  ensureFigure(dc);
  for (const PointF& p : points) path.points.push_back({p.x, p.y, type});
}

void PathCloseFigure(Dc& dc) {
  Path& path = dc.State().path;
  if (!path.points.empty()) path.points.back().type |= PT_CLOSEFIGURE;
}

void PathFigures(const Path& path, Polygons& figures, std::vector<bool>& closed) {
  figures.clear();
  closed.clear();
  const auto& pts = path.points;
  for (std::size_t i = 0; i < pts.size();) {
    std::vector<PointF> figure{{pts[i].x, pts[i].y}};
    bool isClosed = pts[i].type & PT_CLOSEFIGURE;
    ++i;
    while (i < pts.size() && (pts[i].type & ~PT_CLOSEFIGURE) != PT_MOVETO && !isClosed) {
      BYTE kind = pts[i].type & ~PT_CLOSEFIGURE;
      if (kind == PT_BEZIERTO && i + 2 < pts.size()) {
        PointF p0 = figure.back();
        FlattenBezier(p0, {pts[i].x, pts[i].y}, {pts[i + 1].x, pts[i + 1].y}, {pts[i + 2].x, pts[i + 2].y}, figure);
        isClosed = pts[i + 2].type & PT_CLOSEFIGURE;
        i += 3;
      } else {
        figure.push_back({pts[i].x, pts[i].y});
        isClosed = pts[i].type & PT_CLOSEFIGURE;
        ++i;
      }
    }
    figures.push_back(std::move(figure));
    closed.push_back(isClosed);
  }
}

}  // namespace tw::gdi

using namespace tw::gdi;

namespace {

// Looks the DC up and checks its path is complete (EndPath was called).
std::shared_ptr<Dc> dcWithClosedPath(HDC hdc) {
  auto dc = LookupDc(hdc);
  if (dc && dc->State().path.state != Path::State::Closed) {
    SetLastError(ERROR_CAN_NOT_COMPLETE);
    return nullptr;
  }
  return dc;
}

// A path's area as a region, worked out over the device and one device
// height around it (far-off parts of absurd paths cost nothing).
RegionData pathRegion(Dc& dc, const Polygons& figures) {
  RECT b = dc.DeviceBounds();
  LONG h = std::max<LONG>(b.bottom - b.top, 1);
  return PolygonRegion(figures, dc.State().polyFillMode, b.top - h, b.bottom + h);
}

void strokeFigures(Dc& dc, const Polygons& figures, const std::vector<bool>& closed) {
  for (std::size_t i = 0; i < figures.size(); ++i) StrokePolyline(dc, figures[i], closed[i]);
}

}  // namespace

BOOL BeginPath(HDC hdc) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->BeginPath(*dc)) return FALSE;
  Path& path = dc->State().path;
  path.Clear();
  path.state = Path::State::Open;
  return TRUE;
}

BOOL EndPath(HDC hdc) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if (!dc->State().path.Building()) {
    SetLastError(ERROR_CAN_NOT_COMPLETE);
    return FALSE;
  }
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->EndPath(*dc)) return FALSE;
  dc->State().path.state = Path::State::Closed;
  return TRUE;
}

BOOL AbortPath(HDC hdc) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->AbortPath(*dc)) return FALSE;
  dc->State().path.Clear();
  return TRUE;
}

BOOL CloseFigure(HDC hdc) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  Path& path = dc->State().path;
  if (!path.Building() || path.points.empty()) {
    SetLastError(ERROR_CAN_NOT_COMPLETE);
    return FALSE;
  }
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->CloseFigure(*dc)) return FALSE;
  PathCloseFigure(*dc);
  return TRUE;
}

BOOL FillPath(HDC hdc) {
  auto dc = dcWithClosedPath(hdc);
  if (!dc) return FALSE;
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->FillPath(*dc)) return FALSE;
  Polygons figures;
  std::vector<bool> closed;
  PathFigures(dc->State().path, figures, closed);
  DrawPolygons(*dc, figures, dc->State().polyFillMode, true, false);
  dc->State().path.Clear();
  return TRUE;
}

BOOL StrokePath(HDC hdc) {
  auto dc = dcWithClosedPath(hdc);
  if (!dc) return FALSE;
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->StrokePath(*dc)) return FALSE;
  Polygons figures;
  std::vector<bool> closed;
  PathFigures(dc->State().path, figures, closed);
  strokeFigures(*dc, figures, closed);
  dc->State().path.Clear();
  return TRUE;
}

BOOL StrokeAndFillPath(HDC hdc) {
  auto dc = dcWithClosedPath(hdc);
  if (!dc) return FALSE;
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->StrokeAndFillPath(*dc)) return FALSE;
  Polygons figures;
  std::vector<bool> closed;
  PathFigures(dc->State().path, figures, closed);
  // Every figure is filled as if closed, then outlined as drawn.
  DrawPolygons(*dc, figures, dc->State().polyFillMode, true, false);
  strokeFigures(*dc, figures, closed);
  dc->State().path.Clear();
  return TRUE;
}

BOOL FlattenPath(HDC hdc) {
  auto dc = dcWithClosedPath(hdc);
  if (!dc) return FALSE;
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->FlattenPath(*dc)) return FALSE;
  Polygons figures;
  std::vector<bool> closed;
  Path& path = dc->State().path;
  PathFigures(path, figures, closed);
  path.points.clear();
  for (std::size_t i = 0; i < figures.size(); ++i) {
    for (std::size_t k = 0; k < figures[i].size(); ++k)
      path.points.push_back({figures[i][k].x, figures[i][k].y, static_cast<BYTE>(k == 0 ? PT_MOVETO : PT_LINETO)});
    if (closed[i]) path.points.back().type |= PT_CLOSEFIGURE;
  }
  return TRUE;
}

BOOL WidenPath(HDC hdc) {
  auto dc = dcWithClosedPath(hdc);
  if (!dc) return FALSE;
  const Pen* pen = dc->State().pen.get();
  if (!pen || pen->Style() == PS_NULL) {
    SetLastError(ERROR_CAN_NOT_COMPLETE);
    return FALSE;
  }
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->WidenPath(*dc)) return FALSE;
  Polygons figures;
  std::vector<bool> closed;
  Path& path = dc->State().path;
  PathFigures(path, figures, closed);
  double width = std::max(1.0, dc->PenWidthDevice());
  path.points.clear();
  for (std::size_t i = 0; i < figures.size(); ++i)
    for (const auto& poly : StrokeOutline(*dc, figures[i], closed[i], width)) {
      for (std::size_t k = 0; k < poly.size(); ++k)
        path.points.push_back({poly[k].x, poly[k].y, static_cast<BYTE>(k == 0 ? PT_MOVETO : PT_LINETO)});
      path.points.back().type |= PT_CLOSEFIGURE;
    }
  return TRUE;
}

BOOL SelectClipPath(HDC hdc, int mode) {
  auto dc = dcWithClosedPath(hdc);
  if (!dc) return FALSE;
  if (mode < RGN_AND || mode > RGN_COPY) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Polygons figures;
  std::vector<bool> closed;
  PathFigures(dc->State().path, figures, closed);
  RegionData region = pathRegion(*dc, figures);
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->SelectClipPath(*dc, mode)) return FALSE;
  // The recorder has seen SelectClipPath; the region itself is not recorded again.
  auto recorder = dc->DetachRecorder();
  int result = SelectClipRegion(*dc, &region, mode);
  dc->SetRecorder(std::move(recorder));
  dc->State().path.Clear();
  return result == ERROR ? FALSE : TRUE;
}

HRGN PathToRegion(HDC hdc) {
  auto dc = dcWithClosedPath(hdc);
  if (!dc) return nullptr;
  Polygons figures;
  std::vector<bool> closed;
  PathFigures(dc->State().path, figures, closed);
  RegionData region = pathRegion(*dc, figures);
  dc->State().path.Clear();
  return static_cast<HRGN>(InsertObject(std::make_shared<Region>(std::move(region))));
}

int GetPath(HDC hdc, LPPOINT apt, LPBYTE aj, int cpt) {
  auto dc = dcWithClosedPath(hdc);
  if (!dc) return -1;
  const auto& pts = dc->State().path.points;
  if (cpt == 0) return static_cast<int>(pts.size());
  if (cpt < static_cast<int>(pts.size()) || !apt || !aj) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  Matrix inverse;
  if (!dc->DeviceToLogical(inverse)) return -1;
  for (std::size_t i = 0; i < pts.size(); ++i) {
    double x, y;
    inverse.Apply(pts[i].x, pts[i].y, x, y);
    apt[i] = {RoundToDevice(x), RoundToDevice(y)};
    aj[i] = pts[i].type;
  }
  return static_cast<int>(pts.size());
}
