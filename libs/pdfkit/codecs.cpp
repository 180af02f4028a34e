// Group 4 through the codec kit's fax coder, JPEG through libjpeg.
#include "codecs.h"

#include <jpeglib.h>
#include <setjmp.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <span>

#include "fax_coder.h"

namespace twpdf {

std::vector<BYTE> EncodeG4(const std::vector<BYTE>& rows, int width, int height) {
  std::size_t line = (std::size_t(width) + 7) / 8;
  if (width <= 0 || height <= 0 || rows.size() < line * std::size_t(height)) return {};
  try {
    tw::codec::FaxCoder coder(std::uint32_t(width), tw::codec::FaxCoding{});
    coder.BeginStrip();
    for (int y = 0; y < height; ++y) coder.AddRow(rows.data() + std::size_t(y) * line);
    coder.EndStrip();
    std::span<BYTE> data = coder.Bytes();
    return std::vector<BYTE>(data.begin(), data.end());
  } catch (const std::bad_alloc&) {
    return {};
  }
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
