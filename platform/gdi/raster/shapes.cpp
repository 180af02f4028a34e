// Ellipses, rounded rectangles, arcs and Bezier curves.
#include "shapes.h"

#include <algorithm>
#include <cmath>

namespace tw::gdi {
namespace {

constexpr double kEps = 1e-9;
constexpr double kPi = 3.14159265358979323846;

// Emits the pixels of row y whose centres lie in [centre - half, centre + half].
void emitRow(int y, double centre, double half, int left, int right, const RowEmitter& emit) {
  int x0 = static_cast<int>(std::ceil(centre - half - 0.5 - kEps));
  int x1 = static_cast<int>(std::floor(centre + half - 0.5 + kEps)) + 1;
  x0 = std::max(x0, left);
  x1 = std::min(x1, right);
  if (x0 < x1) emit(y, x0, x1);
}

}  // namespace

void EllipseRows(const RECT& box, const RowEmitter& emit, int rowTop, int rowBottom) {
  if (box.right <= box.left || box.bottom <= box.top) return;
  double a = (box.right - box.left) / 2.0, b = (box.bottom - box.top) / 2.0;
  double cx = box.left + a, cy = box.top + b;
  for (int y = std::max<int>(box.top, rowTop); y < std::min<int>(box.bottom, rowBottom); ++y) {
    double dy = (y + 0.5 - cy) / b;
    double s = 1 - dy * dy;
    if (s < 0) continue;
    emitRow(y, cx, a * std::sqrt(s), box.left, box.right, emit);
  }
}

void RoundRectRows(const RECT& box, double cornerWidth, double cornerHeight, const RowEmitter& emit, int rowTop,
                   int rowBottom) {
  if (box.right <= box.left || box.bottom <= box.top) return;
  double a = std::clamp(cornerWidth, 0.0, static_cast<double>(box.right - box.left)) / 2.0;
  double b = std::clamp(cornerHeight, 0.0, static_cast<double>(box.bottom - box.top)) / 2.0;
  double cx = (box.left + box.right) / 2.0;
  double halfWidth = (box.right - box.left) / 2.0;
  for (int y = std::max<int>(box.top, rowTop); y < std::min<int>(box.bottom, rowBottom); ++y) {
    double yc = y + 0.5, inset = 0;
    double dy = 0;
    if (b > 0 && yc < box.top + b) dy = (box.top + b - yc) / b;
    if (b > 0 && yc > box.bottom - b) dy = (yc - (box.bottom - b)) / b;
    if (dy > 0) {
      double s = 1 - dy * dy;
      if (s < 0) continue;
      inset = a - a * std::sqrt(s);
    }
    emitRow(y, cx, halfWidth - inset, box.left, box.right, emit);
  }
}

EllipseGeometry EllipseGeometry::FromBox(double left, double top, double right, double bottom) {
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  EllipseGeometry e;
  e.rx = std::max(0.0, (right - left - 1) / 2.0);
  e.ry = std::max(0.0, (bottom - top - 1) / 2.0);
  e.cx = left + e.rx;
  e.cy = top + e.ry;
  return e;
}

double EllipseGeometry::AngleOf(double x, double y) const {
  double nx = rx > 0 ? (x - cx) / rx : x - cx;
  double ny = ry > 0 ? (y - cy) / ry : y - cy;
  if (nx == 0 && ny == 0) return 0;
  return std::atan2(ny, nx);
}

std::vector<PointF> ArcPoints(const EllipseGeometry& e, double start, double end, bool clockwise) {
  // y grows downwards: a clockwise arc on the screen has growing angles.
  double sweep = end - start;
  if (clockwise) {
    while (sweep <= 0) sweep += 2 * kPi;
  } else {
    while (sweep >= 0) sweep -= 2 * kPi;
  }
  if (std::fabs(sweep) > 2 * kPi) sweep = clockwise ? 2 * kPi : -2 * kPi;
  double radius = std::max(e.rx, e.ry);
  int steps = static_cast<int>(std::clamp(std::ceil(std::fabs(sweep) * std::max(4.0, std::sqrt(radius) * 2.0)), 2.0, 4096.0));
  std::vector<PointF> out;
  out.reserve(static_cast<std::size_t>(steps) + 1);
  for (int i = 0; i <= steps; ++i) {
    double t = start + sweep * i / steps;
    out.push_back({e.cx + e.rx * std::cos(t), e.cy + e.ry * std::sin(t)});
  }
  return out;
}

void FlattenBezier(PointF p0, PointF p1, PointF p2, PointF p3, std::vector<PointF>& out) {
  // Subdivide until the control points lie within a quarter pixel of the
  // chord; the depth bound keeps absurd coordinates from recursing forever.
  struct Piece {
    PointF a, b, c, d;
    int depth;
  };
  std::vector<Piece> stack{{p0, p1, p2, p3, 0}};
  while (!stack.empty()) {
    Piece q = stack.back();
    stack.pop_back();
    double dx = q.d.x - q.a.x, dy = q.d.y - q.a.y;
    double d1 = std::fabs((q.b.x - q.d.x) * dy - (q.b.y - q.d.y) * dx);
    double d2 = std::fabs((q.c.x - q.d.x) * dy - (q.c.y - q.d.y) * dx);
    double len2 = dx * dx + dy * dy;
    bool flat = (d1 + d2) * (d1 + d2) <= 0.0625 * len2 ||
                (len2 == 0 && std::hypot(q.b.x - q.a.x, q.b.y - q.a.y) + std::hypot(q.c.x - q.a.x, q.c.y - q.a.y) < 0.25);
    if (flat || q.depth >= 16) {
      out.push_back(q.d);
      continue;
    }
    PointF ab{(q.a.x + q.b.x) / 2, (q.a.y + q.b.y) / 2}, bc{(q.b.x + q.c.x) / 2, (q.b.y + q.c.y) / 2};
    PointF cd{(q.c.x + q.d.x) / 2, (q.c.y + q.d.y) / 2};
    PointF abc{(ab.x + bc.x) / 2, (ab.y + bc.y) / 2}, bcd{(bc.x + cd.x) / 2, (bc.y + cd.y) / 2};
    PointF m{(abc.x + bcd.x) / 2, (abc.y + bcd.y) / 2};
    // Second half first on the stack so the first half comes out first.
    stack.push_back({m, bcd, cd, q.d, q.depth + 1});
    stack.push_back({q.a, ab, abc, m, q.depth + 1});
  }
}

}  // namespace tw::gdi
