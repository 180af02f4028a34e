// Cropping to an inclusive rectangle. Byte-sized pixels copy row slices;
// pixels of 1, 2 and 4 bits are shifted by the bit offset of the left edge,
// and the bits past the new width in each row's last byte are cleared.
#include <cstring>

#include "output/imaging/dib_access.h"
#include "output/imaging/dib_ops.h"

namespace tw::imaging {

HGLOBAL CropDIB(HGLOBAL hDIB, LONG left, LONG top, LONG right, LONG bottom) {
  SourceDib src(hDIB);
  if (!src.ok() || src.layout().headerSize != sizeof(BITMAPINFOHEADER)) return nullptr;
  if (left < 0 || left > right || right >= src.Width() || top < 0 || top > bottom || bottom >= src.Height())
    return nullptr;
  const LONG width = right - left + 1, height = bottom - top + 1;
  TargetDib out(src, width, height, false);
  if (!out.ok()) return nullptr;
  const unsigned bits = src.Bits();
  const std::size_t bitOffset = static_cast<std::size_t>(left) * bits;
  const std::size_t first = bitOffset / 8, used = UsedRowBytes(width, bits);
  const unsigned shift = static_cast<unsigned>(bitOffset % 8);
  // The source bytes a row may read: up to the last byte holding a pixel.
  const std::size_t sourceEnd = UsedRowBytes(src.Width(), bits);
  const BYTE lastMask = LastByteMask(width, bits);
  for (LONG y = 0; y < height; ++y) {
    const BYTE* s = src.Row(top + y) + first;
    BYTE* d = out.Row(y);
    if (shift == 0) {
      std::memcpy(d, s, used);
    } else {
      for (std::size_t k = 0; k < used; ++k) {
        unsigned next = first + k + 1 < sourceEnd ? s[k + 1] : 0u;
        d[k] = static_cast<BYTE>((s[k] << shift) | (next >> (8 - shift)));
      }
    }
    if (bits < 8) d[used - 1] &= lastMask;
  }
  return out.Release();
}

}  // namespace tw::imaging
