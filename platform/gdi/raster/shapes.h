// Internal: geometry of GDI's curved shapes in device pixels.
//
// Filled ellipses and rounded rectangles are computed row by row: the box
// [left, right) x [top, bottom) holds the shape, and a pixel is inside when
// its centre is inside the ellipse that touches the box's outer edges, so
// the shape reaches every edge pixel of the box. Arcs, chords and pies are
// flattened to points in pixel coordinates (pixel (x, y) at point (x, y))
// on the ellipse through the box's extreme pixels.
#pragma once
#include <functional>
#include <vector>

#include "scan.h"

namespace tw::gdi {

using RowEmitter = std::function<void(int y, int x0, int x1)>;

// Only rows in [rowTop, rowBottom) are emitted.
constexpr int kAllRows = 1 << 30;
void EllipseRows(const RECT& box, const RowEmitter& emit, int rowTop = -kAllRows, int rowBottom = kAllRows);
// cornerWidth / cornerHeight: the corner ellipse's size in pixels.
void RoundRectRows(const RECT& box, double cornerWidth, double cornerHeight, const RowEmitter& emit,
                   int rowTop = -kAllRows, int rowBottom = kAllRows);

// Ellipse geometry in pixel coordinates for a device box (exclusive right
// and bottom) given as doubles (a transformed box may be fractional).
struct EllipseGeometry {
  double cx, cy, rx, ry;
  static EllipseGeometry FromBox(double left, double top, double right, double bottom);
  // Angle of a point as seen from the centre, in the ellipse's parameter
  // space (y down).
  double AngleOf(double x, double y) const;
};

// Points of the arc from angle `start` to angle `end` (radians, parameter
// space, y down); clockwise on the screen when `clockwise`. A full turn when
// start == end. At least 2 points.
std::vector<PointF> ArcPoints(const EllipseGeometry& e, double start, double end, bool clockwise);

// Flattens a cubic Bezier (p0 .. p3) into points after p0, ending at p3.
void FlattenBezier(PointF p0, PointF p1, PointF p2, PointF p3, std::vector<PointF>& out);

}  // namespace tw::gdi
