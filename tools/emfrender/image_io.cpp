// PNG through libpng; BMP written by hand (it is a packed DIB behind a
// 14-byte file header).
#include "image_io.h"

#include <png.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>

namespace twtools {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// libpng reports errors by longjmp; this handler records the message first.
void pngError(png_structp png, png_const_charp message) {
  auto* text = static_cast<std::string*>(png_get_error_ptr(png));
  if (text) *text = message;
  png_longjmp(png, 1);
}
void pngWarning(png_structp, png_const_charp) {}

void putLE16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void putLE32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

bool ReadPng(const std::filesystem::path& path, RgbImage& image, std::string& error) {
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    error = "cannot open " + path.string();
    return false;
  }
  std::string pngMessage;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &pngMessage, pngError, pngWarning);
  if (!png) {
    error = "out of memory";
    return false;
  }
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> rows;
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    error = path.string() + ": " + (pngMessage.empty() ? "bad PNG" : pngMessage);
    return false;
  }
  png_init_io(png, file.get());
  png_read_info(png, info);
  png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
  if (w == 0 || h == 0 || w > 100000 || h > 100000) png_error(png, "unsupported image size");
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  png_color_16 white{0, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
  png_set_background(png, &white, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != size_t(w) * 3) png_error(png, "unexpected row layout");
  image.Reset(static_cast<int>(w), static_cast<int>(h));
  rows.resize(h);
  for (png_uint_32 y = 0; y < h; ++y) rows[y] = image.Row(static_cast<int>(y));
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

bool WritePng(const std::filesystem::path& path, const RgbImage& image, std::string& error) {
  if (image.width <= 0 || image.height <= 0) {
    error = "empty image";
    return false;
  }
  FilePtr file(std::fopen(path.c_str(), "wb"));
  if (!file) {
    error = "cannot create " + path.string();
    return false;
  }
  std::string pngMessage;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &pngMessage, pngError, pngWarning);
  if (!png) {
    error = "out of memory";
    return false;
  }
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> rows;
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    error = path.string() + ": " + (pngMessage.empty() ? "cannot write PNG" : pngMessage);
    return false;
  }
  png_init_io(png, file.get());
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 6);
  png_write_info(png, info);
  rows.resize(static_cast<size_t>(image.height));
  for (int y = 0; y < image.height; ++y) rows[static_cast<size_t>(y)] = const_cast<png_bytep>(image.Row(y));
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  if (std::fflush(file.get()) != 0) {
    error = "cannot write " + path.string();
    return false;
  }
  return true;
}

bool WriteBmp(const std::filesystem::path& path, const RgbImage& image, std::string& error) {
  if (image.width <= 0 || image.height <= 0) {
    error = "empty image";
    return false;
  }
  const size_t stride = ((static_cast<size_t>(image.width) * 3 + 3) / 4) * 4;
  const size_t pixelBytes = stride * static_cast<size_t>(image.height);
  if (pixelBytes > 0xFFFFFFFFu - 54) {
    error = "image too large for BMP";
    return false;
  }
  std::uint8_t head[54] = {};
  head[0] = 'B';
  head[1] = 'M';
  putLE32(head + 2, static_cast<std::uint32_t>(54 + pixelBytes));
  putLE32(head + 10, 54);
  putLE32(head + 14, 40);
  putLE32(head + 18, static_cast<std::uint32_t>(image.width));
  putLE32(head + 22, static_cast<std::uint32_t>(image.height));  // positive: bottom-up
  putLE16(head + 26, 1);
  putLE16(head + 28, 24);
  putLE32(head + 34, static_cast<std::uint32_t>(pixelBytes));
  FilePtr file(std::fopen(path.c_str(), "wb"));
  if (!file) {
    error = "cannot create " + path.string();
    return false;
  }
  bool ok = std::fwrite(head, 1, sizeof(head), file.get()) == sizeof(head);
  std::vector<std::uint8_t> row(stride, 0);
  for (int y = image.height - 1; ok && y >= 0; --y) {
    const std::uint8_t* src = image.Row(y);
    for (int x = 0; x < image.width; ++x) {  // RGB -> BGR
      row[size_t(x) * 3] = src[x * 3 + 2];
      row[size_t(x) * 3 + 1] = src[x * 3 + 1];
      row[size_t(x) * 3 + 2] = src[x * 3];
    }
    ok = std::fwrite(row.data(), 1, stride, file.get()) == stride;
  }
  if (!ok || std::fflush(file.get()) != 0) {
    error = "cannot write " + path.string();
    return false;
  }
  return true;
}

bool WriteImage(const std::filesystem::path& path, const RgbImage& image, std::string& error) {
  std::string ext = path.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  if (ext == ".png") return WritePng(path, image, error);
  if (ext == ".bmp") return WriteBmp(path, image, error);
  error = "unknown image type '" + ext + "' (use .png or .bmp)";
  return false;
}

}  // namespace twtools
