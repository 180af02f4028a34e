// Internal: the blit engine behind PatBlt, BitBlt, StretchBlt,
// StretchDIBits, SetDIBitsToDevice, AlphaBlend, TransparentBlt, MaskBlt and
// PlgBlt.
//
// A blit maps a source rectangle onto a destination parallelogram in device
// pixels. Axis-aligned targets (stretched and mirrored) go through row
// kernels that honour the stretch mode; rotated and sheared targets sample
// the nearest source pixel of every destination pixel centre.
#pragma once
#include <utility>
#include <vector>

#include "../dc.h"
#include "../rle.h"
#include "scan.h"

namespace tw::gdi {

struct BlitSource {
  const Dib* dib = nullptr;
  // A monochrome bitmap: its 0 bits take the destination DC's text colour
  // and 1 bits its background colour (bits copied as they are onto another
  // monochrome bitmap).
  bool monoDdb = false;
  // The source DC's background colour as rgb: a colour source becomes 1
  // (white) on a monochrome bitmap where it has this colour, else 0.
  DWORD bkRgb = 0xFFFFFF;
  // RLE sources are read row by row from their stream (`dib` then only
  // gives the format: 8-bit indices and the colour table). Pixels the
  // stream leaves unset are not drawn (the destination keeps its pixel),
  // unless `rleUnsetIsZero`: then they are index 0, as in a bitmap made
  // from the DIB.
  const RleImage* rle = nullptr;
  bool rleUnsetIsZero = false;
  // A plain source's pixels that are drawn: one byte per DIB pixel, 0 where
  // the destination keeps its pixel (null: all are drawn).
  const std::vector<BYTE>* drawn = nullptr;
  // Whether some source pixels are not to be drawn.
  bool HasGaps() const { return (rle && !rleUnsetIsZero) || drawn; }
  // The source rectangle in DIB pixels, rows counted from the top; it may
  // reach outside the DIB (those parts draw nothing).
  int x = 0, y = 0, width = 0, height = 0;
};

// Where the source rectangle's top-left, top-right and bottom-left corners
// land, in device pixels.
struct BlitTarget {
  PointF origin, right, down;
};

// The target turned round for a source rectangle of negative width (X) or
// height (Y).
inline void MirrorTargetX(BlitTarget& t) {
  PointF shift{t.right.x - t.origin.x, t.right.y - t.origin.y};
  std::swap(t.origin, t.right);
  t.down = {t.down.x + shift.x, t.down.y + shift.y};
}
inline void MirrorTargetY(BlitTarget& t) {
  PointF shift{t.down.x - t.origin.x, t.down.y - t.origin.y};
  std::swap(t.origin, t.down);
  t.right = {t.right.x + shift.x, t.right.y + shift.y};
}

enum class BlitKind { Rop, AlphaBlend, Transparent };

struct BlitParams {
  BlitKind kind = BlitKind::Rop;
  DWORD rop = SRCCOPY;            // ROP3 in bits 16..23 (MaskBlt: background ROP in 24..31)
  int stretchMode = COLORONCOLOR;
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, 0};
  DWORD transparentRgb = 0;       // TransparentBlt
  // MaskBlt / PlgBlt: a monochrome mask over the source rectangle (1: the
  // foreground ROP, 0: the background ROP), from (maskX, maskY).
  const Dib* mask = nullptr;
  int maskX = 0, maskY = 0;
};

// Draws onto dc's surface (nothing for DCs without one), clipped to the
// DC's effective clip. `source` may be null for ROPs without a source.
void Blit(Dc& dc, const BlitTarget& target, const BlitSource* source, const BlitParams& params);

// Whether a ROP3 code (bits 16..23 of a raster operation) reads the
// source, the pattern or the destination.
inline bool RopUsesSource(DWORD rop) {
  DWORD r = (rop >> 16) & 0xFF;
  return ((r >> 2) ^ r) & 0x33;
}
inline bool RopUsesPattern(DWORD rop) {
  DWORD r = (rop >> 16) & 0xFF;
  return ((r >> 4) ^ r) & 0x0F;
}

}  // namespace tw::gdi
