// RGB images for the metafile tools: PNG (libpng) and BMP reading/writing.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace twtools {

// 8-bit RGB, top row first, no row padding.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;

  void Reset(int w, int h, std::uint8_t fill = 255) {
    width = w;
    height = h;
    rgb.assign(static_cast<size_t>(w) * static_cast<size_t>(h) * 3, fill);
  }
  std::uint8_t* Row(int y) { return rgb.data() + static_cast<size_t>(y) * static_cast<size_t>(width) * 3; }
  const std::uint8_t* Row(int y) const { return rgb.data() + static_cast<size_t>(y) * static_cast<size_t>(width) * 3; }
};

// Any PNG (grey, palette, alpha, 16-bit) read as 8-bit RGB; alpha is
// composed over white.
bool ReadPng(const std::filesystem::path& path, RgbImage& image, std::string& error);
bool WritePng(const std::filesystem::path& path, const RgbImage& image, std::string& error);
// 24-bit bottom-up BMP (BITMAPFILEHEADER + BITMAPINFOHEADER + rows).
bool WriteBmp(const std::filesystem::path& path, const RgbImage& image, std::string& error);
// Writes PNG or BMP by the file's extension (".png", ".bmp"; case-insensitive).
bool WriteImage(const std::filesystem::path& path, const RgbImage& image, std::string& error);

}  // namespace twtools
