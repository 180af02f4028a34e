// LoadPNGIntoDIB. As in the writer, the functions that arm setjmp for libpng
// hold no C++ object with a destructor; their callers own every resource.
#include <csetjmp>
#include <cstring>
#include <new>
#include <optional>

#include "output/png/png_codec.h"
#include "output/png/png_errors.h"
#include "tw/packed_dib.h"

namespace {

using tw::png::LibpngMessage;

// Images above this many pixels are refused, so that a header cannot make
// the reader allocate without bound.
constexpr std::uint64_t kMaxPixels = std::uint64_t(1) << 28;

struct PngReadStructs {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~PngReadStructs() {
    if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
  }
};

struct FileOwner {
  HANDLE h;
  ~FileOwner() {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};

// The header as read, with the transforms for the DIB's pixel order set.
struct PngHeader {
  png_uint_32 width, height;
  int bitDepth, colorType, passes;
  int pixelDepth;  // of the PNG: bits per pixel before any transform
  LONG xPelsPerMeter, yPelsPerMeter;
  int paletteEntries;
  png_color palette[256];
};

void ReadData(png_structp png, png_bytep data, size_t size) {
  HANDLE file = static_cast<HANDLE>(png_get_io_ptr(png));
  while (size > 0) {
    DWORD got = 0;
    DWORD ask = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
    if (!ReadFile(file, data, ask, &got, nullptr) || got == 0) png_error(png, "the file ends early");
    data += got;
    size -= got;
  }
}

bool ReadHeader(png_structp png, png_infop info, PngHeader* out) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  out->width = png_get_image_width(png, info);
  out->height = png_get_image_height(png, info);
  out->bitDepth = png_get_bit_depth(png, info);
  out->colorType = png_get_color_type(png, info);
  out->pixelDepth = out->bitDepth * png_get_channels(png, info);
  png_uint_32 x = 0, y = 0;
  int unit = 0;
  // Only a resolution in metres is one; a unitless pHYs gives the aspect ratio alone.
  if (png_get_pHYs(png, info, &x, &y, &unit) && unit == PNG_RESOLUTION_METER && x <= 0x7FFFFFFF &&
      y <= 0x7FFFFFFF) {
    out->xPelsPerMeter = static_cast<LONG>(x);
    out->yPelsPerMeter = static_cast<LONG>(y);
  }
  png_colorp palette = nullptr;
  int entries = 0;
  if (out->colorType == PNG_COLOR_TYPE_PALETTE && png_get_PLTE(png, info, &palette, &entries) && palette) {
    out->paletteEntries = entries > 256 ? 256 : entries;
    std::memcpy(out->palette, palette, sizeof(png_color) * static_cast<std::size_t>(out->paletteEntries));
  }
  // DIB order: blue, green, red (and alpha); grey with alpha as such a pixel.
  if (out->colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
  if (out->colorType == PNG_COLOR_TYPE_RGB || out->colorType == PNG_COLOR_TYPE_RGB_ALPHA ||
      out->colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
    png_set_bgr(png);
  out->passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  return true;
}

// Every pass of every row into the DIB's rows (bottom-up).
bool ReadRows(png_structp png, const PngHeader* header, BYTE* pixels, std::size_t stride) {
  if (setjmp(png_jmpbuf(png))) return false;
  for (int pass = 0; pass < header->passes; ++pass)
    for (png_uint_32 y = 0; y < header->height; ++y)
      png_read_row(png, pixels + stride * (header->height - 1 - y), nullptr);
  return true;
}

// The DIB's bit count for the PNG's pixel depth, 0 when refused.
WORD DibBits(const PngHeader& h, bool withAlpha) {
  if (h.bitDepth > 8) return 0;
  switch (h.pixelDepth) {
    case 1: case 4: case 8: case 24: return static_cast<WORD>(h.pixelDepth);
    case 16: case 32: return withAlpha ? 32 : 0;  // grey with alpha, RGB with alpha
    default: return 0;
  }
}

// Colours multiplied by alpha / 255, rounded.
void Premultiply(BYTE* pixels, std::size_t stride, png_uint_32 width, png_uint_32 height) {
  for (png_uint_32 y = 0; y < height; ++y) {
    BYTE* p = pixels + stride * y;
    for (png_uint_32 x = 0; x < width; ++x, p += 4)
      for (int c = 0; c < 3; ++c) p[c] = static_cast<BYTE>((p[c] * p[3] + 127) / 255);
  }
}

// The DIB, or null with `error` set (and `message` holding libpng's text for
// TW_PNG_ERROR_READ).
HGLOBAL LoadPng(LPCWSTR path, bool withAlpha, int* error, LibpngMessage& message) {
  *error = TW_PNG_ERROR_NOT_FOUND;
  if (!path) return nullptr;
  FileOwner file{CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                             nullptr)};
  if (file.h == INVALID_HANDLE_VALUE) return nullptr;

  *error = TW_PNG_ERROR_MEMORY;
  PngReadStructs s;
  s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &message, tw::png::OnLibpngError, tw::png::OnLibpngWarning);
  if (s.png) s.info = png_create_info_struct(s.png);
  if (!s.info) return nullptr;
  png_set_read_fn(s.png, file.h, ReadData);

  PngHeader header{};
  *error = TW_PNG_ERROR_READ;
  if (!ReadHeader(s.png, s.info, &header)) return nullptr;
  WORD bits = DibBits(header, withAlpha);
  *error = TW_PNG_ERROR_DEPTH;
  if (bits == 0) return nullptr;
  *error = TW_PNG_ERROR_MEMORY;
  if (std::uint64_t(header.width) * header.height > kMaxPixels) return nullptr;

  DWORD colors = bits <= 8 ? DWORD{1} << bits : 0;
  BITMAPINFOHEADER h{};
  h.biXPelsPerMeter = header.xPelsPerMeter;
  h.biYPelsPerMeter = header.yPelsPerMeter;
  std::optional<tw::dib::NewDib> dib = tw::dib::AllocDib(h, header.width, header.height, bits, colors);
  if (!dib) return nullptr;
  tw::dib::BlockLock lock(dib->block.get());
  if (!lock.ok()) return nullptr;
  auto* table = reinterpret_cast<RGBQUAD*>(lock.data() + dib->layout.tableOffset);
  for (DWORD i = 0; i < colors; ++i) {
    if (header.colorType == PNG_COLOR_TYPE_PALETTE) {
      // Entries past the PNG's palette stay black.
      if (i < static_cast<DWORD>(header.paletteEntries))
        table[i] = {header.palette[i].blue, header.palette[i].green, header.palette[i].red, 0};
    } else {
      BYTE grey = static_cast<BYTE>(255 / (colors - 1) * i);
      table[i] = {grey, grey, grey, 0};
    }
  }
  BYTE* pixels = lock.data() + dib->layout.bitsOffset;
  *error = TW_PNG_ERROR_READ;
  if (!ReadRows(s.png, &header, pixels, dib->layout.stride)) return nullptr;
  if (bits == 32) Premultiply(pixels, dib->layout.stride, header.width, header.height);
  lock.Unlock();
  *error = TW_PNG_ERROR_NONE;
  return dib->block.release();
}

}  // namespace

HGLOBAL LoadPNGIntoDIB(LPCWSTR path, int* errorIndex, BOOL withAlpha) {
  int error = TW_PNG_ERROR_MEMORY;
  LibpngMessage message{};
  HGLOBAL dib = nullptr;
  try {
    dib = LoadPng(path, withAlpha != FALSE, &error, message);
  } catch (const std::bad_alloc&) {
    error = TW_PNG_ERROR_MEMORY;
  }
  tw::png::SetError(error, error == TW_PNG_ERROR_READ ? message.text : nullptr);
  if (errorIndex) *errorIndex = error;
  return dib;
}
