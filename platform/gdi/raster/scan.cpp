// Polygon scan conversion with an active edge list.
#include "scan.h"

#include <algorithm>
#include <cmath>

namespace tw::gdi {
namespace {

struct Edge {
  int firstRow, lastRow;  // rows [firstRow, lastRow] the edge crosses
  double x0, y0, dxdy;
  int winding;            // +1 downwards, -1 upwards
};

// Sample rows lie on integers; an edge from y0 to y1 (y0 < y1) covers rows
// ceil(y0) .. ceil(y1) - 1 (top edges in, bottom edges out).
constexpr double kEps = 1e-9;

}  // namespace

void ScanPolygons(const Polygons& polygons, int mode, int clipTop, int clipBottom,
                  const std::function<void(int, int, int)>& emit) {
  std::vector<Edge> edges;
  for (const auto& poly : polygons) {
    std::size_t n = poly.size();
    if (n < 2) continue;
    for (std::size_t i = 0; i < n; ++i) {
      PointF a = poly[i], b = poly[(i + 1) % n];
      if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) || !std::isfinite(b.y)) continue;
      if (a.y == b.y) continue;
      int winding = 1;
      if (a.y > b.y) {
        std::swap(a, b);
        winding = -1;
      }
      double top = std::ceil(a.y - kEps), bottom = std::ceil(b.y - kEps) - 1;
      top = std::max(top, static_cast<double>(clipTop));
      bottom = std::min(bottom, static_cast<double>(clipBottom) - 1);
      if (top > bottom) continue;
      edges.push_back({static_cast<int>(top), static_cast<int>(bottom), a.x, a.y, (b.x - a.x) / (b.y - a.y), winding});
    }
  }
  if (edges.empty()) return;
  std::sort(edges.begin(), edges.end(), [](const Edge& l, const Edge& r) { return l.firstRow < r.firstRow; });

  struct Crossing {
    double x;
    int winding;
  };
  std::vector<const Edge*> active;
  std::vector<Crossing> crossings;
  std::size_t next = 0;
  int y = edges.front().firstRow;
  while (next < edges.size() || !active.empty()) {
    if (active.empty() && next < edges.size() && edges[next].firstRow > y) y = edges[next].firstRow;
    while (next < edges.size() && edges[next].firstRow <= y) active.push_back(&edges[next++]);
    std::erase_if(active, [y](const Edge* e) { return e->lastRow < y; });
    if (active.empty()) continue;
    crossings.clear();
    for (const Edge* e : active) crossings.push_back({e->x0 + (y - e->y0) * e->dxdy, e->winding});
    std::sort(crossings.begin(), crossings.end(), [](const Crossing& a, const Crossing& b) { return a.x < b.x; });
    int inside = 0;
    for (std::size_t i = 0; i + 1 < crossings.size(); ++i) {
      inside = mode == WINDING ? inside + crossings[i].winding : inside ^ 1;
      if (inside == 0) continue;
      double left = crossings[i].x, right = crossings[i + 1].x;
      // Merge neighbouring intervals of a winding fill into one emission.
      while (mode == WINDING && i + 2 < crossings.size() && inside + crossings[i + 1].winding != 0) {
        ++i;
        inside += crossings[i].winding;
        right = crossings[i + 1].x;
      }
      double x0 = std::ceil(left - kEps), x1 = std::ceil(right - kEps);
      x0 = std::max(x0, -1e9);
      x1 = std::min(x1, 1e9);
      if (x0 < x1) emit(y, static_cast<int>(x0), static_cast<int>(x1));
    }
    ++y;
  }
}

RegionData PolygonRegion(const Polygons& polygons, int mode, int top, int bottom) {
  RegionBuilder builder;
  ScanPolygons(polygons, mode, top, bottom, [&](int y, int x0, int x1) { builder.Add(y, x0, x1); });
  return builder.Finish();
}

RegionData TransformRegion(const RegionData& region, const Matrix& m, int top, int bottom) {
  if (m.IsIdentity()) return region;
  std::vector<RECT> rects;
  Polygons polys;
  for (const RECT& r : region.Rects()) {
    const double xs[4] = {double(r.left), double(r.right), double(r.right), double(r.left)};
    const double ys[4] = {double(r.top), double(r.top), double(r.bottom), double(r.bottom)};
    std::vector<PointF> quad(4);
    for (int i = 0; i < 4; ++i) m.Apply(xs[i], ys[i], quad[i].x, quad[i].y);
    if (m.IsAxisAligned() || m.IsQuarterTurn()) {
      LONG x0 = RoundToDevice(quad[0].x), y0 = RoundToDevice(quad[0].y);
      LONG x1 = RoundToDevice(quad[2].x), y1 = RoundToDevice(quad[2].y);
      rects.push_back({std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1)});
      continue;
    }
    if (m.Determinant() < 0) std::reverse(quad.begin(), quad.end());
    polys.push_back(std::move(quad));
  }
  if (polys.empty()) return RegionData::FromRects(std::move(rects));
  RegionData out = PolygonRegion(polys, WINDING, top, bottom);
  return rects.empty() ? out : RegionData::Combine(out, RegionData::FromRects(std::move(rects)), RGN_OR);
}

}  // namespace tw::gdi
