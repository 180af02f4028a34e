// Coverage-mask drawing: the glyph primitive of the font engine.
#include <algorithm>

#include "../draw.h"

namespace tw::gdi {

void DrawCoverageMask(Dc& dc, int x, int y, int width, int height, const BYTE* mask, std::ptrdiff_t pitch,
                      COLORREF color) {
  Dib* dib = dc.Surface();
  if (!dib || !mask || width <= 0 || height <= 0) return;
  const RegionData& clip = dc.EffectiveClip();
  DWORD rgb = ResolveColor(dc, color);
  int y0 = std::max(y, 0), y1 = std::min(y + height, dib->height);
  for (int row = y0; row < y1; ++row) {
    const BYTE* line = mask + (row - y) * pitch;
    clip.ForEachInRow(row, [&](int c0, int c1) {
      int lo = std::max({x, c0, 0}), hi = std::min({x + width, c1, dib->width});
      if (lo < hi) dib->funcs->blendCoverage(*dib, row, lo, hi - lo, line + (lo - x), rgb);
    });
  }
}

}  // namespace tw::gdi
