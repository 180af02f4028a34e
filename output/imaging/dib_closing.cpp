// A 3 x 3 closing of a one-bit image, eight pixels at a time: the black
// pixels are dilated (outside the image counts as white), then eroded
// (outside the image counts as black, so the edges do not eat in).
#include <cstring>
#include <vector>

#include "output/imaging/dib_access.h"
#include "output/imaging/dib_ops.h"

namespace tw::imaging {
namespace {

// Each pixel ORed (dilate) or ANDed (erode) with its left and right
// neighbours; `outside` is the value of the pixels beyond either end.
template <bool Dilate>
void Horizontal(const BYTE* r, BYTE* o, std::size_t n, BYTE outside) {
  for (std::size_t k = 0; k < n; ++k) {
    const unsigned prev = k > 0 ? r[k - 1] : outside, next = k + 1 < n ? r[k + 1] : outside;
    const unsigned left = (r[k] >> 1) | (prev << 7), right = (r[k] << 1) | (next >> 7);
    o[k] = static_cast<BYTE>(Dilate ? (r[k] | left | right) : (r[k] & left & right));
  }
}

HGLOBAL Closing(HGLOBAL hDIB) {
  SourceDib src(hDIB);
  if (!src.ok() || src.Bits() != 1 || src.Table().empty()) return nullptr;
  const RGBQUAD first = src.Table()[0];
  // Black is entry 0 when entry 0 is black, else entry 1.
  const bool blackIsZero = first.rgbRed == 0 && first.rgbGreen == 0 && first.rgbBlue == 0;
  const LONG w = src.Width(), h = src.Height();
  TargetDib out(src, w, h, false);
  if (!out.ok()) return nullptr;
  const std::size_t n = UsedRowBytes(w, 1);
  const BYTE lastMask = LastByteMask(w, 1);
  const std::size_t rows = static_cast<std::size_t>(h);
  std::vector<BYTE> mask(rows * n), spread(rows * n), closed(n);

  // Black pixels as set bits, the padding clear; then each row spread.
  for (LONG y = 0; y < h; ++y) {
    const BYTE* s = src.Row(y);
    BYTE* b = &mask[static_cast<std::size_t>(y) * n];
    for (std::size_t k = 0; k < n; ++k) b[k] = static_cast<BYTE>(blackIsZero ? ~s[k] : s[k]);
    b[n - 1] &= lastMask;
    Horizontal<true>(b, &spread[static_cast<std::size_t>(y) * n], n, 0);
  }
  // Dilated rows, the padding set (it counts as black for the erosion).
  for (std::size_t y = 0; y < rows; ++y) {
    BYTE* d = &mask[y * n];
    for (std::size_t k = 0; k < n; ++k) {
      unsigned v = spread[y * n + k];
      if (y > 0) v |= spread[(y - 1) * n + k];
      if (y + 1 < rows) v |= spread[(y + 1) * n + k];
      d[k] = static_cast<BYTE>(v);
    }
    d[n - 1] |= static_cast<BYTE>(~lastMask);
  }
  for (std::size_t y = 0; y < rows; ++y) Horizontal<false>(&mask[y * n], &spread[y * n], n, 0xFF);
  for (std::size_t y = 0; y < rows; ++y) {
    for (std::size_t k = 0; k < n; ++k) {
      unsigned v = spread[y * n + k];
      if (y > 0) v &= spread[(y - 1) * n + k];
      if (y + 1 < rows) v &= spread[(y + 1) * n + k];
      closed[k] = static_cast<BYTE>(blackIsZero ? ~v : v);
    }
    closed[n - 1] &= lastMask;
    std::memcpy(out.Row(static_cast<LONG>(y)), closed.data(), n);
  }
  return out.Release();
}

}  // namespace

HGLOBAL BinaryClosing(HGLOBAL hDIB) {
  return NullOnNoMemory([&] { return Closing(hDIB); });
}

}  // namespace tw::imaging
