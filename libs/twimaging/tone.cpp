// Brightness and contrast through one table of 256 values, applied to the
// colour table of palette images and to every colour byte of the others.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "libs/twimaging/image_rows.h"

namespace tw::twimaging {

HGLOBAL BrightnessContrast(HGLOBAL dib, int brightness, int contrast) {
  tw::dib::BlockLock in(dib);
  if (!in.ok()) return nullptr;
  auto layout = tw::dib::ReadLayout(in.bytes());
  if (!layout || layout->Core() || !layout->PlainPixels() || layout->bits == 16) return nullptr;
  BYTE lut[256];
  for (int v = 0; v < 256; ++v) {
    const double adjusted = 128 + (v - 128) * (100 + contrast) / 100.0 + brightness * 128 / 100.0;
    lut[v] = static_cast<BYTE>(std::clamp(std::lround(adjusted), 0L, 255L));
  }
  tw::dib::GlobalBlock block(GlobalAlloc(GMEM_MOVEABLE, in.size()));
  if (!block) return nullptr;
  {
    tw::dib::BlockLock out(block.get());
    if (!out.ok()) return nullptr;
    std::memcpy(out.data(), in.data(), in.size());
    if (layout->bits <= 8) {
      auto* table = reinterpret_cast<RGBQUAD*>(out.data() + layout->tableOffset);
      for (DWORD i = 0; i < layout->colors; ++i) {
        table[i].rgbBlue = lut[table[i].rgbBlue];
        table[i].rgbGreen = lut[table[i].rgbGreen];
        table[i].rgbRed = lut[table[i].rgbRed];
      }
    } else {
      const std::size_t step = layout->bits / 8, used = static_cast<std::size_t>(layout->width) * step;
      for (LONG m = 0; m < layout->height; ++m) {
        BYTE* row = out.data() + layout->MemoryRow(m);
        for (std::size_t i = 0; i < used; i += step) {
          row[i] = lut[row[i]];
          row[i + 1] = lut[row[i + 1]];
          row[i + 2] = lut[row[i + 2]];
        }
      }
    }
  }
  return block.release();
}

}  // namespace tw::twimaging
