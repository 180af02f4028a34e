// Internal: the description of a pixel surface in exact DIB layout (bitmaps,
// DIB sections, DIBs handed to StretchDIBits) and the table of primitive
// operations per pixel format.
//
// Rows are addressed from the top (y = 0 is the top row whatever the memory
// order); `pitch` is negative for bottom-up DIBs. A "pixel value" is the
// format's own value (palette index, packed 16-bit value, 0xRRGGBB for 24
// bits, the raw 32-bit value); an "rgb" value is 0x00RRGGBB (the byte order
// of a little-endian BGRA pixel), a COLORREF is 0x00BBGGRR.
//
// The hot operations work on whole rows through function pointers chosen
// once per format; nothing is called per pixel through a pointer.
#pragma once
#include <cstddef>
#include <vector>

#include "wingdi.h"

namespace tw::gdi {

struct Dib;

struct DibFuncs {
  // [x0, x1) of row y := ((dst & andMask) ^ xorMask); 32-bit formats write 0
  // into the alpha byte (GDI's rule for lines and fills).
  void (*solidSpan)(const Dib& dib, int y, int x0, int x1, DWORD andMask, DWORD xorMask);
  // Unpacks / packs n pixel values of row y from x.
  void (*getPixels)(const Dib& dib, int y, int x, int n, DWORD* out);
  void (*putPixels)(const Dib& dib, int y, int x, int n, const DWORD* in);
  // Pixel value <-> rgb. pixelToRgb keeps the alpha byte of 32-bit pixels
  // in bits 24..31; rgbToPixel maps to the nearest table entry for palette
  // formats and gives alpha 0 for 32-bit formats.
  DWORD (*pixelToRgb)(const Dib& dib, DWORD pixel);
  DWORD (*rgbToPixel)(const Dib& dib, DWORD rgb);
  // Glyph drawing: blends `color` (rgb) into n pixels by their coverage
  // (0..255) with GDI's rule for greyscale text (dib_formats.cpp): pixels
  // covered too little to show are left alone, the others of a 32-bit
  // surface get alpha 0.
  void (*blendCoverage)(const Dib& dib, int y, int x, int n, const BYTE* coverage, DWORD color);
};

struct Dib {
  int width = 0;
  int height = 0;
  int bpp = 0;                    // 1, 4, 8, 16, 24 or 32
  BYTE* top = nullptr;            // first byte of the top row
  std::ptrdiff_t pitch = 0;       // from a row to the one below it
  std::vector<RGBQUAD> colors;    // colour table, formats of 8 bits or less
  DWORD masks[3] = {0, 0, 0};     // red, green, blue (16 and 32 bits)
  int shifts[3] = {0, 0, 0};      // bit position of each mask
  int lengths[3] = {0, 0, 0};     // bits in each mask
  const DibFuncs* funcs = nullptr;

  BYTE* Row(int y) const { return top + y * pitch; }
  std::size_t Stride() const { return static_cast<std::size_t>(pitch < 0 ? -pitch : pitch); }
  bool TopDown() const { return pitch > 0; }
  // Full mask of a pixel value (24 bits for 24-bit, 32 for 32-bit).
  DWORD ValueMask() const { return bpp >= 32 ? 0xFFFFFFFFu : ((1u << bpp) - 1); }

  // Sets bpp, masks and the function table; false for an unsupported format.
  // Masks of zero select the defaults (5-5-5 for 16 bits, 8-8-8 for 32).
  bool SetFormat(int bitCount, DWORD red = 0, DWORD green = 0, DWORD blue = 0);
  // Row stride of a DIB of this width and depth: rows padded to 4 bytes.
  static std::size_t StrideFor(int width, int bitCount) {
    return ((static_cast<std::size_t>(width) * bitCount + 31) / 32) * 4;
  }
  // Nearest colour-table entry (squared RGB distance, lowest index on a tie).
  DWORD NearestIndex(DWORD rgb) const;
};

// Index of the entry nearest to (r, g, b) by squared distance, the lowest
// index on a tie; `rgbOf(i)` gives entry i as rgb.
template <class RgbOf>
DWORD NearestEntry(std::size_t count, DWORD rgb, RgbOf&& rgbOf) {
  int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
  DWORD best = 0;
  int bestDistance = 1 << 30;
  for (std::size_t i = 0; i < count && bestDistance > 0; ++i) {
    DWORD e = rgbOf(i);
    int dr = static_cast<int>((e >> 16) & 0xFF) - r, dg = static_cast<int>((e >> 8) & 0xFF) - g,
        db = static_cast<int>(e & 0xFF) - b;
    int distance = dr * dr + dg * dg + db * db;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = static_cast<DWORD>(i);
    }
  }
  return best;
}

// COLORREF <-> rgb.
inline DWORD RgbFromColorref(COLORREF c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }
inline COLORREF ColorrefFromRgb(DWORD rgb) {
  return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
}
inline DWORD RgbFromQuad(const RGBQUAD& q) {
  return (static_cast<DWORD>(q.rgbRed) << 16) | (static_cast<DWORD>(q.rgbGreen) << 8) | q.rgbBlue;
}

// AND and XOR masks that apply ROP2 code `rop2` (R2_BLACK ... R2_WHITE) with
// pen pixel value `pen`: result = (dst & and) ^ xor, over `valueMask` bits.
void Rop2Masks(int rop2, DWORD pen, DWORD valueMask, DWORD& andMask, DWORD& xorMask);

}  // namespace tw::gdi
