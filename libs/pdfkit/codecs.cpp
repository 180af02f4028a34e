// Group 4 through libtiff (an in-memory TIFF whose one strip is the T.6
// data), JPEG through libjpeg.
#include "codecs.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <jpeglib.h>
#include <setjmp.h>
#include <tiffio.h>

namespace twpdf {
namespace {

// A growing buffer libtiff reads and writes as a file.
struct MemoryFile {
  std::vector<BYTE> bytes;
  toff_t at = 0;
};

tmsize_t memRead(thandle_t h, void* buf, tmsize_t n) {
  auto* f = static_cast<MemoryFile*>(h);
  if (n < 0 || f->at >= f->bytes.size()) return 0;
  tmsize_t take = std::min<tmsize_t>(n, tmsize_t(f->bytes.size() - f->at));
  std::memcpy(buf, f->bytes.data() + f->at, std::size_t(take));
  f->at += toff_t(take);
  return take;
}

tmsize_t memWrite(thandle_t h, void* buf, tmsize_t n) {
  auto* f = static_cast<MemoryFile*>(h);
  if (n < 0) return -1;
  try {
    if (f->at + toff_t(n) > f->bytes.size()) f->bytes.resize(std::size_t(f->at + toff_t(n)));
  } catch (const std::bad_alloc&) {
    return -1;
  }
  std::memcpy(f->bytes.data() + f->at, buf, std::size_t(n));
  f->at += toff_t(n);
  return n;
}

toff_t memSeek(thandle_t h, toff_t off, int whence) {
  auto* f = static_cast<MemoryFile*>(h);
  toff_t base = whence == SEEK_CUR ? f->at : whence == SEEK_END ? toff_t(f->bytes.size()) : 0;
  f->at = base + off;
  return f->at;
}

int memClose(thandle_t) { return 0; }
toff_t memSize(thandle_t h) { return toff_t(static_cast<MemoryFile*>(h)->bytes.size()); }
int noMap(thandle_t, void**, toff_t*) { return 0; }
void noUnmap(thandle_t, void*, toff_t) {}
// libtiff's messages stay inside: a failure shows as an empty result.
int quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

TIFF* openMemory(MemoryFile& file, const char* mode) {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (!options) return nullptr;
  TIFFOpenOptionsSetErrorHandlerExtR(options, quiet, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options, quiet, nullptr);
  TIFF* t = TIFFClientOpenExt("memory", mode, &file, memRead, memWrite, memSeek, memClose, memSize, noMap, noUnmap,
                              options);
  TIFFOpenOptionsFree(options);
  return t;
}

}  // namespace

std::vector<BYTE> EncodeG4(std::vector<BYTE>& rows, int width, int height) {
  std::size_t line = (std::size_t(width) + 7) / 8;
  if (width <= 0 || height <= 0 || rows.size() < line * std::size_t(height)) return {};
  MemoryFile file;
  try {
    file.bytes.reserve(rows.size() / 8 + 4096);  // text pages code to a few per cent
  } catch (const std::bad_alloc&) {
    return {};
  }
  TIFF* t = openMemory(file, "w");
  if (!t) return {};
  bool ok = TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(width)) && TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(height)) &&
            TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1) && TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1) &&
            TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE) &&
            TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4) &&
            TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, uint32_t(height)) && TIFFSetField(t, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB) &&
            TIFFWriteEncodedStrip(t, 0, rows.data(), tmsize_t(line * std::size_t(height))) >= 0 && TIFFWriteDirectory(t);
  TIFFClose(t);
  if (!ok) return {};
  file.at = 0;
  TIFF* r = openMemory(file, "r");
  if (!r) return {};
  std::vector<BYTE> out;
  uint64_t* counts = nullptr;
  if (TIFFGetField(r, TIFFTAG_STRIPBYTECOUNTS, &counts) && counts && counts[0] > 0 && counts[0] < file.bytes.size()) {
    out.resize(std::size_t(counts[0]));
    if (TIFFReadRawStrip(r, 0, out.data(), tmsize_t(out.size())) != tmsize_t(out.size())) out.clear();
  }
  TIFFClose(r);
  return out;
}

namespace {

struct JpegError {
  jpeg_error_mgr mgr;
  jmp_buf jump;
};

void jpegFail(j_common_ptr info) { longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1); }
void jpegQuiet(j_common_ptr) {}

}  // namespace

std::vector<BYTE> EncodeJpeg(const BYTE* rows, std::size_t stride, int width, int height, int components, int quality) {
  if (!rows || width <= 0 || height <= 0 || (components != 1 && components != 3) ||
      stride < std::size_t(width) * components || width > 65500 || height > 65500)
    return {};
  jpeg_compress_struct info;
  JpegError error;
  info.err = jpeg_std_error(&error.mgr);
  error.mgr.error_exit = jpegFail;
  error.mgr.output_message = jpegQuiet;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  // Nothing with a destructor lives between setjmp and the calls that may jump.
  if (setjmp(error.jump)) {
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return {};
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = JDIMENSION(width);
  info.image_height = JDIMENSION(height);
  info.input_components = components;
  info.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality < 1 ? 1 : quality > 100 ? 100 : quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(rows + std::size_t(info.next_scanline) * stride);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::vector<BYTE> out;
  try {
    out.assign(buffer, buffer + size);
  } catch (const std::bad_alloc&) {
  }
  std::free(buffer);
  return out;
}

}  // namespace twpdf
