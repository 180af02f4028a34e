// Reading DIB headers and colour tables; views of DIB bits; default tables.
#include "dibinfo.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "winerror.h"

namespace tw::gdi {
namespace {

bool fail() {
  SetLastError(ERROR_INVALID_PARAMETER);
  return false;
}

template <class T>
T readAt(const BYTE* p, std::size_t offset) {
  T value;
  std::memcpy(&value, p + offset, sizeof(T));
  return value;
}

// The 20 static colours of the default palette.
const PALETTEENTRY kStatic20[20] = {
    {0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},   {0, 0, 128, 0},
    {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0}, {192, 220, 192, 0}, {166, 202, 240, 0},
    {255, 251, 240, 0}, {160, 160, 164, 0}, {128, 128, 128, 0}, {255, 0, 0, 0},     {0, 255, 0, 0},
    {255, 255, 0, 0},   {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0},   {255, 255, 255, 0}};

RGBQUAD quad(BYTE r, BYTE g, BYTE b) { return {b, g, r, 0}; }

}  // namespace

const std::vector<PALETTEENTRY>& DefaultPaletteEntries() {
  static const std::vector<PALETTEENTRY> entries(std::begin(kStatic20), std::end(kStatic20));
  return entries;
}

const std::vector<RGBQUAD>& DefaultColorTable(int bpp) {
  static const std::vector<RGBQUAD> table1 = {quad(0, 0, 0), quad(255, 255, 255)};
  static const std::vector<RGBQUAD> table4 = {
      quad(0, 0, 0),       quad(128, 0, 0),   quad(0, 128, 0),   quad(128, 128, 0),
      quad(0, 0, 128),     quad(128, 0, 128), quad(0, 128, 128), quad(192, 192, 192),
      quad(128, 128, 128), quad(255, 0, 0),   quad(0, 255, 0),   quad(255, 255, 0),
      quad(0, 0, 255),     quad(255, 0, 255), quad(0, 255, 255), quad(255, 255, 255)};
  static const std::vector<RGBQUAD> table8 = [] {
    std::vector<RGBQUAD> t;
    for (int i = 0; i < 10; ++i) t.push_back(quad(kStatic20[i].peRed, kStatic20[i].peGreen, kStatic20[i].peBlue));
    static const BYTE levels[6] = {0, 51, 102, 153, 204, 255};
    for (int r = 0; r < 6; ++r)
      for (int g = 0; g < 6; ++g)
        for (int b = 0; b < 6; ++b) t.push_back(quad(levels[r], levels[g], levels[b]));
    for (int i = 1; t.size() < 246; ++i) {  // greys between the cube's levels
      BYTE v = static_cast<BYTE>(i * 255 / 21);
      t.push_back(quad(v, v, v));
    }
    for (int i = 10; i < 20; ++i) t.push_back(quad(kStatic20[i].peRed, kStatic20[i].peGreen, kStatic20[i].peBlue));
    return t;
  }();
  static const std::vector<RGBQUAD> none;
  switch (bpp) {
    case 1: return table1;
    case 4: return table4;
    case 8: return table8;
    default: return none;
  }
}

bool ParseDibHeader(const BITMAPINFO* info, std::size_t maxBytes, UINT usage, const Palette* palette,
                    bool forDrawing, DibHeader& out) {
  if (!info || maxBytes < sizeof(DWORD) || (usage != DIB_RGB_COLORS && usage != DIB_PAL_COLORS)) return fail();
  const BYTE* p = reinterpret_cast<const BYTE*>(info);
  DWORD headerSize = readAt<DWORD>(p, 0);
  out = DibHeader{};
  std::size_t offset;
  DWORD colorsUsed = 0;
  bool core = false;
  if (headerSize == sizeof(BITMAPCOREHEADER)) {
    if (maxBytes < headerSize) return fail();
    BITMAPCOREHEADER h = readAt<BITMAPCOREHEADER>(p, 0);
    out.width = h.bcWidth;
    out.height = h.bcHeight;
    out.bpp = h.bcBitCount;
    core = true;
    offset = headerSize;
  } else if (headerSize >= sizeof(BITMAPINFOHEADER) && headerSize <= kMaxDibHeaderSize) {
    if (maxBytes < headerSize) return fail();
    BITMAPINFOHEADER h = readAt<BITMAPINFOHEADER>(p, 0);
    if (h.biHeight == INT32_MIN) return fail();
    out.width = h.biWidth;
    out.height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    out.topDown = h.biHeight < 0;
    out.bpp = h.biBitCount;
    out.compression = h.biCompression;
    out.sizeImage = h.biSizeImage;
    out.xPelsPerMeter = h.biXPelsPerMeter;
    out.yPelsPerMeter = h.biYPelsPerMeter;
    colorsUsed = h.biClrUsed;
    offset = headerSize;
    if (out.compression == BI_BITFIELDS) {
      // The masks are at offset 40 in every header form: right after a
      // 40-byte header, inside the longer ones (V2 and later hold them).
      constexpr std::size_t kMasksEnd = sizeof(BITMAPINFOHEADER) + 12;
      if (maxBytes < kMasksEnd) return fail();
      for (int i = 0; i < 3; ++i)
        out.masks[i] = readAt<DWORD>(p, sizeof(BITMAPINFOHEADER) + 4 * static_cast<std::size_t>(i));
      offset = std::max<std::size_t>(offset, kMasksEnd);
    }
  } else {
    return fail();
  }

  switch (out.compression) {
    case BI_RGB:
      if (out.bpp != 1 && out.bpp != 4 && out.bpp != 8 && out.bpp != 16 && out.bpp != 24 && out.bpp != 32)
        return fail();
      break;
    case BI_BITFIELDS:
      if (out.bpp != 16 && out.bpp != 32) return fail();
      break;
    case BI_RLE8:
      if (!forDrawing || out.bpp != 8 || out.topDown) return fail();
      break;
    case BI_RLE4:
      if (!forDrawing || out.bpp != 4 || out.topDown) return fail();
      break;
    default:
      SetLastError(ERROR_NOT_SUPPORTED);  // JPEG / PNG pass-through is a printer-driver feature
      return false;
  }
  if (out.width <= 0 || out.height <= 0 || out.width > 0x3FFFFFFF / out.bpp) return fail();
  out.stride = Dib::StrideFor(out.width, out.bpp);
  if (out.stride > 0x7FFFFFFF / static_cast<std::size_t>(out.height)) return fail();
  if (out.compression == BI_RGB || out.compression == BI_BITFIELDS) {
    out.sizeImage = static_cast<DWORD>(out.stride * static_cast<std::size_t>(out.height));
  } else if (out.sizeImage == 0) {
    return fail();
  }

  // Colour table: biClrUsed entries (capped for palette formats), or the
  // full 2^bpp for palette formats; tables of deeper formats are skipped.
  std::size_t count = colorsUsed;
  if (out.bpp <= 8) {
    std::size_t full = std::size_t{1} << out.bpp;
    if (count == 0 || count > full) count = full;
  } else if (count > 256) {
    return fail();
  }
  std::size_t entrySize = usage == DIB_PAL_COLORS ? 2 : (core ? 3 : 4);
  if (maxBytes < offset || count > (maxBytes - offset) / entrySize) return fail();
  if (out.bpp <= 8) {
    out.colors.resize(count);
    std::vector<PALETTEENTRY> entries;
    if (usage == DIB_PAL_COLORS) entries = palette ? palette->Entries() : DefaultPaletteEntries();
    for (std::size_t i = 0; i < count; ++i) {
      const BYTE* e = p + offset + i * entrySize;
      if (usage == DIB_PAL_COLORS) {
        WORD index = readAt<WORD>(e, 0);
        PALETTEENTRY pe = index < entries.size() ? entries[index] : PALETTEENTRY{0, 0, 0, 0};
        out.colors[i] = quad(pe.peRed, pe.peGreen, pe.peBlue);
      } else {
        out.colors[i] = {e[0], e[1], e[2], 0};
      }
    }
  }
  out.infoBytes = offset + count * entrySize;
  return true;
}

bool MakeDibView(const DibHeader& header, const void* bits, std::size_t bitsSize, Dib& out) {
  if (!bits || (header.compression != BI_RGB && header.compression != BI_BITFIELDS)) return fail();
  out = Dib{};
  out.width = header.width;
  out.height = header.height;
  out.colors = header.colors;
  if (bitsSize < header.sizeImage) return fail();
  if (!out.SetFormat(header.bpp, header.masks[0], header.masks[1], header.masks[2])) return fail();
  BYTE* base = static_cast<BYTE*>(const_cast<void*>(bits));  // read only: views are never drawn on
  if (header.topDown) {
    out.top = base;
    out.pitch = static_cast<std::ptrdiff_t>(header.stride);
  } else {
    out.top = base + header.stride * static_cast<std::size_t>(header.height - 1);
    out.pitch = -static_cast<std::ptrdiff_t>(header.stride);
  }
  return true;
}

Dib RleFormat(const DibHeader& header) {
  Dib out;
  out.width = header.width;
  out.height = header.height;
  out.colors = header.colors;
  out.SetFormat(8);
  return out;
}

}  // namespace tw::gdi
