// Reading DIB headers and colour tables; RLE decoding; default tables.
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

// Decodes BI_RLE8 / BI_RLE4 into one 8-bit index per pixel (bottom row first
// in the stream, top-down in `out`), marking the pixels the stream sets.
void decodeRle(const BYTE* data, std::size_t size, bool rle4, int width, int height, BYTE* out,
               std::size_t outStride, BYTE* defined) {
  int x = 0, y = 0;  // y counts rows from the bottom
  std::size_t i = 0;
  auto put = [&](BYTE index) {
    if (x >= 0 && x < width && y >= 0 && y < height) {
      std::size_t row = static_cast<std::size_t>(height - 1 - y);
      out[row * outStride + static_cast<std::size_t>(x)] = index;
      defined[row * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] = 1;
    }
    ++x;
  };
  while (i + 1 < size && y < height) {
    BYTE count = data[i], value = data[i + 1];
    i += 2;
    if (count > 0) {
      for (int k = 0; k < count && x < width; ++k) put(rle4 ? ((k & 1) ? value & 0x0F : value >> 4) : value);
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++y;
    } else if (value == 1) {  // end of bitmap
      break;
    } else if (value == 2) {  // delta
      if (i + 1 >= size) break;
      x += data[i];
      y += data[i + 1];
      i += 2;
    } else {  // absolute run of `value` pixels, padded to a word
      std::size_t bytes = rle4 ? (value + 1u) / 2 : value;
      if (i + bytes > size) break;
      for (int k = 0; k < value; ++k) {
        BYTE b = data[i + (rle4 ? static_cast<std::size_t>(k / 2) : static_cast<std::size_t>(k))];
        put(rle4 ? ((k & 1) ? b & 0x0F : b >> 4) : b);
      }
      i += (bytes + 1) & ~static_cast<std::size_t>(1);
    }
  }
}

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
  } else if (headerSize >= sizeof(BITMAPINFOHEADER) && headerSize <= 4096) {
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
      if (headerSize >= 52) {  // V2 and later headers hold the masks
        for (int i = 0; i < 3; ++i) out.masks[i] = readAt<DWORD>(p, 40 + 4 * static_cast<std::size_t>(i));
      } else {
        if (maxBytes < offset + 12) return fail();
        for (int i = 0; i < 3; ++i) out.masks[i] = readAt<DWORD>(p, offset + 4 * static_cast<std::size_t>(i));
        offset += 12;
      }
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

bool MakeDibView(const DibHeader& header, const void* bits, std::size_t bitsSize, Dib& out,
                 std::unique_ptr<BYTE[]>& storage, std::vector<BYTE>* defined) {
  if (!bits) return fail();
  out = Dib{};
  out.width = header.width;
  out.height = header.height;
  out.colors = header.colors;
  if (header.compression == BI_RLE8 || header.compression == BI_RLE4) {
    std::size_t stride = Dib::StrideFor(header.width, 8);
    try {
      storage = std::make_unique<BYTE[]>(stride * static_cast<std::size_t>(header.height));
      if (defined) defined->assign(static_cast<std::size_t>(header.width) * header.height, 0);
    } catch (const std::bad_alloc&) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return false;
    }
    std::vector<BYTE> scratch;
    if (!defined) scratch.assign(static_cast<std::size_t>(header.width) * header.height, 0);
    decodeRle(static_cast<const BYTE*>(bits), std::min<std::size_t>(bitsSize, header.sizeImage),
              header.compression == BI_RLE4, header.width, header.height, storage.get(), stride,
              defined ? defined->data() : scratch.data());
    out.SetFormat(8);
    out.top = storage.get();
    out.pitch = static_cast<std::ptrdiff_t>(stride);
    return true;
  }
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

}  // namespace tw::gdi
