// Internal: scan conversion of polygons into spans with GDI's coverage rule.
// Pixel (x, y) is covered when the point (x, y) lies inside the polygon,
// points on a left or top edge counting as inside and points on a right or
// bottom edge as outside; so a polygon with corners (0, 0) and (10, 10)
// covers pixels 0..9 in both directions.
#pragma once
#include <functional>
#include <span>
#include <vector>

#include "../region.h"
#include "../transform.h"

namespace tw::gdi {

struct PointF {
  double x, y;
};

// One closed polygon per entry (the closing edge is implied).
using Polygons = std::vector<std::vector<PointF>>;

// Calls emit(y, x0, x1) for each covered interval [x0, x1), rows top to
// bottom, intervals left to right. `mode` is ALTERNATE or WINDING. Rows
// outside [clipTop, clipBottom) are skipped.
void ScanPolygons(const Polygons& polygons, int mode, int clipTop, int clipBottom,
                  const std::function<void(int y, int x0, int x1)>& emit);

// The region covered by polygons (CreatePolygonRgn and friends), limited to
// rows [top, bottom) so that absurd coordinates cannot exhaust memory.
constexpr int kRegionRowLimit = 1 << 22;
RegionData PolygonRegion(const Polygons& polygons, int mode, int top = -kRegionRowLimit,
                         int bottom = kRegionRowLimit);

// A region moved through a transform: rectangles stay rectangles when the
// transform keeps them axis-aligned (corners rounded as GDI rounds), else
// each becomes a polygon; rows limited to [top, bottom).
RegionData TransformRegion(const RegionData& region, const Matrix& m, int top = -kRegionRowLimit,
                           int bottom = kRegionRowLimit);

}  // namespace tw::gdi
