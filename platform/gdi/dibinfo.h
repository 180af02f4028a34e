// Internal: reading DIB headers (BITMAPINFOHEADER, V4, V5 and the old
// BITMAPCOREHEADER) and their colour tables, and turning uncompressed DIB
// bits into a drawable Dib.
#pragma once
#include <cstddef>
#include <limits>
#include <vector>

#include "dib.h"
#include "gdiobj.h"

namespace tw::gdi {

// The longest BITMAPINFOHEADER form read (V5 is 124 bytes; longer headers
// are accepted as long as their fields are where V5 has them).
inline constexpr DWORD kMaxDibHeaderSize = 4096;

struct DibHeader {
  int width = 0;
  int height = 0;       // always positive
  bool topDown = false;  // biHeight < 0
  int bpp = 0;
  DWORD compression = BI_RGB;
  DWORD sizeImage = 0;   // bytes of bits (computed for BI_RGB/BI_BITFIELDS)
  DWORD masks[3] = {0, 0, 0};
  LONG xPelsPerMeter = 0;
  LONG yPelsPerMeter = 0;
  std::vector<RGBQUAD> colors;
  std::size_t infoBytes = 0;  // header + masks + colour table as read
  std::size_t stride = 0;     // uncompressed row stride
};

// Reads a BITMAPINFO of at most `maxBytes` bytes (SIZE_MAX when the caller
// cannot tell). DIB_PAL_COLORS tables are WORD indices into `palette` (the
// default palette when null). `forDrawing` also accepts BI_RLE8/RLE4 and
// BI_JPEG/BI_PNG. False with SetLastError (ERROR_INVALID_PARAMETER) for a
// malformed or unsupported header.
bool ParseDibHeader(const BITMAPINFO* info, std::size_t maxBytes, UINT usage, const Palette* palette,
                    bool forDrawing, DibHeader& out);

// A drawable view of uncompressed DIB bits described by `header`, used in
// place (`bits` must hold header.sizeImage bytes; `bitsSize` says how many
// it holds). Compressed DIBs are read through RleImage (rle.h).
bool MakeDibView(const DibHeader& header, const void* bits, std::size_t bitsSize, Dib& out);
// The format an RLE image's rows come in (8-bit indices into the header's
// colour table), without pixels: the blit source of an RleImage.
Dib RleFormat(const DibHeader& header);

// The default colour tables GDI uses when converting to a palette format:
// 1 bit black and white, 4 bits the 16 VGA colours, 8 bits the 20 static
// colours plus a colour cube.
const std::vector<RGBQUAD>& DefaultColorTable(int bpp);
// The 20-entry default palette (DEFAULT_PALETTE).
const std::vector<PALETTEENTRY>& DefaultPaletteEntries();

}  // namespace tw::gdi
