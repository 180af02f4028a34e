// Internal: a brush realised for one surface: its pixel values in the
// surface's format, repeating from the brush origin.
#pragma once
#include <vector>

#include "../dc.h"

namespace tw::gdi {

struct RealizedBrush {
  bool null = false;   // BS_NULL: paints nothing
  bool solid = true;
  DWORD value = 0;     // solid brushes
  int width = 0, height = 0;
  std::vector<DWORD> values;  // patterns, row-major
  std::vector<BYTE> drawn;    // 0 where a transparent hatch leaves the destination
  POINT origin{0, 0};

  // The brush's values for n pixels of device row y from device column x.
  void Row(int y, int x, int n, DWORD* out) const;
  const BYTE* DrawnRow(int y) const;
};

// `honourBkMode`: hatch backgrounds are left alone in TRANSPARENT mode
// (fills); blits always paint them.
RealizedBrush RealizeBrush(Dc& dc, const Dib& dib, const Brush& brush, bool honourBkMode);

}  // namespace tw::gdi
