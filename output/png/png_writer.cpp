// SaveDIBInPNGFormat. libpng reports errors by longjmp: the functions that
// arm setjmp hold no C++ object with a destructor, and everything that needs
// releasing is owned by their callers.
#include <csetjmp>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

#include "output/common/encoded_file.h"
#include "output/png/png_codec.h"
#include "output/png/png_errors.h"
#include "tw/packed_dib.h"

namespace {

using tw::png::LibpngMessage;

// The write structure and its two information structures, released with the scope.
struct PngWriteStructs {
  png_structp png = nullptr;
  png_infop info = nullptr;
  png_infop endInfo = nullptr;
  ~PngWriteStructs() {
    if (endInfo) png_destroy_info_struct(png, &endInfo);
    if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
  }
};

// What one page needs, prepared by the caller.
struct PngPage {
  const tw::dib::Layout* layout;
  const BYTE* block;  // the locked DIB
  BYTE* row;          // (bits x width + 7) / 8 bytes
  png_color palette[256];
  int paletteEntries;
};

void WriteData(png_structp png, png_bytep data, size_t size) {
  if (!static_cast<tw::output::EncodedFile*>(png_get_io_ptr(png))->Write(data, size))
    png_error(png, "writing the file failed");
}

void FlushData(png_structp) {}

// Header chunks, rows and end. False when libpng reported an error.
bool WritePng(png_structp png, png_infop info, png_infop endInfo, const PngPage* page) {
  if (setjmp(png_jmpbuf(png))) return false;
  const tw::dib::Layout& l = *page->layout;
  const bool rgb = l.bits == 24;
  png_set_IHDR(png, info, static_cast<png_uint_32>(l.width), static_cast<png_uint_32>(l.height), rgb ? 8 : l.bits,
               rgb ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!rgb) png_set_PLTE(png, info, page->palette, page->paletteEntries);
  BITMAPINFOHEADER h;
  std::memcpy(&h, page->block, sizeof h);
  // A DIB without a resolution gets no pHYs rather than a wrapped one.
  if (h.biXPelsPerMeter > 0 && h.biYPelsPerMeter > 0)
    png_set_pHYs(png, info, static_cast<png_uint_32>(h.biXPelsPerMeter), static_cast<png_uint_32>(h.biYPelsPerMeter),
                 PNG_RESOLUTION_METER);
  png_write_info(png, info);
  const std::size_t used = (static_cast<std::size_t>(l.width) * l.bits + 7) / 8;
  for (LONG y = 0; y < l.height; ++y) {
    const BYTE* src = page->block + l.RowFromTop(y);
    if (rgb) {
      for (std::size_t i = 0; i < used; i += 3) {
        page->row[i] = src[i + 2];
        page->row[i + 1] = src[i + 1];
        page->row[i + 2] = src[i];
      }
    } else {
      std::memcpy(page->row, src, used);
    }
    png_write_row(png, page->row);
  }
  png_write_end(png, endInfo);
  return true;
}

int SavePng(LPCWSTR fileName, HGLOBAL dib) {
  if (!fileName || !dib) return tw::png::SetError(TW_PNG_ERROR_DIB);
  tw::dib::BlockLock lock(dib);
  std::optional<tw::dib::Layout> layout = lock.ok() ? tw::dib::ReadLayout(lock.bytes()) : std::nullopt;
  if (!layout || layout->Core() ||
      (layout->bits != 1 && layout->bits != 4 && layout->bits != 8 && layout->bits != 24))
    return tw::png::SetError(TW_PNG_ERROR_DIB);

  tw::output::EncodedFile file;
  if (!file.Create(fileName, CREATE_ALWAYS, FILE_SHARE_READ)) return tw::png::SetError(TW_PNG_ERROR_CREATE);

  PngPage page{&*layout, lock.data(), nullptr, {}, 0};
  if (layout->bits <= 8) {
    // The used colours, or 2^bits when the header says 0 (ReadLayout's count).
    page.paletteEntries = static_cast<int>(layout->colors);
    for (int i = 0; i < page.paletteEntries; ++i) {
      RGBQUAD c;
      std::memcpy(&c, lock.data() + layout->tableOffset + 4 * i, sizeof c);
      page.palette[i] = {c.rgbRed, c.rgbGreen, c.rgbBlue};
    }
  }
  std::vector<BYTE> row((static_cast<std::size_t>(layout->width) * layout->bits + 7) / 8);
  page.row = row.data();

  LibpngMessage message{};
  PngWriteStructs s;
  s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &message, tw::png::OnLibpngError,
                                  tw::png::OnLibpngWarning);
  if (s.png) s.info = png_create_info_struct(s.png);
  if (s.info) s.endInfo = png_create_info_struct(s.png);
  if (!s.endInfo) return tw::png::SetError(TW_PNG_ERROR_MEMORY);
  png_set_write_fn(s.png, &file, WriteData, FlushData);
  if (!WritePng(s.png, s.info, s.endInfo, &page)) return tw::png::SetError(TW_PNG_ERROR_WRITE, message.text);
  if (!file.Commit()) return tw::png::SetError(TW_PNG_ERROR_WRITE, "writing the file failed");
  return tw::png::SetError(TW_PNG_ERROR_NONE);
}

}  // namespace

BOOL SaveDIBInPNGFormat(LPCWSTR fileName, HGLOBAL dib, DWORD) {
  try {
    return SavePng(fileName, dib) == TW_PNG_ERROR_NONE;
  } catch (const std::bad_alloc&) {
    tw::png::SetError(TW_PNG_ERROR_MEMORY);
    return FALSE;
  }
}
